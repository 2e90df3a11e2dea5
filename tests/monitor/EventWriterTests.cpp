#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "monitor/EventWriter.h"
#include "platform/api/EventLog.h"
#include "platform/api/MessageTable.h"
#include "platform/api/Program.h"
#include "platform/api/Registry.h"
#include "platform/api/Resources.h"
#include "platform/api/Security.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempHost;

const char* const kSourceKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Quarnel";

std::vector<platform::EventRecord> AllRecords() {
    platform::EventLogStore store;
    return store.AllRecords();
}

vb::Variant SourceValue(const std::string& name, const std::string& kind) {
    vb::Variant value;
    modRegistry::fReadValue("HKLM", kSourceKey, name, kind, vb::Variant("missing"), value);
    return value;
}

// The source key as Windows sets it up: only administrators may change it.
void LockSourceKeyToAdministrators() {
    win::HKEY key = 0;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, win::KEY_ALL_ACCESS, nullptr,
                                   &key, nullptr),
              0);
    auto allow = [](const char* account, std::uint32_t mask) {
        platform::AceEntry entry;
        entry.flags = win::CONTAINER_INHERIT_ACE;
        entry.mask = mask;
        entry.sid = platform::WellKnownSid(account);
        return entry;
    };
    platform::DescriptorParts parts;
    parts.control = win::SE_DACL_PRESENT;
    parts.daclPresent = true;
    parts.dacl = platform::BuildAcl({allow("Administrators", win::KEY_ALL_ACCESS), allow("Users", win::KEY_READ)});
    std::vector<std::uint8_t> descriptor = platform::BuildSelfRelative(parts);
    EXPECT_EQ(win::RegSetKeySecurity(key, win::DACL_SECURITY_INFORMATION, descriptor.data()), 0);
    win::RegCloseKey(key);
}

class EventWriterTest : public ::testing::Test {
protected:
    fs::path InstalledLibrary() const {
        return host_.HostOf("C:\\Windows\\System32\\BrindleEventLogMsgHelper.dll");
    }
    TempHost host_;
};

TEST_F(EventWriterTest, WriteEventWithDllInstallsTheLibraryAndTheRecordShowsTheCallersMessage) {
    ASSERT_TRUE(EventWriter::WriteEventWithDll("Pausing the monitor"));
    const std::string installed = testsupport::ReadHostFile(InstalledLibrary());
    EXPECT_EQ(installed, std::string(*platform::FindResource("CUSTOM", "eventlogmsghelper")));
    EXPECT_EQ(installed, testsupport::ReadHostFile(fs::path(QUARNEL_BIN_DIR) / "BrindleEventLogMsgHelper.dll"));
    EXPECT_EQ(platform::FindMessageInPe(installed, 10177), "%1\r\n");

    EXPECT_EQ(SourceValue("EventMessageFile", "S").ToText(), EventWriter::MessageDllPath());
    EXPECT_EQ(EventWriter::MessageDllPath(), "C:\\Windows\\System32\\BrindleEventLogMsgHelper.dll");
    EXPECT_EQ(SourceValue("TypesSupported", "D").ToNumber(), 7);

    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 1u);
    const platform::EventRecord& r = records[0];
    EXPECT_EQ(r.log, "Application");
    EXPECT_EQ(r.source, "Quarnel");
    EXPECT_EQ(r.type, 4);
    EXPECT_EQ(r.category, 0);
    EXPECT_EQ(r.eventId, 10177u);
    EXPECT_EQ(r.strings, std::vector<std::string>{"Pausing the monitor"});
    EXPECT_EQ(r.data, "\x01");
    EXPECT_EQ(platform::EventRecordMessage(r), "Pausing the monitor\r\n");
}

TEST_F(EventWriterTest, WriteEventRegistersTheProgramItselfWithTheTypeAndIdAsked) {
    ASSERT_TRUE(EventWriter::WriteEventWithDll("first"));
    ASSERT_TRUE(EventWriter::WriteEvent("Quarnel Shutdown Initiated."));
    EXPECT_EQ(SourceValue("EventMessageFile", "S").ToText(), CommonModule::AppPath() + vb::App::EXEName() + ".exe");
    ASSERT_TRUE(EventWriter::WriteEvent("warning", 2, 42));
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].eventId, 10177u);
    EXPECT_EQ(records[1].type, 4);
    EXPECT_EQ(records[2].eventId, 42u);
    EXPECT_EQ(records[2].type, 2);
    // The program is no message file: the record has no message.
    EXPECT_EQ(platform::EventRecordMessage(records[1]), std::nullopt);
}

TEST_F(EventWriterTest, APresentLibraryIsNotOverwritten) {
    testsupport::WriteHostFile(InstalledLibrary(), "older copy");
    EventWriter::InstallMessageDll();
    EXPECT_EQ(testsupport::ReadHostFile(InstalledLibrary()), "older copy");
    ASSERT_TRUE(EventWriter::WriteEventWithDll("x"));
    EXPECT_EQ(testsupport::ReadHostFile(InstalledLibrary()), "older copy");
}

TEST_F(EventWriterTest, WithoutAdministratorRightsNothingIsWritten) {
    LockSourceKeyToAdministrators();
    host_.WriteHostIni("Machine", "Administrator", "0");
    EXPECT_FALSE(EventWriter::WriteEvent("refused"));
    EXPECT_FALSE(EventWriter::WriteEventWithDll("refused"));
    EXPECT_TRUE(AllRecords().empty());
}

TEST_F(EventWriterTest, TheMessageIsWrittenInTheAnsiCodePage) {
    ASSERT_TRUE(EventWriter::WriteEvent("Z\xC3\xBCrich \xE2\x82\xAC \xC4\x81 \xF0\x9F\x98\x80"));
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].strings.at(0), "Z\xC3\xBCrich \xE2\x82\xAC ? ?");
}

}  // namespace
