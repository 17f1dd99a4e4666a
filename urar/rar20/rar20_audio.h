// The RAR 2.0 multimedia mode: each channel predicts its next byte from the last bytes and
// deltas with five adaptive weights, and the coded symbol is the prediction minus the byte.
// Every 32 bytes a channel moves the weight whose variant would have erred least.
#pragma once
#include <cstdint>
#include <cstdlib>

struct Rar20AudioChannel {
  int k[5];  // weights of d[0..3] and of the inter-channel delta
  int d[4];  // recent deltas, newest first
  int last_delta;
  int last_char;  // the prediction minus the symbol, kept in -255..255 as the format does
  uint32_t error[11];
  uint32_t byte_count;
};

// Decodes one audio byte of channel `c`; `channel_delta` is shared by all channels.
inline uint8_t Rar20DecodeAudio(Rar20AudioChannel* c, int* channel_delta, uint32_t symbol) {
  c->byte_count++;
  c->d[3] = c->d[2];
  c->d[2] = c->d[1];
  c->d[1] = c->last_delta - c->d[0];
  c->d[0] = c->last_delta;
  int predicted = 8 * c->last_char + c->k[0] * c->d[0] + c->k[1] * c->d[1] + c->k[2] * c->d[2] +
                  c->k[3] * c->d[3] + c->k[4] * *channel_delta;
  predicted = (predicted >> 3) & 0xFF;
  int ch = predicted - static_cast<int>(symbol);

  int delta = static_cast<int8_t>(symbol) * 8;
  uint32_t* e = c->error;
  e[0] += abs(delta);
  e[1] += abs(delta - c->d[0]);
  e[2] += abs(delta + c->d[0]);
  e[3] += abs(delta - c->d[1]);
  e[4] += abs(delta + c->d[1]);
  e[5] += abs(delta - c->d[2]);
  e[6] += abs(delta + c->d[2]);
  e[7] += abs(delta - c->d[3]);
  e[8] += abs(delta + c->d[3]);
  e[9] += abs(delta - *channel_delta);
  e[10] += abs(delta + *channel_delta);

  *channel_delta = c->last_delta = static_cast<int8_t>(ch - c->last_char);
  c->last_char = ch;

  if ((c->byte_count & 0x1F) == 0) {
    uint32_t least = e[0], which = 0;
    e[0] = 0;
    for (uint32_t i = 1; i < 11; i++) {
      if (e[i] < least) {
        least = e[i];
        which = i;
      }
      e[i] = 0;
    }
    if (which != 0) {
      // Odd variants lower a weight, even ones raise it; weights stay within -17..16.
      int* weight = &c->k[(which - 1) / 2];
      if (which & 1) {
        if (*weight >= -16) --*weight;
      } else {
        if (*weight < 16) ++*weight;
      }
    }
  }
  return static_cast<uint8_t>(ch);
}
