#include "standins/rar29_encoder/ppmd_encoder.h"

#include <new>
#include <stdexcept>

#include "urar/ppmd/ppmd_context_model.h"

namespace rar29enc {
namespace {

// The carry-less range encoder the decoder's PpmdRangeDecoder mirrors: the same low and range,
// the same renormalisation, with the bytes of low going out where the decoder takes them in.
class RangeEncoder {
 public:
  void Start(std::vector<uint8_t>* out) {
    out_ = out;
    low_ = 0;
    range_ = 0xFFFFFFFF;
  }
  void Scale(uint32_t total) { range_ /= total; }
  void ScaleShift(int bits) { range_ >>= bits; }
  void Take(uint32_t low_count, uint32_t high_count) {
    low_ += range_ * low_count;
    range_ *= high_count - low_count;
  }
  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBottom) return;
        range_ = (0u - low_) & (kBottom - 1);
      }
      out_->push_back(uint8_t(low_ >> 24));
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  void Flush() {
    for (int i = 0; i < 4; i++, low_ <<= 8) out_->push_back(uint8_t(low_ >> 24));
  }

 private:
  static constexpr uint32_t kTop = 1u << 24;
  static constexpr uint32_t kBottom = 1u << 15;
  std::vector<uint8_t>* out_ = nullptr;
  uint32_t low_ = 0, range_ = 0xFFFFFFFF;
};

// The coder interface the model's decoding walk uses (Scale, Count, Take, Binary, Normalize),
// answered for a known symbol. The walk asks Count() in the context it is in (min_context): the
// first context of a symbol counts every state, the ones reached by escapes skip the states
// masked so far (char_mask equal to esc_count, as the model marks them). The answer is the
// cumulative count below the symbol, or the escape's when the context does not hold it. This
// leans on how the walk keeps its state; the round-trip tests and fuzz target catch a change.
class SymbolCoder {
 public:
  SymbolCoder(ppmd::ContextModel* model, RangeEncoder* rc, uint8_t symbol)
      : m_(model), rc_(rc), symbol_(symbol) {}

  bool Scale(uint32_t total) {
    rc_->Scale(total);
    return true;
  }
  uint32_t Count() const {
    const ppmd::Context* c = m_->min_context;
    const ppmd::State* s = m_->StatesAt(c->stats);
    uint32_t below = 0;
    for (int i = 0; i < c->num_stats; i++) {
      if (escaped_ && m_->char_mask[s[i].symbol] == m_->esc_count) continue;
      if (s[i].symbol == symbol_) return below;
      below += s[i].freq;
    }
    return below;
  }
  void Take(uint32_t low_count, uint32_t high_count) {
    rc_->Take(low_count, high_count);
    escaped_ = true;
  }
  int Binary(uint32_t bound) {
    rc_->ScaleShift(14);
    const int hit = m_->min_context->One()->symbol == symbol_;
    rc_->Take(hit ? 0 : bound, hit ? bound : 1u << 14);
    escaped_ = true;
    return hit;
  }
  void Normalize() { rc_->Normalize(); }

 private:
  ppmd::ContextModel* m_;
  RangeEncoder* rc_;
  uint8_t symbol_;
  bool escaped_ = false;  // a step was coded: later contexts are reached by escapes
};

}  // namespace

struct PpmdEncoder::Model {
  ppmd::ContextModel model{};
  RangeEncoder rc;
  ~Model() { PpmdMemoryStop(&model.mem); }
};

PpmdEncoder::PpmdEncoder() : model_(std::make_unique<Model>()) {}
PpmdEncoder::~PpmdEncoder() = default;

void PpmdEncoder::StartBlock(std::vector<uint8_t>* out, const PpmdBlockStart& start) {
  const bool new_model = start.new_model || !has_model_;
  int order_field = start.order - 1;
  if (start.order > 16) {
    if ((start.order - 16) % 3 != 0) throw std::invalid_argument("PPMd order not codable");
    order_field = 15 + (start.order - 16) / 3;
  }
  if (new_model &&
      (start.order < 2 || order_field > 31 || start.megabytes < 1 || start.megabytes > 256)) {
    throw std::invalid_argument("PPMd order or memory out of range");
  }
  if (start.escape > 255) throw std::invalid_argument("PPMd escape is a byte");
  out->push_back(uint8_t(0x80 | (new_model ? 0x20 : 0) | (start.escape >= 0 ? 0x40 : 0) |
                         (new_model ? order_field : 0)));
  if (new_model) out->push_back(uint8_t(start.megabytes - 1));
  if (start.escape >= 0) out->push_back(uint8_t(start.escape));
  model_->rc.Start(out);
  if (!new_model) return;
  if (!PpmdMemoryStart(&model_->model.mem, uint32_t(start.megabytes) << 20)) throw std::bad_alloc();
  ppmd::StartModel(&model_->model, start.order);
  has_model_ = true;
}

void PpmdEncoder::Encode(uint8_t symbol) {
  SymbolCoder coder(&model_->model, &model_->rc, symbol);
  if (ppmd::DecodeSymbol(&model_->model, coder) != symbol)
    throw std::logic_error("PPMd model walk missed the symbol");
}

void PpmdEncoder::Finish() { model_->rc.Flush(); }

}  // namespace rar29enc
