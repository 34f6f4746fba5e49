// Fixed-width integers in byte buffers, safe at any alignment: little-endian
// for our own formats, big-endian for wire formats that fix that order.
// Every binary format of the library (flat tree image, data files, branch
// streams) reads and writes its integers through these helpers, so that a
// 32-bit Windows build and a 64-bit Linux build produce identical bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace instkit {

inline void EncodeFixed16(void* dst, uint16_t value) {
  auto* p = static_cast<unsigned char*>(dst);
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

inline void EncodeFixed32(void* dst, uint32_t value) {
  auto* p = static_cast<unsigned char*>(dst);
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
  p[2] = static_cast<unsigned char>(value >> 16);
  p[3] = static_cast<unsigned char>(value >> 24);
}

inline void EncodeFixed64(void* dst, uint64_t value) {
  EncodeFixed32(dst, static_cast<uint32_t>(value));
  EncodeFixed32(static_cast<unsigned char*>(dst) + 4, static_cast<uint32_t>(value >> 32));
}

inline uint16_t DecodeFixed16(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t DecodeFixed32(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t DecodeFixed64(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return DecodeFixed32(p) | (static_cast<uint64_t>(DecodeFixed32(p + 4)) << 32);
}

inline void EncodeDouble(void* dst, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  EncodeFixed64(dst, bits);
}

inline double DecodeDouble(const void* src) {
  const uint64_t bits = DecodeFixed64(src);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutFixed16(std::string& dst, uint16_t value) {
  char buf[2];
  EncodeFixed16(buf, value);
  dst.append(buf, 2);
}

inline void PutFixed32(std::string& dst, uint32_t value) {
  char buf[4];
  EncodeFixed32(buf, value);
  dst.append(buf, 4);
}

inline void PutFixed64(std::string& dst, uint64_t value) {
  char buf[8];
  EncodeFixed64(buf, value);
  dst.append(buf, 8);
}

inline void PutDouble(std::string& dst, double value) {
  char buf[8];
  EncodeDouble(buf, value);
  dst.append(buf, 8);
}

// Big-endian (network order) integers, for wire formats that fix that
// order (a database server's binary copy format).
inline void PutBig16(std::string& dst, uint16_t value) {
  const char b[2] = {static_cast<char>(value >> 8), static_cast<char>(value)};
  dst.append(b, 2);
}
inline void PutBig32(std::string& dst, uint32_t value) {
  const char b[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                     static_cast<char>(value)};
  dst.append(b, 4);
}
inline void PutBig64(std::string& dst, uint64_t value) {
  PutBig32(dst, static_cast<uint32_t>(value >> 32));
  PutBig32(dst, static_cast<uint32_t>(value));
}
inline uint16_t DecodeBig16(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t DecodeBig32(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t DecodeBig64(const void* src) {
  const auto* p = static_cast<const unsigned char*>(src);
  return (static_cast<uint64_t>(DecodeBig32(p)) << 32) | DecodeBig32(p + 4);
}

// A bounded reader over a byte range: every Get checks the bytes left and
// answers false, consuming nothing, when too few remain.
class ByteReader {
 public:
  ByteReader(const void* data, size_t size) : p_(static_cast<const unsigned char*>(data)), end_(p_ + size) {}

  size_t Remaining() const { return static_cast<size_t>(end_ - p_); }
  const unsigned char* Position() const { return p_; }

  bool GetByte(uint8_t* value) {
    if (Remaining() < 1) return false;
    *value = *p_++;
    return true;
  }
  bool GetFixed16(uint16_t* value) { return Get(value, 2, DecodeFixed16); }
  bool GetFixed32(uint32_t* value) { return Get(value, 4, DecodeFixed32); }
  bool GetFixed64(uint64_t* value) { return Get(value, 8, DecodeFixed64); }
  bool GetInt32(int32_t* value) {
    uint32_t raw;
    if (!GetFixed32(&raw)) return false;
    *value = static_cast<int32_t>(raw);
    return true;
  }
  bool GetDouble(double* value) { return Get(value, 8, DecodeDouble); }
  bool GetBytes(size_t n, std::string* out) {
    if (Remaining() < n) return false;
    out->assign(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return true;
  }
  bool Skip(size_t n) {
    if (Remaining() < n) return false;
    p_ += n;
    return true;
  }

 private:
  template <typename T, typename Decode>
  bool Get(T* value, size_t n, Decode decode) {
    if (Remaining() < n) return false;
    *value = decode(p_);
    p_ += n;
    return true;
  }

  const unsigned char* p_;
  const unsigned char* end_;
};

}  // namespace instkit
