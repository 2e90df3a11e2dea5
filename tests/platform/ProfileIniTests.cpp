#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "platform/api/ProfileIni.h"
#include "platform/host/WinPath.h"
#include "support/TempHost.h"
#include "support/Utf16Text.h"

using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::RewriteKeepingTheTime;
using testsupport::WriteHostFile;

namespace {

std::string Read(const std::string& file, const std::string& section, const std::string& key, win::DWORD size = 255) {
    std::string value;
    const win::DWORD n = win::GetPrivateProfileStringA(section, key, "", value, size, file);
    EXPECT_EQ(n, value.size());
    return value;
}

const char* const kIni = "C:\\Settings\\Test.ini";

}  // namespace

TEST(ProfileIni, ReadsValuesAsTheProfileFunctionsDo) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni),
                  "[General]\r\n"
                  "ShowTrayIcon=1\r\n"
                  "  Padded  =   some value   \r\n"
                  "Quoted=\"  inner blanks  \"\r\n"
                  "Single='x'\r\n"
                  "Half=\"open\r\n"
                  "Empty=\r\n"
                  "Dup=first\r\n"
                  "Dup=second\r\n"
                  "Equals=a=b\r\n"
                  "[ heartbeat ]\n"
                  "Drives=C:\\;D:\\\n"
                  "[General]\r\n"
                  "Later=never\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"General", "ShowTrayIcon", "1"},  {"GENERAL", "showtrayicon", "1"}, {"General", "Padded", "some value"},
        {"General", "Quoted", "  inner blanks  "}, {"General", "Single", "x"}, {"General", "Half", "\"open"},
        {"General", "Empty", ""},          {"General", "Missing", ""},       {"General", "Dup", "first"},
        {"General", "Equals", "a=b"},      {"Heartbeat", "Drives", "C:\\;D:\\"}, {"General", "Later", ""},
        {"NoSection", "ShowTrayIcon", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(kIni, c.section, c.key), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(Read("C:\\Settings\\Missing.ini", "General", "ShowTrayIcon"), "");
}

TEST(ProfileIni, BufferCutKeepsSizeMinusOneCharacters) {
    TempHost host;
    const std::string longValue(300, 'x');
    std::string utf8(253, 'a');
    utf8 += "\xC3\xA9\xC3\xA9";  // two two-byte characters straddling the cut
    WriteHostFile(host.HostOf(kIni), "[S]\r\nLong=" + longValue + "\r\nUtf=" + utf8 + "\r\n");
    EXPECT_EQ(Read(kIni, "S", "Long"), std::string(254, 'x'));
    EXPECT_EQ(Read(kIni, "S", "Utf"), std::string(253, 'a') + "\xC3\xA9");
    std::string german;
    for (int i = 0; i < 130; ++i) german += "\xC3\xA4";  // 130 characters, 260 bytes: nothing cut
    WriteHostFile(host.HostOf(kIni), "[S]\r\nLong=" + longValue + "\r\nGerman=" + german + "\r\n");
    EXPECT_EQ(Read(kIni, "S", "German"), german);
    EXPECT_EQ(Read(kIni, "S", "Long", 5), "xxxx");
    std::string value;
    EXPECT_EQ(win::GetPrivateProfileStringA("S", "Nope", "default  ", value, 255, kIni), 7u);
    EXPECT_EQ(value, "default");
}

TEST(ProfileIni, ReadsFilesWrittenOnWindows) {
    TempHost host;
    struct Case {
        const char* name;
        std::string bytes;
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"code page 1252", "[EventDetail]\r\nEventDesc=\xC4rger \x80 \x93x\x94\r\n", "EventDetail", "EventDesc",
         "\xC3\x84rger \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"1252 section name", "[Pr\xFC" "fung]\r\nA=1\r\n", "PR\xC3\x9C" "FUNG", "a", "1"},
        {"byte-order mark", "\xEF\xBB\xBF[General]\r\nShowTrayIcon=1\r\n", "General", "ShowTrayIcon", "1"},
        {"mark and UTF-8", "\xEF\xBB\xBF[S]\r\nK=\xC3\xA4\r\n", "s", "K", "\xC3\xA4"},
    };
    for (const Case& c : cases) {
        WriteHostFile(host.HostOf(kIni), c.bytes);
        EXPECT_EQ(Read(kIni, c.section, c.key), c.value) << c.name;
    }
}

TEST(ProfileIni, WritingKeepsTheFilesOwnEncoding) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni), "[S]\r\nOld=\xC4rger\r\n");
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "New", std::string("\xC3\x96l \xE2\x82\xAC"), kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), "[S]\r\nOld=\xC4rger\r\nNew=\xD6l \x80\r\n");
    EXPECT_EQ(Read(kIni, "S", "Old"), "\xC3\x84rger");

    WriteHostFile(host.HostOf(kIni), "\xEF\xBB\xBF[S]\r\nOld=\xC3\xA4\r\n");
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "New", std::string("\xC3\x96"), kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), "\xEF\xBB\xBF[S]\r\nOld=\xC3\xA4\r\nNew=\xC3\x96\r\n");
}

// A settings file in a double-byte code page reads in it and keeps its bytes
// when another key is written; a value the page holds is written in it.
TEST(ProfileIni, ADoubleByteCodePageIsReadAndKeptOnWrite) {
    const struct {
        const char* page;
        const char* ansi;
        const char* utf8;
    } cases[] = {
        {"932", "\x83\x47\x83\x89\x81\x5B", "エラー"},
        {"936", "\xC4\xE3\xBA\xC3", "你好"},
        {"949", "\xC7\xD1\xB1\xDB", "한글"},
        {"950", "\xA4\xA4\xA4\xE5", "中文"},
    };
    for (const auto& c : cases) {
        TempHost host;
        host.WriteHostIni("International", "ANSICodePage", c.page);
        const std::string original = std::string("[General]\r\nIdentifier=") + c.ansi + "\r\n";
        WriteHostFile(host.HostOf(kIni), original);
        EXPECT_EQ(Read(kIni, "General", "Identifier"), c.utf8) << c.page;
        ASSERT_TRUE(win::WritePrivateProfileStringA("General", "ShowTrayIcon", std::string("1"), kIni)) << c.page;
        ASSERT_TRUE(win::WritePrivateProfileStringA("General", "Copy", std::string(c.utf8), kIni)) << c.page;
        EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), original + "ShowTrayIcon=1\r\nCopy=" + c.ansi + "\r\n") << c.page;
    }
}

// The five bytes Windows-1252 leaves unassigned survive a write of another
// key, and the file stays in the code page.
TEST(ProfileIni, EveryByteOfAWindows1252FileSurvivesAWrite) {
    TempHost host;
    const std::string original = "[S]\r\nOdd=\x81\x8D\x8F\x90\x9D \xE4\r\n";
    WriteHostFile(host.HostOf(kIni), original);
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "New", std::string("\xC3\xBC"), kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), original + "New=\xFC\r\n");
}

// A new file, and one of ASCII only, take the code page when it holds every
// character; UTF-8 only for a character it lacks. A file in UTF-8 stays so.
TEST(ProfileIni, TextTheCodePageHoldsIsWrittenInIt) {
    const struct {
        const char* name;
        const char* before;  // nullptr: no file
        const char* value;
        const char* after;
    } cases[] = {
        {"new file", nullptr, "B\xC3\xBCro", "[General]\r\nIdentifier=B\xFCro\r\n"},
        {"ASCII only", "[General]\r\nShowTrayIcon=1\r\n", "M\xC3\xBCller \xE2\x82\xAC",
         "[General]\r\nShowTrayIcon=1\r\nIdentifier=M\xFCller \x80\r\n"},
        {"new file, outside the page", nullptr, "\xD0\xAF", "[General]\r\nIdentifier=\xD0\xAF\r\n"},
        {"UTF-8 already", "[General]\r\nOld=\xC3\xA4\r\n", "M\xC3\xBCller",
         "[General]\r\nOld=\xC3\xA4\r\nIdentifier=M\xC3\xBCller\r\n"},
    };
    for (const auto& c : cases) {
        TempHost host;
        std::filesystem::create_directories(host.HostOf("C:\\Settings"));
        if (c.before) WriteHostFile(host.HostOf(kIni), c.before);
        ASSERT_TRUE(win::WritePrivateProfileStringA("General", "Identifier", std::string(c.value), kIni)) << c.name;
        EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), c.after) << c.name;
        EXPECT_EQ(Read(kIni, "General", "Identifier"), c.value) << c.name;
    }
}

// A file saved as UTF-16LE with its mark (Notepad's "Unicode", which the
// Windows profile functions read too) is read, and stays UTF-16LE.
TEST(ProfileIni, AUtf16FileIsReadAndStaysUtf16) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni), testsupport::Utf16LeWithMark("[EventDetail]\r\nEventDesc=F\xC3\xBCr\r\n"));
    EXPECT_EQ(Read(kIni, "eventdetail", "EventDesc"), "F\xC3\xBCr");
    ASSERT_TRUE(win::WritePrivateProfileStringA("EventDetail", "EventID", std::string("7036"), kIni));
    ASSERT_TRUE(win::WritePrivateProfileStringA("EventDetail", "EventSource", std::string("\xE8\xAD\xA6"), kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)),
              testsupport::Utf16LeWithMark("[EventDetail]\r\nEventDesc=F\xC3\xBCr\r\nEventID=7036\r\nEventSource=\xE8\xAD\xA6\r\n"));
    EXPECT_EQ(Read(kIni, "EventDetail", "EventSource"), "\xE8\xAD\xA6");
}

// A Windows-1252 file that must take a character its code page lacks is
// written whole in UTF-8: no "?", no file of two encodings, old values kept.
TEST(ProfileIni, AValueOutsideTheCodePageTurnsTheWholeFileIntoUtf8) {
    const std::string ansi = "[\xC4nderung]\r\nOld=\xC4rger \x80 \x93x\x94\r\n[S]\r\nK=v\r\n";
    const std::string oldUtf8 = "\xC3\x84rger \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D";
    const struct {
        const char* name;
        const char* value;
    } cases[] = {
        {"Greek", "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1"},
        {"CJK", "\xE8\xAD\xA6\xE5\x91\x8A"},
        {"beyond the BMP", "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        TempHost host;
        WriteHostFile(host.HostOf(kIni), ansi);
        ASSERT_TRUE(win::WritePrivateProfileStringA("S", "New", std::string(c.value), kIni)) << c.name;
        EXPECT_EQ(ReadHostFile(host.HostOf(kIni)),
                  "[\xC3\x84nderung]\r\nOld=" + oldUtf8 + "\r\n[S]\r\nK=v\r\nNew=" + c.value + "\r\n")
            << c.name;
        EXPECT_EQ(Read(kIni, "\xC3\x84nderung", "Old"), oldUtf8) << c.name;
        EXPECT_EQ(Read(kIni, "S", "New"), c.value) << c.name;
        // From now on the file is UTF-8 and stays so, whatever is written.
        ASSERT_TRUE(win::WritePrivateProfileStringA("S", "K", std::string("\xC3\xA4"), kIni));
        EXPECT_EQ(Read(kIni, "S", "K"), "\xC3\xA4") << c.name;
        EXPECT_EQ(Read(kIni, "S", "New"), c.value) << c.name;
    }
}

namespace {

// How many times the files of a folder were opened since the last question.
class OpenCount {
public:
    explicit OpenCount(const std::filesystem::path& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, folder.c_str(), IN_OPEN);
    }
    ~OpenCount() { ::close(fd_); }
    int Opens() const {
        int opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(sizeof(inotify_event) + reinterpret_cast<const inotify_event*>(buffer + at)->len))
                ++opens;
        return opens;
    }

private:
    int fd_;
};

}  // namespace

// A file whose stamp stayed the same since its last read, long after its
// last change, is not read again; any change of it counts at the next read,
// even one of the same size right after the read before.
TEST(ProfileIni, AnUnchangedFileIsReadOnceAndAChangeCountsAtTheNextRead) {
    TempHost host;
    const std::filesystem::path file = host.HostOf(kIni);
    const struct {
        const char* name;
        std::function<void(const std::string& text)> edit;
    } edits[] = {
        {"rewritten in place", [&](const std::string& text) { WriteHostFile(file, text); }},
        {"replaced", [&](const std::string& text) {
             WriteHostFile(file.string() + ".new", text);
             std::filesystem::rename(file.string() + ".new", file);
         }},
        {"rewritten with its time put back", [&](const std::string& text) { RewriteKeepingTheTime(file, text); }},
        {"written through the profile functions", [&](const std::string& text) {
             ASSERT_TRUE(win::WritePrivateProfileStringA("S", "A", text.substr(7, 1), kIni));
         }},
    };
    WriteHostFile(file, "[S]\r\nA=0\r\n");
    EXPECT_EQ(Read(kIni, "S", "A"), "0");
    int value = 0;
    for (const auto& edit : edits) {
        const std::string text = "[S]\r\nA=" + std::to_string(++value) + "\r\n";
        edit.edit(text);
        EXPECT_EQ(Read(kIni, "S", "A"), std::to_string(value)) << edit.name;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));  // long after the last change
    const OpenCount opens(file.parent_path());
    EXPECT_EQ(Read(kIni, "S", "A"), std::to_string(value));
    EXPECT_EQ(Read(kIni, "S", "A"), std::to_string(value));
    EXPECT_EQ(win::GetPrivateProfileIntA("S", "A", 7, kIni), static_cast<win::UINT>(value));
    EXPECT_EQ(opens.Opens(), 1);
    for (const auto& edit : edits) {
        const std::string text = "[S]\r\nA=" + std::to_string(++value) + "\r\n";
        edit.edit(text);
        EXPECT_EQ(Read(kIni, "S", "A"), std::to_string(value)) << edit.name << ", after a settled read";
    }
    std::filesystem::remove(file);
    EXPECT_EQ(Read(kIni, "S", "A"), "");
}

// host.ini is looked at anew for every question: a change behind the
// profile functions' back counts at the next path lookup.
TEST(ProfileIni, AChangeOfHostIniCountsAtTheNextLookup) {
    TempHost host;
    const std::filesystem::path ini = host.Folder() / "host.ini";
    const std::string original = ReadHostFile(ini);
    EXPECT_FALSE(platform::ToHostPath("Q:\\x"));
    WriteHostFile(ini, original + "[Drives]\r\nQ=" + (host.Folder() / "q").string() + "\r\n");
    EXPECT_EQ(platform::ToHostPath("Q:\\x"), host.Folder() / "q" / "x");
    host.WriteHostIni("Drives", "R", (host.Folder() / "r").string());
    EXPECT_EQ(platform::ToHostPath("R:\\x"), host.Folder() / "r" / "x");
    WriteHostFile(ini, original);
    EXPECT_FALSE(platform::ToHostPath("Q:\\x"));
}

TEST(ProfileIni, AFileThatIsNoFileReadsAsEmptyWithoutBlocking) {
    TempHost host;
    const std::filesystem::path fifo = host.HostOf(kIni);
    std::filesystem::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(Read(kIni, "S", "K"), "");
    EXPECT_FALSE(win::WritePrivateProfileStringA("S", "K", std::string("v"), kIni));
    const std::filesystem::path device = host.HostOf("C:\\Settings\\Device.ini");
    std::filesystem::create_symlink("/dev/zero", device);
    EXPECT_EQ(Read("C:\\Settings\\Device.ini", "S", "K"), "");
    std::filesystem::create_directory(host.HostOf("C:\\Settings\\Folder.ini"));
    EXPECT_EQ(Read("C:\\Settings\\Folder.ini", "S", "K"), "");
}

TEST(ProfileIni, WritesCreateFileSectionAndKeyAndKeepOtherLines) {
    TempHost host;
    ASSERT_TRUE(win::WritePrivateProfileStringA("General", "ShowTrayIcon", "1", kIni) == 0);  // folder missing
    std::filesystem::create_directories(host.HostOf("C:\\Settings"));
    ASSERT_TRUE(win::WritePrivateProfileStringA("General", "ShowTrayIcon", "1", kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), "[General]\r\nShowTrayIcon=1\r\n");

    WriteHostFile(host.HostOf(kIni), "; comment\n[General]\nShowTrayIcon=1\n\n[Heartbeat]\nDrives=C:\\\n");
    ASSERT_TRUE(win::WritePrivateProfileStringA("general", "SHOWTRAYICON", "0", kIni));
    ASSERT_TRUE(win::WritePrivateProfileStringA("General", "ClientPrompt", "1", kIni));
    ASSERT_TRUE(win::WritePrivateProfileStringA("EmailConfig", "Server", "", kIni));
    ASSERT_TRUE(win::WritePrivateProfileStringA("Heartbeat", "Drives", std::nullopt, kIni));
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)),
              "; comment\n[General]\nShowTrayIcon=0\nClientPrompt=1\r\n\n[Heartbeat]\n[EmailConfig]\r\nServer=\r\n");
    ASSERT_TRUE(win::WritePrivateProfileStringA("Heartbeat", std::nullopt, std::nullopt, kIni));
    EXPECT_EQ(Read(kIni, "EmailConfig", "Server"), "");
    EXPECT_EQ(Read(kIni, "General", "ClientPrompt"), "1");
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)).find("Heartbeat"), std::string::npos);
}

TEST(ProfileIni, ReadOnlyFileIsRefusedAndModeIsKeptOnReplace) {
    TempHost host;
    const auto file = host.HostOf(kIni);
    WriteHostFile(file, "[S]\r\nK=old\r\n");
    chmod(file.c_str(), 0444);
    EXPECT_FALSE(win::WritePrivateProfileStringA("S", "K", "new", kIni));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read(kIni, "S", "K"), "old");

    chmod(file.c_str(), 0640);
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "K", "new", kIni));
    struct stat st {};
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Read(kIni, "S", "K"), "new");
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
        EXPECT_EQ(entry.path().filename(), "Test.ini") << "temporary file left behind";
}

TEST(ProfileIni, WritersInSeveralProcessesKeepEachOthersKeys) {
    TempHost host;
    std::filesystem::create_directories(host.HostOf("C:\\Settings"));
    constexpr int kWriters = 4, kKeys = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int k = 0; k < kKeys; ++k)
                win::WritePrivateProfileStringA("Keys", "W" + std::to_string(w) + "K" + std::to_string(k), std::to_string(k), kIni);
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
    for (int w = 0; w < kWriters; ++w)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(Read(kIni, "Keys", "W" + std::to_string(w) + "K" + std::to_string(k)), std::to_string(k));
}

TEST(ProfileIni, WholeNumbersReadAsGetPrivateProfileIntDoes) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni), "[N]\r\nA=42\r\nB=12abc\r\nC=abc\r\nD=0x1F\r\nE=\r\n");
    struct Case {
        const char* key;
        win::UINT expected;
    } cases[] = {{"A", 42}, {"B", 12}, {"C", 0}, {"D", 31}, {"E", 7}, {"Missing", 7}};
    for (const Case& c : cases) EXPECT_EQ(win::GetPrivateProfileIntA("N", c.key, 7, kIni), c.expected) << c.key;
}

namespace {

// The mode of every temporary file of `folder` as it appears, until `stop` is set.
class TemporaryModeWatch {
public:
    explicit TemporaryModeWatch(const std::filesystem::path& folder) : folder_(folder) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, folder.c_str(), IN_CREATE);
        thread_ = std::thread([this] { Watch(); });
    }
    ~TemporaryModeWatch() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    std::set<mode_t> Modes() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return modes_;
    }

private:
    void Watch() {
        alignas(inotify_event) char buffer[4096];
        while (!stop_) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len ? event->name : "";
                struct stat st {};
                if (name.ends_with(".tmp") && stat((folder_ / name).c_str(), &st) == 0) modes_.insert(st.st_mode & 0777);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }
    std::filesystem::path folder_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::set<mode_t> modes_;
    std::thread thread_;
};

pid_t EndedProcessId() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace

// A large file keeps the temporary open long enough to be seen: a scrambled
// password must never sit in a world-readable file, not even for a moment.
TEST(ProfileIni, TheTemporaryFileIsCreatedWithTheFilesMode) {
    TempHost host;
    const auto file = host.HostOf(kIni);
    WriteHostFile(file, "[Big]\r\n" + std::string(16 << 20, 'x') + "\r\n[S]\r\nPassword=old\r\n");
    chmod(file.c_str(), 0600);
    std::set<mode_t> modes;
    {
        TemporaryModeWatch watch(file.parent_path());
        ASSERT_TRUE(win::WritePrivateProfileStringA("S", "Password", "new", kIni));
        modes = watch.Modes();
    }
    for (mode_t mode : modes) EXPECT_EQ(mode & 0077, 0u) << std::oct << mode;
    EXPECT_EQ(Read(kIni, "S", "Password"), "new");
}

TEST(ProfileIni, TemporariesOfEndedWritersAreRemoved) {
    TempHost host;
    const auto file = host.HostOf(kIni);
    WriteHostFile(file, "[S]\r\nK=old\r\n");
    const auto folder = file.parent_path();
    const auto stale = folder / (".Test.ini." + std::to_string(EndedProcessId()) + ".tmp");
    const auto running = folder / (".Test.ini." + std::to_string(getppid()) + ".tmp");
    const auto other = folder / ".Other.ini.1.tmp";
    for (const auto& path : {stale, running, other}) WriteHostFile(path, "half a file");
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "K", "new", kIni));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(running)) << "a writer that still runs keeps its file";
    EXPECT_TRUE(std::filesystem::exists(other));
}

TEST(ProfileIni, ALinkIsWrittenThroughToItsTarget) {
    TempHost host;
    const auto target = host.HostOf("C:\\Shared\\Real.ini");
    WriteHostFile(target, "[S]\r\nK=old\r\n");
    std::filesystem::create_directories(host.HostOf("C:\\Settings"));
    std::filesystem::create_symlink(target, host.HostOf(kIni));
    ASSERT_TRUE(win::WritePrivateProfileStringA("S", "K", "new", kIni));
    EXPECT_TRUE(std::filesystem::is_symlink(host.HostOf(kIni)));
    EXPECT_EQ(ReadHostFile(target), "[S]\r\nK=new\r\n");
}

// A writable file in a folder that takes no new file (a folder the user may
// not write to, a shared settings folder) is written in place.
TEST(ProfileIni, AWritableFileInAClosedFolderIsWrittenInPlace) {
    TempHost host;
    const auto file = host.HostOf(kIni);
    WriteHostFile(file, "[S]\r\nK=a much longer old value\r\n");
    const auto folder = file.parent_path();
    const bool asRoot = geteuid() == 0;
    const passwd* nobody = asRoot ? getpwnam("nobody") : nullptr;
    if (asRoot && !nobody) GTEST_SKIP() << "no account 'nobody' to write as";
    if (asRoot) {
        for (auto path = folder; path != host.Folder().parent_path(); path = path.parent_path())
            chmod(path.c_str(), 0755);
        ASSERT_EQ(chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    } else {
        chmod(folder.c_str(), 0555);
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (asRoot && setuid(nobody->pw_uid) != 0) _exit(2);
        _exit(win::WritePrivateProfileStringA("S", "K", "new", kIni) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(folder.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadHostFile(file), "[S]\r\nK=new\r\n");
}
