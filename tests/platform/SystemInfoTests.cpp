#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/api/SystemInfo.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

win::OSVERSIONINFOEXA FilledWith(char pattern, win::DWORD size) {
    win::OSVERSIONINFOEXA info;
    std::memset(&info, pattern, sizeof info);
    info.dwOSVersionInfoSize = size;
    return info;
}

TEST(GetVersionExA, DefaultsDescribeWindows7ProfessionalSp1) {
    TempHost host;
    auto info = FilledWith(0, sizeof(win::OSVERSIONINFOEXA));
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7601u);
    EXPECT_EQ(info.dwPlatformId, win::VER_PLATFORM_WIN32_NT);
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
    EXPECT_EQ(info.wServicePackMajor, 1);
    EXPECT_EQ(info.wServicePackMinor, 0);
    EXPECT_EQ(info.wProductType, 1);
    EXPECT_EQ(info.wReserved, 0);
    EXPECT_EQ(info.dwOSVersionInfoSize, 156u);
}

TEST(GetVersionExA, ReadsEveryKeyOfHostIni) {
    TempHost host;
    host.WriteHostIni("Version", "Major", "5");
    host.WriteHostIni("Version", "Minor", "2");
    host.WriteHostIni("Version", "Build", "3790");
    host.WriteHostIni("Version", "PlatformId", "2");
    host.WriteHostIni("Version", "CSDVersion", "Service Pack 2");
    host.WriteHostIni("Version", "ServicePackMajor", "2");
    host.WriteHostIni("Version", "ServicePackMinor", "1");
    host.WriteHostIni("Version", "SuiteMask", "144");
    host.WriteHostIni("Version", "ProductType", "3");
    auto info = FilledWith(0, sizeof(win::OSVERSIONINFOEXA));
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwMinorVersion, 2u);
    EXPECT_EQ(info.dwBuildNumber, 3790u);
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 2");
    EXPECT_EQ(info.wServicePackMajor, 2);
    EXPECT_EQ(info.wServicePackMinor, 1);
    EXPECT_EQ(info.wSuiteMask, 144);
    EXPECT_EQ(info.wProductType, 3);
}

TEST(GetVersionExA, ShortRecordWritesNothingPastItsEnd) {
    TempHost host;
    auto info = FilledWith('\x5A', sizeof(win::OSVERSIONINFOA));
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
    EXPECT_EQ(info.wServicePackMajor, 0x5A5A);
    EXPECT_EQ(info.wSuiteMask, 0x5A5A);
    EXPECT_EQ(info.wProductType, 0x5A);
    EXPECT_EQ(info.wReserved, 0x5A);

    win::OSVERSIONINFOA shortInfo{};
    shortInfo.dwOSVersionInfoSize = sizeof shortInfo;
    ASSERT_TRUE(win::GetVersionExA(&shortInfo));
    EXPECT_EQ(shortInfo.dwBuildNumber, 7601u);
}

TEST(GetVersionExA, RefusesAnyOtherSizeAndLeavesTheRecord) {
    TempHost host;
    for (win::DWORD size : {0u, 147u, 149u, 155u, 157u, 284u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        auto info = FilledWith('\x11', size);
        win::SetLastError(0);
        EXPECT_FALSE(win::GetVersionExA(&info));
        EXPECT_EQ(win::GetLastError(), 122u);
        EXPECT_EQ(info.dwOSVersionInfoSize, size);
        EXPECT_EQ(info.dwMajorVersion, 0x11111111u);
    }
    win::OSVERSIONINFOA shortInfo{};
    shortInfo.dwOSVersionInfoSize = sizeof(win::OSVERSIONINFOEXA);
    EXPECT_FALSE(win::GetVersionExA(&shortInfo));
    EXPECT_FALSE(win::GetVersionExA(static_cast<win::OSVERSIONINFOEXA*>(nullptr)));
}

TEST(GetVersionExA, ServicePackTextIsCutToTheFieldWithItsNul) {
    TempHost host;
    host.WriteHostIni("Version", "CSDVersion", std::string(200, 'x'));
    auto info = FilledWith('\x7F', sizeof(win::OSVERSIONINFOEXA));
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(std::string(info.szCSDVersion), std::string(127, 'x'));
}

TEST(GetVersionExA, EmptyServicePackGivesAnEmptyField) {
    TempHost host;
    host.WriteHostIni("Version", "CSDVersion", "");
    auto info = FilledWith('\x7F', sizeof(win::OSVERSIONINFOEXA));
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_STREQ(info.szCSDVersion, "");
}

TEST(GetVersion, PacksMajorMinorAndBuildWithTheFamilyBit) {
    struct Case {
        const char* major;
        const char* minor;
        const char* build;
        const char* platformId;
        win::DWORD expected;
    };
    const Case cases[] = {
        {"6", "1", "7601", "2", 0x1DB10106u},
        {"5", "1", "2600", "2", 0x0A280105u},
        {"4", "90", "3000", "1", 0x80000000u | (3000u << 16) | (90u << 8) | 4u},
    };
    for (const Case& c : cases) {
        TempHost host;
        host.WriteHostIni("Version", "Major", c.major);
        host.WriteHostIni("Version", "Minor", c.minor);
        host.WriteHostIni("Version", "Build", c.build);
        host.WriteHostIni("Version", "PlatformId", c.platformId);
        EXPECT_EQ(win::GetVersion(), c.expected) << c.major << "." << c.minor;
        EXPECT_EQ((win::GetVersion() & 0x80000000u) == 0, std::string(c.platformId) == "2");
    }
}

TEST(GetSystemMetrics, CleanBootFollowsBootMode) {
    {
        TempHost host;
        EXPECT_EQ(win::GetSystemMetrics(win::SM_CLEANBOOT), 0);
    }
    const std::pair<const char*, int> cases[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 0}, {"-1", 0}};
    for (const auto& [mode, expected] : cases) {
        TempHost host;
        host.WriteHostIni("Machine", "BootMode", mode);
        EXPECT_EQ(win::GetSystemMetrics(win::SM_CLEANBOOT), expected) << mode;
        EXPECT_EQ(win::GetSystemMetrics(0), 0);
    }
}

double UptimeSeconds() {
    std::ifstream uptime("/proc/uptime");
    double seconds = 0;
    uptime >> seconds;
    return seconds;
}

TEST(GetTickCount, CountsMillisecondsSinceBoot) {
    const double before = UptimeSeconds();
    const win::ULONGLONG ticks = win::GetTickCount64();
    const win::DWORD ticks32 = win::GetTickCount();
    const win::DWORD multimedia = win::timeGetTime();
    const double after = UptimeSeconds();
    // /proc/uptime shows hundredths of a second.
    EXPECT_GE(static_cast<double>(ticks), before * 1000.0 - 10.0);
    EXPECT_LE(static_cast<double>(ticks), after * 1000.0 + 10.0);
    EXPECT_LE(static_cast<win::DWORD>(ticks32 - static_cast<win::DWORD>(ticks)),
              static_cast<win::DWORD>((after - before) * 1000.0 + 20.0));
    EXPECT_LE(static_cast<win::DWORD>(multimedia - ticks32),
              static_cast<win::DWORD>((after - before) * 1000.0 + 20.0));
}

}  // namespace
