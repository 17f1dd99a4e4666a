#include "standins/rar29_encoder/rar29_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "standins/rar29_encoder/bit_writer.h"
#include "standins/rar29_encoder/lz_block_coder.h"
#include "standins/rar29_encoder/lz_matcher.h"
#include "standins/rar29_encoder/lz_parser.h"
#include "standins/rar29_encoder/x86_filter.h"

namespace rar29enc {
namespace {

// PPMd escape codes that follow the escape character.
constexpr uint8_t kEscapeNewTables = 0, kEscapeLiteral = 1;
constexpr int kInitialEscape = 2;  // every new file starts with this escape character

// Calls f(start, length) for the pieces an x86 block of `size` bytes at `at` is filtered in.
template <typename F>
void ForEachX86Piece(size_t at, size_t size, F f) {
  for (size_t piece = 0; piece < size; piece += kX86MaxBlock)
    f(at + piece, std::min<size_t>(kX86MaxBlock, size - piece));
}

// The entry as the decoder's window will hold it: x86 blocks with their call addresses made
// absolute, piece by piece.
std::vector<uint8_t> WindowBytes(const uint8_t* data, size_t size,
                                 const std::vector<Block>& blocks) {
  std::vector<uint8_t> window(data, data + size);
  size_t at = 0;
  for (const Block& block : blocks) {
    if (block.kind == BlockKind::kLzX86) {
      ForEachX86Piece(at, block.size, [&](size_t start, size_t length) {
        if (length >= kX86MinBlock) X86Encode(&window[start], uint32_t(length), uint32_t(start));
      });
    }
    at += block.size;
  }
  return window;
}

class EntryEncoder {
 public:
  explicit EntryEncoder(const std::vector<uint8_t>& window)
      : window_(window), matcher_(window.data(), window.size()) {}

  void Code(const Block& block) {
    EndBlock(LzBlockCoder::End::kNewTables);
    if (block.kind == BlockKind::kPpmd) {
      CodePpmd(block);
    } else {
      CodeLz(block);
    }
    at_ += block.size;
  }

  std::vector<uint8_t> Finish() {
    // The file ends with an LZ block's end code, empty when there is no data or PPMd came last:
    // unarr reads on past a PPMd end-of-file code (and fails at the end of the data), while
    // every reader stops at an LZ one.
    if (last_ != Last::kLz) {
      EndBlock(LzBlockCoder::End::kNewTables);
      last_ = Last::kLz;
    }
    EndBlock(LzBlockCoder::End::kEndOfFile);
    return out_.Take();
  }

 private:
  enum class Last { kNone, kLz, kPpmd };

  // Closes the block before: an LZ block with its end code, a PPMd block with the escape code
  // for new tables (Finish sees to it that one follows) and the range coder's last bytes.
  void EndBlock(LzBlockCoder::End end) {
    if (last_ == Last::kLz) lz_.WriteBlock(out_, end);
    if (last_ == Last::kPpmd) {
      ppmd_.Encode(uint8_t(escape_));
      ppmd_.Encode(kEscapeNewTables);
      ppmd_.Finish();
    }
    out_.AlignToByte();
  }

  void CodePpmd(const Block& block) {
    ppmd_.StartBlock(&out_.Bytes(), block.ppmd);
    if (block.ppmd.escape >= 0) escape_ = block.ppmd.escape;
    for (size_t i = at_; i < at_ + block.size; i++) {
      const uint8_t byte = window_[i];
      ppmd_.Encode(byte);
      if (byte == escape_) ppmd_.Encode(kEscapeLiteral);
      matcher_.Insert(i);
    }
    last_ = Last::kPpmd;
  }

  void CodeLz(const Block& block) {
    last_ = Last::kLz;
    if (block.kind == BlockKind::kLz) {
      ParseLz(window_.data(), at_, at_ + block.size, matcher_, lz_, out_);
      return;
    }
    // The filter's pieces as WindowBytes made them, each announced just before its first byte.
    ForEachX86Piece(at_, block.size, [&](size_t start, size_t length) {
      if (length >= kX86MinBlock) {
        lz_.Filter(kX86DefinitionFlags, X86FilterDefinition(uint32_t(length), !x86_defined_));
        x86_defined_ = true;
      }
      ParseLz(window_.data(), start, start + length, matcher_, lz_, out_);
    });
  }

  const std::vector<uint8_t>& window_;
  LzMatcher matcher_;
  LzBlockCoder lz_;
  PpmdEncoder ppmd_;
  BitWriter out_;
  size_t at_ = 0;
  Last last_ = Last::kNone;
  int escape_ = kInitialEscape;
  bool x86_defined_ = false;
};

}  // namespace

std::vector<uint8_t> Compress(const uint8_t* data, size_t size, const std::vector<Block>& blocks) {
  size_t total = 0;
  for (const Block& block : blocks) total += block.size;
  if (total != size) throw std::invalid_argument("block sizes do not add up to the data");
  const std::vector<uint8_t> window = WindowBytes(data, size, blocks);
  EntryEncoder encoder(window);
  for (const Block& block : blocks) encoder.Code(block);
  return encoder.Finish();
}

}  // namespace rar29enc
