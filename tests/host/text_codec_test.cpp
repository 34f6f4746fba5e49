// Shared text primitives: trimming, number parsing, number lists, base64,
// code pages, and the little-endian byte codec.
#include <gtest/gtest.h>

#include <random>

#include "host/base/binary_text.h"
#include "host/base/codepage.h"
#include "host/base/coding.h"
#include "host/base/exception.h"
#include "host/base/number_list.h"
#include "host/base/text.h"

namespace instkit {
namespace {

TEST(Text, TrimRemovesBlanksAndControlBytes) {
  EXPECT_EQ(Trim(std::string_view(" \t\0a b\r\n ", 9)), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // a Windows-1251 no-break space is a character
}

TEST(Text, Int32ParsingIsStrict) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {{"0", 0},
               {"-17", -17},
               {"+5", 5},
               {"2147483647", 2147483647},
               {"-2147483648", INT32_MIN},
               {"2147483648", std::nullopt},
               {"", std::nullopt},
               {" 1", std::nullopt},
               {"1 ", std::nullopt},
               {"1,", std::nullopt},
               {"+-1", std::nullopt},
               {"0x10", std::nullopt},
               {"-", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ParseInt32(c.text), c.value) << "'" << c.text << "'";
}

// The items of a list under both blank rules, as "item|item", a bad item
// in brackets.
std::string Items(std::string_view list, TListBlanks blanks) {
  std::string out;
  TNumberList items(list, blanks);
  for (TNumberItem item; items.Next(item);) {
    if (!out.empty()) out += '|';
    out += item.number ? std::to_string(*item.number) : "[" + std::string(item.text) + "]";
  }
  return out;
}

TEST(Text, NumberListsUnderBothBlankRules) {
  struct Case {
    const char* list;
    const char* trim_items;
    const char* trim_rest;
  } cases[] = {
      {"", "", ""},
      {"5", "5", "5"},
      {"4,7,12", "4|7|12", "4|7|12"},
      {"12, 15", "12|15", "12|15"},
      {"12, 15,18", "12|15|18", "12|[15,]|18"},
      {"12 ,15", "12|15", "[12 ]|15"},
      {" 12,15", "12|15", "[12,]|15"},
      {"1,", "1|[]", "1|[]"},
      {",", "[]|[]", "[]|[]"},
      {"1,,2", "1|[]|2", "1|[]|2"},
      {" ", "[]", "[]"},
      {"5,x,-7", "5|[x]|-7", "5|[x]|-7"},
      {"2147483648,1", "[2147483648]|1", "[2147483648]|1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Items(c.list, TListBlanks::kTrimItems), c.trim_items) << "'" << c.list << "'";
    EXPECT_EQ(Items(c.list, TListBlanks::kTrimRest), c.trim_rest) << "'" << c.list << "'";
  }
  TNumberItem bad;
  TNumberList("x").Next(bad);
  try {
    bad.NumberOrRaise();
    ADD_FAILURE() << "no failure raised";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x' is not a valid integer value");
  }
}

TEST(BinaryText, RoundTripsEveryLengthAndByte) {
  std::mt19937 rng(7);
  for (int length = 0; length < 70; ++length) {
    std::string data(static_cast<size_t>(length), '\0');
    for (char& c : data) c = static_cast<char>(rng());
    const std::string text = StrToFormat(data.data(), length, kBase64Format);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    if (!text.empty()) {
      EXPECT_NE(text.front(), '\0');
      EXPECT_GT(static_cast<unsigned char>(text.back()), 32);
    }
    EXPECT_EQ(FormatToStr(text.data(), static_cast<int32_t>(text.size()), kBase64Format), data);
  }
}

TEST(BinaryText, RejectsUnknownFormatsAndBadText) {
  EXPECT_THROW(StrToFormat("a", 1, 4195), Exception);
  const char* bad[] = {"abc", "ab=c", "a===", "ab c", "====", "ab\x80="};
  for (const char* text : bad) {
    EXPECT_THROW(FormatToStr(text, static_cast<int32_t>(strlen(text)), kBase64Format), Exception) << text;
  }
}

TEST(CodePage, ConvertsRussianBothWays) {
  const std::string cp1251 = "\xCE\xF8\xE8\xE1\xEA\xE0 \xB8\xA8\xB9";  // Ошибка ёЁ№
  const std::string utf8 = "Ошибка ёЁ№";
  EXPECT_EQ(Cp1251ToUtf8(cp1251), utf8);
  EXPECT_EQ(Utf8ToCp1251(utf8), cp1251);
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
  }
  EXPECT_EQ(Utf8ToCp1251("日\xFF"), "??");
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");  // truncated sequence
}

TEST(Coding, FixedWidthIsLittleEndianAndBounded) {
  std::string buf;
  PutFixed32(buf, 0x11223344);
  PutFixed16(buf, 0xA1B2);
  PutDouble(buf, -1.5);
  EXPECT_EQ(buf.substr(0, 6), std::string("\x44\x33\x22\x11\xB2\xA1", 6));
  ByteReader reader(buf.data() + 1, buf.size() - 1);  // unaligned on purpose
  uint32_t u32 = 0;
  ASSERT_TRUE(reader.GetFixed32(&u32));
  EXPECT_EQ(u32, 0xB2112233u);
  ByteReader full(buf.data(), buf.size());
  uint16_t u16;
  double d;
  ASSERT_TRUE(full.GetFixed32(&u32));
  ASSERT_TRUE(full.GetFixed16(&u16));
  ASSERT_TRUE(full.GetDouble(&d));
  EXPECT_EQ(d, -1.5);
  EXPECT_FALSE(full.GetFixed16(&u16));
  std::string out;
  EXPECT_FALSE(full.GetBytes(1, &out));
}

}  // namespace
}  // namespace instkit
