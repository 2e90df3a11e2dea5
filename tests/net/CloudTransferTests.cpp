// The cloud windows against a real FTP server named by the registry.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

// A program host with the cloud credentials stored; the server is the test's.
class CloudWindows : public ::testing::Test {
protected:
    // Credentials and the server's address for the server.
    void Use(const FtpPeer& server) {
        testsupport::TestApplication();
        ASSERT_TRUE(server.Ready());
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        SetCredentials(FtpPeer::kUser, FtpPeer::kPassword);
        SetServer(server.Address());
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

    template <typename Window>
    Outcome Run() {
        Window window;
        platform::ShowModal(&window);
        return window.Outcome();
    }

    testsupport::ProgramHost host_;
};

class CloudTransfer : public CloudWindows {
protected:
    void SetUp() override { Use(server_); }
    std::filesystem::path Remote(const std::string& name) const { return server_.Root() / "Quarnel" / name; }

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

// The cloud windows against a server that refuses some of what they ask.
class CloudTransferRefused : public CloudWindows {
protected:
    void OnServer(const std::string& name, const std::string& bytes) const {
        WriteHostFile(host_.Folder() / "refusing" / "Quarnel" / name, bytes);
    }
    std::filesystem::path OnServer(const std::string& name) const { return host_.Folder() / "refusing" / "Quarnel" / name; }
};

// An account that may not rename, or a server that refuses the rename: the
// new archives stand whole under their own names, and where even that is
// refused the old archive stays as it was.
TEST_F(CloudTransferRefused, AnUploadWithoutRenameStillReplacesTheArchivesWholeOrKeepsTheOldOnes) {
    struct Case {
        const char* server;
        std::function<std::unique_ptr<FtpPeer>(const std::filesystem::path&)> start;
        Outcome outcome;
        const char* rulesOnServer;
    };
    const Case cases[] = {
        {"an account without the right to rename",
         [](const std::filesystem::path& root) { return std::make_unique<FtpPeer>(root, "no-rename"); },
         Outcome::Done, "new rules"},
        {"a server that refuses RNTO",
         [](const std::filesystem::path& root) {
             return std::make_unique<testsupport::ScriptedFtpPeer>(root, std::vector<std::string>{"refuse-rnto"});
         },
         Outcome::Done, "new rules"},
        {"a server that refuses RNTO and the rules archive's own name",
         [](const std::filesystem::path& root) {
             return std::make_unique<testsupport::ScriptedFtpPeer>(
                 root, std::vector<std::string>{"refuse-rnto", "refuse-stor:Rules.zip"});
         },
         Outcome::TransferFailed, "old rules"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(host_.Folder() / "refusing");
        OnServer("QuarnelConfig.zip", "old config");
        OnServer("Rules.zip", "old rules");
        const auto server = c.start(host_.Folder() / "refusing");
        Use(*server);
        WriteHostFile(Program("QuarnelConfig.zip"), "new config");
        WriteHostFile(Program("Rules.zip"), "new rules");
        EXPECT_EQ(Run<frmFTPUL>(), c.outcome) << c.server;
        EXPECT_EQ(ReadHostFile(OnServer("QuarnelConfig.zip")), "new config") << c.server;
        EXPECT_EQ(ReadHostFile(OnServer("Rules.zip")), c.rulesOnServer) << c.server;
        EXPECT_FALSE(std::filesystem::exists(OnServer("QuarnelConfig.zip.part"))) << c.server;
        EXPECT_FALSE(std::filesystem::exists(OnServer("Rules.zip.part"))) << c.server;
    }
}

// One connection and one log-on for a whole window, whatever is refused on
// the way; the download lists the folder once for each archive.
TEST_F(CloudTransferRefused, EachWindowLogsOnOnceAndTheDownloadListsOncePerArchive) {
    OnServer("QuarnelConfig.zip", "old config");
    OnServer("Rules.zip", "old rules");
    testsupport::ScriptedFtpPeer server(host_.Folder() / "refusing", {"refuse-rnto"});
    Use(server);
    WriteHostFile(Program("QuarnelConfig.zip"), "new config");
    WriteHostFile(Program("Rules.zip"), "new rules");
    EXPECT_EQ(Run<frmFTPUL>(), Outcome::Done);
    EXPECT_EQ(server.CountOf("USER"), 1);

    std::filesystem::remove(Program("QuarnelConfig.zip"));
    std::filesystem::remove(Program("Rules.zip"));
    EXPECT_EQ(Run<frmFTPDL>(), Outcome::Done);
    EXPECT_EQ(ReadHostFile(Program("Rules.zip")), "new rules");
    EXPECT_EQ(server.CountOf("USER"), 2);
    EXPECT_EQ(server.CountOf("MLSD") + server.CountOf("LIST"), 2);
}

// What the download window tells of each archive, for the caller's message.
TEST_F(CloudTransferRefused, TheDownloadTellsWhichArchiveFailed) {
    OnServer("QuarnelConfig.zip", "config");
    OnServer("Rules.zip", "rules");
    testsupport::ScriptedFtpPeer server(host_.Folder() / "refusing", {"retr-451:Rules.zip"});
    Use(server);
    frmFTPDL window;
    EXPECT_EQ(window.Outcome(), Outcome::TransferFailed);
    EXPECT_EQ(window.Result().config, modCloud::Arrival::Downloaded);
    EXPECT_EQ(window.Result().rules, modCloud::Arrival::NotDownloaded);
    EXPECT_EQ(ReadHostFile(Program("QuarnelConfig.zip")), "config");
    EXPECT_FALSE(std::filesystem::exists(Program("Rules.zip")));
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

// The rules archive of a download joins the rules in one step: files of the
// same name are replaced and the others stay, or, for an archive whose
// second entry is damaged, no rule changes at all.
TEST(CloudUnpack, TheRulesArchiveJoinsTheRulesWholeOrNotAtAll) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    const auto program = [&](const std::string& name) { return host.HostOf(std::string(kProgramFolder) + name); };
    WriteHostFile(program("Rules\\Old.DAT"), "old");
    WriteHostFile(program("Rules\\Same.DAT"), "before");
    const std::string archive = std::string(kProgramFolder) + "Rules.zip";
    const auto writeArchive = [&] {
        ZipClass zip;
        WriteHostFile(program("Source\\1"), "after");
        WriteHostFile(program("Source\\2"), std::string(3000, 'n'));
        EXPECT_TRUE(zip.AddFile(std::string(kProgramFolder) + "Source\\1", "Same.DAT"));
        EXPECT_TRUE(zip.AddFile(std::string(kProgramFolder) + "Source\\2", "New.DAT"));
        EXPECT_TRUE(zip.WriteZip(archive, true));
    };

    writeArchive();
    modCloud::DownloadResult result;
    result.rules = modCloud::Arrival::Downloaded;
    modCloud::ApplyRulesArchive(result);
    EXPECT_EQ(result.rules, modCloud::Arrival::Applied);
    EXPECT_EQ(result.outcome, Outcome::Done);
    EXPECT_EQ(ReadHostFile(program("Rules\\Old.DAT")), "old");
    EXPECT_EQ(ReadHostFile(program("Rules\\Same.DAT")), "after");
    EXPECT_EQ(ReadHostFile(program("Rules\\New.DAT")), std::string(3000, 'n'));
    EXPECT_EQ(modCloud::DownloadMessage(result), "");

    std::filesystem::remove(program("Rules\\New.DAT"));
    WriteHostFile(program("Rules\\Same.DAT"), "before");
    writeArchive();
    std::string bytes = ReadHostFile(program("Rules.zip"));
    const size_t second = bytes.find("PK\x03\x04", 4);
    ASSERT_NE(second, std::string::npos);
    const size_t data = second + 30 + static_cast<unsigned char>(bytes[second + 26]) +
                        static_cast<unsigned char>(bytes[second + 28]);
    bytes[data + 1] = static_cast<char>(bytes[data + 1] ^ 0x55);
    WriteHostFile(program("Rules.zip"), bytes);
    result = modCloud::DownloadResult{};
    result.rules = modCloud::Arrival::Downloaded;
    modCloud::ApplyRulesArchive(result);
    EXPECT_EQ(result.rules, modCloud::Arrival::NotApplied);
    EXPECT_EQ(result.outcome, Outcome::UnpackFailed);
    EXPECT_EQ(ReadHostFile(program("Rules\\Old.DAT")), "old");
    EXPECT_EQ(ReadHostFile(program("Rules\\Same.DAT")), "before");
    EXPECT_FALSE(std::filesystem::exists(program("Rules\\New.DAT")));
    EXPECT_FALSE(std::filesystem::exists(program("Rules_new")));
    EXPECT_FALSE(std::filesystem::exists(program("Rules_old")));
    EXPECT_EQ(modCloud::DownloadMessage(result),
              "Your rules from the cloud server could not be unpacked; the rules stay as they were.");
}

// The message names what failed, after what was applied, and nothing when all arrived.
TEST(CloudUnpack, TheDownloadMessageSaysWhatFailedAfterWhatArrived) {
    using modCloud::Arrival;
    struct Case {
        Outcome outcome;
        Arrival config;
        Arrival rules;
        const char* message;
    };
    const Case cases[] = {
        {Outcome::Done, Arrival::Applied, Arrival::Applied, ""},
        {Outcome::Done, Arrival::NotThere, Arrival::Applied, ""},
        {Outcome::TransferFailed, Arrival::Applied, Arrival::NotDownloaded,
         "Your configuration arrived and is loaded.  Your rules could not be downloaded from the cloud server; the "
         "rules stay as they were."},
        {Outcome::UnpackFailed, Arrival::NotApplied, Arrival::Applied,
         "Your rules arrived and are in place.  Your configuration from the cloud server could not be unpacked; the "
         "settings stay as they were."},
        {Outcome::NotConnected, Arrival::NotThere, Arrival::NotThere, "Could not connect to the cloud server."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(modCloud::DownloadMessage({c.outcome, c.config, c.rules}), c.message);
}

}  // namespace
