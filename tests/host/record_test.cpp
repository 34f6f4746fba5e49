#include "host/base/record.h"

#include <gtest/gtest.h>

#include <set>

#include <cmath>
#include <limits>

#include "host/base/exception.h"

namespace instkit {
namespace {

struct TextCase {
  uint8_t type;
  const char* text;
  const char* shown;  // GetAsString afterwards; null when SetAsString must raise
};

TEST(FieldConversion, TextIsConvertedToTheFieldKind) {
  const TextCase cases[] = {
      {ftString, " a b ", " a b "},
      {ftInteger, "42", "42"},
      {ftInteger, "-2147483648", "-2147483648"},
      {ftInteger, "2147483648", nullptr},
      {ftInteger, "12 ", nullptr},
      {ftInteger, "abc", nullptr},
      {ftInteger, "", ""},
      {ftSmallInt, "7", "7"},
      {ftFloat, "1.5", "1.5"},
      {ftFloat, "0.1", "0.1"},
      {ftFloat, "x1", nullptr},
      {ftBoolean, "true", "TRUE"},
      {ftBoolean, "FALSE", "FALSE"},
      {ftBoolean, "yes", nullptr},
      {ftParameter, "not a number", "not a number"},
      {ftBinary, "\x01\xFF", "\x01\xFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("type ") + std::to_string(c.type) + " text '" + c.text + "'");
    TField field("F", c.type);
    if (c.shown == nullptr) {
      EXPECT_THROW(field.SetAsString(c.text), EConvertError);
      EXPECT_TRUE(field.IsNull());
    } else {
      field.SetAsString(c.text);
      EXPECT_EQ(field.GetAsString(), c.shown);
    }
  }
}

TEST(FieldConversion, DoublesRoundTripThroughTheirTextForm) {
  const double values[] = {0.1, 1.0 / 3.0, -2.5e-300, 1e300, 123456789.125, 5e-324, std::numeric_limits<double>::max()};
  for (double v : values) {
    TField out("F", ftFloat);
    out.SetAsFloat(v);
    TField in("F", ftFloat);
    in.SetAsString(out.GetAsString());
    EXPECT_EQ(in.GetAsFloat(), v) << out.GetAsString();
  }
}

TEST(FieldConversion, ParameterFieldKeepsTheKindItWasGiven) {
  TField field("F", ftParameter);
  field.SetAsInteger(12);
  EXPECT_EQ(field.GetAsString(), "12");
  EXPECT_EQ(field.GetAsInteger(), 12);
  field.SetAsString("12,15");
  EXPECT_THROW(field.GetAsInteger(), EConvertError);
}

TEST(FieldConversion, ValuesMoveBetweenKinds) {
  TField integer("I", ftInteger);
  integer.SetValue(TVariant{std::string("17")});
  EXPECT_EQ(integer.GetAsInteger(), 17);
  integer.SetAsFloat(2.0);
  EXPECT_EQ(integer.GetAsInteger(), 2);
  EXPECT_THROW(integer.SetAsFloat(1e20), EConvertError);
  integer.SetAsFloat(-2147483648.0);  // the ends of the range convert
  EXPECT_EQ(integer.GetAsInteger(), std::numeric_limits<int32_t>::min());

  TField text("T", ftString);
  text.SetAsBoolean(true);
  EXPECT_EQ(text.GetAsString(), "TRUE");
  EXPECT_TRUE(text.GetAsBoolean());

  TField empty("E", ftInteger);
  EXPECT_EQ(empty.GetAsInteger(), 0);
  EXPECT_EQ(empty.GetAsString(), "");
  EXPECT_FALSE(empty.GetAsBoolean());
}

TEST(Record, FieldByNameIgnoresAsciiCaseAndFindsTheFirst) {
  TRecord record;
  record.AddField("Short Name", ftString)->SetAsString("first");
  record.AddField("short name", ftString)->SetAsString("second");
  ASSERT_NE(record.FieldByName("Short name"), nullptr);
  EXPECT_EQ(record.FieldByName("SHORT NAME")->GetAsString(), "first");
  EXPECT_EQ(record.FieldByName("Short"), nullptr);
  // Only ASCII letters fold: Windows-1251 letters must match exactly.
  record.AddField("\xC8\xCC\xDF", ftString);  // upper-case Cyrillic
  EXPECT_EQ(record.FieldByName("\xE8\xEC\xFF"), nullptr);
  // An index outside the fields finds none (callers look up by index too).
  EXPECT_EQ(record.GetFields(-1), nullptr);
  EXPECT_EQ(record.GetFields(record.GetFieldCount()), nullptr);
}

// Callers keep field pointers while the layout version stands: it must move
// with every change of the fields (and only then), and never repeat.
TEST(Record, LayoutVersionMovesWithTheFieldsOnly) {
  TRecord record;
  TRecord other;
  std::set<uint64_t> seen{record.LayoutVersion(), other.LayoutVersion()};
  EXPECT_EQ(seen.size(), 2u);
  const auto changed = [&](const char* what) { EXPECT_TRUE(seen.insert(record.LayoutVersion()).second) << what; };
  record.AddField("A", ftInteger);
  changed("add");
  record.AddField("B", ftString);
  changed("add again");
  const uint64_t before = record.LayoutVersion();
  record.GetFields(0)->SetAsInteger(5);
  record.ClearData();
  record.DeleteField(7);  // out of range: nothing deleted
  EXPECT_EQ(record.LayoutVersion(), before);
  record.DeleteField(0);
  changed("delete");
  record.Clear();
  changed("clear");
  other.AddField("A", ftInteger);
  EXPECT_TRUE(seen.insert(other.LayoutVersion()).second);
}

}  // namespace
}  // namespace instkit
