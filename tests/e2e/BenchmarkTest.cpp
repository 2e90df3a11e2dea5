// The benchmarks run where the programs run: without a display they take
// the offscreen platform as the programs do.
#include <gtest/gtest.h>

#include <string>

#include "support/ShellCommand.h"

namespace {

TEST(Benchmarks, SnmpBenchRunsWithoutADisplay) {
    const std::string bench = std::string(QUARNEL_BIN_DIR) + "/quarnel_snmp_bench";
    EXPECT_EQ(testsupport::ShellCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + bench + "'"), 0);
}

}  // namespace
