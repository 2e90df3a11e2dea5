#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>

#include "platform/api/FileApi.h"
#include "platform/api/SystemMessages.h"
#include "platform/api/WinInet.h"
#include "support/FtpPeer.h"
#include "support/TempHost.h"

using namespace win;
using testsupport::FtpPeer;

namespace {

std::string LastResponse() {
    char buffer[2048];
    DWORD length = sizeof(buffer);
    DWORD code = 0;
    if (!InternetGetLastResponseInfoA(&code, buffer, &length)) return "";
    return std::string(buffer, length);
}

std::string CurrentDirectory(HINTERNET connection) {
    char buffer[1024];
    DWORD length = sizeof(buffer);
    if (!FtpGetCurrentDirectoryA(connection, buffer, &length)) return "<failed>";
    return std::string(buffer, length);
}

class WinInetFtp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_->Ready()); }
    void TearDown() override {
        if (session_) InternetCloseHandle(session_);
    }

    HINTERNET Connect(const std::string& password = FtpPeer::kPassword, DWORD flags = INTERNET_FLAG_PASSIVE) {
        if (!session_) session_ = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
        return InternetConnectA(session_, server_->Address(), 0, FtpPeer::kUser, password, INTERNET_SERVICE_FTP,
                                flags, 0);
    }

    std::filesystem::path Root() const { return server_->Root(); }

    testsupport::TempHost host_;
    std::unique_ptr<FtpPeer> server_ = std::make_unique<FtpPeer>(host_.Folder() / "ftproot", "normal");
    HINTERNET session_ = 0;
};

TEST_F(WinInetFtp, FolderCommandsWorkAndARefusedChangeKeepsTheFolder) {
    const HINTERNET connection = Connect();
    ASSERT_NE(connection, 0);
    EXPECT_EQ(CurrentDirectory(connection), "/");

    EXPECT_TRUE(FtpCreateDirectoryA(connection, "/Quarnel"));
    EXPECT_FALSE(FtpCreateDirectoryA(connection, "/Quarnel"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(LastResponse().substr(0, 3), "550");

    EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, "Quarnel"));
    EXPECT_EQ(CurrentDirectory(connection), "/Quarnel");
    EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, "/Missing"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(CurrentDirectory(connection), "/Quarnel");

    testsupport::WriteHostFile(Root() / "Quarnel" / "old name.txt", "x");
    EXPECT_TRUE(FtpRenameFileA(connection, "old name.txt", "new name.txt"));
    EXPECT_TRUE(std::filesystem::exists(Root() / "Quarnel" / "new name.txt"));
    EXPECT_TRUE(FtpDeleteFileA(connection, "new name.txt"));
    EXPECT_FALSE(FtpDeleteFileA(connection, "new name.txt"));
    EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, ".."));
    EXPECT_EQ(CurrentDirectory(connection), "/");
    EXPECT_TRUE(FtpRemoveDirectoryA(connection, "Quarnel"));
    EXPECT_FALSE(std::filesystem::exists(Root() / "Quarnel"));

    char tiny[2];
    DWORD length = sizeof(tiny);
    EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, "/"));
    EXPECT_TRUE(FtpCreateDirectoryA(connection, "/long folder"));
    EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, "/long folder"));
    EXPECT_FALSE(FtpGetCurrentDirectoryA(connection, tiny, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, std::string("/long folder").size() + 1);
}

TEST_F(WinInetFtp, AWrongPasswordFailsTheConnectWithTheServersReply) {
    EXPECT_EQ(Connect("wrong"), 0);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(LastResponse().substr(0, 3), "530");
}

TEST_F(WinInetFtp, NamesWithLineBreaksOrNulAreRefusedBeforeAnythingIsSent) {
    const HINTERNET connection = Connect();
    ASSERT_NE(connection, 0);
    for (const std::string& name : {std::string("a\r\nDELE b"), std::string("a\nb"), std::string("a\0b", 3)}) {
        SetLastError(0);
        EXPECT_FALSE(FtpDeleteFileA(connection, name));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, name));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_EQ(FtpOpenFileA(connection, name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    }
}

TEST_F(WinInetFtp, FindMatchesAnExactNameFirstThenWildcards) {
    testsupport::WriteHostFile(Root() / "a?c.txt", "12345");
    testsupport::WriteHostFile(Root() / "abc.txt", "1");
    testsupport::WriteHostFile(Root() / "my file.zip", std::string(700, 'z'));
    std::filesystem::create_directories(Root() / "Sub Folder");
    const HINTERNET connection = Connect();
    ASSERT_NE(connection, 0);

    WIN32_FIND_DATAA data{};
    HINTERNET find = FtpFindFirstFileA(connection, "a?c.txt", &data, 0, 0);
    ASSERT_NE(find, 0);
    EXPECT_STREQ(data.cFileName, "a?c.txt");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_FALSE(InternetFindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    InternetCloseHandle(find);

    find = FtpFindFirstFileA(connection, "my?file.zip", &data, 0, 0);
    ASSERT_NE(find, 0);
    EXPECT_STREQ(data.cFileName, "my file.zip");
    EXPECT_EQ(data.nFileSizeLow, 700u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    InternetCloseHandle(find);

    std::set<std::string> names;
    find = FtpFindFirstFileA(connection, "*", &data, 0, 0);
    ASSERT_NE(find, 0);
    do {
        names.insert(data.cFileName);
        if (std::string(data.cFileName) == "Sub Folder") {
            EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
        }
    } while (InternetFindNextFileA(find, &data));
    InternetCloseHandle(find);
    EXPECT_EQ(names, (std::set<std::string>{"a?c.txt", "abc.txt", "my file.zip", "Sub Folder"}));

    EXPECT_EQ(FtpFindFirstFileA(connection, "nothing*", &data, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(FtpFindFirstFileA(connection, "/No Folder/x", &data, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
}

TEST_F(WinInetFtp, BlockTransfersGoBothWaysOnOneConnection) {
    const HINTERNET connection = Connect();
    ASSERT_NE(connection, 0);
    std::string payload;
    for (int i = 0; i < 200000; ++i) payload += static_cast<char>(i * 7 % 256);

    HINTERNET file = FtpOpenFileA(connection, "big file.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, 0);
    EXPECT_FALSE(FtpCreateDirectoryA(connection, "/busy"));
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    for (size_t at = 0; at < payload.size(); at += 4096) {
        const std::string block = payload.substr(at, 4096);
        DWORD written = 0;
        ASSERT_TRUE(InternetWriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written));
        EXPECT_EQ(written, block.size());
    }
    EXPECT_TRUE(InternetCloseHandle(file));
    EXPECT_EQ(testsupport::ReadHostFile(Root() / "big file.bin"), payload);

    file = FtpOpenFileA(connection, "/big file.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, 0);
    std::string received;
    char block[255];
    DWORD read = 0;
    while (InternetReadFile(file, block, sizeof(block), &read) && read > 0) received.append(block, read);
    EXPECT_TRUE(InternetCloseHandle(file));
    EXPECT_EQ(received, payload);

    EXPECT_EQ(FtpOpenFileA(connection, "missing.zip", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(LastResponse().substr(0, 3), "550");
    EXPECT_TRUE(FtpCreateDirectoryA(connection, "/after"));
}

TEST_F(WinInetFtp, WholeFileCallsCopyAndAFailedGetLeavesNoFile) {
    const std::string local = "C:\\work\\local file.txt";
    testsupport::WriteHostFile(host_.HostOf(local), "line 1\r\nline 2\r\n");
    const HINTERNET connection = Connect(FtpPeer::kPassword, 0);  // active mode
    ASSERT_NE(connection, 0);
    EXPECT_TRUE(FtpPutFileA(connection, local, "copy.txt", FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(testsupport::ReadHostFile(Root() / "copy.txt"), "line 1\r\nline 2\r\n");

    const std::string back = "C:\\work\\back.txt";
    EXPECT_TRUE(FtpGetFileA(connection, "copy.txt", back, FALSE_, FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(testsupport::ReadHostFile(host_.HostOf(back)), "line 1\r\nline 2\r\n");
    EXPECT_FALSE(FtpGetFileA(connection, "copy.txt", back, TRUE_, FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    const std::string never = "C:\\work\\never.txt";
    EXPECT_FALSE(FtpGetFileA(connection, "nope.txt", never, FALSE_, FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_FALSE(std::filesystem::exists(host_.HostOf(never)));
    EXPECT_FALSE(FtpPutFileA(connection, "C:\\work\\absent.txt", "x.txt", FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinInetFtp, AServerThatIsGoneOrUnnamedMapsToItsError) {
    const std::string address = server_->Address();
    server_->Stop();
    const HINTERNET session = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    EXPECT_EQ(InternetConnectA(session, address, 0, "u", "p", INTERNET_SERVICE_FTP, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(InternetConnectA(session, "", 0, "u", "p", INTERNET_SERVICE_FTP, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
    EXPECT_FALSE(InternetCloseHandle(0x1234));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    InternetCloseHandle(session);
}

TEST_F(WinInetFtp, ANameFromTheHostsFileReachesTheServer) {
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               "# test\r\n" + server_->Address() + "\tcloud.quarnel.test\r\n");
    if (!session_) session_ = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    const HINTERNET connection = InternetConnectA(session_, "cloud.quarnel.test", 0, FtpPeer::kUser,
                                                  FtpPeer::kPassword, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    EXPECT_NE(connection, 0);
}

// A server that misbehaves in one way; the session's time-outs are cut short.
class MisbehavingFtp : public ::testing::TestWithParam<std::pair<const char*, DWORD>> {};

TEST_P(MisbehavingFtp, ATransferFailsWithTheMatchingError) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(host.Folder() / "ftproot" / "data.bin", std::string(5000, 'd'));
    FtpPeer server(host.Folder() / "ftproot", GetParam().first);
    ASSERT_TRUE(server.Ready());
    const HINTERNET session = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, 2000);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 2000);
    const HINTERNET connection = InternetConnectA(session, server.Address(), 0, FtpPeer::kUser, FtpPeer::kPassword,
                                                  INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    DWORD error = connection ? 0 : GetLastError();
    if (connection) {
        const HINTERNET file = FtpOpenFileA(connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        if (!file) {
            error = GetLastError();
        } else {
            std::string received;
            char block[255];
            DWORD read = 0;
            BOOL ok = TRUE_;
            while ((ok = InternetReadFile(file, block, sizeof(block), &read)) && read > 0) received.append(block, read);
            if (!ok) error = GetLastError();
            else if (received.size() != 5000) error = ERROR_INTERNET_CONNECTION_ABORTED;
            InternetCloseHandle(file);
        }
    }
    EXPECT_EQ(error, GetParam().second);
    InternetCloseHandle(session);
}

INSTANTIATE_TEST_SUITE_P(Servers, MisbehavingFtp,
                         ::testing::Values(std::pair<const char*, DWORD>{"stall-greeting", ERROR_INTERNET_TIMEOUT},
                                           std::pair<const char*, DWORD>{"stall-transfer", ERROR_INTERNET_TIMEOUT},
                                           std::pair<const char*, DWORD>{"drop-transfer",
                                                                         ERROR_INTERNET_CONNECTION_ABORTED},
                                           std::pair<const char*, DWORD>{"short-transfer",
                                                                         ERROR_INTERNET_CONNECTION_ABORTED}));

TEST(WinInetFtpListing, AServerWithoutMlsdIsListedFromItsLines) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(host.Folder() / "ftproot" / "Rules.zip", std::string(1234, 'r'));
    FtpPeer server(host.Folder() / "ftproot", "no-mlsd");
    ASSERT_TRUE(server.Ready());
    const HINTERNET session = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    const HINTERNET connection = InternetConnectA(session, server.Address(), 0, FtpPeer::kUser, FtpPeer::kPassword,
                                                  INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(connection, 0);
    for (int twice = 0; twice < 2; ++twice) {
        WIN32_FIND_DATAA data{};
        const HINTERNET find = FtpFindFirstFileA(connection, "rules.*", &data, 0, 0);
        ASSERT_NE(find, 0);
        EXPECT_STREQ(data.cFileName, "Rules.zip");
        EXPECT_EQ(data.nFileSizeLow, 1234u);
        InternetCloseHandle(find);
    }
    InternetCloseHandle(session);
}

TEST(WinInetMessages, TheModuleTextsOfTheMappedErrors) {
    const HMODULE module = GetModuleHandleA("WININET.DLL");
    ASSERT_NE(module, 0);
    char text[256];
    for (DWORD code : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_NAME_NOT_RESOLVED,
                       ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
                       ERROR_FTP_TRANSFER_IN_PROGRESS}) {
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, code, 0, text, sizeof(text), nullptr);
        EXPECT_GT(length, 2u) << code;
        EXPECT_EQ(std::string(text, length).substr(length - 2), "\r\n");
    }
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, ERROR_INVALID_NAME, 0, text, sizeof(text), nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 0, ERROR_INVALID_NAME, 0, text, sizeof(text), nullptr), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, ERROR_INTERNET_TIMEOUT, 0, text, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(WinInetTimes, FileTimeToLocalFileTimeShiftsByTheZoneOffset) {
    const FILETIME utc{0xD53E8000, 0x01D9A0C1};
    FILETIME local{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    const auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    const std::time_t unix = static_cast<std::time_t>(ticks(utc) / 10000000 - 11644473600LL);
    std::tm tm{};
    localtime_r(&unix, &tm);
    EXPECT_EQ(ticks(local) - ticks(utc), static_cast<std::int64_t>(tm.tm_gmtoff) * 10000000);
    EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
}

}  // namespace

namespace {

TEST(WinInetFtpStall, AnUploadTheServerNeverConfirmsTimesOut) {
    testsupport::TempHost host;
    FtpPeer server(host.Folder() / "ftproot", "stall-transfer");
    ASSERT_TRUE(server.Ready());
    const HINTERNET session = InternetOpenA("test", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 2000);
    const HINTERNET connection = InternetConnectA(session, server.Address(), 0, FtpPeer::kUser, FtpPeer::kPassword,
                                                  INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(connection, 0);
    const std::string bytes(5000, 'u');
    const HINTERNET file = FtpOpenFileA(connection, "up.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    DWORD written = 0;
    const bool sent = file && InternetWriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written) &&
                      InternetCloseHandle(file);
    EXPECT_FALSE(sent);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    InternetCloseHandle(session);
}

}  // namespace
