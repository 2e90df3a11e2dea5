#include "platform/api/WinInet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileSystem.h"
#include "platform/api/FtpListing.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/InternetSettings.h"
#include "platform/host/WinPath.h"

namespace win {

namespace {

constexpr DWORD kDefaultTimeoutMs = 60000;
// A listing larger than this is no listing a client wants.
constexpr size_t kListingLimit = 16 * 1024 * 1024;
constexpr size_t kReadAhead = 64 * 1024;

thread_local std::string tLastResponse;

struct Object {
    virtual ~Object() = default;
    HINTERNET parent = 0;
};

struct Session : Object {
    DWORD connectTimeoutMs = kDefaultTimeoutMs;
    DWORD receiveTimeoutMs = kDefaultTimeoutMs;
};

struct Connection;

// A remote file open for reading or writing: the bytes between libcurl and the caller.
struct RemoteFile : Object {
    Connection* connection = nullptr;
    bool writing = false;
    std::string buffer;
    size_t offset = 0;
    size_t pauseAt = kReadAhead;
    bool started = false;
    bool paused = false;
    bool endOfData = false;

    size_t Available() const { return buffer.size() - offset; }
    void Consume(size_t count) {
        offset += count;
        if (offset == buffer.size()) {
            buffer.clear();
            offset = 0;
        } else if (offset > kReadAhead) {
            buffer.erase(0, offset);
            offset = 0;
        }
    }
};

struct Find : Object {
    std::vector<platform::FtpListEntry> matches;
    size_t next = 0;
};

struct Connection : Object {
    std::string host;
    INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
    std::string user;
    std::string password;
    bool passive = false;
    DWORD connectTimeoutMs = kDefaultTimeoutMs;
    DWORD receiveTimeoutMs = kDefaultTimeoutMs;

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    std::unique_ptr<platform::InternetSettings> settings;
    curl_slist* commands = nullptr;
    bool inMulti = false;
    bool done = false;
    CURLcode result = CURLE_OK;

    std::string currentDirectory = "/";
    std::string pendingReply;
    // The server's last complete reply during the running operation.
    std::string operationReply;
    std::optional<bool> offersMlsd;
    HINTERNET openFile = 0;
    std::string listing;
    bool listingTooLong = false;

    ~Connection() override {
        if (inMulti) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        curl_slist_free_all(commands);
    }
};

std::map<HINTERNET, std::unique_ptr<Object>>& Handles() {
    static std::map<HINTERNET, std::unique_ptr<Object>> handles;
    return handles;
}

HINTERNET AddHandle(std::unique_ptr<Object> object) {
    static HINTERNET next = 0xCC0000;
    const HINTERNET handle = ++next;
    Handles()[handle] = std::move(object);
    return handle;
}

template <typename T>
T* Lookup(HINTERNET handle) {
    const auto found = Handles().find(handle);
    if (found == Handles().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    T* object = dynamic_cast<T*>(found->second.get());
    if (!object) SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return object;
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE_;
}

bool IsValidRemoteName(const std::string& name) {
    return name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

int ReplyCode(const std::string& reply) {
    const size_t last = reply.rfind('\n', reply.size() >= 2 ? reply.size() - 2 : 0);
    const std::string line = last == std::string::npos || last + 1 >= reply.size() ? reply : reply.substr(last + 1);
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])))
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

DWORD ErrorOf(const Connection& connection) {
    switch (connection.result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    default: break;
    }
    if (ReplyCode(connection.operationReply) >= 400) return ERROR_INTERNET_EXTENDED_ERROR;
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

size_t OnReplyLine(char* data, size_t size, size_t count, void* user) {
    auto* connection = static_cast<Connection*>(user);
    const std::string line(data, size * count);
    connection->pendingReply += line;
    const bool lastLine = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                          std::isdigit(static_cast<unsigned char>(line[1])) &&
                          std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
    if (lastLine) {
        connection->operationReply = connection->pendingReply;
        tLastResponse = connection->pendingReply;
        connection->pendingReply.clear();
    }
    return size * count;
}

size_t OnListingData(char* data, size_t size, size_t count, void* user) {
    auto* connection = static_cast<Connection*>(user);
    if (connection->listing.size() + size * count > kListingLimit) {
        connection->listingTooLong = true;
        return 0;
    }
    connection->listing.append(data, size * count);
    return size * count;
}

size_t OnFileData(char* data, size_t size, size_t count, void* user) {
    auto* file = static_cast<RemoteFile*>(user);
    file->started = true;
    if (file->Available() >= file->pauseAt) {
        file->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    file->buffer.append(data, size * count);
    return size * count;
}

size_t OnFileSend(char* out, size_t size, size_t count, void* user) {
    auto* file = static_cast<RemoteFile*>(user);
    file->started = true;
    if (file->Available() == 0) {
        if (file->endOfData) return 0;
        file->paused = true;
        return CURL_READFUNC_PAUSE;
    }
    const size_t copied = std::min(size * count, file->Available());
    std::memcpy(out, file->buffer.data() + file->offset, copied);
    file->Consume(copied);
    return copied;
}

std::string EncodePath(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

// The URL of an absolute remote path; every command names its file by the
// whole path, so the server's own current folder never matters.
std::string UrlOf(const Connection& connection, const std::string& absolutePath) {
    const std::string host = connection.host.find(':') != std::string::npos ? "[" + connection.host + "]" : connection.host;
    std::string url = "ftp://" + host + ":" + std::to_string(connection.port) + "/";
    if (absolutePath.empty()) return url;
    return url + "%2F" + EncodePath(absolutePath.substr(1));
}

std::string RemotePath(const Connection& connection, const std::string& name) {
    if (name.empty()) return connection.currentDirectory;
    if (name.front() == '/') return name;
    const std::string& folder = connection.currentDirectory;
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

long Seconds(DWORD milliseconds) { return static_cast<long>((milliseconds + 999) / 1000); }

// Sets the handle up for one operation on the absolute path (empty: none);
// false when the server name makes no URL.
bool Prepare(Connection& connection, const std::string& absolutePath, const std::vector<std::string>& commands,
             bool ascii) {
    CURL* easy = connection.easy;
    curl_easy_reset(easy);
    connection.settings = std::make_unique<platform::InternetSettings>();
    if (!connection.settings->Apply(easy, UrlOf(connection, absolutePath))) return false;
    curl_easy_setopt(easy, CURLOPT_USERNAME, connection.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, connection.password.c_str());
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_FTPPORT, connection.passive ? nullptr : "-");
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connection.connectTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, Seconds(connection.receiveTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, Seconds(connection.receiveTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnReplyLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &connection);
    curl_slist_free_all(connection.commands);
    connection.commands = nullptr;
    for (const std::string& command : commands) connection.commands = curl_slist_append(connection.commands, command.c_str());
    curl_easy_setopt(easy, CURLOPT_QUOTE, connection.commands);
    curl_easy_setopt(easy, CURLOPT_NOBODY, absolutePath.empty() ? 1L : 0L);
    return true;
}

void Start(Connection& connection) {
    connection.done = false;
    connection.result = CURLE_OK;
    connection.operationReply.clear();
    connection.pendingReply.clear();
    curl_multi_add_handle(connection.multi, connection.easy);
    connection.inMulti = true;
}

// Runs the operation until it ends (true) or `enough` holds (false).
bool Drive(Connection& connection, const std::function<bool()>& enough) {
    for (;;) {
        int running = 0;
        curl_multi_perform(connection.multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(connection.multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                connection.done = true;
                connection.result = message->data.result;
            }
        }
        if (connection.done) return true;
        if (enough && enough()) return false;
        curl_multi_poll(connection.multi, nullptr, 0, 100, nullptr);
    }
}

void Finish(Connection& connection) {
    if (connection.inMulti) curl_multi_remove_handle(connection.multi, connection.easy);
    connection.inMulti = false;
}

// One whole operation; on failure the last error is set.
bool Run(Connection& connection) {
    Start(connection);
    Drive(connection, nullptr);
    Finish(connection);
    if (connection.result == CURLE_OK) return true;
    SetLastError(ErrorOf(connection));
    return false;
}

bool RunCommands(Connection& connection, const std::vector<std::string>& commands) {
    if (!Prepare(connection, "", commands, false)) {
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
        return false;
    }
    return Run(connection);
}

// The connection of a handle, ready for a new operation on it.
Connection* ReadyConnection(HINTERNET handle) {
    Connection* connection = Lookup<Connection>(handle);
    if (connection && connection->openFile) {
        SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
        return nullptr;
    }
    return connection;
}

template <typename... Names>
bool NamesAreValid(const Names&... names) {
    if ((IsValidRemoteName(names) && ...)) return true;
    SetLastError(ERROR_INVALID_NAME);
    return false;
}

BOOL SingleCommand(HINTERNET handle, const std::string& verb, const std::string& name) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(name)) return FALSE_;
    return RunCommands(*connection, {verb + " " + RemotePath(*connection, name)}) ? TRUE_ : FALSE_;
}

std::optional<std::vector<platform::FtpListEntry>> ListFolder(Connection& connection, const std::string& folder,
                                                              bool useMlsd) {
    std::string path = folder == "/" ? folder : folder + "/";
    if (!Prepare(connection, path, {}, true)) {
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
        return std::nullopt;
    }
    if (useMlsd) curl_easy_setopt(connection.easy, CURLOPT_CUSTOMREQUEST, "MLSD");
    curl_easy_setopt(connection.easy, CURLOPT_WRITEFUNCTION, OnListingData);
    curl_easy_setopt(connection.easy, CURLOPT_WRITEDATA, &connection);
    connection.listing.clear();
    connection.listingTooLong = false;
    if (!Run(connection)) return std::nullopt;
    if (useMlsd) return platform::ParseMlsdListing(connection.listing);
    return platform::ParseListListing(connection.listing, std::time(nullptr));
}

// The folder's entries: MLSD where the server offers it, else LIST.
std::optional<std::vector<platform::FtpListEntry>> ListFolder(Connection& connection, const std::string& folder) {
    if (connection.offersMlsd.value_or(true)) {
        auto entries = ListFolder(connection, folder, true);
        if (entries) {
            connection.offersMlsd = true;
            return entries;
        }
        const int code = ReplyCode(connection.operationReply);
        if (connection.offersMlsd.has_value() || (code != 500 && code != 502)) return std::nullopt;
        connection.offersMlsd = false;
    }
    return ListFolder(connection, folder, false);
}

FILETIME FileTimeOfUnix(std::time_t seconds) {
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

void FillFindData(const platform::FtpListEntry& entry, WIN32_FIND_DATAA* data) {
    if (!data) return;
    std::memset(data, 0, sizeof(*data));
    if (entry.isDirectory)
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | (entry.readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    else
        data->dwFileAttributes = entry.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    if (entry.modified && *entry.modified >= -11644473600LL) {
        data->ftLastWriteTime = FileTimeOfUnix(*entry.modified);
        data->ftCreationTime = data->ftLastWriteTime;
        data->ftLastAccessTime = data->ftLastWriteTime;
    }
    data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFF);
    const size_t length = std::min(entry.name.size(), sizeof(data->cFileName) - 1);
    std::memcpy(data->cFileName, entry.name.data(), length);
}

// The entries a pattern picks: the entry of exactly that name, else every
// entry the pattern matches as a Windows wildcard.
std::vector<platform::FtpListEntry> Matches(std::vector<platform::FtpListEntry> entries, const std::string& pattern) {
    std::vector<platform::FtpListEntry> matches;
    for (auto& entry : entries)
        if (entry.name == pattern) {
            matches.push_back(std::move(entry));
            return matches;
        }
    for (auto& entry : entries)
        if (platform::MatchesWildcard(pattern, entry.name)) matches.push_back(std::move(entry));
    return matches;
}

void CloseChildren(HINTERNET parent);

void CloseObject(HINTERNET handle) {
    CloseChildren(handle);
    Handles().erase(handle);
}

void CloseChildren(HINTERNET parent) {
    std::vector<HINTERNET> children;
    for (const auto& [handle, object] : Handles())
        if (object->parent == parent) children.push_back(handle);
    for (HINTERNET child : children) InternetCloseHandle(child);
}

// Ends an open remote file: an upload is finished and must be confirmed, a
// download still running is abandoned.
BOOL CloseRemoteFile(RemoteFile& file) {
    Connection& connection = *file.connection;
    bool confirmed = true;
    if (file.writing) {
        file.endOfData = true;
        if (!connection.done) {
            if (file.paused) {
                file.paused = false;
                curl_easy_pause(connection.easy, CURLPAUSE_CONT);
            }
            Drive(connection, nullptr);
        }
        confirmed = connection.result == CURLE_OK;
    }
    Finish(connection);
    connection.openFile = 0;
    if (confirmed) return TRUE_;
    return Fail(ErrorOf(connection));
}

void EnsureCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

BOOL InternetAutodial(DWORD, HWND) { return TRUE_; }

HINTERNET InternetOpenA(const std::string&, DWORD, const std::string&, const std::string&, DWORD) {
    EnsureCurl();
    return AddHandle(std::make_unique<Session>());
}

HINTERNET InternetConnectA(HINTERNET sessionHandle, const std::string& serverName, INTERNET_PORT port,
                           const std::string& userName, const std::string& password, DWORD service, DWORD flags,
                           DWORD_PTR) {
    Session* session = Lookup<Session>(sessionHandle);
    if (!session) return 0;
    if (service != INTERNET_SERVICE_FTP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!NamesAreValid(serverName, userName, password)) return 0;
    if (serverName.empty()) {
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
        return 0;
    }
    auto connection = std::make_unique<Connection>();
    connection->parent = sessionHandle;
    connection->host = serverName;
    connection->port = port == 0 ? INTERNET_DEFAULT_FTP_PORT : port;
    connection->user = userName.empty() ? "anonymous" : userName;
    connection->password = password;
    connection->passive = (flags & INTERNET_FLAG_PASSIVE) != 0;
    connection->connectTimeoutMs = session->connectTimeoutMs;
    connection->receiveTimeoutMs = session->receiveTimeoutMs;
    connection->multi = curl_multi_init();
    connection->easy = curl_easy_init();
    if (!connection->multi || !connection->easy) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return 0;
    }
    if (!RunCommands(*connection, {"PWD"})) return 0;
    if (const auto folder = platform::ParseQuotedFolder(connection->operationReply)) connection->currentDirectory = *folder;
    return AddHandle(std::move(connection));
}

BOOL InternetCloseHandle(HINTERNET handle) {
    const auto found = Handles().find(handle);
    if (found == Handles().end()) return Fail(ERROR_INVALID_HANDLE);
    BOOL result = TRUE_;
    if (auto* file = dynamic_cast<RemoteFile*>(found->second.get())) result = CloseRemoteFile(*file);
    const DWORD error = GetLastError();
    CloseObject(handle);
    if (!result) SetLastError(error);
    return result;
}

BOOL InternetSetOptionA(HINTERNET handle, DWORD option, DWORD value) {
    const auto found = Handles().find(handle);
    if (found == Handles().end()) return Fail(ERROR_INVALID_HANDLE);
    DWORD* connectTimeout = nullptr;
    DWORD* receiveTimeout = nullptr;
    if (auto* session = dynamic_cast<Session*>(found->second.get())) {
        connectTimeout = &session->connectTimeoutMs;
        receiveTimeout = &session->receiveTimeoutMs;
    } else if (auto* connection = dynamic_cast<Connection*>(found->second.get())) {
        connectTimeout = &connection->connectTimeoutMs;
        receiveTimeout = &connection->receiveTimeoutMs;
    } else {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }
    if (option == INTERNET_OPTION_CONNECT_TIMEOUT)
        *connectTimeout = value;
    else if (option == INTERNET_OPTION_RECEIVE_TIMEOUT)
        *receiveTimeout = value;
    else
        return Fail(ERROR_INVALID_PARAMETER);
    return TRUE_;
}

BOOL FtpRenameFileA(HINTERNET handle, const std::string& existing, const std::string& newName) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(existing, newName)) return FALSE_;
    return RunCommands(*connection, {"RNFR " + RemotePath(*connection, existing),
                                     "RNTO " + RemotePath(*connection, newName)})
               ? TRUE_
               : FALSE_;
}

BOOL FtpDeleteFileA(HINTERNET handle, const std::string& fileName) { return SingleCommand(handle, "DELE", fileName); }

BOOL FtpCreateDirectoryA(HINTERNET handle, const std::string& directory) {
    return SingleCommand(handle, "MKD", directory);
}

BOOL FtpRemoveDirectoryA(HINTERNET handle, const std::string& directory) {
    return SingleCommand(handle, "RMD", directory);
}

BOOL FtpSetCurrentDirectoryA(HINTERNET handle, const std::string& directory) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(directory)) return FALSE_;
    const std::string target = RemotePath(*connection, directory);
    if (!RunCommands(*connection, {"CWD " + target, "PWD"})) return FALSE_;
    connection->currentDirectory = platform::ParseQuotedFolder(connection->operationReply).value_or(target);
    return TRUE_;
}

BOOL FtpGetCurrentDirectoryA(HINTERNET handle, char* currentDirectory, DWORD* length) {
    Connection* connection = ReadyConnection(handle);
    if (!connection) return FALSE_;
    if (!length) return Fail(ERROR_INVALID_PARAMETER);
    const std::string& folder = connection->currentDirectory;
    if (!currentDirectory || *length < folder.size() + 1) {
        *length = static_cast<DWORD>(folder.size() + 1);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(currentDirectory, folder.c_str(), folder.size() + 1);
    *length = static_cast<DWORD>(folder.size());
    return TRUE_;
}

HINTERNET FtpFindFirstFileA(HINTERNET handle, const std::string& searchFile, WIN32_FIND_DATAA* findData, DWORD,
                            DWORD_PTR) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(searchFile)) return 0;
    const size_t slash = searchFile.rfind('/');
    std::string folder = slash == std::string::npos ? "" : searchFile.substr(0, slash == 0 ? 1 : slash);
    std::string pattern = slash == std::string::npos ? searchFile : searchFile.substr(slash + 1);
    if (pattern.empty()) pattern = "*";
    const auto entries = ListFolder(*connection, RemotePath(*connection, folder));
    if (!entries) {
        // A folder that is not there holds no files (servers answer 550 or 501).
        const int code = ReplyCode(connection->operationReply);
        if (code == 550 || code == 501) SetLastError(ERROR_NO_MORE_FILES);
        return 0;
    }
    auto find = std::make_unique<Find>();
    find->parent = handle;
    find->matches = Matches(*entries, pattern);
    if (find->matches.empty()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return 0;
    }
    FillFindData(find->matches.front(), findData);
    find->next = 1;
    return AddHandle(std::move(find));
}

BOOL InternetFindNextFileA(HINTERNET handle, WIN32_FIND_DATAA* findData) {
    Find* find = Lookup<Find>(handle);
    if (!find) return FALSE_;
    if (find->next >= find->matches.size()) return Fail(ERROR_NO_MORE_FILES);
    FillFindData(find->matches[find->next++], findData);
    return TRUE_;
}

HINTERNET FtpOpenFileA(HINTERNET handle, const std::string& fileName, DWORD access, DWORD flags, DWORD_PTR) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(fileName)) return 0;
    if (access != GENERIC_READ && access != GENERIC_WRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (fileName.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    auto file = std::make_unique<RemoteFile>();
    file->parent = handle;
    file->connection = connection;
    file->writing = access == GENERIC_WRITE;
    if (!Prepare(*connection, RemotePath(*connection, fileName), {}, (flags & 3) == FTP_TRANSFER_TYPE_ASCII)) {
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
        return 0;
    }
    if (file->writing) {
        curl_easy_setopt(connection->easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(connection->easy, CURLOPT_READFUNCTION, OnFileSend);
        curl_easy_setopt(connection->easy, CURLOPT_READDATA, file.get());
    } else {
        curl_easy_setopt(connection->easy, CURLOPT_WRITEFUNCTION, OnFileData);
        curl_easy_setopt(connection->easy, CURLOPT_WRITEDATA, file.get());
    }
    Start(*connection);
    RemoteFile* opened = file.get();
    Drive(*connection, [opened] { return opened->started; });
    if (connection->done && connection->result != CURLE_OK) {
        Finish(*connection);
        SetLastError(ErrorOf(*connection));
        return 0;
    }
    const HINTERNET fileHandle = AddHandle(std::move(file));
    connection->openFile = fileHandle;
    return fileHandle;
}

BOOL InternetReadFile(HINTERNET handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    RemoteFile* file = Lookup<RemoteFile>(handle);
    if (!file) return FALSE_;
    if (file->writing || !bytesRead || (!buffer && bytesToRead)) return Fail(ERROR_INVALID_PARAMETER);
    *bytesRead = 0;
    Connection& connection = *file->connection;
    file->pauseAt = std::max<size_t>(kReadAhead, bytesToRead);
    while (file->Available() < bytesToRead && !connection.done) {
        if (file->paused) {
            file->paused = false;
            curl_easy_pause(connection.easy, CURLPAUSE_CONT);
        }
        Drive(connection, [&] { return file->Available() >= bytesToRead || file->paused; });
    }
    if (file->Available() < bytesToRead && connection.result != CURLE_OK) return Fail(ErrorOf(connection));
    const size_t count = std::min<size_t>(bytesToRead, file->Available());
    std::memcpy(buffer, file->buffer.data() + file->offset, count);
    file->Consume(count);
    *bytesRead = static_cast<DWORD>(count);
    return TRUE_;
}

BOOL InternetWriteFile(HINTERNET handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) {
    RemoteFile* file = Lookup<RemoteFile>(handle);
    if (!file) return FALSE_;
    if (!file->writing || !bytesWritten || (!buffer && bytesToWrite)) return Fail(ERROR_INVALID_PARAMETER);
    *bytesWritten = 0;
    Connection& connection = *file->connection;
    if (connection.done) return Fail(connection.result == CURLE_OK ? ERROR_INTERNET_CONNECTION_ABORTED : ErrorOf(connection));
    file->buffer.append(static_cast<const char*>(buffer), bytesToWrite);
    if (file->paused) {
        file->paused = false;
        curl_easy_pause(connection.easy, CURLPAUSE_CONT);
    }
    Drive(connection, [file] { return file->Available() == 0; });
    if (file->Available() != 0 || (connection.done && connection.result != CURLE_OK))
        return Fail(connection.result == CURLE_OK ? ERROR_INTERNET_CONNECTION_ABORTED : ErrorOf(connection));
    *bytesWritten = bytesToWrite;
    return TRUE_;
}

BOOL FtpGetFileA(HINTERNET handle, const std::string& remoteFile, const std::string& newFile, BOOL failIfExists,
                 DWORD, DWORD flags, DWORD_PTR context) {
    if (!ReadyConnection(handle)) return FALSE_;
    if (failIfExists && fso::FileExists(newFile)) return Fail(ERROR_FILE_EXISTS);
    const HINTERNET remote = FtpOpenFileA(handle, remoteFile, GENERIC_READ, flags, context);
    if (!remote) return FALSE_;
    bool ok = true;
    DWORD error = 0;
    try {
        vb::BinaryFile local(newFile, vb::BinaryFile::Mode::Write);
        std::vector<char> block(kReadAhead);
        for (;;) {
            DWORD read = 0;
            if (!InternetReadFile(remote, block.data(), static_cast<DWORD>(block.size()), &read)) {
                ok = false;
                error = GetLastError();
                break;
            }
            if (read == 0) break;
            local.Write(block.data(), read);
        }
        local.Close();
    } catch (const RuntimeError&) {
        ok = false;
        error = ERROR_ACCESS_DENIED;
    }
    InternetCloseHandle(remote);
    if (ok) return TRUE_;
    DeleteFileA(newFile);
    return Fail(error);
}

BOOL FtpPutFileA(HINTERNET handle, const std::string& localFile, const std::string& newRemoteFile, DWORD flags,
                 DWORD_PTR context) {
    if (!ReadyConnection(handle)) return FALSE_;
    std::unique_ptr<vb::BinaryFile> local;
    try {
        local = std::make_unique<vb::BinaryFile>(localFile, vb::BinaryFile::Mode::Read);
    } catch (const RuntimeError& error) {
        return Fail(error.Number() == 53 ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    }
    const HINTERNET remote = FtpOpenFileA(handle, newRemoteFile, GENERIC_WRITE, flags, context);
    if (!remote) return FALSE_;
    std::vector<char> block(kReadAhead);
    std::int64_t offset = 0;
    for (;;) {
        const size_t read = local->ReadAt(offset, block.data(), block.size());
        if (read == 0) break;
        offset += static_cast<std::int64_t>(read);
        DWORD written = 0;
        if (!InternetWriteFile(remote, block.data(), static_cast<DWORD>(read), &written)) {
            const DWORD error = GetLastError();
            InternetCloseHandle(remote);
            return Fail(error);
        }
    }
    return InternetCloseHandle(remote);
}

BOOL InternetGetLastResponseInfoA(DWORD* error, char* buffer, DWORD* length) {
    if (!length) return Fail(ERROR_INVALID_PARAMETER);
    if (error) *error = static_cast<DWORD>(ReplyCode(tLastResponse));
    if (!buffer || *length < tLastResponse.size() + 1) {
        *length = static_cast<DWORD>(tLastResponse.size() + 1);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, tLastResponse.c_str(), tLastResponse.size() + 1);
    *length = static_cast<DWORD>(tLastResponse.size());
    return TRUE_;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    if (!fileTime || !localFileTime) return Fail(ERROR_INVALID_PARAMETER);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
    const auto unixSeconds = static_cast<std::time_t>(ticks / 10000000ULL) - kSecondsFrom1601To1970;
    std::tm local{};
    if (!localtime_r(&unixSeconds, &local)) return Fail(ERROR_INVALID_PARAMETER);
    const std::int64_t shifted = static_cast<std::int64_t>(ticks) + static_cast<std::int64_t>(local.tm_gmtoff) * 10000000LL;
    if (shifted < 0 || ticks > static_cast<std::uint64_t>(INT64_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    localFileTime->dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(shifted) & 0xFFFFFFFF);
    localFileTime->dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(shifted) >> 32);
    return TRUE_;
}

}  // namespace win
