// Rule matching of the monitor window: every rule file of the Rules folder
// against one record, then the global exclusion lists.
#include <ctime>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "frmDHM.h"
#include "monitor/RuleMatch.h"
#include "platform/api/DateTime.h"
#include "platform/api/RuntimeError.h"

std::string frmDHM::AlertText(const std::string& type, const std::string& code, const std::string& source,
                              const std::string& message, const std::string& log) {
    return RuleMatch::AlertTextAt(vb::Now(), type, code, source, message, log);
}

void frmDHM::CheckAllRules(const std::string& sType, const std::string& sCode, const std::string& sSource,
                           const std::string& sMessage, const std::string& sLog) {
    const RuleMatch::RecordCheck oneLookAtTheFolder;
    const std::vector<std::string> ruleFiles = RuleMatch::RuleFiles();
    for (const std::string& ruleFile : ruleFiles) {
        if (ruleFile.empty()) continue;
        try {
            CheckRule(ruleFile, sType, sCode, sSource, sMessage, sLog);
        } catch (const RuntimeError&) {
            // An error ends the check of that one rule.
        }
    }
}

void frmDHM::CheckRule(const std::string& sFile, const std::string& sEventType, const std::string& sEventCode,
                       const std::string& sEventSource, const std::string& sEventMsg,
                       const std::string& sEventLogName) {
    // The alert carries the time the check began; its text is made only for a rule that alerts.
    const std::time_t checked = vb::Now();
    if (!RuleMatch::RuleSelects(sFile, sEventType, sEventCode, sEventSource, sEventMsg, sEventLogName)) return;
    bool excluded = false;
    IsExcludedByID(sEventCode, excluded);
    if (excluded) return;
    IsExcludedBySource(sEventSource, excluded);
    if (excluded) return;
    IsExcludedByDesc(sEventMsg, excluded);
    if (excluded) return;
    DoAction(RuleMatch::AlertTextAt(checked, sEventType, sEventCode, sEventSource, sEventMsg, sEventLogName));
}

void frmDHM::IsExcludedByID(const std::string& sEventCode, bool& bExcluded) {
    bExcluded = false;
    try {
        bExcluded = RuleMatch::ExcludedByID(sEventCode);
    } catch (const RuntimeError&) {
    }
}

void frmDHM::IsExcludedBySource(const std::string& sEventSource, bool& bExcluded) {
    bExcluded = false;
    try {
        bExcluded = RuleMatch::ExcludedBySource(sEventSource);
    } catch (const RuntimeError&) {
    }
}

void frmDHM::IsExcludedByDesc(const std::string& sEventMsg, bool& bExcluded) {
    bExcluded = false;
    try {
        bExcluded = RuleMatch::ExcludedByDesc(sEventMsg);
    } catch (const RuntimeError&) {
    }
}
