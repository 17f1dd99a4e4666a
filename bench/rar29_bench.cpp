// RAR 2.9 decoding of the corpus's LZ archives (plain, and with the E8, E8E9, delta and audio
// filters run natively): this library against libarchive and unarr, in process, whole archives.
#include "bench/peers.h"

namespace {

const bool kRegistered = [] {
  const std::vector<Decoder> all = {Decoder::kUrar, Decoder::kLibarchive, Decoder::kUnarr};
  RegisterDecoderRows("rar29-lz",
                      {"libarchive-test_read_format_rar_binary_data.rar", "sharpcompress-Rar4.rar",
                       "junrar-BoatModernEnglish-regular-unpack30.rar"},
                      all);
  RegisterDecoderRows("rar29-filters",
                      {"libarchive-test_read_format_rar_filter.rar", "junrar-tika-documents.rar",
                       "sharpcompress-Rar.Audio_program.rar"},
                      all);
  return true;
}();

}  // namespace
