#include "standins/rar29_encoder/lz_parser.h"

namespace rar29enc {
namespace {

// Symbols per table set: fresh tables follow the data's changes at a cost of some 100 bytes.
constexpr size_t kSymbolsPerBlock = 0x8000;
// Shorter matches are held back while the next position is tried for a longer one.
constexpr uint32_t kLazyBelow = 16;
// A 3-byte match further back than this costs more than its literals.
constexpr uint32_t kFarShortMatch = 0x400;

// The best match at `pos`: the old distances first (their symbols are cheaper), then the chains.
Match BestMatch(size_t pos, size_t end, const LzMatcher& matcher, const uint32_t* old_distances) {
  Match rep;
  for (int i = 0; i < 4; i++) {
    const uint32_t distance = old_distances[i];
    if (distance == 0 || distance > pos) continue;
    const uint32_t length = matcher.MatchLength(pos, end, distance);
    if (length >= 2 && length > rep.length) rep = {length, distance};
  }
  Match best;
  matcher.Find(pos, end, &best);
  if (best.length == 3 && best.distance > kFarShortMatch) best = {};
  return rep.length > 0 && rep.length + 1 >= best.length ? rep : best;
}

}  // namespace

void ParseLz(const uint8_t* data, size_t begin, size_t end, LzMatcher& matcher, LzBlockCoder& coder,
             BitWriter& out) {
  size_t pos = begin;
  size_t inserted = begin;  // positions below this are in the matcher
  while (pos < end) {
    if (coder.pending_symbols() >= kSymbolsPerBlock)
      coder.WriteBlock(out, LzBlockCoder::End::kNewTables);
    Match match = BestMatch(pos, end, matcher, coder.old_distances());
    if (match.length == 0) {
      coder.Literal(data[pos]);
      if (inserted == pos) matcher.Insert(inserted++);
      pos++;
      continue;
    }
    if (match.length < kLazyBelow && pos + 1 < end) {
      if (inserted == pos) matcher.Insert(inserted++);
      const Match next = BestMatch(pos + 1, end, matcher, coder.old_distances());
      if (next.length > match.length + 1) {
        coder.Literal(data[pos]);
        pos++;
        continue;
      }
    }
    coder.Match(match.length, match.distance);
    pos += match.length;
    while (inserted < pos) matcher.Insert(inserted++);
  }
}

}  // namespace rar29enc
