// The exact schtasks argument lines of the scheduled tasks.
#include <gtest/gtest.h>

#include <string>

#include "common/TaskScheme.h"

namespace {

const std::string kProgram = "C:\\Program Files\\Quarnel\\Quarnel.exe";

TEST(TaskSchemeLines, AreThoseTheSchedulerIsGiven) {
    EXPECT_EQ(TaskScheme::CreateArguments(false, "08:00:00", true, "Quarnel Heartbeat", kProgram, " /heartbeat"),
              "/create /ru system /sc DAILY /st 08:00:00 /rl highest /f /tn \"Quarnel Heartbeat\" /tr "
              "\"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /heartbeat");
    EXPECT_EQ(TaskScheme::CreateArguments(false, "08:00:00", false, "Quarnel Heartbeat", kProgram, " /heartbeat"),
              "/create /ru system /sc DAILY /st 08:00:00 /tn \"Quarnel Heartbeat\" /tr "
              "\"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /heartbeat");
    EXPECT_EQ(TaskScheme::CreateArguments(true, "", true, "Quarnel Application Update",
                                          "C:\\Program Files\\Quarnel\\Quarnel_Stop.exe", " /updatesilent"),
              "/create /ru system /sc WEEKLY /d MON /st  /rl highest /f /tn \"Quarnel Application Update\" /tr "
              "\"\\\"C:\\Program Files\\Quarnel\\Quarnel_Stop.exe\\\" /updatesilent");
    EXPECT_EQ(TaskScheme::DeleteArguments("Quarnel"), "/delete /f /tn \"Quarnel\"");
}

}  // namespace
