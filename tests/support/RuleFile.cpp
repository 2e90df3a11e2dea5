#include "RuleFile.h"

#include "TempHost.h"

namespace testsupport {

std::string RuleFileText(const RuleFile& rule) {
    return "[LogFile]\r\nApplication=" + rule.application + "\r\nSecurity=" + rule.security +
           "\r\nSystem=" + rule.system + "\r\n[EventType]\r\nInfo=" + rule.info + "\r\nWarning=" + rule.warning +
           "\r\nError=" + rule.error + "\r\nSuccess=" + rule.success + "\r\nFailure=" + rule.failure +
           "\r\n[EventDetail]\r\nEventID=" + rule.id + "\r\nEventSource=" + rule.source +
           "\r\nEventDesc=" + rule.desc + "\r\nEventDescEx=" + rule.descEx + "\r\n";
}

void WriteRuleFile(const std::filesystem::path& rulesFolder, const std::string& name, const RuleFile& rule) {
    WriteHostFile(rulesFolder / (name + ".DAT"), RuleFileText(rule));
}

}  // namespace testsupport
