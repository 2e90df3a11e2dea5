// "/cloudupdate" through the installed Quarnel.exe against a real FTP
// server: the configuration and the rules arrive, the archives go, and an
// archive that carries more than the configuration replaces nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/modRegistry.h"
#include "net/modBase85.h"
#include "platform/api/ProfileIni.h"
#include "support/FtpPeer.h"
#include "support/ProgramRun.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FtpPeer;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

// A zip archive of the files of a folder, names relative to it, no folder entries (Debian's zip).
void ZipFolderTo(const fs::path& folder, const fs::path& archive) {
    ASSERT_EQ(testsupport::ShellCommand("cd '" + folder.string() + "' && zip -q -r -D '" + archive.string() + "' ."), 0);
}

TEST(CloudRun, CloudUpdateTakesTheSettingsAndTheRulesAndNothingElse) {
    testsupport::TempHost host;
    const fs::path programFolder = testsupport::InstallProgram(host);
    const std::string program = ReadHostFile(programFolder / "Quarnel.exe");
    const fs::path ini = testsupport::InstalledIni(host);
    platform::WriteIniValue(ini, "Nimbrel", "UserName", FtpPeer::kUser);
    platform::WriteIniValue(ini, "Nimbrel", "Password",
                            modBase85::XorEncode(FtpPeer::kPassword, modBase85::kMailPasswordKey));
    platform::WriteIniValue(ini, "General", "Identifier", "Before");

    const fs::path root = host.Folder() / "ftproot";
    const fs::path staging = host.Folder() / "staging";
    WriteHostFile(staging / "config" / "Quarnel.ini", "[General]\r\nIdentifier=From the cloud\r\n");
    WriteHostFile(staging / "config" / "Quarnel.exe", "not the program");
    WriteHostFile(staging / "config" / "Debug" / "note.txt", "stray");
    WriteHostFile(staging / "rules" / "disk.dat", "[EventDetail]\r\nEventID=7\r\n");
    fs::create_directories(root / "Quarnel");
    ZipFolderTo(staging / "config", root / "Quarnel" / "QuarnelConfig.zip");
    ZipFolderTo(staging / "rules", root / "Quarnel" / "Rules.zip");

    FtpPeer server(root);
    ASSERT_TRUE(server.Ready());
    modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, "Cloud Server", "S", server.Address());

    const testsupport::ProgramResult result = testsupport::RunInstalled(host, "Quarnel.exe", "/cloudupdate");
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    EXPECT_EQ(platform::ReadIniValue(ini, "General", "Identifier"), "From the cloud");
    EXPECT_EQ(ReadHostFile(programFolder / "Rules" / "disk.dat"), "[EventDetail]\r\nEventID=7\r\n");
    EXPECT_EQ(ReadHostFile(programFolder / "Quarnel.exe"), program);
    EXPECT_FALSE(fs::exists(programFolder / "Debug" / "note.txt"));
    EXPECT_FALSE(fs::exists(programFolder / "QuarnelConfig.zip"));
    EXPECT_FALSE(fs::exists(programFolder / "Rules.zip"));
    EXPECT_FALSE(fs::exists(programFolder / "QuarnelConfig.tmp"));
}

// A rules archive whose second entry is damaged (stored, one byte changed, so
// its checksum fails): the settings still arrive, and the rules stay whole as
// they were, the file before the damaged one included.
TEST(CloudRun, ARulesArchiveThatCannotBeUnpackedLeavesEveryRuleAsItWas) {
    testsupport::TempHost host;
    const fs::path programFolder = testsupport::InstallProgram(host);
    const fs::path ini = testsupport::InstalledIni(host);
    platform::WriteIniValue(ini, "Nimbrel", "UserName", FtpPeer::kUser);
    platform::WriteIniValue(ini, "Nimbrel", "Password",
                            modBase85::XorEncode(FtpPeer::kPassword, modBase85::kMailPasswordKey));
    WriteHostFile(programFolder / "Rules" / "a.dat", "old a");
    WriteHostFile(programFolder / "Rules" / "c.dat", "old c");

    const fs::path root = host.Folder() / "ftproot";
    const fs::path staging = host.Folder() / "staging";
    WriteHostFile(staging / "config" / "Quarnel.ini", "[General]\r\nIdentifier=From the cloud\r\n");
    WriteHostFile(staging / "rules" / "a.dat", "new a");
    WriteHostFile(staging / "rules" / "b.dat", std::string(64, 'B'));
    fs::create_directories(root / "Quarnel");
    ZipFolderTo(staging / "config", root / "Quarnel" / "QuarnelConfig.zip");
    const fs::path rulesArchive = root / "Quarnel" / "Rules.zip";
    ASSERT_EQ(testsupport::ShellCommand("cd '" + (staging / "rules").string() + "' && zip -q -0 '" +
                                        rulesArchive.string() + "' a.dat b.dat"),
              0);
    std::string bytes = ReadHostFile(rulesArchive);
    const size_t damaged = bytes.find(std::string(64, 'B'));
    ASSERT_NE(damaged, std::string::npos);
    bytes[damaged + 10] = 'X';
    WriteHostFile(rulesArchive, bytes);

    FtpPeer server(root);
    ASSERT_TRUE(server.Ready());
    modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, "Cloud Server", "S", server.Address());

    const testsupport::ProgramResult result = testsupport::RunInstalled(host, "Quarnel.exe", "/cloudupdate");
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    EXPECT_EQ(platform::ReadIniValue(ini, "General", "Identifier"), "From the cloud");
    EXPECT_EQ(ReadHostFile(programFolder / "Rules" / "a.dat"), "old a") << result.debugOutput;
    EXPECT_EQ(ReadHostFile(programFolder / "Rules" / "c.dat"), "old c");
    EXPECT_FALSE(fs::exists(programFolder / "Rules" / "b.dat"));
    EXPECT_FALSE(fs::exists(programFolder / "Rules.zip"));
}

}  // namespace
