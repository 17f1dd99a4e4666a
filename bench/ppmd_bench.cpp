// PPMd blocks inside RAR 2.9: the corpus's archives whose data are mostly PPMd (orders 8 to 61,
// model memory from 1 to 256 MB), this library against libarchive and unarr, in process, whole
// archives. libarchive stops at the second entry of a solid archive and fails the long entry that
// switches between PPMd and LZ, so those rows compare with unarr alone.
#include "bench/peers.h"

namespace {

const bool kRegistered = [] {
  RegisterDecoderRows(
      "ppmd",
      {"unarr-lipsum_rar4_ppmd.rar", "junrar-preserved-maxmb0.rar", "junrar-hostile-maxmb255.rar"},
      {Decoder::kUrar, Decoder::kLibarchive, Decoder::kUnarr});
  RegisterDecoderRows("ppmd",
                      {"php-rar-latest_winrar.rar", "rarfile-unicode.rar",
                       "libarchive-test_read_format_rar_ppmd_lzss_conversion.rar"},
                      {Decoder::kUrar, Decoder::kUnarr});
  return true;
}();

}  // namespace
