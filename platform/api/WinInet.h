#pragma once
// The FTP part of the Windows internet library (wininet.dll) over our own FTP
// session (FtpConnection.h): a session handle, a connection handle that logs
// on once, before it returns, and keeps that one control connection to the
// server for all it does, single-call operations, file searches matched
// against the folder's listing, and open remote files read or written in
// blocks. Failures set the thread's last error (12002 time-out, 12003 a
// refusal, with the server's reply as the response text, also where the
// server refuses a transfer it had begun, 12007 name not resolved, 12029
// refused connection, 12030 connection dropped, 12110 a transfer is in
// progress on the connection, 123 a remote name with CR, LF or NUL). A
// refusal leaves the connection as it was.
#include <cstdint>
#include <string>

#include "platform/api/Security.h"  // GENERIC_READ, GENERIC_WRITE
#include "platform/api/WinTypes.h"

namespace win {

using HINTERNET = std::intptr_t;
using INTERNET_PORT = std::uint16_t;
using DWORD_PTR = std::uintptr_t;

constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_SERVICE_FTP = 1;
constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 1;
constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 2;

// Options of InternetSetOptionA, in milliseconds; a session's values apply
// to the connections made from it afterwards.
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};

// Always online on this host: 1.
BOOL InternetAutodial(DWORD flags, HWND parent);
HINTERNET InternetOpenA(const std::string& agent, DWORD accessType, const std::string& proxy,
                        const std::string& proxyBypass, DWORD flags);
// Port 0 is the service's default port. Returns after the log-on.
HINTERNET InternetConnectA(HINTERNET session, const std::string& serverName, INTERNET_PORT port,
                           const std::string& userName, const std::string& password, DWORD service,
                           DWORD flags, DWORD_PTR context);
// Closing an open remote file that was written finishes the upload: FALSE
// when the server does not confirm it. A connection closes its files, a
// session its connections.
BOOL InternetCloseHandle(HINTERNET handle);
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, DWORD value);

BOOL FtpGetFileA(HINTERNET connection, const std::string& remoteFile, const std::string& newFile,
                 BOOL failIfExists, DWORD flagsAndAttributes, DWORD flags, DWORD_PTR context);
BOOL FtpPutFileA(HINTERNET connection, const std::string& localFile, const std::string& newRemoteFile,
                 DWORD flags, DWORD_PTR context);
BOOL FtpRenameFileA(HINTERNET connection, const std::string& existing, const std::string& newName);
BOOL FtpDeleteFileA(HINTERNET connection, const std::string& fileName);
BOOL FtpCreateDirectoryA(HINTERNET connection, const std::string& directory);
BOOL FtpRemoveDirectoryA(HINTERNET connection, const std::string& directory);
// Sends CWD at once; a refused change keeps the current folder.
BOOL FtpSetCurrentDirectoryA(HINTERNET connection, const std::string& directory);
// length: the buffer's size in, the characters copied (without the NUL) out;
// a short buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL FtpGetCurrentDirectoryA(HINTERNET connection, char* currentDirectory, DWORD* length);

// "?" and "*" are matched here against the folder's listing, an exact name
// first; none found: ERROR_NO_MORE_FILES.
HINTERNET FtpFindFirstFileA(HINTERNET connection, const std::string& searchFile, WIN32_FIND_DATAA* findData,
                            DWORD flags, DWORD_PTR context);
BOOL InternetFindNextFileA(HINTERNET find, WIN32_FIND_DATAA* findData);

// GENERIC_READ or GENERIC_WRITE; the transfer has started (the server took
// the file) when the handle is returned.
HINTERNET FtpOpenFileA(HINTERNET connection, const std::string& fileName, DWORD access, DWORD flags,
                       DWORD_PTR context);
// Fewer bytes than asked only at the end of the file (0 once it is all read).
BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead, DWORD* bytesRead);
BOOL InternetWriteFile(HINTERNET file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);

// The server's last reply on this thread. length: buffer size in, characters
// out; a short buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL InternetGetLastResponseInfoA(DWORD* error, char* buffer, DWORD* length);


BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);

}  // namespace win
