#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/SetOwnerFS.h"
#include "common/modTakeOwn.h"
#include "platform/api/Environment.h"
#include "platform/api/Program.h"
#include "support/ScopedVariable.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

using testsupport::ReadHostFile;
using testsupport::ScopedVariable;
using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

namespace {

using testsupport::kProgramFolder;

class OwnershipTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteHostFile(host.HostOf("C:\\Data\\report.txt"), "text");
        fs::create_directories(host.HostOf("C:\\Data\\Folder\\Sub"));
    }

    // A stand-in subinacl.exe that records its tag and arguments, one line per run.
    void PlaceTool(const std::string& windowsPath, const std::string& tag) {
        const fs::path file = host.HostOf(windowsPath);
        WriteHostFile(file, "#!/bin/sh\nprintf '%s %s\\n' '" + tag + "' \"$QUARNEL_CMDLINE\" >> '" +
                                record.string() + "'\n");
        chmod(file.c_str(), 0755);
    }
    std::string Runs() const { return fs::exists(record) ? ReadHostFile(record) : ""; }

    testsupport::ProgramHost host;
    fs::path record = host.Folder() / "subinacl-runs.txt";
};

void TakeOwnership(const std::string& path, bool subfolders, std::string owner = "", std::string grantee = "") {
    std::int32_t windowStyle = 0;
    modTakeOwn::TakeOwnership(path, subfolders, windowStyle, owner, grantee);
}

TEST_F(OwnershipTest, LastExistingToolInTheSearchOrderIsUsed) {
    const std::string systemRoot = vb::Environ("SYSTEMROOT");
    const std::string inSystemRoot = systemRoot + "\\subinacl.exe";
    const std::string inSystem32 = systemRoot + "\\System32\\subinacl.exe";
    const std::string besideProgram = std::string(kProgramFolder) + "subinacl.exe";
    const std::string inTools = std::string(kProgramFolder) + "..\\3rd Party Tools\\subinacl.exe";
    EXPECT_EQ(modTakeOwn::FindSubinacl(), "");
    PlaceTool(inSystem32, "system32");
    EXPECT_EQ(modTakeOwn::FindSubinacl(), inSystem32);
    PlaceTool(inSystemRoot, "root");
    EXPECT_EQ(modTakeOwn::FindSubinacl(), inSystem32);
    PlaceTool("C:\\Program Files\\3rd Party Tools\\subinacl.exe", "tools");
    EXPECT_EQ(modTakeOwn::FindSubinacl(), inTools);
    PlaceTool(besideProgram, "beside");
    EXPECT_EQ(modTakeOwn::FindSubinacl(), inTools);

    TakeOwnership("C:\\Data\\report.txt", false);
    EXPECT_EQ(Runs().substr(0, 6), "tools ");
}

TEST_F(OwnershipTest, NoToolOrNoSuchPathRunsNothing) {
    TakeOwnership("C:\\Data\\report.txt", true);
    PlaceTool(std::string(kProgramFolder) + "subinacl.exe", "beside");
    TakeOwnership("C:\\Data\\missing.txt", true);
    EXPECT_EQ(Runs(), "");
}

TEST_F(OwnershipTest, CommandLinesForFilesAndFolders) {
    PlaceTool(std::string(kProgramFolder) + "subinacl.exe", "t");
    const std::string user = vb::Environ("USERNAME");
    StderrCapture capture;
    bool subfolders = true;
    std::int32_t windowStyle = 0;
    std::string owner;
    std::string grantee;
    modTakeOwn::TakeOwnership("C:\\Data\\report.txt", subfolders, windowStyle, owner, grantee);
    EXPECT_FALSE(subfolders);
    EXPECT_EQ(owner, user);
    EXPECT_EQ(grantee, user);
    const std::string tool = "\"C:\\Program Files\\Quarnel\\subinacl.exe\"";
    EXPECT_NE(capture.Text().find("ShellandWaitForTermination:  " + tool + " /file \"C:\\Data\\report.txt\" /setowner=" +
                                  user + " /grant=" + user + "=F\n"),
              std::string::npos)
        << capture.Text();

    TakeOwnership("C:\\Data\\Folder\\", true, "Administrators", "Users");
    const std::string expected =
        "t /file \"C:\\Data\\report.txt\" /setowner=" + user + " /grant=" + user + "=F\n" +
        "t /file \"C:\\Data\\Folder\" /setowner=Administrators /grant=Users=F\n" +
        "t /subdirectories \"C:\\Data\\Folder\\*.*\" /setowner=Administrators /grant=Users=F\n";
    EXPECT_EQ(Runs(), expected);
}

TEST_F(OwnershipTest, RunningAsSystemOwnsAsSystemAndGrantsEveryone) {
    PlaceTool(std::string(kProgramFolder) + "subinacl.exe", "t");
    ScopedVariable computer("COMPUTERNAME", "QHOST");
    ScopedVariable user("USERNAME", "QHOST$");
    bool subfolders = false;
    std::int32_t windowStyle = 0;
    std::string owner = "Administrators";
    std::string grantee;
    modTakeOwn::TakeOwnership("C:\\Data\\Folder", subfolders, windowStyle, owner, grantee);
    EXPECT_EQ(owner, "System");
    EXPECT_EQ(grantee, "Everyone");
    EXPECT_EQ(Runs(), "t /file \"C:\\Data\\Folder\" /setowner=System /grant=Everyone=F\n");
}

uid_t HostOwner(const fs::path& file) {
    struct stat info {};
    stat(file.c_str(), &info);
    return info.st_uid;
}

class ChangeOwnerTest : public OwnershipTest {
protected:
    void SetUp() override {
        OwnershipTest::SetUp();
        if (geteuid() != 0) GTEST_SKIP() << "giving a file to another account needs a host administrator";
        const passwd* entry = getpwnam("nobody");
        if (!entry) GTEST_SKIP() << "no account 'nobody' on this host";
        nobody = entry->pw_uid;
    }
    uid_t nobody = 0;
};

TEST_F(ChangeOwnerTest, WithPrivilegesTheOwnerChanges) {
    const fs::path file = host.HostOf("C:\\Data\\report.txt");
    StderrCapture capture;
    SetOwnerFS::ChangeOwnerOfFile("C:\\Data\\report.txt", "nobody");
    EXPECT_EQ(HostOwner(file), nobody);
    SetOwnerFS::ChangeOwnerOfFile("C:\\Data\\report.txt");
    EXPECT_EQ(HostOwner(file), geteuid());
    const std::string user = vb::Environ("USERNAME");
    EXPECT_NE(capture.Text().find("\tSetOwnerFS\\ChangeOwnerOfFile:\n"
                                  "\t\t- Passed: C:\\Data\\report.txt\n"
                                  "\t\t- Optional Parm OwnerAccountName=nobody\n"
                                  "\tOwner of C:\\Data\\report.txt changed to nobody\n"
                                  "\tSetOwnerFS\\ChangeOwnerOfFile:\n"
                                  "\t\t- Passed: C:\\Data\\report.txt\n"
                                  "\t\t- Optional Parm OwnerAccountName=\n"
                                  "\tOwner of C:\\Data\\report.txt changed to " +
                                  user + "\n"),
              std::string::npos)
        << capture.Text();
    EXPECT_EQ(capture.Text().find("failed with error code"), std::string::npos);
}

TEST_F(ChangeOwnerTest, WithoutPrivilegesTheFailedSwitchIsLogged) {
    host.WriteHostIni("Machine", "Administrator", "0");
    StderrCapture capture;
    SetOwnerFS::ChangeOwnerOfFile("C:\\Data\\report.txt", "nobody");
    const std::string text = capture.Text();
    EXPECT_NE(text.find("\t- Optional Parm OwnerAccountName=nobody\n"
                        "\tAdjustTokenPrivileges failed with error code 1300\n"),
              std::string::npos)
        << text;
    // The switch that never happened is not undone a second time.
    EXPECT_EQ(text.find("AdjustTokenPrivileges"), text.rfind("AdjustTokenPrivileges"));
}

TEST_F(OwnershipTest, EachFailingStepLogsItsLine) {
    struct Case {
        const char* path;
        const char* account;
        const char* line;
    };
    const Case cases[] = {
        {"C:\\Data\\report.txt", "No Such Account", "\tLookupAccountName failed with error code 1332\n"},
        {"C:\\Data\\missing.txt", "", "\tSetFileSecurity failed with error code 2\n"},
    };
    for (const Case& c : cases) {
        StderrCapture capture;
        SetOwnerFS::ChangeOwnerOfFile(c.path, c.account);
        EXPECT_NE(capture.Text().find(c.line), std::string::npos) << capture.Text();
        EXPECT_EQ(capture.Text().find("Owner of "), std::string::npos);
    }
}

TEST_F(OwnershipTest, PrivilegeSwitches) {
    EXPECT_TRUE(SetOwnerFS::Enable_Privilege("SeRestorePrivilege"));
    EXPECT_TRUE(SetOwnerFS::Disable_Privilege("SeRestorePrivilege"));
    StderrCapture capture;
    EXPECT_FALSE(SetOwnerFS::ModifyState("SeNoSuchPrivilege", true));
    EXPECT_NE(capture.Text().find("\tLookupPrivilegeValue failed with error code 1313\n"), std::string::npos);
    host.WriteHostIni("Machine", "Administrator", "0");
    EXPECT_FALSE(SetOwnerFS::Enable_Privilege("SeRestorePrivilege"));
    EXPECT_NE(capture.Text().find("\tAdjustTokenPrivileges failed with error code 1300\n"), std::string::npos);
}

}  // namespace
