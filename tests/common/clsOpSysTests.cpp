#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/clsOpSys.h"
#include "common/modOpSys.h"
#include "platform/api/Environment.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

struct HostVersion {
    std::string major, minor, build, platformId, productType, sku;
    std::string csd = "Service Pack 1";
};

void WriteVersion(TempHost& host, const HostVersion& v) {
    host.WriteHostIni("Version", "Major", v.major);
    host.WriteHostIni("Version", "Minor", v.minor);
    host.WriteHostIni("Version", "Build", v.build);
    host.WriteHostIni("Version", "PlatformId", v.platformId);
    host.WriteHostIni("Version", "ProductType", v.productType);
    host.WriteHostIni("Version", "SKU", v.sku);
    host.WriteHostIni("Version", "CSDVersion", v.csd);
}

// The release flags that hold, as blank-separated names in property order.
std::string FlagsOf(const clsOpSys& os) {
    const std::pair<bool, const char*> flags[] = {
        {os.IsWin8(), "Win8"},   {os.IsWin7(), "Win7"},   {os.Is2003(), "2003"},   {os.Is2008(), "2008"},
        {os.Is2008R2(), "2008R2"}, {os.IsVista(), "Vista"}, {os.IsWinXP(), "XP"},    {os.IsServer(), "Server"},
        {os.IsWin2K(), "2K"},    {os.IsWinNT(), "NT"},    {os.IsWin9x(), "9x"},    {os.IsWin95(), "95"},
        {os.IsWin98(), "98"},    {os.IsWinME(), "ME"},
    };
    std::string text;
    for (const auto& [on, name] : flags)
        if (on) text += (text.empty() ? "" : " ") + std::string(name);
    return text;
}

// Writes C:\Windows\System32\prodspec.ini as an XP machine carries it.
void WriteProdspec(const TempHost& host, const clsOpSys& os, const std::string& product) {
    testsupport::WriteHostFile(host.HostOf(os.WinSysDir + "\\prodspec.ini"),
                               "[" + std::string(kProdspecProductSection) + "]\r\nProduct=" + product + "\r\nVersion=5.1\r\n");
}

TEST(clsOpSys, ReleasesFlagsAndNames) {
    struct Case {
        HostVersion version;
        const char* flags;
        const char* platform;
    };
    const Case cases[] = {
        {{"6", "0", "6002", "2", "1", "6"}, "Vista XP 2K NT", "Windows Vista Business "},
        {{"6", "1", "7601", "2", "1", "48"}, "Win7 Vista XP 2K NT", "Windows 7 Professional "},
        {{"6", "2", "9200", "2", "1", "4"}, "Win8 Win7 2003 Vista XP 2K NT", "Windows 8 Enterprise "},
        {{"6", "2", "9200", "2", "3", "7"}, "Win8 Win7 2003 2008 2008R2 Vista XP Server 2K NT",
         "Windows Server 2008 R2 Standard "},
        {{"6", "1", "7601", "2", "2", "8"}, "Win7 2008 2008R2 Vista XP Server 2K NT",
         "Windows Server 2008 R2 Datacenter "},
        {{"6", "0", "6001", "2", "3", "17"}, "2008 Vista XP Server 2K NT", "Windows Server 2008 Web Server "},
        {{"5", "2", "3790", "2", "1", "0"}, "2003 XP 2K NT", "Windows Server 2003"},
        {{"5", "2", "3790", "2", "3", "0"}, "2003 XP Server 2K NT", "Windows Server 2003"},
        {{"5", "0", "2195", "2", "1", "0"}, "2K NT", "Windows 2000"},
        {{"4", "0", "1381", "2", "1", "0"}, "NT", "Windows NT"},
        {{"3", "51", "1057", "2", "1", "0"}, "NT", "Windows NT"},
        // Windows 95, 98 and ME know only the short record: the product type stays 0.
        {{"4", "90", "3000", "1", "1", "0"}, "9x 95 98 ME", "Windows Me"},
        {{"4", "10", "2222", "1", "1", "0"}, "9x 95 98", "Windows 98"},
        {{"4", "0", "950", "1", "1", "0"}, "9x 95", "Windows 95"},
        {{"3", "10", "0", "0", "1", "0"}, "", ""},
        {{"6", "1", "7601", "3", "1", "48"}, "", ""},
        // Every minor test fails on 10.0, so it counts as Vista.
        {{"10", "0", "19045", "2", "1", "48"}, "Vista XP 2K NT", "Windows Vista Professional "},
    };
    for (const Case& c : cases) {
        const HostVersion& v = c.version;
        SCOPED_TRACE(v.major + "." + v.minor + "." + v.build + " platform " + v.platformId + " type " + v.productType);
        TempHost host;
        WriteVersion(host, v);
        const clsOpSys os;
        EXPECT_EQ(FlagsOf(os), c.flags);
        EXPECT_EQ(os.Platform(), c.platform);
        EXPECT_EQ(os.MajorVersion(), std::stoi(v.major));
        EXPECT_EQ(os.MinorVersion(), std::stoi(v.minor));
        EXPECT_EQ(os.PlatformID(), std::stoi(v.platformId));
        EXPECT_EQ(os.ProductType(), v.platformId == "2" ? std::stoi(v.productType) : 0);
        EXPECT_EQ(os.BuildNumber(), std::stoi(v.build));
    }
}

TEST(clsOpSys, DefaultMachineIsWindows7ProfessionalSp1) {
    TempHost host;
    const clsOpSys os;
    EXPECT_EQ(os.Platform(), "Windows 7 Professional ");
    EXPECT_EQ(os.Version(), "Windows 7 Professional  Service Pack 1 (Version 6.1, Build 7601)");
    EXPECT_EQ(os.CSDVersion(), "Service Pack 1");
    EXPECT_EQ(os.ServicePackMajor(), 1);
    EXPECT_EQ(os.ServicePackMinor(), 0);
    EXPECT_EQ(os.ProductTypeName(), "NT Workstation");
    EXPECT_EQ(os.WindowsMode(), 0);
    EXPECT_EQ(os.VistaSKU(), "");
    EXPECT_TRUE(modOpSys::IsVistaOrLater());
}

TEST(clsOpSys, VersionTextWithoutServicePackHasTwoBlanksAfterTheName) {
    TempHost host;
    WriteVersion(host, {"5", "2", "3790", "2", "3", "0", ""});
    EXPECT_EQ(clsOpSys().Version(), "Windows Server 2003  (Version 5.2, Build 3790)");
}

TEST(clsOpSys, EditionBySku) {
    struct Case {
        const char* sku;
        const char* edition;
    };
    const Case cases[] = {
        {"0", " Undefined Edition "}, {"1", " Ultimate "},     {"2", " Home Basic "},
        {"3", " Home Premium "},      {"10", " Enterprise "},  {"11", " Starter "},
        {"19", " Home Server "},      {"25", " SBS Premium "}, {"26", " Unknown (SKU Bit 26) "},
        {"30", " Unknown (SKU Bit 30) "}, {"41", " Unknown (SKU Bit 41) "}, {"42", " Hyper-V "},
        {"43", " Unknown (SKU Bit 43) "}, {"48", " Professional "}, {"73", " Unknown (SKU Bit 73) "},
        {"74", " Consumer Preview? "}, {"75", " Unknown (SKU Bit 75) "}, {"-1", " Unknown (SKU Bit -1) "},
    };
    for (const Case& c : cases) {
        TempHost host;
        host.WriteHostIni("Version", "SKU", c.sku);
        EXPECT_EQ(clsOpSys().Platform(), std::string("Windows 7") + c.edition) << "SKU " << c.sku;
    }
}

TEST(clsOpSys, XpEditionFromProdspec) {
    struct Case {
        std::optional<std::string> product;  // nothing: no prodspec.ini
        bool ehtray;
        const char* platform;
    };
    const Case cases[] = {
        {std::nullopt, false, "Windows XP Undefined Edition "},
        {"Windows XP Home Edition", false, "Windows XP Home "},
        {"WINDOWS XP HOME EDITION", false, "Windows XP Home "},
        {"Windows XP Media Center Edition", false, "Windows XP Media Center "},
        {"Windows XP Professional", false, "Windows XP Professional "},
        {"Windows XP Professional", true, "Windows XP Media Center "},
        {"Home or Professional", false, "Windows XP Professional "},
        {"Windows XP Tablet PC Edition", false, "Windows XP"},
        {"", false, "Windows XP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product.value_or("(no file)") + (c.ehtray ? " with ehtray" : ""));
        TempHost host;
        WriteVersion(host, {"5", "1", "2600", "2", "1", "0", "Service Pack 3"});
        const clsOpSys os;
        if (c.product) WriteProdspec(host, os, *c.product);
        if (c.ehtray) testsupport::WriteHostFile(host.HostOf(os.WinDir + "\\ehome\\ehtray.exe"), "MZ");
        EXPECT_EQ(os.Platform(), c.platform);
        EXPECT_FALSE(modOpSys::IsVistaOrLater());
    }
}

TEST(clsOpSys, PlatformReadsTheEditionAgainAtEachReading) {
    TempHost host;
    WriteVersion(host, {"5", "1", "2600", "2", "1", "0", "Service Pack 3"});
    const clsOpSys os;
    EXPECT_EQ(os.Platform(), "Windows XP Undefined Edition ");
    WriteProdspec(host, os, "Windows XP Home Edition");
    EXPECT_EQ(os.Platform(), "Windows XP Home ");
    EXPECT_EQ(os.Version(), "Windows XP Home  Service Pack 3 (Version 5.1, Build 2600)");
}

TEST(clsOpSys, SuiteMaskBits) {
    struct Case {
        const char* mask;
        std::int16_t value;
        const char* has;
    };
    const Case cases[] = {
        {"0", 0, ""},           {"768", 0x0300, ""},       {"128", 0x0080, "DC"},
        {"1", 1, "SBS"},        {"2", 2, "AS"},            {"4", 4, "BO"},
        {"16", 16, "TS"},       {"32", 32, "SBSr"},        {"0x0112", 0x0112, "AS TS"},
        {"65535", -1, "AS BO DC SBS SBSr TS"},
    };
    for (const Case& c : cases) {
        TempHost host;
        host.WriteHostIni("Version", "SuiteMask", c.mask);
        const clsOpSys os;
        const std::pair<bool, const char*> bits[] = {{os.HasAS(), "AS"},   {os.HasBO(), "BO"},   {os.HasDC(), "DC"},
                                                     {os.HasSBS(), "SBS"}, {os.HasSBSr(), "SBSr"}, {os.HasTS(), "TS"}};
        std::string has;
        for (const auto& [on, name] : bits)
            if (on) has += (has.empty() ? "" : " ") + std::string(name);
        EXPECT_EQ(has, c.has) << "mask " << c.mask;
        EXPECT_EQ(os.SuiteMask(), c.value) << "mask " << c.mask;
    }
}

TEST(clsOpSys, ProductTypeNames) {
    struct Case {
        const char* type;
        const char* name;
        bool server;
    };
    const Case cases[] = {{"0", "Unknown", false},          {"1", "NT Workstation", false},
                          {"2", "Domain Controller", true}, {"3", "NT Server", true},
                          {"4", "", true}};
    for (const Case& c : cases) {
        TempHost host;
        host.WriteHostIni("Version", "ProductType", c.type);
        const clsOpSys os;
        EXPECT_EQ(os.ProductTypeName(), c.name) << c.type;
        EXPECT_EQ(os.IsServer(), c.server) << c.type;
    }
}

TEST(clsOpSys, BuildNumberIsTheSignedLowWord) {
    struct Case {
        const char* build;
        std::int32_t number;
    };
    const Case cases[] = {{"7601", 7601}, {"32767", 32767}, {"32768", -32768}, {"65535", -1}, {"65541", 5}};
    for (const Case& c : cases) {
        TempHost host;
        host.WriteHostIni("Version", "Build", c.build);
        const clsOpSys os;
        EXPECT_EQ(os.BuildNumber(), c.number) << c.build;
        EXPECT_EQ(os.Version(), "Windows 7 Professional  Service Pack 1 (Version 6.1, Build " +
                                    std::to_string(c.number) + ")");
    }
    // The Me test looks at the same low word: 4.90 with build 0x10BB8 (3000 in the low word) is Me.
    TempHost host;
    WriteVersion(host, {"4", "90", "68536", "1", "0", "0"});
    EXPECT_TRUE(clsOpSys().IsWinME());
}

TEST(clsOpSys, ServicePackTextIsTrimmed) {
    TempHost host;
    host.WriteHostIni("Version", "CSDVersion", "\"  Service Pack 2  \"");
    EXPECT_EQ(clsOpSys().CSDVersion(), "Service Pack 2");
}

TEST(clsOpSys, WindowsModeIsReadAtEachReading) {
    TempHost host;
    host.WriteHostIni("Machine", "BootMode", "1");
    const clsOpSys os;
    EXPECT_EQ(os.WindowsMode(), 1);
    host.WriteHostIni("Machine", "BootMode", "22");
    EXPECT_EQ(os.WindowsMode(), 0);
    host.WriteHostIni("Machine", "BootMode", "2");
    EXPECT_EQ(os.WindowsMode(), 2);
}

TEST(clsOpSys, FoldersComeFromTheEnvironment) {
    TempHost host;
    const clsOpSys os;
    const std::pair<const std::string*, const char*> fields[] = {
        {&os.WinDir, "windir"},
        {&os.SystemRoot, "systemroot"},
        {&os.HomeDrive, "homedrive"},
        {&os.SystemDrive, "systemdrive"},
        {&os.CurrentUserName, "username"},
        {&os.AllUsersProfile, "allusersprofile"},
        {&os.UserProfile, "userprofile"},
        {&os.ProgramFilesPath, "programfiles"},
        {&os.CommonProgramFilesPath, "commonprogramfiles"},
        {&os.TempPath, "temp"},
        {&os.TmpPath, "tmp"},
    };
    for (const auto& [field, variable] : fields) EXPECT_EQ(*field, vb::Environ(variable)) << variable;
    EXPECT_FALSE(os.WinDir.empty());
    EXPECT_EQ(os.WinSysDir, os.WinDir + "\\System32");
}

using testsupport::ScopedVariable;

TEST(clsOpSys, SystemFolderOutsideTheNtFamilyIsSystem) {
    TempHost host;
    ScopedVariable os("OS", "Windows_95");
    ScopedVariable windir("windir", "C:\\WINDOWS");
    const clsOpSys info;
    EXPECT_EQ(info.WinDir, "C:\\WINDOWS");
    EXPECT_EQ(info.WinSysDir, "C:\\WINDOWS\\System");
}

TEST(modOpSys, IsVistaOrLaterAsksAFreshObjectEachTime) {
    TempHost host;
    host.WriteHostIni("Version", "Major", "5");
    EXPECT_FALSE(modOpSys::IsVistaOrLater());
    TempHost vista;
    vista.WriteHostIni("Version", "Major", "6");
    vista.WriteHostIni("Version", "Minor", "0");
    EXPECT_TRUE(modOpSys::IsVistaOrLater());
    TempHost windows9x;
    windows9x.WriteHostIni("Version", "Major", "6");
    windows9x.WriteHostIni("Version", "PlatformId", "1");
    EXPECT_FALSE(modOpSys::IsVistaOrLater());
}

}  // namespace
