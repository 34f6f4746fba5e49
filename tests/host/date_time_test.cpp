// ISO-8601 texts and the date-time double: the forms read, and generated
// moments checked against the standard calendar and written back.
#include "host/base/date_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "host/base/exception.h"

namespace instkit {
namespace {

TEST(DateTime, ReadsTheIsoFormsAndNothingElse) {
  const std::pair<const char*, std::optional<double>> cases[] = {{"2024-01-15", 45306.0},
                                                                 {"2024-01-15T10:30", 45306.4375},
                                                                 {" 2024-01-15 10:30:00.000 ", 45306.4375},
                                                                 {"2024-01-15 12:00:00+03:00", 45306.375},
                                                                 {"2024-01-15Z", 45306.0},
                                                                 {"08:15:00", 0.34375},
                                                                 {"1899-12-29 06:00", -1.25},
                                                                 {"2024-02-29", 45351.0},
                                                                 {"2023-02-29", std::nullopt},
                                                                 {"2024-1-5", std::nullopt},
                                                                 {"24:00:00", std::nullopt},
                                                                 {"2024-01-15 10:30:00.", std::nullopt},
                                                                 {"2024-01-15 10:30 x", std::nullopt},
                                                                 {"yesterday", std::nullopt},
                                                                 {"", std::nullopt}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseIsoDateTime(text), value) << text;
  EXPECT_EQ(FormatIsoDateTime(45306.4375, TIsoForm::kDate), "2024-01-15 10:30:00");
  EXPECT_EQ(FormatIsoDateTime(0.34375, TIsoForm::kTime), "08:15:00");
  EXPECT_EQ(FormatIsoDateTime(45351.9999999999, TIsoForm::kDate), "2024-03-01");  // rounds to midnight
  EXPECT_THROW(FormatIsoDateTime(1e7, TIsoForm::kDate), EConvertError);
}

TEST(DateTime, GeneratedMomentsMatchTheCalendarAndRoundTrip) {
  using namespace std::chrono;
  std::mt19937 random(2024);
  const sys_days epoch = sys_days(year(1899) / December / 30);
  for (int i = 0; i < 3000; ++i) {
    const year_month_day day{sys_days(days(std::uniform_int_distribution<int>(-719162, 2932896)(random)))};
    const int ms = static_cast<int>(random() % 1000);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()), static_cast<int>(random() % 24),
                  static_cast<int>(random() % 60), static_cast<int>(random() % 60), ms);
    const std::optional<double> value = ParseIsoDateTime(text);
    ASSERT_TRUE(value.has_value()) << text;
    EXPECT_EQ(static_cast<int64_t>(std::trunc(*value)), (sys_days(day) - epoch).count()) << text;
    EXPECT_EQ(FormatIsoDateTime(*value, TIsoForm::kDateTime), ms == 0 ? std::string(text, 19) : text);
  }
}

}  // namespace
}  // namespace instkit
