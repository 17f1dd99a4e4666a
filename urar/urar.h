/* The extraction library's public interface: six C entry points over an archive held in memory,
 * and three more that stream an entry's data and address archives beyond 2 GiB.
 *
 * The caller keeps ownership of the archive buffer; it must stay valid and unchanged from
 * URARInitialize until URARFinalize returns. Entry data belong to the handle from the
 * URARDoAction that produced them until the next URARDoAction or URARFinalize. Nothing in
 * this interface throws, and no allocation crosses it. */
#ifndef URAR_URAR_H
#define URAR_URAR_H

#include <stdint.h>

#if defined(_WIN32)
#define URAR_API /* exported through urar/zevurar.def, by name */
#elif defined(URAR_SHARED_BUILD)
#define URAR_API __attribute__((visibility("default")))
#else
#define URAR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct URARHandle URARHandle;

/* Buffer kinds of URARGetSizeBuffer and URARGetBuffer. */
enum { URAR_BUFFER_NAME = 1, URAR_BUFFER_DATA = 2 };

/* URARDoAction results. */
enum {
  URAR_OK = 0,        /* next entry found and extracted */
  URAR_NO_MEMORY = 3, /* entry found, no memory for its data */
  URAR_FAILED = 7,    /* entry found, extraction failed (see URARGetLastError); also: data short */
  URAR_TOO_LARGE = 8, /* entry larger than the size limit, or than the destination */
  URAR_END = 9,       /* no further entry, now and on every later call */
  URAR_BAD_ARGUMENT = 10, /* null destination or negative capacity */
  URAR_BAD_KIND = 11      /* buffer kind other than 1 and 2 */
};

/* URARGetLastError once URARDoAction has returned 9: why the walk ended. Only a clean end means
 * the archive was whole; a client that must have all of an archive fails on anything else. */
enum {
  URAR_END_CLEAN = 0,        /* an end-of-archive block, or the buffer ends right after a block */
  URAR_END_NOT_ARCHIVE = 20, /* no marker and main header at the start (or a format not read) */
  URAR_END_CUT = 21,         /* a block is cut short, lies beyond the buffer or does not advance */
  URAR_END_VOLUME = 22,      /* the archive continues in another volume, or continues one */
  URAR_END_ENCRYPTED = 23    /* the block headers are encrypted */
};

/* URARGetLastError after an entry: the result of extracting it (0 once it extracted cleanly). */
enum {
  URAR_ENTRY_OK = 0,
  URAR_ENTRY_NO_MEMORY = 1,     /* no memory for the decoder's state, or a filter cannot be run */
  URAR_ENTRY_UNSUPPORTED = 2,   /* compressed by a method older than the library reads */
  URAR_ENTRY_ENCRYPTED = 3,     /* the entry's data are encrypted */
  URAR_ENTRY_STOPPED = 4,       /* URARDoActionStream's write callback asked to stop */
  URAR_ENTRY_TOO_MUCH_WORK = 5, /* the archive's filter programs spent its work budget */
  URAR_ENTRY_CUT = 6,           /* packed data ran out, or continue in another volume */
  URAR_ENTRY_OVERFLOW = 7,      /* the output exceeded the declared size */
  URAR_ENTRY_BAD_DATA = 8       /* checksum mismatch, or unreadable tables */
};

/* Text for a URARDoAction or URARGetBuffer result. */
static inline const char* URARActionName(int32_t code) {
  switch (code) {
    case URAR_OK: return "ok";
    case URAR_NO_MEMORY: return "no memory for the entry's data";
    case URAR_FAILED: return "extraction failed";
    case URAR_TOO_LARGE: return "larger than the size limit";
    case URAR_END: return "no further entry";
    case URAR_BAD_ARGUMENT: return "bad argument";
    case URAR_BAD_KIND: return "bad buffer kind";
    default: return "unknown result";
  }
}

/* Text for a URARGetLastError code: an entry's result, or (from 20 up) why the walk ended. 0 is
 * "ok" both for an entry and for a clean end. */
static inline const char* URARResultName(int32_t code) {
  switch (code) {
    case URAR_ENTRY_OK: return "ok";
    case URAR_ENTRY_NO_MEMORY: return "no memory for the decoder, or a filter cannot be run";
    case URAR_ENTRY_UNSUPPORTED: return "unsupported compression (RAR 1.5 or older)";
    case URAR_ENTRY_ENCRYPTED: return "encrypted";
    case URAR_ENTRY_STOPPED: return "stopped by the write callback";
    case URAR_ENTRY_TOO_MUCH_WORK: return "filters ask for too much work";
    case URAR_ENTRY_CUT: return "packed data cut short";
    case URAR_ENTRY_OVERFLOW: return "output larger than the declared size";
    case URAR_ENTRY_BAD_DATA: return "checksum mismatch or damaged data";
    case URAR_END_NOT_ARCHIVE: return "not a RAR archive";
    case URAR_END_CUT: return "archive cut short or damaged";
    case URAR_END_VOLUME: return "archive continues in another volume";
    case URAR_END_ENCRYPTED: return "archive headers are encrypted";
    default: return "unknown code";
  }
}

/* A new handle over `size` bytes at `data` (not copied); entries whose declared size exceeds
 * `size_limit` (0 = no limit) are not extracted. Null when memory is short or size < 0. Memory
 * for an entry's data grows with the bytes it really produces, up to its declared size, so a
 * header that lies about the size costs nothing. */
URAR_API URARHandle* URARInitialize(uint32_t size_limit, const void* data, int32_t size);
/* Releases the handle and everything it owns; the caller's buffer is untouched. Returns 0. */
URAR_API int32_t URARFinalize(URARHandle* handle);
/* Moves to the next entry and extracts it; one of the URARDoAction results above. */
URAR_API int32_t URARDoAction(URARHandle* handle);
/* Kind 1: the whole name's length + 1, which exceeds 260 when URARGetBuffer can give only the
 * name's first 259 bytes; kind 2: declared size of the current entry. 0, or 11 for another kind. */
URAR_API int32_t URARGetSizeBuffer(URARHandle* handle, int32_t kind, int32_t* result);
/* Copies the current entry's name (its first 259 bytes at most, cut to capacity - 1,
 * zero-terminated) or data (whole, or not at all) to `destination`. 0, 7, 8, 10 or 11 as listed
 * above. */
URAR_API int32_t URARGetBuffer(URARHandle* handle, int32_t kind, void* destination,
                               int32_t capacity);
/* The result of the most recent extraction (URAR_ENTRY_*; after URAR_ENTRY_TOO_MUCH_WORK, see
 * urar/filters/filter_vm.h, every later filtered entry fails too); once URARDoAction has
 * returned 9, why the walk ended (URAR_END_*). */
URAR_API int32_t URARGetLastError(URARHandle* handle);

/* Streaming extraction, beside the six entry points above. */

/* Receives an entry's bytes in order, in pieces of 1 to 2^30 bytes that are valid only during
 * the call; returns 0 to go on, anything else to stop the entry (URARGetLastError then gives
 * URAR_ENTRY_STOPPED). */
typedef int32_t (*URARWriteCallback)(void* context, const void* data, int32_t size);
/* As URARDoAction, but the entry's data go to `write` as they are decoded and never gather in the
 * handle: memory stays bounded by the decoder's window and model whatever the entry's size, and
 * the handle's size limit does not apply. The checksum and the whole 64-bit declared size are
 * checked once the last byte has gone to `write`, so a result of 7 can follow bytes already
 * handed on (the caller discards them). Results 0, 7, 9 or 10 (null `write`); kind 2 of
 * URARGetBuffer answers 7 after this call. */
URAR_API int32_t URARDoActionStream(URARHandle* handle, URARWriteCallback write, void* context);
/* As URARInitialize, over an archive of any size the address space holds (more than 2 GiB). */
URAR_API URARHandle* URARInitialize64(uint32_t size_limit, const void* data, uint64_t size);
/* Reads `size` bytes of the archive at `offset` into `destination`: returns the count read,
 * short only where the archive ends, or a negative value when it cannot be read. */
typedef int32_t (*URARReadCallback)(void* context, uint64_t offset, void* destination,
                                    int32_t size);
/* As URARInitialize64, over an archive of `size` bytes that the library reads through `read`
 * (with `context`, which must stay valid until URARFinalize), in pieces of at most 256 KiB and
 * mostly in order: the archive is never held whole, in memory or in the address space. A read
 * that fails looks to the library like the archive ending there (URAR_ENTRY_CUT or
 * URAR_END_CUT); the callback knows why. Null when `read` is null or memory is short. */
URAR_API URARHandle* URARInitializeReader(uint32_t size_limit, URARReadCallback read,
                                          void* context, uint64_t size);
/* The current entry's declared size, all 64 bits (0 before the first advance). Returns 0. */
URAR_API int32_t URARGetEntrySize64(URARHandle* handle, uint64_t* result);

#ifdef __cplusplus
}
#endif
#endif
