// Large blocks that fill up as output arrives: where the system has transparent huge pages, a
// block is asked to be backed by 2 MiB pages, so filling it takes one page fault per 2 MiB
// instead of one per 4 KiB. On a 240 MB entry the small-page faults cost more time than decoding
// and checking the data together.
#pragma once
#include <cstddef>

// Blocks smaller than this keep small pages: a single huge fault clears 2 MiB, more than a small
// entry ever touches.
constexpr size_t kHugePageWorthy = size_t{8} << 20;

// Advises every page of [block, block + size) to use huge pages where whole 2 MiB fit.
// happens where there is no such advice; it never changes the block's contents.
void AdviseHugePages(void* block, size_t size);
