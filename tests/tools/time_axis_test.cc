// Times as the tool reads and prints them, and the picture's time axis: a
// handful of round, distinct, readable labels from a tenth of a second to
// hours.
#include "amix/report/time_axis.h"

#include <gtest/gtest.h>

#include <set>

#include "amix/base/clock_time.h"

namespace amix {
namespace {

TEST(TimeAxis, FewDistinctRisingTicksCoverEveryLength) {
  for (double seconds : {0.1, 0.37, 1.0, 4.2, 9.99, 30.0, 59.0, 61.0, 600.0, 3599.0, 3600.0,
                         5400.0, 86400.0}) {
    SCOPED_TRACE(seconds);
    const std::vector<TimeTick> ticks = time_ticks(seconds, 11);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_LE(ticks.size(), 11u);
    EXPECT_EQ(ticks.front().seconds, 0.0);
    // The ticks reach past half the length, so the axis is not bunched.
    EXPECT_GT(ticks.back().seconds, seconds / 2);
    EXPECT_LE(ticks.back().seconds, seconds * (1 + 1e-9));
    std::set<std::string> labels;
    for (size_t i = 0; i < ticks.size(); ++i) {
      labels.insert(ticks[i].label);
      EXPECT_LE(ticks[i].label.size(), 8u) << ticks[i].label;
      if (i > 0) {
        EXPECT_GT(ticks[i].seconds, ticks[i - 1].seconds);
      }
    }
    EXPECT_EQ(labels.size(), ticks.size());
  }
}

TEST(TimeAxis, LabelsReadAsSecondsMinutesOrHours) {
  const struct {
    double seconds;
    std::vector<std::string> first;
    std::string last;
  } cases[] = {
      {0.1, {"0.00 s", "0.01 s", "0.02 s"}, "0.10 s"},
      {1.0, {"0.0 s", "0.1 s"}, "1.0 s"},
      {7.0, {"0 s", "1 s"}, "7 s"},
      {50.0, {"0 s", "5 s"}, "50 s"},
      // A ten-minute mix: a label a minute, not one every five seconds.
      {600.0, {"0:00", "1:00"}, "10:00"},
      {90.0, {"0:00", "0:10"}, "1:30"},
      {3600.0, {"0:00:00", "0:10:00"}, "1:00:00"},
      {7200.0, {"0:00:00", "0:15:00"}, "2:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    const std::vector<TimeTick> ticks = time_ticks(c.seconds, 11);
    ASSERT_GE(ticks.size(), c.first.size());
    for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(ticks[i].label, c.first[i]);
    EXPECT_EQ(ticks.back().label, c.last);
  }
}

TEST(TimeAxis, NothingToLabel) {
  EXPECT_TRUE(time_ticks(0.0, 11).empty());
  EXPECT_TRUE(time_ticks(-1.0, 11).empty());
  EXPECT_TRUE(time_ticks(10.0, 1).empty());
}

// Every form a user may type reads as the seconds it means, and each time
// prints back as h:mm:ss.fff, rounded to the millisecond.
TEST(ClockTime, ReadsSecondsAndClockTimesAndPrintsThemBack) {
  const struct {
    const char* text;
    double seconds;
    const char* printed;
  } cases[] = {
      {"0", 0, "0:00:00.000"},          {"90", 90, "0:01:30.000"},
      {"1.5", 1.5, "0:00:01.500"},      {".25", 0.25, "0:00:00.250"},
      {"7.", 7, "0:00:07.000"},         {"1:30", 90, "0:01:30.000"},
      {"01:02.5", 62.5, "0:01:02.500"}, {"0:01:02.500", 62.5, "0:01:02.500"},
      {"90:00", 5400, "1:30:00.000"},   {"24:00:00", 86400, "24:00:00.000"},
      {"0:00:00.0004", 0.0004, "0:00:00.000"},
      {"59.9996", 59.9996, "0:01:00.000"},  // rounds up into the next minute
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double seconds = -1;
    ASSERT_TRUE(parse_clock_time(c.text, &seconds));
    EXPECT_DOUBLE_EQ(seconds, c.seconds);
    EXPECT_EQ(format_clock_time(seconds), c.printed);
  }
  EXPECT_EQ(format_clock_time(-1.25), "-0:00:01.250");
  for (const char* bad : {"", "-1", "+1", "1e3", "inf", "nan", "0x10", "1:", ":30", "1:60",
                          "1:00:60", "1.5:00", "1:2:3:4", "1..5", "1,5", " 1", "1 s"}) {
    double seconds = 0;
    EXPECT_FALSE(parse_clock_time(bad, &seconds)) << "'" << bad << "'";
  }
}

}  // namespace
}  // namespace amix
