// The monitor on a real X display whose session bus accepts connections and
// never answers (a stopped bus daemon) still starts, and ends on its own
// event record.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "support/BusSocket.h"
#include "support/EventCreateRun.h"
#include "support/ProgramRun.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"
#include "support/XvfbServer.h"

namespace {

using testsupport::ProgramResult;
using testsupport::RunningProgram;

TEST(SilentSessionBus, MonitorStartsOnADisplayAndEndsOnItsOwnRecord) {
    testsupport::XvfbServer x;
    ASSERT_TRUE(x.Started()) << "Xvfb did not start";
    testsupport::TempHost host;
    const std::filesystem::path programFolder = testsupport::InstallProgram(host);
    const testsupport::BusSocket bus((host.DriveC() / "silent-bus").string(), false, std::nullopt);
    ASSERT_TRUE(bus.Listening());
    const testsupport::ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());

    RunningProgram monitor(host, programFolder / "Quarnel.exe", "", x.Display());
    ASSERT_TRUE(monitor.WaitForOutput(testsupport::kSubscribed, std::chrono::seconds(60))) << monitor.DebugOutput();
    EXPECT_NE(monitor.DebugOutput().find("\tSession bus " + bus.Address() + " did not answer"), std::string::npos)
        << monitor.DebugOutput();
    ASSERT_EQ(testsupport::RunInstalledEventCreate("/L APPLICATION /T INFORMATION /ID 1 /SO Quarnel /D \"Stop.\""), 0u);
    const ProgramResult result = monitor.Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
}

}  // namespace
