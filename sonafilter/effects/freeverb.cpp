// freeverb.cpp — EffectFreeVerb's block loop over stk::FreeVerb.
#include "effects/freeverb.h"

#include <algorithm>
#include <cmath>

#include "effects/finite_samples.h"

void ClearableFreeVerb::clear() {
  stk::FreeVerb::clear();
  for (int i = 0; i < nCombs; ++i) {
    combLPL_[i].clear();
    combLPR_[i].clear();
  }
}

ClearableFreeVerb::ClearableFreeVerb() : ActivePole(damp_) {}

void ClearableFreeVerb::KeepLoopsBounded() {
  if (std::fabs(damp_) < 1.0) ActivePole = damp_;
  const double lowPassPeakGain = ActivePole >= 0.0 ? 1.0 : (1.0 - ActivePole) / (1.0 + ActivePole);
  const double largestRoom = 1.0 / lowPassPeakGain;
  roomSize_ = std::clamp(roomSize_, -largestRoom, largestRoom);
}

namespace {

// The largest magnitude among the `delay` newest values of a delay line:
// the values still to come out of it.
double LinePeak(stk::Delay &line) {
  double peak = 0.0;
  const unsigned long length = line.getDelay();
  for (unsigned long tap = 0; tap < length; ++tap) peak = std::max(peak, std::fabs(line.tapOut(tap)));
  return peak;
}

}  // namespace

double ClearableFreeVerb::MemoryPeak() {
  double peak = 0.0;
  for (int i = 0; i < nCombs; ++i) {
    peak = std::max({peak, LinePeak(combDelayL_[i]), LinePeak(combDelayR_[i]), std::fabs(combLPL_[i].lastOut()),
                     std::fabs(combLPR_[i].lastOut())});
  }
  for (int i = 0; i < nAllpasses; ++i)
    peak = std::max({peak, LinePeak(allPassDelayL_[i]), LinePeak(allPassDelayR_[i])});
  return peak;
}

// A NaN has no meaning as any of the parameters: the write is ignored.
void EffectFreeVerb::Apply(void (stk::FreeVerb::*setter)(stk::StkFloat), double value) {
  if (std::isnan(value)) return;
  (Verb.*setter)(value);
  Verb.KeepLoopsBounded();
}

void EffectFreeVerb::SetEffectMix(double mix) {
  if (!std::isnan(mix)) Mix = mix;
  Apply(&stk::FreeVerb::setEffectMix, mix);
}

void EffectFreeVerb::SetRoomSize(double value) { Apply(&stk::FreeVerb::setRoomSize, value); }
void EffectFreeVerb::SetDamping(double value) { Apply(&stk::FreeVerb::setDamping, value); }
void EffectFreeVerb::SetWidth(double value) { Apply(&stk::FreeVerb::setWidth, value); }

void EffectFreeVerb::SetMode(bool frozen) {
  Verb.setMode(frozen);
  Verb.KeepLoopsBounded();
}

void EffectFreeVerb::Reset() {
  Verb.clear();
  QuietFrames = 0;
  EmptiedSinceSound = true;
}

tjs_int32 EffectFreeVerb::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  if (channels != 2) return 0;
  const stk::StkFrames &last = Verb.lastFrame();
  bool sound = false;
  for (size_t j = 0; j < frames; ++j) {
    const size_t left = 2 * j;
    const float inLeft = finite_samples::Input(in[left]);
    const float inRight = finite_samples::Input(in[left + 1]);
    const double outLeft = Verb.tick(inLeft, inRight, 0);
    const double outRight = last[1];
    out[left] = finite_samples::Output(outLeft);
    out[left + 1] = finite_samples::Output(outRight);
    sound |= (inLeft != 0.0f) | (inRight != 0.0f);
  }
  WatchTail(frames, !sound);
  return static_cast<tjs_int32>(frames);
}

// The window counts silent input frames; its end is judged by the memory
// itself, not the output, so a tiny mix or width cannot hide a tail that a
// later parameter change would bring back.
void EffectFreeVerb::WatchTail(tjs_uint32 frames, bool silentInput) {
  if (!silentInput) {
    QuietFrames = 0;
    EmptiedSinceSound = false;
    return;
  }
  QuietFrames += frames;
  if (QuietFrames < kTailWindowFrames) return;
  QuietFrames = 0;
  if (EmptiedSinceSound || Verb.getMode() != 0.0) return;
  if (Verb.MemoryPeak() < kMemoryFloor) {
    Verb.clear();
    EmptiedSinceSound = true;
  }
}
