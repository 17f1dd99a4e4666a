// Results of extracting one entry (the library's "last error"). Decoders return these values;
// the interface layer reports them unchanged through URARGetLastError.
#pragma once

enum ExtractResult : int {
  kExtractOk = 0,
  kExtractNoMemory = 1,     // no window / decoder state, or a filter cannot be run
  kExtractUnsupported = 2,  // RAR 1.5 compression or older
  kExtractEncrypted = 3,
  kExtractStopped = 4,      // the caller's write callback asked to stop (streaming extraction)
  kExtractTooMuchWork = 5,  // the archive's filters ask for more work than its budget allows
  kExtractTruncated = 6,    // packed data ran out, or continue in another volume
  kExtractOverflow = 7,     // output did not fit the declared size
  kExtractBadData = 8,      // checksum mismatch, or unreadable first tables / PPMd header
};

// Returns `code` from the enclosing function when `cond` holds. Debug builds record where, so a
// failing test can say which check fired (see UrarLastFailSite). Every failure return of the
// decoders goes through these two macros.
#ifndef NDEBUG
void UrarNoteFailSite(const char* file, int line);
const char* UrarLastFailSite();  // "" when the current extraction has not failed a check
void UrarClearFailSite();
#define URAR_RETURN_IF(cond, code)          \
  do {                                      \
    if (cond) {                             \
      UrarNoteFailSite(__FILE__, __LINE__); \
      return (code);                        \
    }                                       \
  } while (0)
#else
#define URAR_RETURN_IF(cond, code) \
  do {                             \
    if (cond) return (code);       \
  } while (0)
#endif
// Returns `code` unconditionally, recording the site as URAR_RETURN_IF does.
#define URAR_FAIL(code) URAR_RETURN_IF(true, code)
