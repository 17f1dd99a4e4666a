// The seam between the interface layer and an archive reader: the context size and seven
// operations. The interface layer knows nothing of RAR; it drives the reader only through this.
#pragma once
#include <cstddef>
#include <cstdint>

struct ArchiveInput;
struct MemoryStream;

struct ArchiveFormat {
  size_t context_size;
  int (*OpenArchive)(void* context, ArchiveInput* input);  // 0 when ready
  void (*CloseArchive)(void* context);                     // frees what the context holds
  int (*FirstEntry)(void* context);                        // 0, or why the walk ended
  int (*NextEntry)(void* context);
  int32_t (*EndReason)(int end);                             // a URAR_END_* code for a non-zero
                                                             // FirstEntry / NextEntry result
  int32_t (*EntrySize)(void* context);                       // -1 when it needs more than 32 bits
  const char* (*EntryName)(void* context);                   // zero-terminated, inside the context,
                                                             // possibly only the name's first bytes
  uint32_t (*EntryNameLength)(void* context);                // the whole name's length
  int (*ExtractEntry)(void* context, MemoryStream* output);  // an ExtractResult
  uint64_t (*EntrySize64)(void* context);                    // the whole declared size
  int (*ExtractEntryTo)(void* context,                       // an ExtractResult; bytes to `sink`
                        int32_t (*sink)(void*, const void*, int32_t), void* sink_context);
};

// The one registered format: RAR 1.5-3.x and RAR 1.4 archives.
extern const ArchiveFormat kRarFormat;
