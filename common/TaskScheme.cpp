#include "common/TaskScheme.h"

#include <cstdint>

#include "common/CommonModule.h"
#include "common/modOpSys.h"

namespace TaskScheme {

bool IsRulesProfile(const std::string& text) { return text.size() == 1 && text[0] >= '0' && text[0] <= '3'; }

std::string DeleteArguments(const std::string& taskName) { return "/delete /f /tn \"" + taskName + "\""; }

std::string TaskToRun(const std::string& programPath, const std::string& switchText) {
    return "\"\\\"" + programPath + "\\\"" + switchText;
}

std::string CreateArguments(bool weekly, const std::string& startTime, bool vistaOrLater,
                            const std::string& taskName, const std::string& programPath,
                            const std::string& switchText) {
    std::string arguments = weekly ? "/create /ru system /sc WEEKLY /d MON /st " : "/create /ru system /sc DAILY /st ";
    arguments += startTime;
    arguments += vistaOrLater ? " /rl highest /f /tn " : " /tn ";
    arguments += "\"" + taskName + "\"";
    arguments += " /tr ";
    return arguments + TaskToRun(programPath, switchText);
}

bool ReplaceTask(bool weekly, const std::string& startTime, const std::string& taskName,
                 const std::string& programPath, const std::string& switchText) {
    std::int32_t exitCode = 0;
    CommonModule::ShellX("schtasks.exe", DeleteArguments(taskName), true, 0, exitCode);
    const std::string create =
        CreateArguments(weekly, startTime, modOpSys::IsVistaOrLater(), taskName, programPath, switchText);
    exitCode = -1;
    return CommonModule::ShellX("schtasks.exe", create, true, 0, exitCode) && exitCode == 0;
}

}  // namespace TaskScheme
