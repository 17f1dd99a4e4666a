#include "standins/rar29_encoder/lz_block_coder.h"

#include <stdexcept>

#include "standins/rar29_encoder/huffman_encoder.h"
#include "standins/rar29_encoder/lz_matcher.h"
#include "urar/rar29/lz_tables.h"
#include "urar/rar29/rar29_state.h"

namespace rar29enc {
namespace {

constexpr const Rar29DistanceSlots& kSlots = kRar29Distance;

uint32_t LengthSlot(uint32_t value) {  // value = length - the slot table's offset
  uint32_t slot = 27;
  while (kLengthBase[slot] > value) slot--;
  return slot;
}

uint32_t DistanceSlot(uint32_t value) {  // value = distance - 1
  uint32_t slot = kRar29DistSymbols - 1;
  while (kSlots.base[slot] > value) slot--;
  return slot;
}

}  // namespace

void LzBlockCoder::Literal(uint8_t byte) {
  items_.push_back(Item{byte, 0, kNone, 0, 0, -1, 0, 0, 0});
}

void LzBlockCoder::Match(uint32_t length, uint32_t distance) {
  if (length > kMaxMatch || distance == 0 || distance > kMaxDistance)
    throw std::invalid_argument("match outside the codable range");
  Item item{0, 0, kNone, 0, 0, -1, 0, 0, 0};
  uint32_t rep = 0;
  while (rep < 4 && old_dist_[rep] != distance) rep++;
  if (rep < 4 && length >= 2) {
    // A repeated distance: its index, then the length through the repeat-length table; the
    // distance moves to the front.
    for (uint32_t i = rep; i > 0; i--) old_dist_[i] = old_dist_[i - 1];
    old_dist_[0] = distance;
    const uint32_t slot = LengthSlot(length - 2);
    item.main = uint16_t(kRar29SymbolOldDistance + rep);
    item.second_table = kRepeatLength;
    item.second_symbol = uint8_t(slot);
    item.length_bits = kLengthBits[slot];
    item.length_extra = length - 2 - kLengthBase[slot];
    items_.push_back(item);
    return;
  }
  if (length < MinMatch(distance)) throw std::invalid_argument("match too short for its distance");
  const uint32_t coded = length - (distance >= 0x2000) - (distance >= 0x40000);
  const uint32_t slot = LengthSlot(coded - 3);
  item.main = uint16_t(kRar29SymbolMatch + slot);
  item.length_bits = kLengthBits[slot];
  item.length_extra = coded - 3 - kLengthBase[slot];
  const uint32_t dist_slot = DistanceSlot(distance - 1);
  const uint32_t extra = distance - 1 - kSlots.base[dist_slot];
  const uint32_t bits = kSlots.bits[dist_slot];
  item.second_table = kDistance;
  item.second_symbol = uint8_t(dist_slot);
  if (dist_slot > 9) {
    // The low four bits go through the low-distance table, the rest as they are.
    item.raw_bits = uint8_t(bits > 4 ? bits - 4 : 0);
    item.raw = extra >> 4;
    item.low_symbol = int16_t(extra & 15);
  } else {
    item.raw_bits = uint8_t(bits);
    item.raw = extra;
  }
  for (uint32_t i = 3; i > 0; i--) old_dist_[i] = old_dist_[i - 1];
  old_dist_[0] = distance;
  items_.push_back(item);
}

void LzBlockCoder::Filter(uint8_t flags, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> definition;
  if (body.empty() || body.size() > 0xFFFF) throw std::invalid_argument("filter definition size");
  if (body.size() <= 6) {
    definition.push_back(uint8_t(flags | (body.size() - 1)));
  } else if (body.size() <= 262) {
    definition.push_back(uint8_t(flags | 6));
    definition.push_back(uint8_t(body.size() - 7));
  } else {
    definition.push_back(uint8_t(flags | 7));
    definition.push_back(uint8_t(body.size() >> 8));
    definition.push_back(uint8_t(body.size()));
  }
  definition.insert(definition.end(), body.begin(), body.end());
  items_.push_back(Item{kRar29SymbolFilter, 0, kNone, 0, 0, -1, 0, 0, uint32_t(filters_.size())});
  filters_.push_back(std::move(definition));
}

struct LzBlockCoder::Codes {
  HuffmanCode main, dist, low, rep;
};

LzBlockCoder::Codes LzBlockCoder::Tables(BitWriter& out) const {
  std::vector<uint32_t> main(kRar29MainSymbols), dist(kRar29DistSymbols), low(kRar29LowDistSymbols),
      rep(kRar29RepLengthSymbols);
  for (const Item& item : items_) {
    main[item.main]++;
    if (item.second_table == kDistance) dist[item.second_symbol]++;
    if (item.second_table == kRepeatLength) rep[item.second_symbol]++;
    if (item.low_symbol >= 0) low[item.low_symbol]++;
  }
  main[kRar29SymbolEndOfBlock]++;
  Codes codes{HuffmanCode(HuffmanCode::Lengths(main)), HuffmanCode(HuffmanCode::Lengths(dist)),
              HuffmanCode(HuffmanCode::Lengths(low)), HuffmanCode(HuffmanCode::Lengths(rep))};
  std::vector<uint8_t> lengths = codes.main.lengths();
  for (const HuffmanCode* code : {&codes.dist, &codes.low, &codes.rep})
    lengths.insert(lengths.end(), code->lengths().begin(), code->lengths().end());
  out.AlignToByte();
  WriteTableLengths(out, lengths);
  return codes;
}

void LzBlockCoder::WriteBlock(BitWriter& out, End end) {
  const Codes codes = Tables(out);
  const HuffmanCode& main_code = codes.main;
  const HuffmanCode& dist_code = codes.dist;
  const HuffmanCode& low_code = codes.low;
  const HuffmanCode& rep_code = codes.rep;
  for (const Item& item : items_) {
    main_code.Put(out, item.main);
    if (item.main == kRar29SymbolFilter) {
      for (uint8_t b : filters_[item.filter]) out.Put(b, 8);
    } else if (item.second_table == kRepeatLength) {
      rep_code.Put(out, item.second_symbol);
      out.Put(item.length_extra, item.length_bits);
    } else if (item.second_table == kDistance) {
      out.Put(item.length_extra, item.length_bits);
      dist_code.Put(out, item.second_symbol);
      out.Put(item.raw, item.raw_bits);
      if (item.low_symbol >= 0) low_code.Put(out, uint32_t(item.low_symbol));
    }
  }
  main_code.Put(out, kRar29SymbolEndOfBlock);
  // 1: new tables follow; 0 then 0: the file ends (and a solid successor keeps these tables).
  if (end == End::kNewTables) {
    out.Put(1, 1);
  } else {
    out.Put(0, 2);
  }
  items_.clear();
  filters_.clear();
}

}  // namespace rar29enc
