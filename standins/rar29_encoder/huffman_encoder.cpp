#include "standins/rar29_encoder/huffman_encoder.h"

#include <algorithm>
#include <cassert>
#include <queue>
#include <stdexcept>

namespace rar29enc {
namespace {

// Plain Huffman depths: merges the two lightest nodes until one is left.
std::vector<int> Depths(const std::vector<uint32_t>& counts) {
  struct Node {
    uint64_t weight;
    int parent;
  };
  std::vector<Node> nodes;
  using Item = std::pair<uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> lightest;
  std::vector<int> leaf(counts.size(), -1);
  for (size_t i = 0; i < counts.size(); i++) {
    if (counts[i] == 0) continue;
    leaf[i] = int(nodes.size());
    nodes.push_back({counts[i], -1});
    lightest.push({counts[i], leaf[i]});
  }
  while (lightest.size() > 1) {
    Item a = lightest.top();
    lightest.pop();
    Item b = lightest.top();
    lightest.pop();
    const int parent = int(nodes.size());
    nodes.push_back({a.first + b.first, -1});
    nodes[a.second].parent = nodes[b.second].parent = parent;
    lightest.push({a.first + b.first, parent});
  }
  std::vector<int> depths(counts.size(), 0);
  for (size_t i = 0; i < counts.size(); i++) {
    if (leaf[i] < 0) continue;
    for (int n = leaf[i]; nodes[n].parent >= 0; n = nodes[n].parent) depths[i]++;
  }
  return depths;
}

}  // namespace

std::vector<uint8_t> HuffmanCode::Lengths(std::vector<uint32_t> counts, int max_bits) {
  assert(counts.size() >= 2);
  int used = int(std::count_if(counts.begin(), counts.end(), [](uint32_t c) { return c != 0; }));
  for (size_t i = 0; used < 2; i++) {
    if (counts[i] == 0) {
      counts[i] = 1;
      used++;
    }
  }
  for (;;) {
    std::vector<int> depths = Depths(counts);
    if (*std::max_element(depths.begin(), depths.end()) <= max_bits)
      return std::vector<uint8_t>(depths.begin(), depths.end());
    // Flatter counts give a shallower tree; halving keeps every used symbol used.
    for (uint32_t& c : counts)
      if (c != 0) c = (c >> 1) | 1;
  }
}

HuffmanCode::HuffmanCode(std::vector<uint8_t> lengths)
    : lengths_(std::move(lengths)), codes_(lengths_.size(), 0) {
  uint32_t per_length[kMaxCodeBits + 1] = {};
  for (uint8_t l : lengths_) {
    if (l > kMaxCodeBits) throw std::invalid_argument("code length over 15 bits");
    per_length[l]++;
  }
  per_length[0] = 0;
  uint32_t next[kMaxCodeBits + 1] = {};
  uint32_t code = 0;
  for (int l = 1; l <= kMaxCodeBits; l++) {
    code = (code + per_length[l - 1]) << 1;
    next[l] = code;
  }
  for (size_t s = 0; s < lengths_.size(); s++)
    if (lengths_[s] != 0) codes_[s] = uint16_t(next[lengths_[s]]++);
}

void WriteTableLengths(BitWriter& out, const std::vector<uint8_t>& lengths) {
  // The lengths as symbols of the 20-symbol code: 0-15 a length, 16/17 repeat the previous one
  // 3-10 / 11-138 times, 18/19 that many zeros.
  struct Symbol {
    uint8_t symbol, extra_bits;
    uint8_t extra;
  };
  std::vector<Symbol> symbols;
  for (size_t i = 0; i < lengths.size();) {
    size_t run = 1;
    while (i + run < lengths.size() && lengths[i + run] == lengths[i] && run < 138) run++;
    if (lengths[i] == 0 && run >= 3) {
      symbols.push_back(run <= 10 ? Symbol{18, 3, uint8_t(run - 3)}
                                  : Symbol{19, 7, uint8_t(run - 11)});
      i += run;
      continue;
    }
    symbols.push_back({lengths[i], 0, 0});
    i++;
    run--;
    if (run >= 3) {
      symbols.push_back(run <= 10 ? Symbol{16, 3, uint8_t(run - 3)}
                                  : Symbol{17, 7, uint8_t(run - 11)});
      i += run;
    }
  }
  std::vector<uint32_t> counts(20, 0);
  for (const Symbol& s : symbols) counts[s.symbol]++;
  const HuffmanCode code(HuffmanCode::Lengths(counts));

  out.Put(0, 2);  // an LZ block, lengths not added to the previous block's
  // The 20 lengths in 4 bits each; 15 is followed by a zero count, 0 for the length 15 itself or
  // n for n + 2 zero lengths.
  const std::vector<uint8_t>& bit_lengths = code.lengths();
  for (size_t i = 0; i < bit_lengths.size();) {
    if (bit_lengths[i] == 15) {
      out.Put(15, 4);
      out.Put(0, 4);
      i++;
      continue;
    }
    size_t zeros = 0;
    while (i + zeros < bit_lengths.size() && bit_lengths[i + zeros] == 0 && zeros < 17) zeros++;
    if (zeros >= 3) {
      out.Put(15, 4);
      out.Put(uint32_t(zeros - 2), 4);
      i += zeros;
      continue;
    }
    out.Put(bit_lengths[i], 4);
    i++;
  }
  for (const Symbol& s : symbols) {
    code.Put(out, s.symbol);
    if (s.extra_bits) out.Put(s.extra, s.extra_bits);
  }
}

}  // namespace rar29enc
