#include "EventWriter.h"

#include <optional>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "platform/api/Environment.h"
#include "platform/api/EventLog.h"
#include "platform/api/Program.h"
#include "platform/api/Resources.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace EventWriter {

namespace {

std::string SourceKey() { return "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\" + vb::App::Title(); }

bool RegisterMessageFile(const std::string& messageFile) {
    modRegistry::fWriteValue("HKLM", SourceKey(), "TypesSupported", "D", 7L);
    return modRegistry::fWriteValue("HKLM", SourceKey(), "EventMessageFile", "S", messageFile) == 0;
}

bool ReportOwnRecord(const std::string& sMessage, int iType, long lEventId) {
    const win::HANDLE source = win::RegisterEventSourceA(nullptr, vb::App::Title().c_str());
    if (source == 0) return false;
    const std::string ansiMessage = platform::FitToAnsi(sMessage);
    const char* strings[] = {ansiMessage.c_str()};
    const unsigned char data = 1;
    const bool reported = win::ReportEventA(source, static_cast<win::WORD>(iType), 0,
                                            static_cast<win::DWORD>(lEventId), nullptr, 1, 1, strings, &data) != 0;
    win::DeregisterEventSource(source);
    return reported;
}

bool WriteWithMessageFile(const std::string& messageFile, const std::string& sMessage, int iType, long lEventId) {
    if (!RegisterMessageFile(messageFile)) return false;
    return ReportOwnRecord(sMessage, iType, lEventId);
}

}  // namespace

std::string MessageDllPath() { return vb::Environ("systemroot") + "\\System32\\BrindleEventLogMsgHelper.dll"; }

bool WriteEvent(const std::string& sMessage, int iType, long lEventId) {
    const long eventId = lEventId == 0 ? kOwnEventId : lEventId;
    return WriteWithMessageFile(CommonModule::AppPath() + vb::App::EXEName() + ".exe", sMessage, iType, eventId);
}

bool WriteEventWithDll(const std::string& sMessage, int iType) {
    InstallMessageDll();
    return WriteWithMessageFile(MessageDllPath(), sMessage, iType, kOwnEventId);
}

void InstallMessageDll() {
    try {
        const std::string path = MessageDllPath();
        if (CommonModule::DoesFileExist(path)) return;
        const std::string bytes = vb::LoadResData("eventlogmsghelper", "CUSTOM");
        std::optional<CommonModule::FSRedirectionOff> redirectionOff;
        if (CommonModule::Is64BitOS()) redirectionOff.emplace();
        vb::PutBytesToFile(path, bytes);
    } catch (const RuntimeError&) {
    }
}

}  // namespace EventWriter
