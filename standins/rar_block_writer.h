// Raw RAR block encoding (the RAR 1.5-3.x block format and the older 1.4 layout), header-only.
// It writes exactly the fields it is given, so tests can build odd and hostile archives as well
// as sound ones; header checksums are computed as the format defines them so peer readers
// accept what it writes.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rarblocks {

// Byte-table CRC-32: the writers checksum archives of gigabytes.
inline uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFF];
  return ~crc;
}
inline uint32_t Crc32(const std::vector<uint8_t>& v) { return Crc32(v.data(), v.size()); }

inline uint16_t Sum16(const std::vector<uint8_t>& v) {
  uint32_t s = 0;
  for (uint8_t b : v) {
    s = (s + b) & 0xFFFF;
    s = ((s << 1) | (s >> 15)) & 0xFFFF;
  }
  return uint16_t(s);
}

struct FileEntry {
  std::string name;
  std::vector<uint8_t> data;  // the packed bytes as stored in the archive
  uint16_t flags = 0x8000;    // 0x8000 (data follow) is always added
  uint32_t pack_size = 0;     // packed size in the header, when not the size of `data`
  bool pack_size_from_data = true;
  uint32_t unp_size = 0;  // declared size
  bool unp_size_from_data = true;
  uint32_t file_crc = 0;
  bool crc_from_data = true;  // CRC-32 of `data` (right for stored entries)
  uint8_t host_os = 2;
  uint8_t unp_ver = 29;
  uint8_t method = 0x30;
  uint32_t attr = 0x20;
  uint32_t high_pack_size = 0, high_unp_size = 0;  // written when flags has 0x100
  int head_size = -1;                              // -1: the natural size
  std::vector<uint8_t> after_name;  // extra header bytes after the name (salt, times, ...)
};

class Writer {
 public:
  std::vector<uint8_t> bytes;

  Writer& Marker(bool rap = false) {
    const uint8_t m[7] = {0x52, 0x61, uint8_t(rap ? 0x70 : 0x72), 0x21, 0x1A, 0x07, 0x00};
    bytes.insert(bytes.end(), m, m + 7);
    return *this;
  }
  Writer& MainHeader(uint16_t flags = 0) {
    return Block(0x73, flags, {0, 0, 0, 0, 0, 0});  // 2 + 4 reserved bytes
  }
  // A block of any type: base header, `body` after it, then `data` (ADD_SIZE when 0x8000).
  Writer& Block(uint8_t type, uint16_t flags, std::vector<uint8_t> body = {},
                std::vector<uint8_t> data = {}, int head_size = -1) {
    std::vector<uint8_t> h = {0, 0, type};
    Put16(h, flags);
    Put16(h,
          uint16_t(head_size >= 0 ? head_size : int(7 + (flags & 0x8000 ? 4 : 0) + body.size())));
    if (flags & 0x8000) Put32(h, uint32_t(data.size()));
    h.insert(h.end(), body.begin(), body.end());
    Finish(h);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  Writer& File(const FileEntry& f) {
    uint16_t flags = uint16_t(f.flags | 0x8000);
    std::vector<uint8_t> h = {0, 0, 0x74};
    Put16(h, flags);
    Put16(h, 0);  // HEAD_SIZE, patched below
    Put32(h, f.pack_size_from_data ? uint32_t(f.data.size()) : f.pack_size);
    Put32(h, f.unp_size_from_data ? uint32_t(f.data.size()) : f.unp_size);
    h.push_back(f.host_os);
    Put32(h, f.crc_from_data ? Crc32(f.data) : f.file_crc);
    Put32(h, 0x5A8E3100);  // a DOS time
    h.push_back(f.unp_ver);
    h.push_back(f.method);
    Put16(h, uint16_t(f.name.size()));
    Put32(h, f.attr);
    if (flags & 0x100) {
      Put32(h, f.high_pack_size);
      Put32(h, f.high_unp_size);
    }
    h.insert(h.end(), f.name.begin(), f.name.end());
    h.insert(h.end(), f.after_name.begin(), f.after_name.end());
    uint16_t size = uint16_t(f.head_size >= 0 ? f.head_size : int(h.size()));
    h[5] = uint8_t(size);
    h[6] = uint8_t(size >> 8);
    Finish(h);
    bytes.insert(bytes.end(), f.data.begin(), f.data.end());
    return *this;
  }
  Writer& EndOfArchive() { return Block(0x7B, 0x4000); }

  // RAR 1.4 layout: "RE~^", HEAD_SIZE, flags; then file headers of 21 bytes + name.
  Writer& OldMainHeader(uint16_t head_size = 7, uint8_t flags = 0) {
    const uint8_t m[4] = {0x52, 0x45, 0x7E, 0x5E};
    bytes.insert(bytes.end(), m, m + 4);
    Put16(bytes, head_size);
    bytes.push_back(flags);
    return *this;
  }
  Writer& OldFile(const std::string& name, const std::vector<uint8_t>& data, uint8_t method = 0,
                  uint8_t flags = 0, int head_size = -1, uint8_t version = 2) {
    std::vector<uint8_t> h;
    Put32(h, uint32_t(data.size()));
    Put32(h, uint32_t(data.size()));
    Put16(h, Sum16(data));
    Put16(h, uint16_t(head_size >= 0 ? head_size : int(21 + name.size())));
    Put32(h, 0x5A8E3100);
    h.push_back(0x20);
    h.push_back(flags);
    h.push_back(version);
    h.push_back(uint8_t(name.size()));
    h.push_back(method);
    h.insert(h.end(), name.begin(), name.end());
    bytes.insert(bytes.end(), h.begin(), h.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }

  static void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
  }
  static void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
  }

 private:
  // HEAD_CRC is the low 16 bits of the CRC-32 of the header from HEAD_TYPE on.
  void Finish(std::vector<uint8_t>& h) {
    uint32_t crc = Crc32(h.data() + 2, h.size() - 2);
    h[0] = uint8_t(crc);
    h[1] = uint8_t(crc >> 8);
    bytes.insert(bytes.end(), h.begin(), h.end());
  }
};

}  // namespace rarblocks
