#pragma once
// A small FTP client over the internet library: one session and one
// connection, remote folders, files moved up and down in 255-byte blocks with
// a progress event, and folder listings. Every operation returns whether it
// worked and keeps a readable text of the last failure.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/cDirList.h"
#include "platform/api/WinInet.h"

class cFTP {
public:
    cFTP() = default;
    ~cFTP();
    cFTP(const cFTP&) = delete;
    cFTP& operator=(const cFTP&) = delete;

    // The last listing; created when first read.
    cDirList& Directory();
    std::string GetLastErrorMessage() const { return lastErrorMessage_; }
    bool OpenConnection(const std::string& sServer, const std::string& sUser, const std::string& sPassword);
    void CloseConnection();
    bool SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote);
    bool RenameFTPFile(const std::string& sExisting, const std::string& sNewName);
    bool CreateFTPDirectory(const std::string& sDirectory);
    bool RemoveFTPDirectory(const std::string& sDirectory);
    bool DeleteFTPFile(const std::string& sRemote);
    // Block transfers; the texts are trimmed of surrounding blanks in place.
    // A download that fails leaves no local file behind.
    bool FTPUploadFile(std::string& sLocal, std::string& sRemote);
    bool FTPDownloadFile(std::string& sLocal, std::string& sRemote);
    // True when the last file size looked up, or the last download, found no
    // such file on the server (no failure message is made for that).
    bool RemoteFileWasMissing() const { return remoteFileMissing_; }
    bool SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote);
    std::string GetFTPDirectory();
    bool SetFTPDirectory(const std::string& sDir);
    // Blanks of the name are matched as "?"; 0 when the file is not found.
    std::int32_t GetFTPFileSize(const std::string& sFile);
    cDirList& GetDirectoryListing(const std::string& sFilter);
    void SetTransferASCII() { transferType_ = win::FTP_TRANSFER_TYPE_ASCII; }
    void SetTransferBinary() { transferType_ = win::FTP_TRANSFER_TYPE_BINARY; }
    void SetModeActive() { connectFlags_ = 0; }
    void SetModePassive() { connectFlags_ = win::INTERNET_FLAG_PASSIVE; }

    // FileTransferProgress (lCurrentBytes, lTotalBytes).
    std::function<void(std::int32_t lCurrentBytes, std::int32_t lTotalBytes)> FileTransferProgress;

    static constexpr std::int32_t kBlockSize = 255;

private:
    void ComposeErrorMessage(const std::string& operation);
    // True for a call that worked; else the message for the operation is composed.
    bool Succeeded(win::BOOL result, const char* operation);
    void RaiseProgress(std::int32_t current, std::int32_t total);

    win::HINTERNET session_ = 0;
    win::HINTERNET connection_ = 0;
    win::HINTERNET transfer_ = 0;
    win::DWORD transferType_ = win::FTP_TRANSFER_TYPE_ASCII;
    win::DWORD connectFlags_ = 0;
    std::string lastErrorMessage_;
    bool remoteFileMissing_ = false;
    std::unique_ptr<cDirList> directory_;
};
