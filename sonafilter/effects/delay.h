// delay.h — EffectDelay: a feedback echo (comb filter) over interleaved float
// frames, one circular line per channel, all lines sharing one read and one
// write position.
#pragma once

#include <vector>

#include "hostengine.h"

// The per-channel circular lines and the echo parameters shared by all channels.
struct DelayLine {
  // Longest delay a line is ever sized for, in milliseconds (60 s). Longer
  // requests, including products of milliseconds and rate beyond 32 bits, are
  // shortened to this.
  static constexpr tjs_int32 kMaxDelayMs = 60000;
  // Hard ceiling on a line's length in samples (2^24 floats, 64 MiB per
  // channel), so that an absurd sample rate cannot make Setup allocate
  // without bound; it only bites above 279 kHz at the 60 s maximum.
  static constexpr tjs_uint32 kMaxLength = 1u << 24;
  // Magnitude below which a sample sent into a line is stored as 0 (-600 dB):
  // a decaying echo reaches exact silence instead of circulating as subnormal
  // values, which would slow the processor down for as long as they last.
  static constexpr float kSilenceFloor = 1e-30f;
  // Magnitude at which a sample sent into a line is held (+180 dB). A
  // feedback of magnitude 1 or more makes the echoes grow without end; held
  // there they stay finite instead of overflowing to infinity (and then to
  // not-a-number). Below it nothing changes: with any feedback under 1 and
  // input within full scale the lines stay under 2e7.
  static constexpr float kLineCeiling = 1e9f;

  tjs_uint32 ReadPos = 0;   // next sample read from every line
  tjs_uint32 WritePos = 0;  // next sample written into every line
  tjs_int32 DelayMs = 0;    // delay as last set, milliseconds; read only by Setup
  tjs_uint32 Length = 0;    // samples per line; only ever grows
  float Feedback = 0.0f;    // send into the line and decay per repeat
  float WetLevel = 0.0f;    // level of the delayed signal in the output
  std::vector<std::vector<float>> Buffers;  // one line per channel
  // Delay in samples computed by the last Setup; 0 means no echo at all
  // (the input passes through dry).
  tjs_uint32 DelaySamples = 0;

  // Delay in samples for a delay of delayMs at sampleRate: negative delays
  // count as 0, the delay is capped at kMaxDelayMs and the result at
  // kMaxLength; computed in 64 bits with a truncating division.
  static tjs_uint32 DelayInSamples(tjs_int32 delayMs, tjs_uint32 sampleRate);

  // Sizes the lines for the stream (lines grow, never shrink), places the
  // positions DelaySamples apart and zeroes the lines. A delay under one
  // sample allocates nothing and leaves the effect dry.
  void Setup(tjs_uint32 sampleRate, tjs_uint32 channels);
  // Echoes `frames` interleaved frames of `in` into `out` (which must not
  // overlap); channels without a line pass through dry.
  void Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  // Refills every line with zeros; positions and delay stay.
  void ZeroLines();

 private:
  // Runs one channel's line over the block from the block's start positions.
  void ProcessChannel(std::vector<float> &line, float *out, const float *in, tjs_uint32 frames,
                      tjs_uint32 channels, tjs_uint32 channel) const;
  bool Echoes() const { return DelaySamples > 0 && Length > 0; }
};

// The delay effect as the wave filter drives it.
class EffectDelay {
 public:
  static constexpr bool kForceStereo = false;
  static constexpr tjs_uint32 kDefaultExtendMs = 1000;

  // Tail length handed to the output source when attached, milliseconds.
  tjs_uint32 TailMs() const { return Extend; }

  // Sets delay (ms), feedback and wet level together, as the script's init
  // does; the delay takes effect at the next Setup, the levels at once.
  void Init(tjs_int32 delayMs, float feedback, float wetLevel);
  void SetDelayMs(tjs_int32 delayMs) { Line.DelayMs = delayMs; }
  void SetFeedback(float feedback) { Line.Feedback = feedback; }
  void SetWetLevel(float wetLevel) { Line.WetLevel = wetLevel; }
  // Tail length in milliseconds, read when the filter is next attached.
  void SetExtend(tjs_uint32 ms) { Extend = ms; }

  tjs_int32 DelayMs() const { return Line.DelayMs; }
  float Feedback() const { return Line.Feedback; }
  float WetLevel() const { return Line.WetLevel; }
  // The lines and positions, for inspection.
  const DelayLine &LineState() const { return Line; }

  void Setup(tjs_uint32 sampleRate, tjs_uint32 channels) { Line.Setup(sampleRate, channels); }
  // Always reports every frame as written.
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  void Reset() { Line.ZeroLines(); }

 private:
  tjs_uint32 Extend = kDefaultExtendMs;
  DelayLine Line;
};
