// delay.h — EffectDelay: a feedback echo (comb filter) over interleaved float
// frames, one circular line per channel, all lines sharing one read and one
// write position.
#pragma once

#include <vector>

#include "hostengine.h"

// The per-channel circular lines and the echo parameters shared by all channels.
struct DelayLine {
  // Most bytes all lines of one effect may take together (2 GiB less one
  // byte). The plug-in runs in a 32-bit process, whose user address space
  // is 2 GiB: lines beyond this could never be had there, so Setup refuses
  // them as it refuses any allocation that fails (std::bad_alloc), on every
  // platform alike. A delay the sample arithmetic defines (milliseconds
  // times rate below 2^32) needs at most 4 294 968 samples, 17 MB a line.
  static constexpr tjs_uint64 kMaxLinesBytes = 0x7FFFFFFFu;
  // Magnitude below which a sample sent into a line is stored as 0 (-600 dB):
  // a decaying echo reaches exact silence instead of circulating as subnormal
  // values, which would slow the processor down for as long as they last.
  static constexpr float kSilenceFloor = 1e-30f;
  // Magnitude at which a sample sent into a line is held (+180 dB). A
  // feedback of magnitude 1 or more makes the echoes grow without end; held
  // there they stay finite instead of overflowing to infinity (and then to
  // not-a-number). Below it nothing changes: with any feedback under 1 and
  // input within full scale the lines stay under 2e7. A value that is not a
  // number (which finite input and finite levels cannot produce) is stored
  // as 0.
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

  // Delay in samples for a delay of delayMs at sampleRate: delayMs x
  // sampleRate / 1000 with a truncating division, the product taken in 64
  // bits so that it never wraps; negative delays count as 0.
  static tjs_uint64 DelayInSamples(tjs_int32 delayMs, tjs_uint32 sampleRate);

  // Sizes the lines for the stream (lines grow, never shrink), places the
  // positions DelaySamples apart and zeroes the lines. A delay under one
  // sample allocates nothing and leaves the effect dry. Throws
  // std::bad_alloc, leaving the line exactly as it was, when the lines
  // cannot be had (beyond kMaxLinesBytes, or the allocation fails).
  void Setup(tjs_uint32 sampleRate, tjs_uint32 channels);
  // Echoes `frames` interleaved frames of `in` into `out` (which must not
  // overlap); channels without a line pass through dry.
  void Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  // Refills every line with zeros; positions and delay stay.
  void ZeroLines();

 private:
  // Runs one channel's line over the block from the block's start positions.
  // kGuardInput: the block holds samples that are not finite.
  template <bool kGuardInput>
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
  // Levels are used as given except where they would leave the float range:
  // NaN counts as 0 (no echo), an infinity as the largest float of its sign.
  void Init(tjs_int32 delayMs, float feedback, float wetLevel);
  void SetDelayMs(tjs_int32 delayMs) { Line.DelayMs = delayMs; }
  void SetFeedback(float feedback) { Line.Feedback = UsableLevel(feedback); }
  void SetWetLevel(float wetLevel) { Line.WetLevel = UsableLevel(wetLevel); }
  // Tail length in milliseconds, read when the filter is next attached.
  void SetExtend(tjs_uint32 ms) { Extend = ms; }

  tjs_int32 DelayMs() const { return Line.DelayMs; }
  float Feedback() const { return Line.Feedback; }
  float WetLevel() const { return Line.WetLevel; }
  // The lines and positions, for inspection.
  const DelayLine &LineState() const { return Line; }

  void Setup(tjs_uint32 sampleRate, tjs_uint32 channels) { Line.Setup(sampleRate, channels); }
  // Always reports every frame as written. An input sample that is not
  // finite is taken as 0; output samples are held within the float range.
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  void Reset() { Line.ZeroLines(); }

 private:
  static float UsableLevel(float level);

  tjs_uint32 Extend = kDefaultExtendMs;
  DelayLine Line;
};
