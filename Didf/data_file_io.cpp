// TIDFDataFile: the plain image, its compression, and whole-file save/load.
// The byte layout is written down in Didf/data_file_format.h.
#include <algorithm>
#include <memory>

#include "Didf/check_record.h"
#include "Didf/data_file.h"
#include "Didf/data_file_format.h"
#include "Didf/data_file_percent.h"
#include "Didf/plain_image_reader.h"
#include "Didf/record_layout.h"
#include "host/base/coding.h"
#include "host/compress/compressor.h"
#include "host/platform/file_stream.h"
#include "host/base/format.h"
#include "host/base/memory_stream.h"
#include "host/base/text.h"

namespace instkit {

namespace {

// A field code without a type name (it has no value encoding) raises as
// FieldTypeToString does.
[[noreturn]] void InvalidFieldType(uint8_t code) { throw EIDFDataFile(Format("Invalid field type (%d)!", code)); }

// How a record parse ended.
enum class TParseEnd { kWhole, kCut, kTooLong };

// Reads one record into the layout's fields.  A record is cut when the
// image ends inside it; too long when a text length is over kMaxTextLength
// (`length` then holds it).  The record is parsed from the unread bytes with
// a pointer; the image position moves past what was consumed when the parse
// ends, either way.
TParseEnd ParseRecord(TMemoryStream& image, const TRecordLayout& layout, int32_t& length) {
  const std::string_view unread = image.Remaining();
  const char* const begin = unread.data();
  const char* const end = begin + unread.size();
  const char* p = begin;
  const auto done = [&](TParseEnd how) {
    image.Skip(static_cast<size_t>(p - begin));
    return how;
  };
  // A value cut short consumes what is left, as a short stream read does.
  const auto need = [&](size_t n) {
    if (static_cast<size_t>(end - p) >= n) return true;
    p = end;
    return false;
  };
  for (const TRecordLayout::TSlot& slot : layout.Slots()) {
    TField& field = *slot.field;
    switch (slot.encoding) {
      case ftString: {
        if (!need(4)) return done(TParseEnd::kCut);
        length = static_cast<int32_t>(DecodeFixed32(p));
        p += 4;
        if (length > kMaxTextLength) return done(TParseEnd::kTooLong);
        const size_t n = length > 0 ? static_cast<size_t>(length) : 0;
        if (!need(n)) return done(TParseEnd::kCut);
        field.SetAsText(std::string_view(p, n));
        p += n;
        break;
      }
      case ftSmallInt:
        if (!need(2)) return done(TParseEnd::kCut);
        field.SetAsInteger(static_cast<int16_t>(DecodeFixed16(p)));
        p += 2;
        break;
      case ftInteger:
        if (!need(4)) return done(TParseEnd::kCut);
        field.SetAsInteger(static_cast<int32_t>(DecodeFixed32(p)));
        p += 4;
        break;
      case ftBoolean:
        if (!need(1)) return done(TParseEnd::kCut);
        field.SetAsBoolean(*p != 0);
        p += 1;
        break;
      case TRecordLayout::kNoEncoding:
        done(TParseEnd::kCut);
        InvalidFieldType(slot.code);
      default:  // FLOAT, DATETIME, CURRENCY
        if (!need(8)) return done(TParseEnd::kCut);
        field.SetAsFloat(DecodeDouble(p));
        p += 8;
        break;
    }
  }
  return done(TParseEnd::kWhole);
}

// Appends one record of the layout's field values to `out`, as ParseRecord
// reads it back.  Values of the field's own kind are taken as they are
// (the usual case: a structure's fields convert what they are given), others
// through the field's conversion.
void AppendRecord(const TRecordLayout& layout, std::string& out) {
  for (const TRecordLayout::TSlot& slot : layout.Slots()) {
    const TField& field = *slot.field;
    const TVariant& value = field.GetValue();
    switch (slot.encoding) {
      case ftString:
        // Text values are written straight from the field, without a copy.
        if (const auto* text = std::get_if<std::string>(&value)) {
          PutFixed32(out, static_cast<uint32_t>(text->size()));
          out.append(*text);
        } else {
          const std::string converted = field.GetAsString();
          PutFixed32(out, static_cast<uint32_t>(converted.size()));
          out.append(converted);
        }
        break;
      case ftSmallInt: {
        const auto* number = std::get_if<int32_t>(&value);
        PutFixed16(out, static_cast<uint16_t>(number != nullptr ? *number : field.GetAsInteger()));
        break;
      }
      case ftInteger: {
        const auto* number = std::get_if<int32_t>(&value);
        PutFixed32(out, static_cast<uint32_t>(number != nullptr ? *number : field.GetAsInteger()));
        break;
      }
      case ftBoolean: {
        const auto* flag = std::get_if<bool>(&value);
        out.push_back((flag != nullptr ? *flag : field.GetAsBoolean()) ? '\1' : '\0');
        break;
      }
      case TRecordLayout::kNoEncoding:
        InvalidFieldType(slot.code);
      default: {  // FLOAT, DATETIME, CURRENCY
        const auto* number = std::get_if<double>(&value);
        PutDouble(out, number != nullptr ? *number : field.GetAsFloat());
        break;
      }
    }
  }
}

std::string Failure(const char* format, const std::string& name) {
  const CaughtFailure failure = DescribeCurrentException();
  return Format(format, name.c_str(), failure.class_name.c_str(), failure.message.c_str());
}

}  // namespace

void TIDFDataFile::WriteHeader(TMemoryStream& image) const {
  image.Write(kDataFileMagic);
  image.Write(kLineEnd);
  image.Write(kLineEnd);
  image.Write(kTableNameKey);
  image.Write(TableName);
  image.Write(kLineEnd);
  image.Write(GetFieldsString());
  image.Write(kLineEnd);
  image.Write(GetFieldTypesString());
  image.Write(kLineEnd);
}

bool TIDFDataFile::SaveToFile() {
  std::unique_ptr<TFileWriteStream> file;
  try {
    file = std::make_unique<TFileWriteStream>(FileName);
  } catch (...) {
    const CaughtFailure failure = DescribeCurrentException();
    ErrorMessage = Format("Can't create file\r\n%s: %s", failure.class_name.c_str(), failure.message.c_str());
    return false;
  }
  try {
    TMemoryStream image;
    WriteHeader(image);
    const int32_t count = GetRecordCount();
    TRecordLayout layout;
    for (int32_t i = 0; i < count; ++i) {
      SetRecordIndex(i);
      WriteRecordToFile(image, layout);
      // A cancel ends the loop; what was written so far is still saved.
      if (!ShowProgress(ProgressPercent(record_index_, count))) break;
    }
    image.SetPosition(0);
    CompressStream(image, *file);
    file->Commit();
    return true;
  } catch (...) {
    ErrorMessage = Failure("An exception while saving data to file\r\nFile name = '%s'\r\n%s: %s", FileName);
    return false;
  }
}

bool TIDFDataFile::ReadFileRecords(const std::function<bool()>& on_header,
                                   const std::function<bool(uint8_t percent)>& on_record) {
  std::unique_ptr<TFileReadStream> file;
  try {
    file = std::make_unique<TFileReadStream>(FileName);
  } catch (...) {
    ErrorMessage = Failure("Can't create file '%s'\r\n%s: %s", FileName);
    return false;
  }
  try {
    TPlainImageReader reader(*file);
    reader.EnsureHeader();
    if (!LoadHeader(reader.Window())) return false;
    if (!on_header()) return true;
    if (Structure->GetFieldCount() > 0) {
      TRecordLayout layout;
      while (ReadNextRecord(reader, layout)) {
        if (!on_record(reader.Percent())) return true;
      }
    } else {
      // Without fields a record is zero bytes long: nothing is read, and
      // bytes after the header are a record that cannot be.
      reader.Ensure(1);
      if (!reader.Window().Remaining().empty()) {
        LastRead.complete = false;
        LastRead.offset = reader.Offset() + reader.Window().GetPosition();
        LastRead.problem = Format("byte %lld: the header names no fields, but records follow",
                                  static_cast<long long>(LastRead.offset));
      }
    }
    reader.Finish();
    return true;
  } catch (...) {
    ErrorMessage = Failure("An exception while loading data from file\r\nFile name = '%s'\r\n%s: %s", FileName);
    return false;
  }
}

bool TIDFDataFile::LoadFromFile() {
  bool complete = true;
  uint64_t memory = 0;
  const bool read = ReadFileRecords([] { return true; },
                                    [&](uint8_t percent) {
                                      ChargeRecordMemory(memory, LastRead.records);
                                      InsertRecord();
                                      complete = ShowProgress(percent);
                                      return complete;
                                    });
  return read && complete;
}

bool TIDFDataFile::ReadNextRecord(TPlainImageReader& reader, TRecordLayout& layout) {
  layout.Follow(*Structure);
  TMemoryStream& window = reader.Window();
  for (;;) {
    // The window is refilled only when a record does not fit in what is
    // left of it, so the refill moves just that record's first bytes.
    const int64_t start = window.GetPosition();
    int32_t length = 0;
    const TParseEnd parsed = ParseRecord(window, layout, length);
    if (parsed == TParseEnd::kWhole) {
      ++LastRead.records;
      return true;
    }
    if (parsed == TParseEnd::kCut && !reader.AtEnd()) {
      window.SetPosition(start);
      reader.Ensure(std::max(TPlainImageReader::kLookahead, window.Remaining().size() * 2));
      continue;
    }
    // The image ends here: cleanly between two records, or inside one.
    if (parsed == TParseEnd::kCut && window.GetSize() == start) return false;
    LastRead.complete = false;
    LastRead.offset = reader.Offset() + start;
    const long long number = static_cast<long long>(LastRead.records) + 1;
    const long long at = static_cast<long long>(LastRead.offset);
    LastRead.problem = parsed == TParseEnd::kTooLong
                           ? Format("record %lld at byte %lld: a text length of %d is over the limit of %d bytes",
                                    number, at, length, kMaxTextLength)
                           : Format("record %lld at byte %lld: the data end inside the record", number, at);
    return false;
  }
}

bool TIDFDataFile::LoadHeader(TMemoryStream& image) {
  LastRead = TDataFileReadEnd();
  try {
    image.SetPosition(0);
    std::string line;
    if (!ReadLine(line, image) || line.compare(0, kDataFileMagic.size(), kDataFileMagic) != 0) return false;
    if (!ReadLine(line, image) || !line.empty()) return false;
    if (!ReadLine(line, image)) return false;
    const size_t equals = line.find('=');
    TableName = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    std::string fields;
    std::string types;
    if (!ReadLine(fields, image) || !ReadLine(types, image)) return false;
    if (std::count(fields.begin(), fields.end(), ',') >= kMaxFieldCount) {
      throw EIDFDataFile(Format("The header names more than %d fields", kMaxFieldCount));
    }
    CreateFields(fields, types);
    NoteHeader(types);
    return true;
  } catch (...) {
    ErrorMessage = Failure("An exception while loading header from file\r\nFile name = '%s'\r\n%s: %s", FileName);
    return false;
  }
}

void TIDFDataFile::NoteHeader(const std::string& types) {
  const std::string_view listed = Trim(types);
  const int64_t type_count = listed.empty() ? 0 : std::count(listed.begin(), listed.end(), ',') + 1;
  const int64_t field_count = Structure->GetFieldCount();
  if (type_count == field_count) return;
  LastRead.complete = false;
  LastRead.problem = Format("the header names %lld field(s) but %lld type(s)", static_cast<long long>(field_count),
                            static_cast<long long>(type_count));
}

bool TIDFDataFile::ReadLine(std::string& line, TMemoryStream& image) {
  line.clear();
  bool read_any = false;
  for (int c = image.ReadByte(); c >= 0; c = image.ReadByte()) {
    read_any = true;
    if (c != '\r') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    const int next = image.ReadByte();
    if (next >= 0 && next != '\n') image.SetPosition(image.GetPosition() - 1);
    break;
  }
  line = std::string(Trim(line));
  return read_any;
}

void TIDFDataFile::WriteRecordToFile(TMemoryStream& image) {
  TRecordLayout layout;
  WriteRecordToFile(image, layout);
}

void TIDFDataFile::WriteRecordToFile(TMemoryStream& image, TRecordLayout& layout) {
  layout.Follow(*Structure);
  AppendRecord(layout, image.Data());
  image.SetPosition(image.GetSize());
}

bool TIDFDataFile::ReadRecordFromFile(TMemoryStream& image) {
  TRecordLayout layout;
  layout.Follow(*Structure);
  int32_t length = 0;
  return ParseRecord(image, layout, length) == TParseEnd::kWhole;
}

void TIDFDataFile::CompressStream(TStream& source, TStream& destination) {
  const int64_t plain_size = source.GetSize() - source.GetPosition();
  TCheckedOutput checked(destination);
  TCompressor compressor;
  ConfigureDataFileCompressor(compressor);
  compressor.SetSource(&source);
  compressor.SetDestination(&checked);
  compressor.Compress();
  checked.AppendCheckRecord(static_cast<uint64_t>(plain_size));
}

void TIDFDataFile::DecompressStream(TStream& source, TStream& destination) {
  TCompressor compressor;
  ConfigureDataFileCompressor(compressor);
  compressor.SetSource(&source);
  compressor.SetDestination(&destination);
  compressor.Decompress();
}

}  // namespace instkit
