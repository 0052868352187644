// delay.cpp — EffectDelay's lines: sizing, the per-sample comb and clearing.
#include "effects/delay.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "effects/finite_samples.h"

namespace {

// A value sent into a line: exact zero once it has decayed below the floor
// (or if it is not a number), held at the ceiling once it has grown beyond it.
inline float LineValue(float v) {
  if (!(std::fabs(v) >= DelayLine::kSilenceFloor)) return 0.0f;
  return std::clamp(v, -DelayLine::kLineCeiling, DelayLine::kLineCeiling);
}

// Copies one channel of an interleaved block dry (non-finite samples as 0).
void CopyChannelDry(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels, tjs_uint32 channel) {
  for (size_t j = 0; j < frames; ++j) {
    const size_t index = j * channels + channel;
    out[index] = finite_samples::Input(in[index]);
  }
}

// Position `frames` samples after `pos` on a line of `length` samples.
tjs_uint32 Advance(tjs_uint32 pos, tjs_uint32 frames, tjs_uint32 length) {
  return static_cast<tjs_uint32>((static_cast<tjs_uint64>(pos) + frames) % length);
}

}  // namespace

// A delay of 0 ms (the default) or one shorter than a sample leaves no room
// between the positions and a negative delay has no meaning: both give 0,
// "no echo". Milliseconds times rate can pass 32 bits; the product is taken
// in 64 bits, so such a delay is honoured as long as its lines can be had
// rather than wrapped to a shorter one.
tjs_uint64 DelayLine::DelayInSamples(tjs_int32 delayMs, tjs_uint32 sampleRate) {
  if (delayMs <= 0) return 0;
  return static_cast<tjs_uint64>(delayMs) * sampleRate / 1000u;
}

// The new lines are made before anything is changed, so a delay whose lines
// cannot be had leaves the effect exactly as it was.
void DelayLine::Setup(tjs_uint32 sampleRate, tjs_uint32 channels) {
  const tjs_uint64 samples = DelayInSamples(DelayMs, sampleRate);
  // Under one sample of delay the effect stays dry: nothing is allocated and
  // lines from an earlier, longer delay are kept for a later one.
  if (samples == 0) {
    DelaySamples = 0;
    ReadPos = 0;
    WritePos = 0;
    return;
  }
  const tjs_uint64 length = std::max<tjs_uint64>(Length, samples);
  if (length * channels > kMaxLinesBytes / sizeof(float)) throw std::bad_alloc();
  if (Buffers.size() != channels || length != Length) {
    std::vector<std::vector<float>> lines(channels, std::vector<float>(static_cast<size_t>(length)));
    Buffers.swap(lines);
  }
  Length = static_cast<tjs_uint32>(length);
  DelaySamples = static_cast<tjs_uint32>(samples);
  ReadPos = Length - DelaySamples;
  WritePos = 0;
  ZeroLines();
}

void DelayLine::ZeroLines() {
  for (std::vector<float> &line : Buffers) std::fill(line.begin(), line.end(), 0.0f);
}

void DelayLine::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  if (!Echoes()) {
    const size_t samples = static_cast<size_t>(frames) * channels;
    for (size_t i = 0; i < samples; ++i) out[i] = finite_samples::Input(in[i]);
    return;
  }
  if (channels == 0) return;
  // The block is checked once, so that the common case runs without a
  // per-sample input guard; the output is held within the float range in
  // one pass after.
  const size_t samples = static_cast<size_t>(frames) * channels;
  const bool finiteInput = finite_samples::AllWithin(in, samples, finite_samples::kFloatMax);
  // Every channel runs through the block from the same positions.
  for (tjs_uint32 ch = 0; ch < channels; ++ch) {
    if (ch >= Buffers.size())
      CopyChannelDry(out, in, frames, channels, ch);
    else if (finiteInput)
      ProcessChannel<false>(Buffers[ch], out, in, frames, channels, ch);
    else
      ProcessChannel<true>(Buffers[ch], out, in, frames, channels, ch);
  }
  finite_samples::HoldOutputs(out, samples);
  ReadPos = Advance(ReadPos, frames, Length);
  WritePos = Advance(WritePos, frames, Length);
}

// The slot at the read position is read before the write of the same step, so
// with the delay equal to Length (positions equal) the echo is Length late.
template <bool kGuardInput>
void DelayLine::ProcessChannel(std::vector<float> &line, float *out, const float *in, tjs_uint32 frames,
                               tjs_uint32 channels, tjs_uint32 channel) const {
  const float feedback = Feedback;
  const float wet = WetLevel;
  float *slots = line.data();
  tjs_uint32 readPos = ReadPos;
  tjs_uint32 writePos = WritePos;
  for (size_t j = 0; j < frames; ++j) {
    const size_t index = j * channels + channel;
    const float x = kGuardInput ? finite_samples::Input(in[index]) : in[index];
    const float delayed = slots[readPos];
    if (++readPos == Length) readPos = 0;
    const float sum = x + delayed;
    slots[writePos] = LineValue(sum * feedback);
    if (++writePos == Length) writePos = 0;
    out[index] = x + delayed * wet;
  }
}

void EffectDelay::Init(tjs_int32 delayMs, float feedback, float wetLevel) {
  Line.DelayMs = delayMs;
  SetFeedback(feedback);
  SetWetLevel(wetLevel);
}

// Keeps the lines and the output finite: an infinite level would turn a
// silent line (0 x infinity) into NaN.
float EffectDelay::UsableLevel(float level) {
  if (std::isnan(level)) return 0.0f;
  return std::clamp(level, -finite_samples::kFloatMax, finite_samples::kFloatMax);
}

tjs_int32 EffectDelay::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  Line.Process(out, in, frames, channels);
  return static_cast<tjs_int32>(frames);
}
