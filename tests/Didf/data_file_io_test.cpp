// The plain image, SaveToFile/LoadFromFile and their building blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "Didf/data_file.h"
#include "data_file_test_util.h"
#include "host/base/coding.h"
#include "host/base/memory_stream.h"

namespace instkit {
namespace {

using testing::PlainImageOf;
using testing::ProgressLog;
using testing::TempDir;
using testing::WriteDataFile;

const std::string kHeader = "IDF-DS\r\n\r\nTableName=T\r\nID,NAME\r\nINTEGER,STRING\r\n";

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

class DataFileIo : public ::testing::Test {
 protected:
  void MakeIdName() {
    data.TableName = "T";
    data.CreateFields("ID,NAME", "INTEGER,STRING");
  }
  void Add(int id, const std::string& name) {
    data.Structure->GetFields(0)->SetAsInteger(id);
    data.Structure->GetFields(1)->SetAsString(name);
    ASSERT_TRUE(data.InsertRecord());
  }

  TempDir dir;
  TIDFDataFile data;
};

TEST_F(DataFileIo, PlainImagesAreByteExact) {
  MakeIdName();
  data.FileName = dir.Path("t.idf");
  ASSERT_TRUE(data.SaveToFile()) << data.ErrorMessage;
  EXPECT_EQ(PlainImageOf(data.FileName), kHeader);

  Add(1, "AB");
  Add(-2, "");
  ASSERT_TRUE(data.SaveToFile()) << data.ErrorMessage;
  EXPECT_EQ(PlainImageOf(data.FileName),
            kHeader + Bytes({1, 0, 0, 0, 2, 0, 0, 0, 'A', 'B'}) + Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  // The last record written is current.
  EXPECT_EQ(data.GetRecordIndex(), 1);
}

TEST_F(DataFileIo, EveryTypeHasItsEncoding) {
  data.TableName = "ALL";
  for (int code : {ftSmallInt, ftFloat, ftDate, ftCurrency, ftBoolean, ftWord}) {
    data.Structure->AddParam("F" + std::to_string(code), code);
  }
  data.Structure->GetFields(0)->SetAsInteger(70000);  // low 16 bits
  data.Structure->GetFields(1)->SetAsFloat(0.5);
  data.Structure->GetFields(2)->SetAsFloat(2.0);
  data.Structure->GetFields(3)->SetAsFloat(-1.25);
  data.Structure->GetFields(4)->SetAsBoolean(true);
  data.Structure->GetFields(5)->SetAsInteger(-1);
  TMemoryStream image;
  data.WriteRecordToFile(image);
  std::string expected = Bytes({0x70, 0x11});
  PutDouble(expected, 0.5);
  PutDouble(expected, 2.0);
  PutDouble(expected, -1.25);
  expected += Bytes({1, 0xFF, 0xFF});
  EXPECT_EQ(image.Data(), expected);
  EXPECT_EQ(image.GetPosition(), image.GetSize());
  EXPECT_EQ(data.GetFieldTypesString(), "SMALLINT,FLOAT,DATETIME,CURRENCY,BOOLEAN,SMALLINT");
}

// Generated records of every type, saved and loaded: each value comes back
// as the reference says (small integers keep their low 16 bits), each type
// as its canonical code.  Among the texts, two records longer than the
// reader's window follow each other.
TEST_F(DataFileIo, RoundTripKeepsValuesAndCanonicalTypes) {
  data.TableName = "  Mixed  ";
  const int codes[] = {ftString,   ftSmallInt, ftInteger,  ftFloat,   ftDate,
                       ftCurrency, ftMemo,     ftLargeInt, ftBoolean, ftWord};
  for (int code : codes) data.Structure->AddParam("f" + std::to_string(code), code);
  const std::string big(3 * 1024 * 1024 + 7, 'b');
  const std::string texts[] = {std::string("\0\r\n\xFF\xE0 text", 10), "", big, big + "c"};
  const double reals[] = {-0.0, 1e300, std::numeric_limits<double>::denorm_min(), -1.25};
  std::mt19937 random(3);
  std::vector<std::vector<TVariant>> expected;
  for (int r = 0; r < 40; ++r) {
    const auto n = static_cast<int32_t>(random());
    const int32_t small = static_cast<int16_t>(n);
    const double real = r < 4 ? reals[r] : std::ldexp(n, r - 20);
    const std::string text = r < 4 ? texts[r] : std::to_string(n);
    const std::vector<TVariant> values = {text, n, n, real, real, real, text, n, n % 2 == 0, n};
    for (int f = 0; f < 10; ++f) data.Structure->GetFields(f)->SetValue(values[f]);
    ASSERT_TRUE(data.InsertRecord());
    expected.push_back({text, small, n, real, real, real, text, n, n % 2 == 0, small});
  }
  data.FileName = dir.Path("mixed.idf");
  ASSERT_TRUE(data.SaveToFile()) << data.ErrorMessage;

  TIDFDataFile back;
  back.FileName = data.FileName;
  ASSERT_TRUE(back.LoadFromFile()) << back.ErrorMessage;
  EXPECT_EQ(back.TableName, "  Mixed");  // the line loses its trailing blanks
  EXPECT_EQ(back.GetFieldsString(), "F0,F1,F2,F3,F4,F6,F7,F11,F16,F17");
  const int canonical[] = {0, 1, 2, 3, 5, 6, 0, 2, 16, 1};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(back.Structure->GetFields(i)->FieldType(), canonical[i]) << i;
  ASSERT_EQ(back.GetRecordCount(), 40);
  for (int r = 0; r < 40; ++r) EXPECT_EQ(*back.GetRecord(r), expected[static_cast<size_t>(r)]) << r;
  for (int f = 3; f <= 5; ++f)
    EXPECT_TRUE(std::signbit(std::get<double>((*back.GetRecord(0))[static_cast<size_t>(f)])));
}

TEST_F(DataFileIo, HeaderLinesAreCheckedAsTheFormatSays) {
  struct Case {
    const char* name;
    std::string image;
    bool accepted;
    const char* table;
    std::string error = "";
  };
  const Case cases[] = {
      {"plain", kHeader, true, "T"},
      {"lines trimmed", " IDF-DS \r\n \t\r\nTableName=a b \t\r\nA\r\nINTEGER\r\n", true, "a b"},
      {"magic with suffix", "IDF-DS2\r\n\r\nName=T\r\nA\r\nINTEGER\r\n", true, "T"},
      {"lone CR ends lines", "IDF-DS\r\rTableName=X\rA,B\rINTEGER,FLOAT\r", true, "X"},
      {"no equals sign", "IDF-DS\r\n\r\nplain\r\nA\r\nINTEGER\r\n", true, ""},
      {"value after first equals", "IDF-DS\r\n\r\nTableName=a=b\r\nA\r\n\r\n", true, "a=b"},
      {"lower-case magic", "idf-ds\r\n\r\nTableName=T\r\nA\r\nINTEGER\r\n", false, "keep"},
      {"second line not empty", "IDF-DS\r\nx\r\nTableName=T\r\nA\r\nINTEGER\r\n", false, "keep"},
      {"LF does not end lines", "IDF-DS\n\nTableName=T\nA\nINTEGER\n", false, "keep"},
      {"ends before line 5", "IDF-DS\r\n\r\nTableName=T\r\nA\r\n", false, "T"},
      {"empty", "", false, "keep"},
      {"bad type name", "IDF-DS\r\n\r\nTableName=T\r\nA,B\r\nINTEGER,TEXT\r\n", false, "T",
       "An exception while loading header from file\r\nFile name = ''\r\nEIDFDataFile: Invalid data type string - "
       "'TEXT'"},
  };
  for (const Case& c : cases) {
    TIDFDataFile file;
    file.TableName = "keep";
    TMemoryStream image(c.image);
    EXPECT_EQ(file.LoadHeader(image), c.accepted) << c.name;
    EXPECT_EQ(file.TableName, c.table) << c.name;
    EXPECT_EQ(file.ErrorMessage, c.error) << c.name;
    if (c.accepted) {
      EXPECT_EQ(image.GetPosition(), image.GetSize()) << c.name;
    }
  }
}

// Progress: per record saved, by image position loaded; a cancel keeps what
// was done (a save goes on with the records written, a load fails quietly).
TEST_F(DataFileIo, ProgressAndCancelKeepWhatWasDone) {
  MakeIdName();
  for (int i = 0; i < 4; ++i) Add(i, "abcdefgh");
  data.FileName = dir.Path("four.idf");
  ProgressLog::Attach(data);
  ASSERT_TRUE(data.SaveToFile());
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{0, 25, 50, 75}));

  TIDFDataFile back;
  back.FileName = data.FileName;
  ASSERT_TRUE(back.LoadFromFile());
  ProgressLog::Attach(back);
  ASSERT_TRUE(back.LoadFromFile());  // appended after the first four
  EXPECT_EQ(back.GetRecordCount(), 8);
  EXPECT_EQ(ProgressLog::percents, (std::vector<int>{57, 71, 85, 100}));  // of 48 + 4 * 16 bytes

  ProgressLog::Attach(data, 2);
  ASSERT_TRUE(data.SaveToFile());
  ProgressLog::Attach(back, 1);
  back.ClearAllRecords();
  EXPECT_FALSE(back.LoadFromFile());
  EXPECT_EQ(back.GetRecordCount(), 1);
  EXPECT_EQ(back.ErrorMessage, "");
  ProgressLog::Attach(back);
  back.ClearAllRecords();
  ASSERT_TRUE(back.LoadFromFile());
  EXPECT_EQ(back.GetRecordCount(), 2);
}

TEST_F(DataFileIo, FailuresLeaveTheirMessagesAndTheOldFile) {
  data.FileName = dir.Path("missing/x.idf");
  EXPECT_FALSE(data.SaveToFile());
  EXPECT_EQ(data.ErrorMessage.rfind("Can't create file\r\nEInOutError: Cannot create file '", 0), 0u)
      << data.ErrorMessage;
  EXPECT_FALSE(data.LoadFromFile());
  EXPECT_EQ(data.ErrorMessage.rfind("Can't create file '" + data.FileName + "'\r\nEInOutError: ", 0), 0u)
      << data.ErrorMessage;

  // Not compressed at all.
  data.FileName = dir.Path("raw.idf");
  WriteWholeFileAtomically(data.FileName, kHeader);
  EXPECT_FALSE(data.LoadFromFile());
  EXPECT_EQ(data.ErrorMessage.rfind("An exception while loading data from file\r\nFile name = '" + data.FileName +
                                        "'\r\nECompressorError: Compressed data are damaged: ",
                                    0),
            0u)
      << data.ErrorMessage;
  // A damaged frame checksum (before the 24-byte check record) loads nothing.
  MakeIdName();
  Add(1, "payload that is long enough to be compressed as such");
  data.FileName = dir.Path("damaged.idf");
  ASSERT_TRUE(data.SaveToFile());
  std::string bytes = ReadWholeFile(data.FileName);
  bytes[bytes.size() - 24 - 2] ^= 0x01;
  WriteWholeFileAtomically(data.FileName, bytes);
  TIDFDataFile damaged;
  damaged.FileName = data.FileName;
  EXPECT_FALSE(damaged.LoadFromFile());
  EXPECT_NE(damaged.ErrorMessage.find("ECompressorError"), std::string::npos) << damaged.ErrorMessage;
  EXPECT_EQ(damaged.GetRecordCount(), 0);

  // A record the writer cannot encode fails the save; the file stays.
  data.Structure->AddParam("BAD", 18);
  EXPECT_FALSE(data.SaveToFile());
  EXPECT_EQ(data.ErrorMessage, "An exception while saving data to file\r\nFile name = '" + data.FileName +
                                   "'\r\nEIDFDataFile: Invalid field type (18)!");
  EXPECT_EQ(ReadWholeFile(data.FileName), bytes);
}

}  // namespace
}  // namespace instkit
