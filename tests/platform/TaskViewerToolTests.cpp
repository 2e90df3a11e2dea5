// The task viewer that "mmc.exe taskschd.msc" and "control.exe schedtasks" open.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/tools/SchedulerTool.h"
#include "platform/tools/TaskViewerTool.h"
#include "platform/tools/WindowsTools.h"
#include "support/TempHost.h"

namespace {

TEST(TaskViewerTool, BothCommandLinesListTheHostsTasksWithoutADisplay) {
    testsupport::TempHost host;
    host.WriteHostIni("Scheduler", "Crontab", "0");
    host.WriteHostIni("Scheduler", "Autostart", "0");
    std::ostringstream ignored;
    std::istringstream none;
    ASSERT_EQ(platform::RunSchedulerTool("/create /ru system /sc DAILY /st 09:00:00 /f /tn \"Quarnel Rules Update\" "
                                         "/tr \"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /updaterules2",
                                         ignored, none),
              0);

    ASSERT_NE(platform::FindWindowsTool("C:\\Windows\\System32\\mmc.exe"), nullptr);
    ASSERT_NE(platform::FindWindowsTool("control.exe"), nullptr);
    for (auto run : {&platform::RunMmcTool, &platform::RunControlTool}) {
        std::ostringstream out;
        const std::string argument = run == &platform::RunMmcTool ? "taskschd.msc" : "SCHEDTASKS";
        EXPECT_EQ(run(argument, out), 0);
        EXPECT_EQ(out.str(), platform::TaskListText());
        EXPECT_NE(out.str().find("Quarnel Rules Update\tDaily\t09:00:00"), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("/updaterules2"), std::string::npos);
    }
    std::ostringstream out;
    EXPECT_EQ(platform::RunMmcTool("compmgmt.msc", out), 1);
    EXPECT_EQ(platform::RunControlTool("printers", out), 1);
}

}  // namespace
