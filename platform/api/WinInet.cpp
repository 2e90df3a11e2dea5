#include "platform/api/WinInet.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileSystemObject.h"
#include "platform/api/FtpConnection.h"
#include "platform/api/FtpListing.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/WinPath.h"

namespace win {

namespace {

constexpr DWORD kDefaultTimeoutMs = 60000;
// A listing larger than this is no listing a client wants.
constexpr size_t kListingLimit = 16 * 1024 * 1024;
constexpr size_t kWholeFileBlock = 64 * 1024;

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

// A remote file open for reading or writing: a transfer of the connection's session.
struct RemoteFile : Object {
    Connection* connection = nullptr;
    bool writing = false;
};

struct Find : Object {
    std::vector<platform::FtpListEntry> matches;
    size_t next = 0;
};

struct Connection : Object {
    std::unique_ptr<platform::FtpConnection> ftp;
    DWORD connectTimeoutMs = kDefaultTimeoutMs;
    DWORD receiveTimeoutMs = kDefaultTimeoutMs;
    std::string currentDirectory = "/";
    std::optional<bool> offersMlsd;
    HINTERNET openFile = 0;
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

DWORD ErrorOf(platform::FtpFailure failure) {
    switch (failure) {
        case platform::FtpFailure::NotResolved: return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case platform::FtpFailure::CannotConnect: return ERROR_INTERNET_CANNOT_CONNECT;
        case platform::FtpFailure::TimedOut: return ERROR_INTERNET_TIMEOUT;
        case platform::FtpFailure::Refused: return ERROR_INTERNET_EXTENDED_ERROR;
        case platform::FtpFailure::None:
        case platform::FtpFailure::Dropped: break;
    }
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

// The connection's failure as the thread's last error; FALSE.
BOOL Failed(const Connection& connection) { return Fail(ErrorOf(connection.ftp->Failure())); }

std::string RemotePath(const Connection& connection, const std::string& name) {
    if (name.empty()) return connection.currentDirectory;
    if (name.front() == '/') return name;
    const std::string& folder = connection.currentDirectory;
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
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

// Every command names its file by the whole path, so the server's own
// current folder never matters.
BOOL Command(Connection& connection, const std::string& line) {
    return connection.ftp->Command(line) ? TRUE_ : Failed(connection);
}

BOOL SingleCommand(HINTERNET handle, const std::string& verb, const std::string& name) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(name)) return FALSE_;
    return Command(*connection, verb + " " + RemotePath(*connection, name));
}

// A listing's bytes; nothing when the server refused it or it broke off.
std::optional<std::string> ReceiveListing(Connection& connection, const std::string& command) {
    platform::FtpConnection& ftp = *connection.ftp;
    if (!ftp.BeginTransfer(command, false)) return std::nullopt;
    std::string listing;
    char block[16 * 1024];
    for (;;) {
        const long read = ftp.Receive(block, sizeof(block));
        if (read < 0 || listing.size() + static_cast<size_t>(read) > kListingLimit) {
            ftp.EndTransfer();
            return std::nullopt;
        }
        if (read == 0) break;
        listing.append(block, static_cast<size_t>(read));
    }
    if (!ftp.EndTransfer()) return std::nullopt;
    return listing;
}

std::optional<std::vector<platform::FtpListEntry>> ListFolder(Connection& connection, const std::string& folder,
                                                              bool useMlsd) {
    const auto listing = ReceiveListing(connection, (useMlsd ? "MLSD " : "LIST ") + folder);
    if (!listing) return std::nullopt;
    if (useMlsd) return platform::ParseMlsdListing(*listing);
    return platform::ParseListListing(*listing, std::time(nullptr));
}

// The folder's entries: MLSD where the server offers it, else LIST.
std::optional<std::vector<platform::FtpListEntry>> ListFolder(Connection& connection, const std::string& folder) {
    if (connection.offersMlsd.value_or(true)) {
        auto entries = ListFolder(connection, folder, true);
        if (entries) {
            connection.offersMlsd = true;
            return entries;
        }
        const int code = connection.ftp->LastCode();
        const bool unknownCommand = connection.ftp->Failure() == platform::FtpFailure::Refused &&
                                    (code == 500 || code == 502);
        if (connection.offersMlsd.has_value() || !unknownCommand) return std::nullopt;
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
    connection.openFile = 0;
    const bool confirmed = connection.ftp->EndTransfer();
    if (confirmed || !file.writing) return TRUE_;
    return Failed(connection);
}

}  // namespace

BOOL InternetAutodial(DWORD, HWND) { return TRUE_; }

HINTERNET InternetOpenA(const std::string&, DWORD, const std::string&, const std::string&, DWORD) {
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
    connection->connectTimeoutMs = session->connectTimeoutMs;
    connection->receiveTimeoutMs = session->receiveTimeoutMs;
    platform::FtpConnection::Settings settings;
    settings.passive = (flags & INTERNET_FLAG_PASSIVE) != 0;
    settings.connectTimeoutMs = connection->connectTimeoutMs;
    settings.receiveTimeoutMs = connection->receiveTimeoutMs;
    connection->ftp = std::make_unique<platform::FtpConnection>(settings);
    connection->ftp->OnReply = [](const std::string& reply) { tLastResponse = reply; };
    if (!connection->ftp->Open(serverName, port == 0 ? INTERNET_DEFAULT_FTP_PORT : port,
                               userName.empty() ? "anonymous" : userName, password) ||
        !Command(*connection, "PWD")) {
        Failed(*connection);
        return 0;
    }
    if (const auto folder = platform::ParseQuotedFolder(connection->ftp->LastReply()))
        connection->currentDirectory = *folder;
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
    if (auto* connection = dynamic_cast<Connection*>(found->second.get()))
        connection->ftp->SetTimeouts(connection->connectTimeoutMs, connection->receiveTimeoutMs);
    return TRUE_;
}

BOOL FtpRenameFileA(HINTERNET handle, const std::string& existing, const std::string& newName) {
    Connection* connection = ReadyConnection(handle);
    if (!connection || !NamesAreValid(existing, newName)) return FALSE_;
    if (!Command(*connection, "RNFR " + RemotePath(*connection, existing))) return FALSE_;
    return Command(*connection, "RNTO " + RemotePath(*connection, newName));
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
    if (!Command(*connection, "CWD " + target) || !Command(*connection, "PWD")) return FALSE_;
    connection->currentDirectory = platform::ParseQuotedFolder(connection->ftp->LastReply()).value_or(target);
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
        Failed(*connection);
        // A folder that is not there holds no files (servers answer 550 or 501).
        const int code = connection->ftp->LastCode();
        if (connection->ftp->Failure() == platform::FtpFailure::Refused && (code == 550 || code == 501))
            SetLastError(ERROR_NO_MORE_FILES);
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
    const std::string command = (file->writing ? "STOR " : "RETR ") + RemotePath(*connection, fileName);
    if (!connection->ftp->BeginTransfer(command, (flags & 3) == FTP_TRANSFER_TYPE_ASCII)) {
        Failed(*connection);
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
    const long read = file->connection->ftp->Receive(static_cast<char*>(buffer), bytesToRead);
    if (read < 0) return Failed(*file->connection);
    *bytesRead = static_cast<DWORD>(read);
    return TRUE_;
}

BOOL InternetWriteFile(HINTERNET handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) {
    RemoteFile* file = Lookup<RemoteFile>(handle);
    if (!file) return FALSE_;
    if (!file->writing || !bytesWritten || (!buffer && bytesToWrite)) return Fail(ERROR_INVALID_PARAMETER);
    *bytesWritten = 0;
    if (!file->connection->ftp->Send(static_cast<const char*>(buffer), bytesToWrite)) return Failed(*file->connection);
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
        std::vector<char> block(kWholeFileBlock);
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
    std::vector<char> block(kWholeFileBlock);
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
    if (error) {
        const auto reply = platform::CompleteFtpReply(tLastResponse);
        *error = static_cast<DWORD>(reply ? reply->code : 0);
    }
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
