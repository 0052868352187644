// freeverb.h — EffectFreeVerb: a stereo room reverb, the STK library's
// stk::FreeVerb fed one stereo frame at a time.
#pragma once

#include <stk/FreeVerb.h>

#include "hostengine.h"

// stk::FreeVerb whose clear() really empties it. STK's own clear() zeroes the
// delay lines but not the memory of the comb filters' damping low-passes, so
// after a reset that memory, fed back through the combs, keeps a faint tail
// sounding (about -45 dB after a loud signal). Everything else is STK's: the
// output is exactly STK's up to the first reset.
class ClearableFreeVerb : public stk::FreeVerb {
 public:
  void clear() override;
};

// The reverb as the wave filter drives it. It has no Setup: STK's global
// sample rate is never set, so the reverb runs with STK's delay lengths for
// 44100 Hz whatever the stream's rate.
//
// Subnormals: the reverb's memory lives inside STK in double precision. Left
// alone in silence, STK's tail decays for minutes into the subnormal range
// and settles there for good (around 1e-321), costing 1.4 to 2.6 times the
// normal work per frame on x86 unless flush-to-zero is set. So Process
// watches the tail: after each second of silent input whose output stayed
// below kTailFloor (1e-60, far below the smallest float, 1.4e-45), the
// reverb is emptied. The float output is unchanged by this: those samples
// and all that would have followed from that memory round to zero anyway.
class EffectFreeVerb {
 public:
  static constexpr bool kForceStereo = true;
  static constexpr double kDefaultMix = 0.75;
  static constexpr tjs_uint32 kDefaultExtendMs = 1000;

  // Tail length handed to the output source when attached, milliseconds.
  tjs_uint32 TailMs() const { return Extend; }
  void SetExtend(tjs_uint32 ms) { Extend = ms; }

  // Dry/wet mix. STK uses it limited to 0..1 (and warns outside that range);
  // EffectMix() answers the value as assigned.
  void SetEffectMix(double mix);
  double EffectMix() const { return Mix; }
  // STK's own parameters, passed through unchanged. STK's getters are not
  // const, hence neither are these.
  void SetRoomSize(double value) { Verb.setRoomSize(value); }
  double RoomSize() { return Verb.getRoomSize(); }
  void SetDamping(double value) { Verb.setDamping(value); }
  double Damping() { return Verb.getDamping(); }
  void SetWidth(double value) { Verb.setWidth(value); }
  double Width() { return Verb.getWidth(); }
  // Frozen mode: the reverb holds its tail and takes no new input.
  void SetMode(bool frozen) { Verb.setMode(frozen); }
  bool Mode() { return Verb.getMode() != 0.0; }
  // The mode as STK reports it (1.0 frozen, 0.0 normal).
  double ModeValue() { return Verb.getMode(); }

  // Reverberates `frames` stereo frames of `in` into `out`. Returns the
  // frames written: `frames` for two channels, 0 (nothing written) otherwise.
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  // Empties the reverb's delay lines and filters; parameters stay.
  void Reset();
  // True once the reverb has been emptied (by Reset, or because its tail died
  // away in silence) and no sound has come in since.
  bool Emptied() const { return EmptiedSinceSound; }

  // Output level below which a silent second counts as the tail's end.
  static constexpr double kTailFloor = 1e-60;
  // Length of the silent window judged at once, in frames: one second at
  // STK's rate, far longer than all of the reverb's lines together, so every
  // part of its memory has reached the output within the window.
  static constexpr tjs_uint32 kTailWindowFrames = 44100;

 private:
  // Empties the reverb after a silent window whose output stayed below kTailFloor.
  void WatchTail(tjs_uint32 frames, bool silentInput, double outputPeak);

  double Mix = kDefaultMix;              // effect mix as last assigned
  tjs_uint32 Extend = kDefaultExtendMs;  // tail length, milliseconds
  ClearableFreeVerb Verb;                // an stk::FreeVerb
  tjs_uint64 QuietFrames = 0;            // silent input frames in the current window
  double QuietPeak = 0.0;                // output peak over the current window
  bool EmptiedSinceSound = false;
};
