// The warnings for the values a conversion passed over: one per message of
// its report, read from the report's text alone.
#include "value_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>

#include "support/support.h"
#include "ul_log.h"

namespace kavo {
namespace pbdict {
namespace {

// What LogPassedOver logs for a report, each warning without its head.
std::string Logged(const std::string& report) {
  static const std::regex head(
      "WARNING: [0-9]{2}-[0-9]{2} [0-9:]{8}: +\\S* \\* [0-9]+ dict-set:\\[f\\.txt\\]-line\\[4\\]: ");
  testsupport::CaptureFd err(2);
  LogPassedOver("f.txt", 4, report);
  return std::regex_replace(err.Stop(), head, "");
}

TEST(ValueReport, OneWarningPerMessage) {
  const std::string a = "Invalid value `1' for optional field `p.zZ09_.a' which SHOULD be BOOL";
  const std::string b = "Invalid value `\"s\"' for optional field `p.M.b' which SHOULD be INT32";
  // ", Invalid value `" after text that is no whole message (no field part)
  // is inside a value.
  const std::string inside =
      "Invalid value `\"x' which SHOULD be INT32, Invalid value `y\"' for optional field `p.c' "
      "which SHOULD be string";
  const struct {
    std::string report, logged;
  } cases[] = {
      {"", ""},
      {a, "optional field `p.zZ09_.a' passed over: " + a + "\n"},
      {a + ", " + b, "optional field `p.zZ09_.a' passed over: " + a +
                         "\noptional field `p.M.b' passed over: " + b + "\n"},
      {inside, "optional field `p.c' passed over: " + inside + "\n"},
      {"Invalid value `\"\x1f \x7f~\"' for optional field `p.d' which SHOULD be INT32",
       "optional field `p.d' passed over: Invalid value `\"\\x1f \\x7f~\"' for optional field "
       "`p.d' which SHOULD be INT32\n"},
      // Text of another form is logged whole, without a field.
      {"Some value `1' for optional field `p.a' which SHOULD be BOOL",
       "value passed over: Some value `1' for optional field `p.a' which SHOULD be BOOL\n"},
      {"Invalid value `1' for optional field `p a' which SHOULD be BOOL",
       "value passed over: Invalid value `1' for optional field `p a' which SHOULD be BOOL\n"},
      {"Invalid value `1' for optional field `p.a' which SHOULD be ",
       "value passed over: Invalid value `1' for optional field `p.a' which SHOULD be \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.logged, Logged(c.report)) << c.report;
}

// A value that repeats ", Invalid value `" makes as many places to try:
// each try reads only the names at the end of its piece, so a report of
// 1.7 MB takes milliseconds, not minutes (the bound only catches a hang).
TEST(ValueReport, RepeatedSeparatorsInAValueCostTheirLength) {
  std::string value = "\"";
  for (int i = 0; i < 100000; ++i) value += ", Invalid value `";
  const std::string report = "Invalid value `" + value + "\"' for optional field `p.s' which SHOULD be INT32";
  const auto start = std::chrono::steady_clock::now();
  const std::string logged = Logged(report);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(logged.find("optional field `p.s' passed over: Invalid value `\", Invalid value `"), 0u) << logged;
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1);
}

// A message longer than a log line is cut where the line ends, also when
// the byte there would be escaped into four.
TEST(ValueReport, AMessageIsCutWhereTheLogLineEnds) {
  const std::string head = "Invalid value `\"";
  const std::string report = head + std::string(UL_LOG_BUFF_SIZE - head.size(), 'a') +
                             "\x01\"' for optional field `p.f' which SHOULD be INT32";
  const std::string logged = Logged(report);
  EXPECT_EQ(logged.find("optional field `p.f' passed over: " + head + "aaa"), 0u) << logged;
  EXPECT_EQ(logged.find("\\x01"), std::string::npos);
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1);
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
