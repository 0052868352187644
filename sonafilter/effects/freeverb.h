// freeverb.h — EffectFreeVerb: a stereo room reverb, the STK library's
// stk::FreeVerb fed one stereo frame at a time.
#pragma once

#include <stk/FreeVerb.h>

#include "hostengine.h"

// stk::FreeVerb whose clear() really empties it, whose feedback loops never
// grow, and whose memory can be measured.
//
// STK's own clear() zeroes the delay lines but not the memory of the comb
// filters' damping low-passes, so after a reset that memory, fed back
// through the combs, keeps a faint tail sounding (about -45 dB after a loud
// signal).
//
// STK tests no parameter range. Each comb feeds back its delayed output
// through a one-pole low-pass, y = (1 - p) x + p y', with p = 0.4 x damping,
// scaled by R = 0.28 x room size + 0.7. STK itself refuses a pole of
// magnitude 1 or more (the low-pass keeps the pole it had), but not a loop
// that grows: |R| times the low-pass's largest gain (1 for p >= 0,
// (1 - p) / (1 + p) below 0) above 1, as with a room size above 1.0714 and
// ordinary damping, or damping below 0 with an ordinary room. Such a tail
// grows until it overflows. KeepLoopsBounded holds |R| at the largest value
// that keeps the loop gain at 1 (a tail that never decays, as in frozen
// mode). Room sizes within 0..1 with damping within 0..2.5 are never
// touched; the getters report STK's values as set.
class ClearableFreeVerb : public stk::FreeVerb {
 public:
  ClearableFreeVerb();

  void clear() override;
  // Applies the bound above to STK's current room size. Call after every
  // setter: each recomputes it from the values as set.
  void KeepLoopsBounded();
  // The largest magnitude held anywhere in the reverb's memory: delay lines
  // and low-pass states.
  double MemoryPeak();

 private:
  double ActivePole;  // the pole the comb low-passes use (STK keeps the last one it accepted)
};

// The reverb as the wave filter drives it. It has no Setup: STK's global
// sample rate is never set, so the reverb runs with STK's delay lengths for
// 44100 Hz whatever the stream's rate.
//
// Non-finite values: an input sample that is not finite is taken as 0; an
// output beyond the float range is held at the largest float (an enormous
// width can do that); a parameter written as NaN is ignored (the parameter
// keeps its value); the loops are kept from growing (ClearableFreeVerb).
// So the reverb's memory and its output stay finite.
//
// Subnormals: the reverb's memory lives inside STK in double precision. Left
// alone in silence without flush-to-zero, STK's tail decays for minutes into
// the subnormal range and settles there for good (around 1e-321), costing
// 1.4 to 2.6 times the normal work per frame on x86. The wave filter runs
// Process with flush-to-zero and denormals-are-zero set, where that memory
// reaches exact zeros by itself. Elsewhere Process watches the tail: after
// each second of silent input, unless the reverb is frozen, if every value
// in its memory is below kMemoryFloor (the smallest normal double,
// below which denormals-are-zero reads a value as 0), the reverb is emptied.
// Only a width above about 1e263 could lift such values to the smallest
// float, so no output changes. A frozen reverb is never emptied: it holds
// its tail for whenever the mix is raised again.
class EffectFreeVerb {
 public:
  static constexpr bool kForceStereo = true;
  static constexpr double kDefaultMix = 0.75;
  static constexpr tjs_uint32 kDefaultExtendMs = 1000;

  // Tail length handed to the output source when attached, milliseconds.
  tjs_uint32 TailMs() const { return Extend; }
  void SetExtend(tjs_uint32 ms) { Extend = ms; }

  // Dry/wet mix. STK uses it limited to 0..1 (and warns outside that range);
  // EffectMix() answers the value as assigned. NaN is ignored.
  void SetEffectMix(double mix);
  double EffectMix() const { return Mix; }
  // STK's own parameters, passed through unchanged but for NaN (ignored)
  // and the loop bounds of ClearableFreeVerb. STK's getters are not const,
  // hence neither are these.
  void SetRoomSize(double value);
  double RoomSize() { return Verb.getRoomSize(); }
  void SetDamping(double value);
  double Damping() { return Verb.getDamping(); }
  void SetWidth(double value);
  double Width() { return Verb.getWidth(); }
  // Frozen mode: the reverb holds its tail and takes no new input.
  void SetMode(bool frozen);
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

  // Memory level below which a silent second counts as the tail's end: the
  // smallest normal double.
  static constexpr double kMemoryFloor = 2.2250738585072014e-308;
  // Length of the silent window judged at once, in frames: one second at
  // STK's rate.
  static constexpr tjs_uint32 kTailWindowFrames = 44100;

 private:
  // Calls `setter` on Verb with `value` unless it is NaN, then keeps the
  // loops bounded.
  void Apply(void (stk::FreeVerb::*setter)(stk::StkFloat), double value);
  // Empties the reverb at the end of a silent window, unless it is frozen,
  // when its whole memory is below kMemoryFloor.
  void WatchTail(tjs_uint32 frames, bool silentInput);

  double Mix = kDefaultMix;              // effect mix as last assigned
  tjs_uint32 Extend = kDefaultExtendMs;  // tail length, milliseconds
  ClearableFreeVerb Verb;                // an stk::FreeVerb
  tjs_uint64 QuietFrames = 0;            // silent input frames in the current window
  bool EmptiedSinceSound = false;
};
