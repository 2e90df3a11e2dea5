#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "net/cFTP.h"
#include "platform/api/RuntimeError.h"
#include "support/FtpPeer.h"
#include "support/TempHost.h"

using testsupport::FtpPeer;

namespace {

class cFTPTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ready());
        ftp_.SetModePassive();
        ftp_.SetTransferBinary();
        ftp_.FileTransferProgress = [this](std::int32_t current, std::int32_t total) {
            progress_.emplace_back(current, total);
        };
    }

    bool Open() { return ftp_.OpenConnection(server_.Address(), FtpPeer::kUser, FtpPeer::kPassword); }
    std::filesystem::path Local(const std::string& windowsPath) const { return host_.HostOf(windowsPath); }

    testsupport::TempHost host_;
    FtpPeer server_{host_.Folder() / "ftproot"};
    cFTP ftp_;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress_;
};

TEST_F(cFTPTest, BlockTransfersRaiseOneEventPerWholeBlockAndAFinalOne) {
    struct Case {
        size_t bytes;
        std::vector<std::pair<std::int32_t, std::int32_t>> events;
    };
    const Case cases[] = {
        {510, {{255, 510}, {510, 510}, {510, 510}}},
        {10, {{10, 10}}},
        {600, {{255, 600}, {510, 600}, {600, 600}}},
    };
    ASSERT_TRUE(Open());
    for (const auto& c : cases) {
        std::string bytes;
        for (size_t i = 0; i < c.bytes; ++i) bytes += static_cast<char>('a' + i % 26);
        testsupport::WriteHostFile(Local("C:\\Program Files\\Quarnel\\Rules.zip"), bytes);

        progress_.clear();
        std::string local = "  C:\\Program Files\\Quarnel\\Rules.zip ";
        std::string remote = " Rules.zip  ";
        ASSERT_TRUE(ftp_.FTPUploadFile(local, remote)) << ftp_.GetLastErrorMessage();
        EXPECT_EQ(local, "C:\\Program Files\\Quarnel\\Rules.zip");
        EXPECT_EQ(remote, "Rules.zip");
        EXPECT_EQ(progress_, c.events) << c.bytes;
        EXPECT_EQ(testsupport::ReadHostFile(server_.Root() / "Rules.zip"), bytes);

        // The download also cuts an older, longer local file to what arrived.
        testsupport::WriteHostFile(Local("C:\\in\\Rules copy.zip"), std::string(5000, '#'));
        progress_.clear();
        std::string target = "C:\\in\\Rules copy.zip";
        ASSERT_TRUE(ftp_.FTPDownloadFile(target, remote)) << ftp_.GetLastErrorMessage();
        EXPECT_EQ(progress_, c.events) << c.bytes;
        EXPECT_EQ(testsupport::ReadHostFile(Local("C:\\in\\Rules copy.zip")), bytes);
    }
}

TEST_F(cFTPTest, NamesWithBlanksAreFoundAndMoved) {
    testsupport::WriteHostFile(server_.Root() / "Quarnel" / "my config file.zip", std::string(300, 'c'));
    testsupport::WriteHostFile(server_.Root() / "Quarnel" / "my_config_file.zip", std::string(7, 'x'));
    std::filesystem::create_directories(Local("C:\\in"));
    ASSERT_TRUE(Open());
    EXPECT_TRUE(ftp_.SetFTPDirectory("/Quarnel"));
    EXPECT_EQ(ftp_.GetFTPDirectory(), "/Quarnel");
    EXPECT_EQ(ftp_.GetFTPFileSize("my config file.zip"), 300);
    std::string local = "C:\\in\\my config file.zip";
    std::string remote = "my config file.zip";
    EXPECT_TRUE(ftp_.FTPDownloadFile(local, remote)) << ftp_.GetLastErrorMessage();
    EXPECT_EQ(testsupport::ReadHostFile(Local(local)), std::string(300, 'c'));

    const cDirList& listing = ftp_.GetDirectoryListing("*.zip");
    ASSERT_EQ(listing.Count(), 2);
    EXPECT_EQ(listing.Item("MY CONFIG FILE.ZIP").FileSize, 300);
    EXPECT_TRUE(listing.Item("my config file.zip").Normal);
    EXPECT_GT(listing.Item(1).LastWriteTime, 45000.0);  // a date after 2023
    EXPECT_EQ(&ftp_.Directory(), &listing);
}

TEST_F(cFTPTest, AMissingRemoteFileFailsAndLeavesNoLocalFile) {
    ASSERT_TRUE(Open());
    std::string local = "C:\\in\\QuarnelConfig.zip";
    std::string remote = "QuarnelConfig.zip";
    EXPECT_FALSE(ftp_.FTPDownloadFile(local, remote));
    EXPECT_FALSE(std::filesystem::exists(Local(local)));
    EXPECT_EQ(ftp_.GetFTPFileSize("QuarnelConfig.zip"), 0);

    std::string empty = "   ";
    EXPECT_FALSE(ftp_.FTPDownloadFile(empty, remote));
    EXPECT_FALSE(ftp_.FTPUploadFile(local, empty));
    EXPECT_EQ(ftp_.GetLastErrorMessage(), "");

    std::string absent = "C:\\in\\absent.zip";
    EXPECT_FALSE(ftp_.FTPUploadFile(absent, remote));
    EXPECT_FALSE(std::filesystem::exists(server_.Root() / "QuarnelConfig.zip"));
    EXPECT_NE(ftp_.GetLastErrorMessage().find("error code: 2"), std::string::npos);

    EXPECT_FALSE(ftp_.SetFTPDirectory("/nowhere"));
    EXPECT_EQ(ftp_.GetLastErrorMessage().substr(0, 3), "550");
}

TEST_F(cFTPTest, AWrongPasswordLeavesTheServersReplyAsTheMessage) {
    EXPECT_FALSE(ftp_.OpenConnection(server_.Address(), FtpPeer::kUser, "wrong"));
    EXPECT_EQ(ftp_.GetLastErrorMessage().substr(0, 3), "530");
    EXPECT_EQ(ftp_.GetLastErrorMessage().find('\n'), std::string::npos);
}

TEST_F(cFTPTest, FailuresNameTheOperationCodeAndText) {
    ASSERT_TRUE(Open());
    EXPECT_FALSE(ftp_.DeleteFTPFile("bad\r\nname"));
    EXPECT_EQ(ftp_.GetLastErrorMessage(), "DeleteFTPFile error code: 123 Message: ");

    const std::string address = server_.Address();
    server_.Stop();
    EXPECT_FALSE(ftp_.OpenConnection(address, FtpPeer::kUser, FtpPeer::kPassword));
    EXPECT_EQ(ftp_.GetLastErrorMessage(),
              "InternetConnect error code: 12029 Message: A connection with the server could not be established");
}

TEST_F(cFTPTest, FolderAndFileCommands) {
    testsupport::WriteHostFile(Local("C:\\in\\one.txt"), "one");
    ASSERT_TRUE(Open());
    EXPECT_TRUE(ftp_.CreateFTPDirectory("/Quarnel"));
    EXPECT_FALSE(ftp_.CreateFTPDirectory("/Quarnel"));
    EXPECT_TRUE(ftp_.SetFTPDirectory("/Quarnel"));
    EXPECT_TRUE(ftp_.SimpleFTPPutFile("C:\\in\\one.txt", "one.txt"));
    EXPECT_TRUE(ftp_.RenameFTPFile("one.txt", "two.txt"));
    EXPECT_TRUE(ftp_.SimpleFTPGetFile("C:\\in\\two.txt", "two.txt"));
    EXPECT_EQ(testsupport::ReadHostFile(Local("C:\\in\\two.txt")), "one");
    EXPECT_TRUE(ftp_.DeleteFTPFile("two.txt"));
    EXPECT_FALSE(ftp_.RemoveFTPDirectory("/Nothing"));
    EXPECT_TRUE(ftp_.RemoveFTPDirectory("/Quarnel"));
    ftp_.CloseConnection();
    EXPECT_FALSE(ftp_.SetFTPDirectory("/"));
}

TEST(cFTPShort, ADownloadTheServerCutsShortLeavesNoLocalFile) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(host.Folder() / "ftproot" / "QuarnelConfig.zip", std::string(1000, 'q'));
    FtpPeer server(host.Folder() / "ftproot", "short-transfer");
    ASSERT_TRUE(server.Ready());
    std::filesystem::create_directories(host.HostOf("C:\\in"));
    cFTP ftp;
    ftp.SetModePassive();
    ftp.SetTransferBinary();
    ASSERT_TRUE(ftp.OpenConnection(server.Address(), FtpPeer::kUser, FtpPeer::kPassword));
    std::string local = "C:\\in\\QuarnelConfig.zip";
    std::string remote = "QuarnelConfig.zip";
    EXPECT_FALSE(ftp.FTPDownloadFile(local, remote));
    EXPECT_FALSE(std::filesystem::exists(host.HostOf(local)));
    // The cut shows at the open or at a read, whichever sees the transfer end.
    EXPECT_NE(ftp.GetLastErrorMessage().find(" error code: 12030 "), std::string::npos) << ftp.GetLastErrorMessage();
}

// A server that refuses now and then, and logs what it is sent.
class cFTPScripted : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& rules) {
        server_ = std::make_unique<testsupport::ScriptedFtpPeer>(host_.Folder() / "ftproot", rules);
        ASSERT_TRUE(server_->Ready());
        std::filesystem::create_directories(host_.HostOf("C:\\in"));
        ftp_.SetModePassive();
        ftp_.SetTransferBinary();
        ASSERT_TRUE(ftp_.OpenConnection(server_->Address(), FtpPeer::kUser, FtpPeer::kPassword));
    }
    bool Download(const std::string& name) {
        std::string local = "C:\\in\\" + name;
        std::string remote = name;
        return ftp_.FTPDownloadFile(local, remote);
    }
    // Every command came on the first connection, which logged on once.
    void ExpectOneLogOn() const {
        EXPECT_EQ(server_->CountOf("USER"), 1);
        EXPECT_EQ(server_->CountOf("PASS"), 1);
        for (const std::string& line : server_->Commands()) EXPECT_EQ(line.substr(0, 2), "1 ") << line;
    }

    testsupport::TempHost host_;
    std::unique_ptr<testsupport::ScriptedFtpPeer> server_;
    cFTP ftp_;
};

// "150" and then a refusal, with or without some of the data first: the
// server's reply is the message, nothing is left locally, and the session
// goes on on the same connection.
TEST_F(cFTPScripted, ATransferTheServerRefusesAfterItBeganGivesTheServersReply) {
    testsupport::WriteHostFile(host_.Folder() / "ftproot" / "Refused.zip", std::string(1000, 'x'));
    testsupport::WriteHostFile(host_.Folder() / "ftproot" / "Cut.zip", std::string(1000, 'y'));
    testsupport::WriteHostFile(host_.Folder() / "ftproot" / "Whole.zip", std::string(600, 'z'));
    Start({"retr-451:Refused.zip", "retr-426:Cut.zip"});
    const std::pair<const char*, const char*> cases[] = {
        {"Refused.zip", "451 Requested action aborted: local error in processing."},
        {"Cut.zip", "426 Connection closed; transfer aborted."},
    };
    for (const auto& [name, reply] : cases) {
        EXPECT_FALSE(Download(name));
        EXPECT_EQ(ftp_.GetLastErrorMessage(), reply) << name;
        EXPECT_FALSE(std::filesystem::exists(host_.HostOf(std::string("C:\\in\\") + name))) << name;
    }
    EXPECT_TRUE(Download("Whole.zip")) << ftp_.GetLastErrorMessage();
    EXPECT_EQ(testsupport::ReadHostFile(host_.HostOf("C:\\in\\Whole.zip")), std::string(600, 'z'));
    ExpectOneLogOn();
}

TEST_F(cFTPScripted, RefusedCommandsKeepTheOneConnectionAndItsLogOn) {
    testsupport::WriteHostFile(host_.HostOf("C:\\in\\up.zip"), std::string(300, 'u'));
    Start({"refuse-rnto", "refuse-stor:Locked.zip"});
    EXPECT_FALSE(ftp_.SetFTPDirectory("/nowhere"));
    EXPECT_EQ(ftp_.GetLastErrorMessage(), "550 No such directory.");
    EXPECT_FALSE(ftp_.DeleteFTPFile("missing.zip"));
    std::string local = "C:\\in\\up.zip";
    std::string locked = "Locked.zip";
    EXPECT_FALSE(ftp_.FTPUploadFile(local, locked));
    EXPECT_EQ(ftp_.GetLastErrorMessage(), "553 Could not create file.");
    std::string partial = "up.zip.part";
    EXPECT_TRUE(ftp_.FTPUploadFile(local, partial)) << ftp_.GetLastErrorMessage();
    EXPECT_FALSE(ftp_.RenameFTPFile("up.zip.part", "up.zip"));
    EXPECT_EQ(ftp_.GetLastErrorMessage(), "553 Rename refused.");
    EXPECT_FALSE(ftp_.RenameFTPFile("absent.zip", "up.zip"));
    EXPECT_TRUE(ftp_.DeleteFTPFile("up.zip.part"));
    EXPECT_FALSE(Download("absent.zip"));
    EXPECT_TRUE(ftp_.RemoteFileWasMissing());
    EXPECT_TRUE(ftp_.SetFTPDirectory("/"));
    ExpectOneLogOn();
}

TEST(cDirListTest, AddSetsTheAttributeBitsAndKeysByName) {
    cDirList list;
    const cDirItem& item = list.Add(0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x80 | 0x100 | 0x800 | 0x1000, 1, 2, 3, 42, "Name");
    EXPECT_TRUE(item.ReadOnly && item.Hidden && item.System && item.Directory && item.Archive && item.Normal &&
                item.Temporary && item.Compressed && item.Offline);
    const cDirItem& plain = list.Add(0x80, 0, 0, 0, 1, "other");
    EXPECT_TRUE(plain.Normal);
    EXPECT_FALSE(plain.ReadOnly || plain.Directory || plain.Archive);
    EXPECT_THROW(list.Add(0, 0, 0, 0, 0, "NAME"), RuntimeError);
    EXPECT_EQ(list.Item(2).FileName, "other");
    EXPECT_EQ(list.Item("name").LastWriteTime, 3);
    EXPECT_THROW(list.Item(3), RuntimeError);
    EXPECT_THROW(list.Item("missing"), RuntimeError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
