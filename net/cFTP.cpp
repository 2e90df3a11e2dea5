#include "net/cFTP.h"

#include <algorithm>
#include <vector>

#include "platform/api/BinaryFile.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileApi.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "platform/api/SystemMessages.h"

namespace {

constexpr const char* kAgent = "Orvik FTP Client";
constexpr win::DWORD kMessageLength = 2048;

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

// A file time as a date serial in local time; 0 when it cannot be converted.
double LocalDateOf(const win::FILETIME& fileTime) {
    if (fileTime.dwLowDateTime == 0 && fileTime.dwHighDateTime == 0) return 0;
    win::FILETIME local{};
    if (!win::FileTimeToLocalFileTime(&fileTime, &local)) return 0;
    const auto ticks = (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    constexpr double kTicksPerDay = 864000000000.0;
    constexpr double kDaysFrom1601To1899 = 109205.0;
    return static_cast<double>(ticks) / kTicksPerDay - kDaysFrom1601To1899;
}

std::int32_t LowSize(const win::WIN32_FIND_DATAA& data) { return static_cast<std::int32_t>(data.nFileSizeLow); }

}  // namespace

cFTP::~cFTP() { CloseConnection(); }

cDirList& cFTP::Directory() {
    if (!directory_) directory_ = std::make_unique<cDirList>();
    return *directory_;
}

void cFTP::ComposeErrorMessage(const std::string& operation) {
    const win::DWORD code = win::GetLastError();
    std::vector<char> text(kMessageLength, '\0');
    const win::DWORD length = win::FormatMessageA(win::FORMAT_MESSAGE_FROM_HMODULE, win::GetModuleHandleA("wininet.dll"),
                                                  code, 0, text.data(), 256, nullptr);
    lastErrorMessage_ = operation + " error code: " + std::to_string(code) +
                        " Message: " + WithoutLineEnd(std::string(text.data(), length));
    if (code != win::ERROR_INTERNET_EXTENDED_ERROR) return;
    win::DWORD replyCode = 0;
    win::DWORD replyLength = kMessageLength;
    if (win::InternetGetLastResponseInfoA(&replyCode, text.data(), &replyLength))
        lastErrorMessage_ = WithoutLineEnd(std::string(text.data(), replyLength));
}

void cFTP::RaiseProgress(std::int32_t current, std::int32_t total) {
    if (FileTransferProgress) FileTransferProgress(current, total);
}

bool cFTP::OpenConnection(const std::string& sServer, const std::string& sUser, const std::string& sPassword) {
    CloseConnection();
    if (!win::InternetAutodial(win::INTERNET_AUTODIAL_FORCE_ONLINE, 0)) return false;
    session_ = win::InternetOpenA(kAgent, win::INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    if (!session_) ComposeErrorMessage("InternetOpen");
    connection_ = win::InternetConnectA(session_, sServer, 0, sUser, sPassword, win::INTERNET_SERVICE_FTP,
                                        connectFlags_, 0);
    if (!connection_) {
        ComposeErrorMessage("InternetConnect");
        return false;
    }
    return true;
}

void cFTP::CloseConnection() {
    if (transfer_) win::InternetCloseHandle(transfer_);
    if (connection_) win::InternetCloseHandle(connection_);
    if (session_) win::InternetCloseHandle(session_);
    transfer_ = connection_ = session_ = 0;
}

bool cFTP::Succeeded(win::BOOL result, const char* operation) {
    if (result) return true;
    ComposeErrorMessage(operation);
    return false;
}


bool cFTP::SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote) {
    return Succeeded(win::FtpPutFileA(connection_, sLocal, sRemote, transferType_, 0), "SimpleFtpPutFile");
}

bool cFTP::SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote) {
    return Succeeded(win::FtpGetFileA(connection_, sRemote, sLocal, win::FALSE_, win::FILE_ATTRIBUTE_NORMAL,
                                            transferType_, 0),
                           "SimpleFtpGetFile");
}

bool cFTP::RenameFTPFile(const std::string& sExisting, const std::string& sNewName) {
    return Succeeded(win::FtpRenameFileA(connection_, sExisting, sNewName), "RenameFTPFile");
}

bool cFTP::CreateFTPDirectory(const std::string& sDirectory) {
    return Succeeded(win::FtpCreateDirectoryA(connection_, sDirectory), "CreateFTPDirectory");
}

bool cFTP::RemoveFTPDirectory(const std::string& sDirectory) {
    return Succeeded(win::FtpRemoveDirectoryA(connection_, sDirectory), "RemoveFTPDirectory");
}

bool cFTP::DeleteFTPFile(const std::string& sRemote) {
    return Succeeded(win::FtpDeleteFileA(connection_, sRemote), "DeleteFTPFile");
}

bool cFTP::SetFTPDirectory(const std::string& sDir) {
    return Succeeded(win::FtpSetCurrentDirectoryA(connection_, sDir), "FtpSetCurrentDirectory");
}

std::string cFTP::GetFTPDirectory() {
    std::vector<char> buffer(1024, '\0');
    win::DWORD length = static_cast<win::DWORD>(buffer.size());
    if (!win::FtpGetCurrentDirectoryA(connection_, buffer.data(), &length)) {
        ComposeErrorMessage("FtpGetCurrentDirectory");
        return "";
    }
    return std::string(buffer.data());
}

std::int32_t cFTP::GetFTPFileSize(const std::string& sFile) {
    std::string pattern = sFile;
    std::replace(pattern.begin(), pattern.end(), ' ', '?');
    win::WIN32_FIND_DATAA data{};
    const win::HINTERNET find = win::FtpFindFirstFileA(connection_, pattern, &data, 0, 0);
    remoteFileMissing_ = !find && win::GetLastError() == win::ERROR_NO_MORE_FILES;
    if (!find) {
        if (!remoteFileMissing_) ComposeErrorMessage("FtpFindFirstFile");
        return 0;
    }
    win::InternetCloseHandle(find);
    return LowSize(data);
}

cDirList& cFTP::GetDirectoryListing(const std::string& sFilter) {
    directory_ = std::make_unique<cDirList>();
    win::WIN32_FIND_DATAA data{};
    const win::HINTERNET find = win::FtpFindFirstFileA(connection_, sFilter, &data, 0, 0);
    if (!find) {
        if (win::GetLastError() != win::ERROR_NO_MORE_FILES) ComposeErrorMessage("FtpFindFirstFile");
        return *directory_;
    }
    do {
        try {
            directory_->Add(static_cast<std::int32_t>(data.dwFileAttributes), LocalDateOf(data.ftCreationTime),
                            LocalDateOf(data.ftLastAccessTime), LocalDateOf(data.ftLastWriteTime), LowSize(data),
                            std::string(data.cFileName));
        } catch (const RuntimeError&) {
            // Names that differ only in letter case are one key: the first one stays.
        }
    } while (win::InternetFindNextFileA(find, &data));
    if (win::GetLastError() != win::ERROR_NO_MORE_FILES) ComposeErrorMessage("InternetFindNextFile");
    win::InternetCloseHandle(find);
    return *directory_;
}

bool cFTP::FTPUploadFile(std::string& sLocal, std::string& sRemote) {
    sLocal = vb::Trim(sLocal);
    sRemote = vb::Trim(sRemote);
    if (sLocal.empty() || sRemote.empty()) return false;
    std::unique_ptr<vb::BinaryFile> local;
    try {
        local = std::make_unique<vb::BinaryFile>(sLocal, vb::BinaryFile::Mode::Read);
    } catch (const RuntimeError& error) {
        win::SetLastError(error.Number() == 53 ? win::ERROR_FILE_NOT_FOUND : win::ERROR_ACCESS_DENIED);
        ComposeErrorMessage("Open:PutFile");
        return false;
    }
    transfer_ = win::FtpOpenFileA(connection_, sRemote, win::GENERIC_WRITE, transferType_, 0);
    if (!transfer_) {
        ComposeErrorMessage("FtpOpenFile:PutFile");
        return false;
    }
    const auto total = static_cast<std::int32_t>(std::min<std::int64_t>(local->Length(), INT32_MAX));
    char block[kBlockSize];
    std::int32_t done = 0;
    auto sendBlock = [&](std::int32_t count, const char* operation) {
        const size_t read = local->ReadAt(done, block, static_cast<size_t>(count));
        win::DWORD written = 0;
        if (read == static_cast<size_t>(count) &&
            win::InternetWriteFile(transfer_, block, static_cast<win::DWORD>(count), &written))
            return true;
        if (read != static_cast<size_t>(count)) win::SetLastError(win::ERROR_ACCESS_DENIED);
        ComposeErrorMessage(operation);
        win::InternetCloseHandle(transfer_);
        transfer_ = 0;
        return false;
    };
    for (std::int32_t block255 = 0; block255 < total / kBlockSize; ++block255) {
        if (!sendBlock(kBlockSize, "InternetWriteFile")) return false;
        vb::DoEvents();
        done += kBlockSize;
        RaiseProgress(done, total);
    }
    if (total % kBlockSize != 0 && !sendBlock(total % kBlockSize, "InternetWriteFile2")) return false;
    local->Close();
    RaiseProgress(total, total);
    const bool confirmed = win::InternetCloseHandle(transfer_) != 0;
    transfer_ = 0;
    if (!confirmed) ComposeErrorMessage("InternetCloseHandle:PutFile");
    return confirmed;
}

bool cFTP::FTPDownloadFile(std::string& sLocal, std::string& sRemote) {
    remoteFileMissing_ = false;
    sLocal = vb::Trim(sLocal);
    sRemote = vb::Trim(sRemote);
    if (sLocal.empty() || sRemote.empty()) return false;
    const std::int32_t size = GetFTPFileSize(sRemote);
    if (size <= 0) return false;
    transfer_ = win::FtpOpenFileA(connection_, sRemote, win::GENERIC_READ, transferType_, 0);
    if (!transfer_) {
        ComposeErrorMessage("FtpOpenFile:GetFile");
        return false;
    }
    std::unique_ptr<vb::BinaryFile> local;
    auto fail = [&](const char* operation) {
        ComposeErrorMessage(operation);
        if (local) local->Close();
        local.reset();
        win::InternetCloseHandle(transfer_);
        transfer_ = 0;
        win::DeleteFileA(sLocal);
        return false;
    };
    try {
        local = std::make_unique<vb::BinaryFile>(sLocal, vb::BinaryFile::Mode::Write);
    } catch (const RuntimeError&) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        ComposeErrorMessage("Open:GetFile");
        win::InternetCloseHandle(transfer_);
        transfer_ = 0;
        return false;
    }
    char block[kBlockSize];
    // A block the server ends early is a cut transfer, not the end of the file.
    auto receiveBlock = [&](std::int32_t count, bool wholeBlockExpected) -> std::int32_t {
        win::DWORD read = 0;
        if (!win::InternetReadFile(transfer_, block, static_cast<win::DWORD>(count), &read)) return -1;
        if (wholeBlockExpected && read != static_cast<win::DWORD>(count)) {
            win::SetLastError(win::ERROR_INTERNET_CONNECTION_ABORTED);
            return -1;
        }
        try {
            local->Write(block, read);
        } catch (const RuntimeError&) {
            win::SetLastError(win::ERROR_ACCESS_DENIED);
            return -1;
        }
        return static_cast<std::int32_t>(read);
    };
    std::int32_t done = 0;
    for (std::int32_t block255 = 0; block255 < size / kBlockSize; ++block255) {
        if (receiveBlock(kBlockSize, true) < 0) return fail("InternetReadFile");
        vb::DoEvents();
        done += kBlockSize;
        RaiseProgress(done, size);
    }
    if (size % kBlockSize != 0 && receiveBlock(size % kBlockSize, true) < 0) return fail("InternetReadFile2");
    // Read on to the end, which the server confirms (a file grown since the listing comes whole).
    for (;;) {
        const std::int32_t read = receiveBlock(kBlockSize, false);
        if (read < 0) return fail("InternetReadFile2");
        if (read == 0) break;
    }
    local->Close();
    local.reset();
    RaiseProgress(size, size);
    win::InternetCloseHandle(transfer_);
    transfer_ = 0;
    return true;
}
