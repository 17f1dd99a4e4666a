// Turns a stretch of the entry into LZ symbols: lazy matching (a match is put off by one byte
// when the next position has a longer one), with the old distances tried beside the hash chains.
#pragma once
#include <cstddef>

#include "standins/rar29_encoder/lz_block_coder.h"
#include "standins/rar29_encoder/lz_matcher.h"

namespace rar29enc {

// Codes data[begin, end) (data as given to `matcher`) into `coder`; matches end by `end` and every
// position gets inserted into the matcher. New tables are written to `out` every so many symbols.
void ParseLz(const uint8_t* data, size_t begin, size_t end, LzMatcher& matcher, LzBlockCoder& coder,
             BitWriter& out);

}  // namespace rar29enc
