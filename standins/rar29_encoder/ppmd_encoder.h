// PPMd variant H blocks as RAR 2.9 codes them, on the encoding side. The model is the decoder's
// own (urar/ppmd_context_model.h): it is driven through its decoding walk with a coder that knows
// the symbol to encode, answers the walk's questions so that it arrives at that symbol, and codes
// each step it takes with the carry-less range encoder. Encoder and decoder therefore update the
// model in the same way by construction.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace rar29enc {

struct PpmdBlockStart {
  bool new_model = true;  // start a fresh model; without it the block continues the last one
  int order = 6;          // 2-16, or 17-64 in the steps the header can say (16 + 3k)
  int megabytes = 16;     // model memory, 1-256
  int escape = -1;        // a new escape character, or -1 to keep the current one
};

class PpmdEncoder {
 public:
  PpmdEncoder();
  ~PpmdEncoder();
  PpmdEncoder(const PpmdEncoder&) = delete;
  PpmdEncoder& operator=(const PpmdEncoder&) = delete;

  bool has_model() const { return has_model_; }
  // Appends the block header to `out` (the packed data, on a byte boundary) and starts coding
  // into it; without a model yet, a block always starts a new one. Throws std::bad_alloc when the
  // model memory cannot be had.
  void StartBlock(std::vector<uint8_t>* out, const PpmdBlockStart& start);
  // One symbol of the model's alphabet (a byte; escapes are the caller's).
  void Encode(uint8_t symbol);
  // Ends the block: the range coder's last bytes.
  void Finish();

 private:
  struct Model;
  std::unique_ptr<Model> model_;
  bool has_model_ = false;
};

}  // namespace rar29enc
