// The cloud windows against a real FTP server named by the registry.
#include <gtest/gtest.h>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "net/frmFTPDL.h"
#include "net/frmFTPUL.h"
#include "net/ZipClass.h"
#include "net/modBase85.h"
#include "platform/api/MessageBox.h"
#include "support/FtpPeer.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

using modCloud::Outcome;
using testsupport::FtpPeer;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

namespace {

constexpr const char* kProgramFolder = "C:\\Program Files\\Quarnel\\";

class CloudTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        ASSERT_TRUE(server_.Ready());
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        SetCredentials(FtpPeer::kUser, FtpPeer::kPassword);
        SetServer(server_.Address());
    }

    void SetCredentials(const std::string& user, const std::string& password) {
        CommonModule::WriteIniString(CommonModule::sINI, "Nimbrel", "UserName", user);
        CommonModule::WriteIniString(CommonModule::sINI, "Nimbrel", "Password",
                                     password.empty() ? "" : modBase85::XorEncode(password, modBase85::kMailPasswordKey));
    }
    void SetServer(const std::string& address) {
        modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, modCloud::kCloudServerValue, "S", address);
    }

    std::filesystem::path Program(const std::string& name) const { return host_.HostOf(kProgramFolder + name); }
    std::filesystem::path Remote(const std::string& name) const { return server_.Root() / "Quarnel" / name; }

    template <typename Window>
    Outcome Run() {
        Window window;
        platform::ShowModal(&window);
        return window.Outcome();
    }

    testsupport::ProgramHost host_;
    FtpPeer server_{host_.Folder() / "ftproot"};
};

TEST_F(CloudTransfer, UploadThenDownloadMovesBothArchivesWhole) {
    const std::string config(3000, 'c');
    const std::string rules(510, 'r');
    WriteHostFile(Program("QuarnelConfig.zip"), config);
    WriteHostFile(Program("Rules.zip"), rules);
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::Done);
    EXPECT_EQ(ReadHostFile(Remote("QuarnelConfig.zip")), config);
    EXPECT_EQ(ReadHostFile(Remote("Rules.zip")), rules);
    EXPECT_FALSE(std::filesystem::exists(Remote("QuarnelConfig.zip.part")));

    // A second upload replaces what is there.
    WriteHostFile(Program("Rules.zip"), "newer");
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::Done);
    EXPECT_EQ(ReadHostFile(Remote("Rules.zip")), "newer");

    std::filesystem::remove(Program("QuarnelConfig.zip"));
    std::filesystem::remove(Program("Rules.zip"));
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::Done);
    EXPECT_EQ(ReadHostFile(Program("QuarnelConfig.zip")), config);
    EXPECT_EQ(ReadHostFile(Program("Rules.zip")), "newer");
}

TEST_F(CloudTransfer, OnlyTheArchivesThatExistAreSentOrFetched) {
    WriteHostFile(Program("Rules.zip"), "rules only");
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::Done);
    EXPECT_FALSE(std::filesystem::exists(Remote("QuarnelConfig.zip")));
    EXPECT_EQ(ReadHostFile(Remote("Rules.zip")), "rules only");

    std::filesystem::remove(Program("Rules.zip"));
    testsupport::StderrCapture debug;
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::Done);
    EXPECT_FALSE(std::filesystem::exists(Program("QuarnelConfig.zip")));
    EXPECT_EQ(ReadHostFile(Program("Rules.zip")), "rules only");
    EXPECT_NE(debug.Text().find("QuarnelConfig.zip is not on the server"), std::string::npos);

    std::filesystem::remove(Remote("Rules.zip"));
    std::filesystem::remove(Program("Rules.zip"));
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::NothingToTransfer);
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::NothingToTransfer);
}

TEST_F(CloudTransfer, NothingIsTriedWithoutCredentialsOrServer) {
    WriteHostFile(Program("Rules.zip"), "r");
    testsupport::StderrCapture debug;
    SetCredentials("", FtpPeer::kPassword);
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::NoCredentials);
    SetCredentials(FtpPeer::kUser, "");
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::NoCredentials);
    SetCredentials(FtpPeer::kUser, FtpPeer::kPassword);
    SetServer("");
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::NoServer);
    EXPECT_FALSE(std::filesystem::exists(server_.Root() / "Quarnel"));
    EXPECT_NE(debug.Text().find("no cloud server is set"), std::string::npos);
    EXPECT_EQ(debug.Text().find(FtpPeer::kPassword), std::string::npos);
}

TEST_F(CloudTransfer, ARefusedLogOnIsLoggedWithTheServersReplyButNotThePassword) {
    SetCredentials(FtpPeer::kUser, "wrong password");
    testsupport::StderrCapture debug;
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::NotConnected);
    EXPECT_NE(debug.Text().find("frmFTPDL\\Form_Load: OpenConnection"), std::string::npos) << debug.Text();
    EXPECT_NE(debug.Text().find("530"), std::string::npos);
    EXPECT_EQ(debug.Text().find("wrong password"), std::string::npos);
}

TEST_F(CloudTransfer, ADownloadFromAnAccountWithoutTheFolderTakesNothingFromElsewhere) {
    WriteHostFile(server_.Root() / "QuarnelConfig.zip", "not in the folder");
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::FolderMissing);
    EXPECT_FALSE(std::filesystem::exists(Program("QuarnelConfig.zip")));
}

TEST(CloudTransferShort, AnArchiveCutShortIsNotLeftInTheProgramFolder) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    WriteHostFile(host.Folder() / "ftproot" / "Quarnel" / "QuarnelConfig.zip", std::string(2000, 'q'));
    WriteHostFile(host.Folder() / "ftproot" / "Quarnel" / "Rules.zip", std::string(2000, 'r'));
    FtpPeer server(host.Folder() / "ftproot", "short-transfer");
    ASSERT_TRUE(server.Ready());
    CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
    CommonModule::WriteIniString(CommonModule::sINI, "Nimbrel", "UserName", FtpPeer::kUser);
    CommonModule::WriteIniString(CommonModule::sINI, "Nimbrel", "Password",
                                 modBase85::XorEncode(FtpPeer::kPassword, modBase85::kMailPasswordKey));
    modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, modCloud::kCloudServerValue, "S",
                             server.Address());
    frmFTPDL window;
    EXPECT_EQ(window.Outcome(), Outcome::TransferFailed);
    EXPECT_FALSE(std::filesystem::exists(host.HostOf(std::string(kProgramFolder) + "QuarnelConfig.zip")));
    EXPECT_FALSE(std::filesystem::exists(host.HostOf(std::string(kProgramFolder) + "Rules.zip")));
}

// The configuration archive comes from a server: only the two files the
// program itself puts in it reach the program folder.
TEST(CloudUnpack, OnlyTheSettingsFileAndTheRulesArchiveLeaveTheConfigArchive) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    const auto program = [&](const std::string& name) { return host.HostOf(std::string(kProgramFolder) + name); };
    WriteHostFile(program("Quarnel.exe"), "the program");
    WriteHostFile(program("Quarnel.ini"), "[General]\r\nIdentifier=Old\r\n");
    const std::string source = std::string(kProgramFolder) + "Source\\";
    const std::pair<const char*, const char*> entries[] = {
        {"quarnel.ini", "[General]\r\nIdentifier=New\r\n"}, {"Rules.zip", "rules archive"},
        {"Quarnel.exe", "replaced program"}, {"Quarnel_Stop.exe", "another program"},
        {"Rules\\Quarnel.ini", "nested"}};
    ZipClass zip;
    for (const auto& [name, bytes] : entries) {
        const std::string file = source + std::to_string(zip.FileCount());
        WriteHostFile(host.HostOf(file), bytes);
        ASSERT_TRUE(zip.AddFile(file, name));
    }
    const std::string archive = std::string(kProgramFolder) + "QuarnelConfig.zip";
    ASSERT_TRUE(zip.WriteZip(archive, true));

    EXPECT_TRUE(modCloud::UnpackConfigArchive(archive));
    EXPECT_EQ(ReadHostFile(program("Quarnel.ini")), "[General]\r\nIdentifier=New\r\n");
    EXPECT_EQ(ReadHostFile(program("Rules.zip")), "rules archive");
    EXPECT_EQ(ReadHostFile(program("Quarnel.exe")), "the program");
    EXPECT_FALSE(std::filesystem::exists(program("Quarnel_Stop.exe")));
    EXPECT_FALSE(std::filesystem::exists(program("Rules")));
    EXPECT_FALSE(std::filesystem::exists(program("QuarnelConfig.tmp")));
}

TEST(CloudUnpack, ADamagedArchiveChangesNothing) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    const auto program = [&](const std::string& name) { return host.HostOf(std::string(kProgramFolder) + name); };
    WriteHostFile(program("Quarnel.ini"), "kept");
    WriteHostFile(program("QuarnelConfig.zip"), "PK\x03\x04 not really an archive");
    testsupport::StderrCapture debug;
    EXPECT_FALSE(modCloud::UnpackConfigArchive(std::string(kProgramFolder) + "QuarnelConfig.zip"));
    EXPECT_EQ(ReadHostFile(program("Quarnel.ini")), "kept");
    EXPECT_FALSE(std::filesystem::exists(program("QuarnelConfig.tmp")));
    EXPECT_NE(debug.Text().find("could not be unpacked"), std::string::npos) << debug.Text();
}

}  // namespace
