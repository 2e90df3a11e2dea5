// The archive entry points: the names ZipFolder stores, the lists and single
// files, and UnzipFile with its status window and its 7-Zip fallback run
// through a wrapper of Debian's 7-Zip placed where the program looks for it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "net/ZipClass.h"
#include "net/ZipExtractionClass.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Process.h"
#include "platform/host/Text.h"
#include "support/PythonZip.h"
#include "support/ShellCommand.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using testsupport::ReadHostFile;
using testsupport::ShellCommand;
using testsupport::StderrCapture;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;

const std::string kApp = "C:\\Program Files\\Quarnel\\";

class modZipTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::TestApplication(); }
    fs::path App(const std::string& name) { return host_.HostOf(kApp + name); }
    fs::path Ketarin() { return App("3rd Party Tools/Ketarin"); }
    void PlaceSevenZip(const std::string& name) {
        fs::create_directories(Ketarin());
        fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "SevenZipWrapper", Ketarin() / name,
                      fs::copy_options::overwrite_existing);
    }
    void PlaceScript(const std::string& name, const std::string& body) {
        fs::create_directories(Ketarin());
        WriteHostFile(Ketarin() / name, "#!/bin/sh\n" + body + "\n");
        fs::permissions(Ketarin() / name, fs::perms::owner_all);
    }
    std::string GoodArchive() {
        WriteHostFile(App("src/Rule One.DAT"), "rule\r\n");
        WriteHostFile(App("src/Sub/Deep.txt"), std::string(9000, 'q'));
        ZipClass zip;
        zip.AddFile(kApp + "src\\Rule One.DAT");
        zip.AddFile(kApp + "src\\Sub\\Deep.txt", "Sub\\Deep.txt");
        zip.WriteZip(kApp + "good.zip");
        return kApp + "good.zip";
    }
    testsupport::ProgramHost host_;
};

TEST_F(modZipTest, ZipFolderStoresLowerCaseRelativeNames) {
    WriteHostFile(App("Rules/Sub/A.DAT"), "a");
    WriteHostFile(App("Rules/Top.txt"), "t");
    WriteHostFile(App("old.zip"), "stale");
    EXPECT_TRUE(modZip::ZipFolder(kApp + "Rules", kApp + "old.zip", true));
    std::vector<std::string> names;  // outlives the reader, whose closing still reports
    ZipExtractionClass reader;
    reader.Status = [&names](const std::string& text) { names.push_back(text); };
    ASSERT_TRUE(reader.OpenZip(kApp + "old.zip"));
    ASSERT_TRUE(reader.Extract(kApp + "back", true, true));
    EXPECT_NE(std::find(names.begin(), names.end(), "Extracting ...\\sub\\a.dat"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Extracting ...\\top.txt"), names.end());

    EXPECT_FALSE(modZip::ZipFolder(kApp + "No Such Folder", kApp + "old.zip", true));
    EXPECT_FALSE(fs::exists(App("old.zip")));
}

TEST_F(modZipTest, FileListSkipsEmptyAndMissingItemsAndSingleFileNeedsItsFile) {
    WriteHostFile(App("a.ini"), "a");
    WriteHostFile(App("Sub/b.ini"), "b");
    modZip::ZipFileList({"", kApp + "a.ini", kApp + "missing.ini", kApp + "Sub\\b.ini"}, kApp + "list.zip");
    ASSERT_TRUE(modZip::UnzipFile(kApp + "list.zip", kApp + "list", true));
    EXPECT_EQ(ReadHostFile(App("list/a.ini")), "a");
    EXPECT_EQ(ReadHostFile(App("list/b.ini")), "b");

    modZip::ZipSingleFile(kApp + "a.ini", kApp + "single.zip");
    EXPECT_EQ(ShellCommand("unzip -t '" + App("single.zip").string() + "'"), 0);
    StderrCapture debug;
    modZip::ZipSingleFile(kApp + "gone.ini", kApp + "gone.zip");
    EXPECT_NE(debug.Text().find("File Not Found"), std::string::npos);
    EXPECT_FALSE(fs::exists(App("gone.zip")));
}

TEST_F(modZipTest, UnzipShowsTheStatusWindowAndKeepsFolders) {
    const std::string zip = GoodArchive();
    // The window lives only inside the call: look at it when the call lets events run.
    QString caption;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmStatusWin" && w->isVisible()) {
                shown = true;
                caption = w->findChild<QLabel*>("Label1")->text();
            }
    });
    EXPECT_TRUE(modZip::UnzipFile(zip, kApp + "Rules\\", false));
    EXPECT_TRUE(shown);
    EXPECT_EQ(caption.toStdString(), "Extracting good.zip");
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_NE(w->objectName(), "frmStatusWin");
    EXPECT_EQ(ReadHostFile(App("Rules/Sub/Deep.txt")), std::string(9000, 'q'));
    EXPECT_EQ(ReadHostFile(App("Rules/Rule One.DAT")), "rule\r\n");
}

TEST_F(modZipTest, SevenZipFallback) {
    GoodArchive();
    const std::string bytes = ReadHostFile(App("good.zip"));
    WriteHostFile(App("torn.zip"), bytes.substr(0, bytes.size() / 2));

    {   // Without a 7-Zip program a failed built-in unpack is a failure.
        StderrCapture debug;
        EXPECT_FALSE(modZip::UnzipFile(kApp + "torn.zip", kApp + "out1", true));
        EXPECT_NE(debug.Text().find("modUnzip\\UnzipWith7z:  7zip executable not found!  Aborting function!"),
                  std::string::npos);
    }
    // 7z.exe wins over 7za.exe; a torn archive fails its test and its extraction.
    PlaceScript("7za.exe", "touch \"$0.ran\"; exit 0");
    PlaceSevenZip("7z.exe");
    {
        StderrCapture debug;
        std::string message;
        EXPECT_FALSE(modZip::UnzipWith7z(kApp + "torn.zip", kApp + "out2", message));
        EXPECT_EQ(message, "ZIP file may be corrupted!");
        const std::string log = debug.Text();
        EXPECT_NE(log.find("7zip executable found:  " + kApp + "3rd Party Tools\\Ketarin\\7z.exe"), std::string::npos);
        EXPECT_NE(log.find("Zip File Integrity Check FAILED!"), std::string::npos);
        EXPECT_NE(log.find(kApp + "3rd Party Tools\\Ketarin\\7z.exe x \"" + kApp + "torn.zip\" -o\"" + kApp +
                           "out2\" -y"),
                  std::string::npos);
    }
    EXPECT_FALSE(fs::exists(Ketarin() / "7za.exe.ran"));

    // An archive the built-in reader refuses (an entry of another method)
    // but 7-Zip reads is unpacked by 7-Zip, into a folder given with a
    // trailing backslash as the rules update gives it.
    ASSERT_EQ(ShellCommand("cd '" + App("src").string() + "' && zip -q -Z bzip2 -r ../bz.zip ."), 0);
    EXPECT_TRUE(modZip::UnzipFile(kApp + "bz.zip", kApp + "Rules\\", true));
    EXPECT_EQ(ReadHostFile(App("Rules/Sub/Deep.txt")), std::string(9000, 'q'));
}

// What an update delivers: a program that must run, and a settings file whose
// name differs from the installed one only in letter case.
TEST_F(modZipTest, UnpackedProgramsRunAndALowerCaseNameReplacesTheInstalledFile) {
    WriteHostFile(App("src/Helper.exe"), "#!/bin/sh\nexit 7\n");
    WriteHostFile(App("src/quarnel.ini"), "[General]\r\nNew=1\r\n");
    fs::permissions(App("src/Helper.exe"), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(ShellCommand("cd '" + App("src").string() + "' && zip -q ../update.zip Helper.exe quarnel.ini"), 0);
    WriteHostFile(App("Quarnel.ini"), "[General]\r\nOld=1\r\n");

    // The built-in unpack, and 7-Zip's, which leaves the execute bit to the start.
    PlaceSevenZip("7z.exe");
    std::string message;
    ASSERT_TRUE(modZip::UnzipFile(kApp + "update.zip", kApp + "update", true));
    ASSERT_TRUE(modZip::UnzipWith7z(kApp + "update.zip", kApp + "update7", message));
    EXPECT_EQ(::access(App("update/Helper.exe").c_str(), X_OK), 0);
    for (const std::string folder : {"update", "update7"}) {
        SCOPED_TRACE(folder);
        const long pid = platform::StartCommandLine("\"" + kApp + folder + "\\Helper.exe\"");
        ASSERT_GT(pid, 0);
        EXPECT_EQ(platform::WaitForChildExit(pid), 7u);
    }

    ASSERT_EQ(win::SHFileOperationMove(kApp + "update\\quarnel.ini", kApp.substr(0, kApp.size() - 1),
                                       win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR),
              0);
    std::vector<std::string> settings;
    for (const auto& entry : fs::directory_iterator(App("")))
        if (platform::TextLower(entry.path().filename().string()) == "quarnel.ini")
            settings.push_back(entry.path().filename().string());
    EXPECT_EQ(settings, std::vector<std::string>{"Quarnel.ini"});
    EXPECT_EQ(ReadHostFile(App("Quarnel.ini")), "[General]\r\nNew=1\r\n");
    EXPECT_FALSE(fs::exists(App("update/quarnel.ini")));
}

TEST_F(modZipTest, AnUnsafeArchiveFailsWithoutSevenZip) {
    WriteHostFile(App("x.txt"), "x");
    ZipClass zip;
    zip.AddFile(kApp + "x.txt", "..\\x.txt");
    zip.WriteZip(kApp + "unsafe.zip");
    EXPECT_FALSE(modZip::UnzipFile(kApp + "unsafe.zip", kApp + "Rules", true));
    EXPECT_FALSE(fs::exists(App("x.txt.1")));
}

// An archive the built-in reader cannot take fails the unpack with a line
// that names the entry or the zip64 format.
TEST_F(modZipTest, UnpackThatTheReaderRefusesFailsNamingWhy) {
    ASSERT_TRUE(testsupport::WritePythonZip(App("star.zip"), {{"*.DAT", "rule"}, {"Good.DAT", "good"}}));
    ASSERT_TRUE(testsupport::WritePythonZip(App("tail.zip"), {{"tail\\", "data"}}));
    ASSERT_EQ(ShellCommand("seq 1 100000 | zip -q > '" + App("piped64.zip").string() + "'"), 0);
    const struct {
        const char* archive;
        std::string line;
    } cases[] = {
        {"star.zip", "modZip\\UnzipFile: ZipError 14: The file name *.DAT is not allowed"},
        {"tail.zip", "modZip\\UnzipFile: ZipError 14: The file name tail\\ is not allowed"},
        {"piped64.zip", "modZip\\UnzipFile: ZipError 15: The archive uses zip64 for -, which is unsupported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        StderrCapture debug;
        EXPECT_FALSE(modZip::UnzipFile(kApp + c.archive, kApp + "Rules", true));
        EXPECT_NE(debug.Text().find(c.line), std::string::npos) << debug.Text();
    }
    EXPECT_EQ(ReadHostFile(App("Rules/Good.DAT")), "good");
    EXPECT_FALSE(fs::exists(App("Rules/-")));
    EXPECT_FALSE(fs::exists(App("Rules/tail")));
}

// A 7-Zip that exits with 0 is not taken at its word: a file it left short
// fails the unpack.
TEST_F(modZipTest, SevenZipUnpackMustBeWhole) {
    GoodArchive();
    ASSERT_EQ(ShellCommand("cd '" + App("src").string() + "' && zip -q -Z bzip2 -r ../bz.zip ."), 0);
    const fs::path out = App("out");
    PlaceScript("7z.exe", "case \"$QUARNEL_CMDLINE\" in x*) mkdir -p '" + out.string() + "/Sub' && printf 'rule\\r\\n' > '" +
                              out.string() + "/Rule One.DAT' && printf short > '" + out.string() +
                              "/Sub/Deep.txt';; esac; exit 0");
    StderrCapture debug;
    EXPECT_FALSE(modZip::UnzipFile(kApp + "bz.zip", kApp + "out", true));
    EXPECT_NE(debug.Text().find("modZip\\UnzipFile: ZipError 5: Data checksum error in " + kApp + "out\\Sub\\Deep.txt"),
              std::string::npos)
        << debug.Text();
    EXPECT_NE(debug.Text().find("what 7-Zip unpacked from " + kApp + "bz.zip is not whole"), std::string::npos);
    EXPECT_EQ(ReadHostFile(App("out/Rule One.DAT")), "rule\r\n");
}

}  // namespace
