// ISO-8601 texts and the date-time double: the forms read, the forms
// written, and generated days checked against the standard calendar.
#include "host/base/date_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "host/base/exception.h"

namespace instkit {
namespace {

TEST(DateTime, ReadsTheIsoForms) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"2024-01-15", 45306.0},
      {"2024-01-15 10:30:00", 45306.4375},
      {"2024-01-15T10:30", 45306.4375},
      {" 2024-01-15 10:30:00.000 ", 45306.4375},
      {"2024-01-15 12:00:00+03:00", 45306.375},
      {"2024-01-15 22:00:00-03:00", 45307.0 + 1.0 / 24},
      {"2024-01-15Z", 45306.0},
      {"08:15:00", 0.34375},
      {"1899-12-30", 0.0},
      {"1899-12-29 06:00", -1.25},
      {"0001-01-01", -693593.0},
      {"2024-02-29", 45351.0},
      {"2023-02-29", std::nullopt},
      {"2024-13-01", std::nullopt},
      {"2024-1-5", std::nullopt},
      {"24:00:00", std::nullopt},
      {"2024-01-15 10:60", std::nullopt},
      {"2024-01-15 10:30:00.", std::nullopt},
      {"2024-01-15 10:30 junk", std::nullopt},
      {"yesterday", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseIsoDateTime(text), value) << text;
}

TEST(DateTime, WritesTheShortestFormThatKeepsTheValue) {
  const std::tuple<double, TIsoForm, const char*> cases[] = {
      {45306.0, TIsoForm::kDate, "2024-01-15"},
      {45306.4375, TIsoForm::kDate, "2024-01-15 10:30:00"},
      {45306.0, TIsoForm::kDateTime, "2024-01-15 00:00:00"},
      {0.34375, TIsoForm::kTime, "08:15:00"},
      {45306.5, TIsoForm::kTime, "2024-01-15 12:00:00"},
      {-1.25, TIsoForm::kDateTime, "1899-12-29 06:00:00"},
      {45351.999994212965, TIsoForm::kDateTime, "2024-02-29 23:59:59.500"},
      {45351.9999999999, TIsoForm::kDate, "2024-03-01"},  // rounds to the next midnight
  };
  for (const auto& [value, form, text] : cases) EXPECT_EQ(FormatIsoDateTime(value, form), text) << value;
  EXPECT_THROW(FormatIsoDateTime(1e7, TIsoForm::kDate), EConvertError);
  EXPECT_THROW(FormatIsoDateTime(-7e5, TIsoForm::kDate), EConvertError);
  EXPECT_THROW(FormatIsoDateTime(std::nan(""), TIsoForm::kDate), EConvertError);
}

TEST(DateTime, GeneratedDaysMatchTheCalendarAndRoundTrip) {
  using namespace std::chrono;
  std::mt19937 random(2024);
  const sys_days epoch = sys_days(year(1899) / December / 30);
  for (int i = 0; i < 3000; ++i) {
    const year_month_day day{sys_days(days(std::uniform_int_distribution<int>(-719162, 2932896)(random)))};
    const int h = static_cast<int>(random() % 24), mi = static_cast<int>(random() % 60);
    const int s = static_cast<int>(random() % 60), ms = static_cast<int>(random() % 1000);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()), h, mi, s, ms);
    const std::optional<double> value = ParseIsoDateTime(text);
    ASSERT_TRUE(value.has_value()) << text;
    EXPECT_EQ(static_cast<int64_t>(std::trunc(*value)), (sys_days(day) - epoch).count()) << text;
    const std::string back = FormatIsoDateTime(*value, TIsoForm::kDateTime);
    EXPECT_EQ(back, ms == 0 ? std::string(text, 19) : std::string(text)) << text;
  }
}

}  // namespace
}  // namespace instkit
