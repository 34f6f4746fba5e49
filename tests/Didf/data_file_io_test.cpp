// The plain image, SaveToFile/LoadFromFile and their building blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

  data.Structure->AddParam("BAD", 18);
  try {
    data.WriteRecordToFile(image);
    FAIL();
  } catch (const EIDFDataFile& e) {
    EXPECT_EQ(e.Message(), "Invalid field type (18)!");
  }
}

TEST_F(DataFileIo, RoundTripKeepsValuesAndCanonicalTypes) {
  data.TableName = "  Mixed  ";
  const int codes[] = {ftString,   ftSmallInt, ftInteger,  ftFloat,   ftDate,
                       ftCurrency, ftMemo,     ftLargeInt, ftBoolean, ftWord};
  for (int code : codes) data.Structure->AddParam("f" + std::to_string(code), code);
  const std::string binary("\0\r\n\xFF\xE0 text", 10);
  struct Row {
    std::string text;
    int32_t small;
    int32_t integer;
    double real;
    bool flag;
  };
  const Row rows[] = {{binary, 32767, std::numeric_limits<int32_t>::min(), -0.0, true},
                      {"", -32768, std::numeric_limits<int32_t>::max(), 1e300, false},
                      {std::string(70000, 'x'), 40000, 0, std::numeric_limits<double>::denorm_min(), true}};
  for (const Row& row : rows) {
    TDIDFRecord& s = *data.Structure;
    s.GetFields(0)->SetAsString(row.text);
    s.GetFields(1)->SetAsInteger(row.small);
    s.GetFields(2)->SetAsInteger(row.integer);
    s.GetFields(3)->SetAsFloat(row.real);
    s.GetFields(4)->SetAsFloat(row.real);
    s.GetFields(5)->SetAsFloat(row.real);
    s.GetFields(6)->SetAsString(row.text);
    s.GetFields(7)->SetAsInteger(row.integer);
    s.GetFields(8)->SetAsBoolean(row.flag);
    s.GetFields(9)->SetAsInteger(row.small);
    ASSERT_TRUE(data.InsertRecord());
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
  ASSERT_EQ(back.GetRecordCount(), 3);
  for (int r = 0; r < 3; ++r) {
    back.SetRecordIndex(r);
    const Row& row = rows[r];
    const TDIDFRecord& s = *back.Structure;
    const int32_t small = static_cast<int16_t>(static_cast<uint16_t>(row.small));
    EXPECT_EQ(s.GetFields(0)->GetAsString(), row.text);
    EXPECT_EQ(s.GetFields(1)->GetAsInteger(), small);
    EXPECT_EQ(s.GetFields(2)->GetAsInteger(), row.integer);
    for (int f = 3; f <= 5; ++f) {
      const double got = s.GetFields(f)->GetAsFloat();
      EXPECT_EQ(got, row.real);
      EXPECT_EQ(std::signbit(got), std::signbit(row.real));
    }
    EXPECT_EQ(s.GetFields(6)->GetAsString(), row.text);
    EXPECT_EQ(s.GetFields(7)->GetAsInteger(), row.integer);
    EXPECT_EQ(s.GetFields(8)->GetAsBoolean(), row.flag);
    EXPECT_EQ(s.GetFields(9)->GetAsInteger(), small);
  }
}

TEST_F(DataFileIo, HeaderLinesAreCheckedAsTheFormatSays) {
  struct Case {
    const char* name;
    std::string image;
    bool accepted;
    const char* table;
  };
  const Case cases[] = {
      {"plain", kHeader, true, "T"},
      {"magic with suffix", "IDF-DS2\r\n\r\nName=T\r\nA\r\nINTEGER\r\n", true, "T"},
      {"lone CR ends lines", "IDF-DS\r\rTableName=X\rA,B\rINTEGER,FLOAT\r", true, "X"},
      {"no equals sign", "IDF-DS\r\n\r\nplain\r\nA\r\nINTEGER\r\n", true, ""},
      {"value after first equals", "IDF-DS\r\n\r\nTableName=a=b\r\nA\r\n\r\n", true, "a=b"},
      {"lower-case magic", "idf-ds\r\n\r\nTableName=T\r\nA\r\nINTEGER\r\n", false, "keep"},
      {"second line not empty", "IDF-DS\r\nx\r\nTableName=T\r\nA\r\nINTEGER\r\n", false, "keep"},
      {"LF does not end lines", "IDF-DS\n\nTableName=T\nA\nINTEGER\n", false, "keep"},
      {"ends before line 5", "IDF-DS\r\n\r\nTableName=T\r\nA\r\n", false, "T"},
      {"empty", "", false, "keep"},
  };
  for (const Case& c : cases) {
    TIDFDataFile file;
    file.TableName = "keep";
    TMemoryStream image(c.image);
    EXPECT_EQ(file.LoadHeader(image), c.accepted) << c.name;
    EXPECT_EQ(file.TableName, c.table) << c.name;
    EXPECT_EQ(file.ErrorMessage, "") << c.name;
    if (c.accepted) {
      EXPECT_EQ(image.GetPosition(), image.GetSize()) << c.name;
    }
  }
}

TEST_F(DataFileIo, BadTypeNameFailsTheHeaderWithItsMessage) {
  data.FileName = "in.idf";
  TMemoryStream image("IDF-DS\r\n\r\nTableName=T\r\nA,B\r\nINTEGER,TEXT\r\n");
  EXPECT_FALSE(data.LoadHeader(image));
  EXPECT_EQ(data.ErrorMessage,
            "An exception while loading header from file\r\nFile name = 'in.idf'\r\n"
            "EIDFDataFile: Invalid data type string - 'TEXT'");
  EXPECT_EQ(data.TableName, "T");
  EXPECT_EQ(data.GetFieldsString(), "A");
}

TEST_F(DataFileIo, ReadLineRules) {
  TMemoryStream image("  a b \t\r\nnext\rlast\nline\r");
  std::string line;
  ASSERT_TRUE(TIDFDataFile::ReadLine(line, image));
  EXPECT_EQ(line, "a b");
  ASSERT_TRUE(TIDFDataFile::ReadLine(line, image));
  EXPECT_EQ(line, "next");
  ASSERT_TRUE(TIDFDataFile::ReadLine(line, image));
  EXPECT_EQ(line, "last\nline");
  EXPECT_FALSE(TIDFDataFile::ReadLine(line, image));
  EXPECT_EQ(line, "");
}

TEST_F(DataFileIo, RecordReaderStopsAtShortOrOversizedValues) {
  MakeIdName();
  // A negative length is the empty text and the next value follows at once.
  TMemoryStream image(Bytes({7, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 8, 0, 0, 0, 1, 0, 0, 0, 'Z'}));
  ASSERT_TRUE(data.ReadRecordFromFile(image));
  EXPECT_EQ(data.Structure->GetFields(0)->GetAsInteger(), 7);
  EXPECT_EQ(data.Structure->GetFields(1)->GetAsString(), "");
  ASSERT_TRUE(data.ReadRecordFromFile(image));
  EXPECT_EQ(data.Structure->GetFields(1)->GetAsString(), "Z");
  EXPECT_FALSE(data.ReadRecordFromFile(image));

  // A cut text: the integer before it keeps its new value.
  TMemoryStream cut(Bytes({9, 0, 0, 0, 5, 0, 0, 0, 'a'}));
  EXPECT_FALSE(data.ReadRecordFromFile(cut));
  EXPECT_EQ(data.Structure->GetFields(0)->GetAsInteger(), 9);
  EXPECT_EQ(cut.GetPosition(), cut.GetSize());

  // The longest text accepted is 10 MiB; one byte more stops the reader.
  std::string at_limit = Bytes({1, 0, 0, 0});
  PutFixed32(at_limit, 10485760);
  at_limit.append(10485760, 'q');
  TMemoryStream ok(at_limit);
  ASSERT_TRUE(data.ReadRecordFromFile(ok));
  EXPECT_EQ(data.Structure->GetFields(1)->GetAsString().size(), 10485760u);
  std::string over = Bytes({1, 0, 0, 0});
  PutFixed32(over, 10485761);
  over.append(10485761, 'q');
  TMemoryStream too_long(over);
  EXPECT_FALSE(data.ReadRecordFromFile(too_long));
  EXPECT_EQ(too_long.GetPosition(), 8);
}

TEST_F(DataFileIo, RecordsLongerThanTheReadWindowLoad) {
  MakeIdName();
  const std::string big(3 * 1024 * 1024 + 7, 'b');
  Add(1, "small");
  Add(2, big);
  Add(3, big + "c");
  Add(4, "tail");
  data.FileName = dir.Path("big.idf");
  ASSERT_TRUE(data.SaveToFile()) << data.ErrorMessage;
  TIDFDataFile back;
  back.FileName = data.FileName;
  ProgressLog::Attach(back);
  ASSERT_TRUE(back.LoadFromFile()) << back.ErrorMessage;
  ASSERT_EQ(back.GetRecordCount(), 4);
  back.SetRecordIndex(2);
  EXPECT_EQ(back.Structure->GetFields(1)->GetAsString(), big + "c");
  back.SetRecordIndex(3);
  EXPECT_EQ(back.Structure->GetFields(1)->GetAsString(), "tail");
  EXPECT_EQ(ProgressLog::percents.back(), 100);
}

TEST_F(DataFileIo, TruncatedLastRecordEndsTheLoadSuccessfully) {
  data.FileName = dir.Path("cut.idf");
  WriteDataFile(data.FileName, kHeader + Bytes({1, 0, 0, 0, 1, 0, 0, 0, 'x', 2, 0, 0}));
  ASSERT_TRUE(data.LoadFromFile()) << data.ErrorMessage;
  EXPECT_EQ(data.GetRecordCount(), 1);
  EXPECT_EQ(data.TableName, "T");
}

TEST_F(DataFileIo, StructureWithoutFieldsReadsNoRecords) {
  data.FileName = dir.Path("nofields.idf");
  WriteDataFile(data.FileName, "IDF-DS\r\n\r\nTableName=T\r\n\r\n\r\ntrailing bytes");
  ASSERT_TRUE(data.LoadFromFile()) << data.ErrorMessage;
  EXPECT_EQ(data.GetRecordCount(), 0);
  EXPECT_EQ(data.Structure->GetFieldCount(), 0);
}

TEST_F(DataFileIo, LoadAppendsAndReportsPositionProgress) {
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
  ASSERT_EQ(ProgressLog::percents.size(), 4u);
  EXPECT_EQ(ProgressLog::percents.back(), 100);
  const int image_size = 48 + 4 * 16;
  EXPECT_EQ(ProgressLog::percents[0], (48 + 16) * 100 / image_size);
}

TEST_F(DataFileIo, CancelKeepsWhatWasDone) {
  MakeIdName();
  for (int i = 0; i < 4; ++i) Add(i, "r");
  data.FileName = dir.Path("cancel.idf");
  ProgressLog::Attach(data, 2);
  ASSERT_TRUE(data.SaveToFile());  // saving goes on with the records written
  TIDFDataFile back;
  back.FileName = data.FileName;
  ASSERT_TRUE(back.LoadFromFile());
  EXPECT_EQ(back.GetRecordCount(), 2);

  TIDFDataFile again;
  again.FileName = data.FileName;
  ProgressLog::Attach(again, 1);
  EXPECT_FALSE(again.LoadFromFile());
  EXPECT_EQ(again.GetRecordCount(), 1);
  EXPECT_EQ(again.ErrorMessage, "");
}

TEST_F(DataFileIo, FailuresLeaveTheirMessages) {
  data.FileName = dir.Path("missing/x.idf");
  EXPECT_FALSE(data.SaveToFile());
  EXPECT_EQ(data.ErrorMessage.rfind("Can't create file\r\nEInOutError: Cannot create file '", 0), 0u)
      << data.ErrorMessage;

  EXPECT_FALSE(data.LoadFromFile());
  EXPECT_EQ(data.ErrorMessage.rfind("Can't create file '" + data.FileName + "'\r\nEInOutError: ", 0), 0u)
      << data.ErrorMessage;

  // Not compressed at all, then a damaged checksum.
  data.FileName = dir.Path("raw.idf");
  WriteWholeFileAtomically(data.FileName, kHeader);
  EXPECT_FALSE(data.LoadFromFile());
  EXPECT_EQ(data.ErrorMessage.rfind("An exception while loading data from file\r\nFile name = '" + data.FileName +
                                        "'\r\nECompressorError: Compressed data are damaged: ",
                                    0),
            0u)
      << data.ErrorMessage;

  MakeIdName();
  Add(1, "payload that is long enough to be compressed as such");
  data.FileName = dir.Path("damaged.idf");
  ASSERT_TRUE(data.SaveToFile());
  std::string bytes = ReadWholeFile(data.FileName);
  bytes[bytes.size() - 24 - 2] ^= 0x01;  // the frame's checksum, before the 24-byte check record
  WriteWholeFileAtomically(data.FileName, bytes);
  TIDFDataFile damaged;
  damaged.FileName = data.FileName;
  EXPECT_FALSE(damaged.LoadFromFile());
  EXPECT_NE(damaged.ErrorMessage.find("ECompressorError"), std::string::npos) << damaged.ErrorMessage;
  EXPECT_EQ(damaged.GetRecordCount(), 0);
}

TEST_F(DataFileIo, FailedSaveKeepsThePreviousFile) {
  MakeIdName();
  Add(1, "old");
  data.FileName = dir.Path("keep.idf");
  ASSERT_TRUE(data.SaveToFile());
  const std::string before = ReadWholeFile(data.FileName);
  data.Structure->AddParam("BAD", 18);  // makes the record writer raise
  EXPECT_FALSE(data.SaveToFile());
  EXPECT_EQ(data.ErrorMessage, "An exception while saving data to file\r\nFile name = '" + data.FileName +
                                   "'\r\nEIDFDataFile: Invalid field type (18)!");
  EXPECT_EQ(ReadWholeFile(data.FileName), before);
}

}  // namespace
}  // namespace instkit
