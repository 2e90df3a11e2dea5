// Profile writes gathered by an IniWriteBatch: the file stays as it was until
// Commit, which replaces it once with what the same writes one by one give.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/api/ProfileIni.h"
#include "support/TempHost.h"

namespace {

using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;

const char* const kIni = "C:\\Settings\\Batch.ini";
const char* const kOneByOne = "C:\\Settings\\OneByOne.ini";

struct Write {
    const char* section;
    std::optional<std::string> key, value;
};

std::string Read(const std::string& section, const std::string& key) {
    std::string value;
    win::GetPrivateProfileStringA(section, key, "<missing>", value, 255, kIni);
    return value;
}

void WriteAll(const std::vector<Write>& writes, const char* file) {
    for (const Write& write : writes) win::WritePrivateProfileStringA(write.section, write.key, write.value, file);
}

TEST(IniWriteBatch, CommitGivesWhatTheWritesOneByOneGive) {
    const std::vector<Write> writes{
        {"General", std::string("Identifier"), std::string("new")},
        {"Fresh", std::string("A"), std::string("1")},
        {"general", std::string("StartupSet"), std::string("0")},
        {"General", std::string("Gone"), std::nullopt},
        {"Custom", std::nullopt, std::nullopt},
        {"Fresh", std::string("B"), std::string("Zürich")},
        {"General", std::string("Identifier"), std::string("newer")},
    };
    const std::optional<std::string> starts[] = {
        std::nullopt,
        std::string(""),
        std::string("; head\r\n[General]\r\nIdentifier = old\r\nGone=x\r\n\r\n[Custom]\r\nX=1\r\n[Last]\r\nY=2"),
        std::string("[General]\nIdentifier=M\xfc"
                    "ller\nCity=K\xf6ln\n"),                      // the ANSI code page
        std::string("\xef\xbb\xbf[Custom]\r\nX=\xc3\xa9\r\n"),  // UTF-8 with its mark
    };
    for (const auto& start : starts) {
        TempHost host;
        for (const char* file : {kIni, kOneByOne})
            if (start) WriteHostFile(host.HostOf(file), *start);
            else WriteHostFile(host.HostOf("C:\\Settings\\keep.txt"), "");
        WriteAll(writes, kOneByOne);
        {
            platform::IniWriteBatch batch(kIni);
            WriteAll(writes, kIni);
            EXPECT_EQ(Read("General", "Identifier"), "newer") << "reads see the gathered writes";
            EXPECT_EQ(Read("Custom", "X"), "<missing>");
            EXPECT_EQ(platform::ReadIniValue(host.HostOf(kIni), "Fresh", "B"), "Zürich");
            if (start)
                EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), *start) << "nothing written before Commit";
            else
                EXPECT_FALSE(std::filesystem::exists(host.HostOf(kIni)));
            EXPECT_TRUE(batch.Commit());
        }
        EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), ReadHostFile(host.HostOf(kOneByOne))) << start.value_or("<none>");
    }
}

TEST(IniWriteBatch, WithoutCommitNothingIsWritten) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni), "[General]\r\nA=1\r\n");
    {
        platform::IniWriteBatch batch(kIni);
        win::WritePrivateProfileStringA("General", std::string("A"), std::string("2"), kIni);
    }
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), "[General]\r\nA=1\r\n");
    EXPECT_EQ(Read("General", "A"), "1");
    // Other files are written at once, as without a batch.
    platform::IniWriteBatch batch(kIni);
    win::WritePrivateProfileStringA("General", std::string("A"), std::string("3"), kOneByOne);
    EXPECT_EQ(ReadHostFile(host.HostOf(kOneByOne)), "[General]\r\nA=3\r\n");
}

TEST(IniWriteBatch, AFileThatCannotBeReplacedStaysWhole) {
    TempHost host;
    WriteHostFile(host.HostOf(kIni), "[General]\r\nA=1\r\n");
    ASSERT_EQ(chmod(host.HostOf(kIni).c_str(), 0444), 0);
    platform::IniWriteBatch batch(kIni);
    win::WritePrivateProfileStringA("General", std::string("A"), std::string("2"), kIni);
    win::WritePrivateProfileStringA("General", std::string("B"), std::string("2"), kIni);
    EXPECT_FALSE(batch.Commit());
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadHostFile(host.HostOf(kIni)), "[General]\r\nA=1\r\n");
    EXPECT_TRUE(batch.Commit()) << "nothing left to write";
}

}  // namespace
