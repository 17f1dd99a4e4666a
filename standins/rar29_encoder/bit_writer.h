// MSB-first bit packing, the order in which the RAR 2.9 decoder reads its packed data.
#pragma once
#include <cassert>
#include <cstdint>
#include <vector>

namespace rar29enc {

class BitWriter {
 public:
  // Appends the low `count` bits of `value` (count <= 32), most significant first.
  void Put(uint32_t value, int count) {
    pending_ = (pending_ << count) | (value & (0xFFFFFFFFull >> (32 - count)));
    pending_bits_ += count;
    while (pending_bits_ >= 8) {
      pending_bits_ -= 8;
      bytes_.push_back(uint8_t(pending_ >> pending_bits_));
    }
  }
  // Pads with zero bits to a byte boundary: tables and PPMd blocks start on one.
  void AlignToByte() {
    if (pending_bits_ > 0) Put(0, 8 - pending_bits_);
  }
  // The whole bytes written so far, for the range coder of PPMd blocks to append to; only while
  // aligned.
  std::vector<uint8_t>& Bytes() {
    assert(pending_bits_ == 0);
    return bytes_;
  }
  std::vector<uint8_t> Take() {
    AlignToByte();
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t pending_ = 0;  // the last pending_bits_ (< 8 between calls) bits are not yet in bytes_
  int pending_bits_ = 0;
};

}  // namespace rar29enc
