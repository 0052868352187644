// freeverb.cpp — EffectFreeVerb's block loop over stk::FreeVerb.
#include "effects/freeverb.h"

#include <algorithm>
#include <cmath>

void ClearableFreeVerb::clear() {
  stk::FreeVerb::clear();
  for (int i = 0; i < nCombs; ++i) {
    combLPL_[i].clear();
    combLPR_[i].clear();
  }
}

void EffectFreeVerb::SetEffectMix(double mix) {
  Mix = mix;
  Verb.setEffectMix(mix);
}

void EffectFreeVerb::Reset() {
  Verb.clear();
  QuietFrames = 0;
  QuietPeak = 0.0;
  EmptiedSinceSound = true;
}

tjs_int32 EffectFreeVerb::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  if (channels != 2) return 0;
  const stk::StkFrames &last = Verb.lastFrame();
  bool sound = false;
  double peak = 0.0;
  for (size_t j = 0; j < frames; ++j) {
    const size_t left = 2 * j;
    const float inLeft = in[left];
    const float inRight = in[left + 1];
    const double outLeft = Verb.tick(inLeft, inRight, 0);
    const double outRight = last[1];
    out[left] = static_cast<float>(outLeft);
    out[left + 1] = static_cast<float>(outRight);
    sound |= (inLeft != 0.0f) | (inRight != 0.0f);
    peak = std::max(peak, std::max(std::fabs(outLeft), std::fabs(outRight)));
  }
  WatchTail(frames, !sound, peak);
  return static_cast<tjs_int32>(frames);
}

// A window whose output is exactly 0 is left alone: either the reverb is
// empty already, or the mix is fully dry and the output says nothing about
// the memory.
void EffectFreeVerb::WatchTail(tjs_uint32 frames, bool silentInput, double outputPeak) {
  if (!silentInput) {
    QuietFrames = 0;
    QuietPeak = 0.0;
    EmptiedSinceSound = false;
    return;
  }
  QuietFrames += frames;
  QuietPeak = std::max(QuietPeak, outputPeak);
  if (QuietFrames < kTailWindowFrames) return;
  if (QuietPeak > 0.0 && QuietPeak < kTailFloor) {
    Verb.clear();
    EmptiedSinceSound = true;
  }
  QuietFrames = 0;
  QuietPeak = 0.0;
}
