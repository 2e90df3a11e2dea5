#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/api/Environment.h"
#include "platform/host/HostFolder.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

using testsupport::TempHost;

using testsupport::ScopedVariable;

TEST(Environment, WindowsVariablesAreDerivedFromTheHost) {
    TempHost host;
    ScopedVariable noUser("USERNAME", nullptr);
    ScopedVariable noTemp("TEMP", nullptr);
    EXPECT_EQ(vb::Environ("SystemRoot"), "C:\\Windows");
    EXPECT_EQ(vb::Environ("windir"), "C:\\Windows");
    EXPECT_EQ(vb::Environ("SYSTEMDRIVE"), "C:");
    EXPECT_EQ(vb::Environ("OS"), "Windows_NT");
    EXPECT_EQ(vb::Environ("ProgramFiles"), "C:\\Program Files");
    EXPECT_EQ(vb::Environ("username"), platform::LoginName());
    EXPECT_EQ(vb::Environ("COMPUTERNAME"), platform::ComputerName());
    EXPECT_EQ(vb::Environ("USERPROFILE"), "C:\\Users\\" + platform::LoginName());
    EXPECT_EQ(vb::Environ("TEMP"), "C:\\Users\\" + platform::LoginName() + "\\AppData\\Local\\Temp");
    EXPECT_EQ(vb::Environ("ProgramFiles(x86)"), "C:\\Program Files (x86)");
    EXPECT_EQ(vb::Environ("NoSuchVariable"), "");
}

TEST(Environment, TheLoginNameIsTheAccountOfTheEffectiveUser) {
    const passwd* account = getpwuid(geteuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(platform::LoginName(), account->pw_name);
}

TEST(Environment, ProgramFilesX86OnlyOnA64BitHost) {
    TempHost host;
    host.WriteHostIni("Machine", "Is64Bit", "0");
    EXPECT_EQ(vb::Environ("ProgramFiles(x86)"), "");
}

TEST(Environment, RealVariablesWinAndHostPathsTakeTheirWindowsForm) {
    TempHost host;
    ScopedVariable tmp("TMP", "/tmp");
    ScopedVariable user("USERNAME", "Technician");
    ScopedVariable empty("COMPUTERNAME", "");
    EXPECT_EQ(vb::Environ("tmp"), "Z:\\tmp");
    EXPECT_EQ(vb::Environ("USERNAME"), "Technician");
    EXPECT_EQ(vb::Environ("ComputerName"), "");
    EXPECT_NE(vb::Environ("PATH").find('/'), std::string::npos);  // the host search path stays as it is
    // Names compare ignoring letter case, beyond ASCII too, and whole.
    ScopedVariable mixed("Quarnel_Mixed", "one");
    ScopedVariable longer("QUARNEL_MIXED_LONGER", "two");
    ScopedVariable umlaut("ÄRGER_ÖL", "three");
    EXPECT_EQ(vb::Environ("QUARNEL_MIXED"), "one");
    EXPECT_EQ(vb::Environ("quarnel_mixed_longer"), "two");
    EXPECT_EQ(vb::Environ("QUARNEL_MIXE"), "");
    EXPECT_EQ(vb::Environ("ärger_öl"), "three");
}
