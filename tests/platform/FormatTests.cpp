// Numbers formatted with a digit pattern in the machine's regional settings.
#include <gtest/gtest.h>

#include <string>

#include "platform/api/Format.h"
#include "support/TempHost.h"

namespace {

struct FormatCase {
    double value;
    const char* pattern;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.value << " with \"" << c.pattern << '"'; }

class FormatTable : public testing::TestWithParam<FormatCase> {
protected:
    testsupport::TempHost host;
};

TEST_P(FormatTable, GivesTheRunTimesText) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(vb::Format(c.value, c.pattern), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    GroupedWithTwoOptionalDecimals, FormatTable,
    testing::Values(FormatCase{0, "#,###.##", "."}, FormatCase{0.5, "#,###.##", ".5"},
                    FormatCase{100, "#,###.##", "100."}, FormatCase{1234.5, "#,###.##", "1,234.5"},
                    FormatCase{1234567.891, "#,###.##", "1,234,567.89"}, FormatCase{999.999, "#,###.##", "1,000."},
                    FormatCase{0.004, "#,###.##", "."}, FormatCase{0.125, "#,###.##", ".13"},
                    FormatCase{-1234.5, "#,###.##", "-1,234.5"}, FormatCase{-0.001, "#,###.##", "."},
                    FormatCase{1.8e19, "#,###.##", "18,000,000,000,000,000,000."}));

INSTANTIATE_TEST_SUITE_P(
    OtherPatterns, FormatTable,
    testing::Values(FormatCase{0, "0.00", "0.00"}, FormatCase{3.14159, "0.0", "3.1"}, FormatCase{1234.5, "####", "1235"},
                    FormatCase{5, "000", "005"}, FormatCase{1234.5, "#,##0", "1,235"},
                    FormatCase{12.5, "#.## GB", "12.5 GB"}));

TEST(Format, UsesTheMachinesDecimalSignAndThousandsSeparator) {
    testsupport::TempHost host;
    host.WriteHostIni("International", "Decimal", ",");
    host.WriteHostIni("International", "Thousand", ".");
    EXPECT_EQ(vb::Format(1234567.5, "#,###.##"), "1.234.567,5");
    EXPECT_EQ(vb::Format(0.25, "#,###.##"), ",25");
    EXPECT_EQ(vb::Format(100, "#,###.##"), "100,");
}

}  // namespace
