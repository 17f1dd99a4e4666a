// RAR 2.0 decoding (LZ and audio modes) of the corpus's RAR 2.0 archives: this library against
// unarr, in process, whole archives.
#include "bench/peers.h"

namespace {

const bool kRegistered = [] {
  RegisterDecoderRows("rar20",
                      {"zxtune-AY.RAR", "unrarkit-Folder_Archive.rar", "sharpcompress-Rar2.rar",
                       "zxtune-test_v2.rar", "junrar-BoatModernEnglish-audio-text-unpack20.rar"},
                      {Decoder::kUrar, Decoder::kUnarr});
  return true;
}();

}  // namespace
