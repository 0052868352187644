// delay.cpp — EffectDelay's lines: sizing, the per-sample comb and clearing.
#include "effects/delay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// A value sent into a line: exact zero once it has decayed below the floor,
// held at the ceiling once it has grown beyond it.
inline float LineValue(float v) {
  if (std::fabs(v) < DelayLine::kSilenceFloor) return 0.0f;
  return std::clamp(v, -DelayLine::kLineCeiling, DelayLine::kLineCeiling);
}

// An output sample, held within the float range: the delayed signal times an
// absurd wet level must not overflow to infinity.
inline float Finite(float v) {
  return std::clamp(v, -std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
}

// Copies one channel of an interleaved block unchanged.
void CopyChannelDry(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels, tjs_uint32 channel) {
  for (size_t j = 0; j < frames; ++j) {
    const size_t index = j * channels + channel;
    out[index] = in[index];
  }
}

// Position `frames` samples after `pos` on a line of `length` samples.
tjs_uint32 Advance(tjs_uint32 pos, tjs_uint32 frames, tjs_uint32 length) {
  return static_cast<tjs_uint32>((static_cast<tjs_uint64>(pos) + frames) % length);
}

}  // namespace

// Why the clamps: a delay of 0 ms (the default) or one shorter than a sample
// leaves no room between the positions, a negative delay has no meaning, and
// milliseconds times rate can pass 32 bits. So negative counts as 0, the
// product is taken in 64 bits, the delay is capped at kMaxDelayMs and the
// length at kMaxLength; 0 samples later means "no echo".
tjs_uint32 DelayLine::DelayInSamples(tjs_int32 delayMs, tjs_uint32 sampleRate) {
  const tjs_int32 ms = std::clamp<tjs_int32>(delayMs, 0, kMaxDelayMs);
  const tjs_uint64 samples = static_cast<tjs_uint64>(ms) * sampleRate / 1000u;
  return static_cast<tjs_uint32>(std::min<tjs_uint64>(samples, kMaxLength));
}

void DelayLine::Setup(tjs_uint32 sampleRate, tjs_uint32 channels) {
  DelaySamples = DelayInSamples(DelayMs, sampleRate);
  ReadPos = 0;
  WritePos = 0;
  // Under one sample of delay the effect stays dry: nothing is allocated and
  // lines from an earlier, longer delay are kept for a later one.
  if (DelaySamples == 0) return;
  Length = std::max(Length, DelaySamples);
  Buffers.resize(channels);
  for (std::vector<float> &line : Buffers) line.resize(Length);
  ReadPos = Length - DelaySamples;
  ZeroLines();
}

void DelayLine::ZeroLines() {
  for (std::vector<float> &line : Buffers) std::fill(line.begin(), line.end(), 0.0f);
}

void DelayLine::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  if (!Echoes()) {
    // An empty block may come with null buffers, which memcpy must never see.
    const size_t samples = static_cast<size_t>(frames) * channels;
    if (out != in && samples != 0) std::memcpy(out, in, samples * sizeof(float));
    return;
  }
  if (channels == 0) return;
  // Every channel runs through the block from the same positions.
  for (tjs_uint32 ch = 0; ch < channels; ++ch) {
    if (ch < Buffers.size())
      ProcessChannel(Buffers[ch], out, in, frames, channels, ch);
    else
      CopyChannelDry(out, in, frames, channels, ch);
  }
  ReadPos = Advance(ReadPos, frames, Length);
  WritePos = Advance(WritePos, frames, Length);
}

// The slot at the read position is read before the write of the same step, so
// with the delay equal to Length (positions equal) the echo is Length late.
void DelayLine::ProcessChannel(std::vector<float> &line, float *out, const float *in, tjs_uint32 frames,
                               tjs_uint32 channels, tjs_uint32 channel) const {
  const float feedback = Feedback;
  const float wet = WetLevel;
  float *slots = line.data();
  tjs_uint32 readPos = ReadPos;
  tjs_uint32 writePos = WritePos;
  for (size_t j = 0; j < frames; ++j) {
    const size_t index = j * channels + channel;
    const float x = in[index];
    const float delayed = slots[readPos];
    if (++readPos == Length) readPos = 0;
    const float sum = x + delayed;
    slots[writePos] = LineValue(sum * feedback);
    if (++writePos == Length) writePos = 0;
    out[index] = Finite(x + delayed * wet);
  }
}

void EffectDelay::Init(tjs_int32 delayMs, float feedback, float wetLevel) {
  Line.DelayMs = delayMs;
  Line.Feedback = feedback;
  Line.WetLevel = wetLevel;
}

tjs_int32 EffectDelay::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  Line.Process(out, in, frames, channels);
  return static_cast<tjs_int32>(frames);
}
