// The per-chunk progress report of a download.
#pragma once

#include <cstdint>

// Called once for each non-empty body chunk (at most 8096 bytes), before the chunk is written:
//   context         the opaque pointer given to the download, unchanged;
//   expected_length  the whole file's length (a 200's Content-Length), 0 when the server sent
//                    none (never divide);
//   received_so_far   body bytes so far, this chunk included; not reset by a proxy retry, and a
//                    resume goes on from what is in the file. It never goes back: after a
//                    restart from zero, chunks that refill what was already reported are not
//                    reported;
//   output_path      the caller's own output-path string (not a copy).
// It may run on a WinINet thread, and the transfer waits while it runs. It is never called
// after the download call has returned.
typedef void (*DownloadProgressCallback)(void* context, uint32_t expected_length,
                                         uint32_t received_so_far, const wchar_t* output_path);
