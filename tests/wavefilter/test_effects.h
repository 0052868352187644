// test_effects.h — small effects that model the effect concept of
// SimpleWaveFilter<E> for the tests (and the test-only plug-in).
#pragma once

#include <string>
#include <vector>

#include "hostengine.h"

namespace test_effects {

// Multiplies by Gain and adds Offset, and records what reaches it. Writes
// Written frames and reports them when WriteAll is false.
struct Recorder {
  float Gain = 1.0f;
  float Offset = 0.0f;
  tjs_uint32 Tail = 0;  // TailMs
  bool WriteAll = true;
  tjs_int32 Written = 0;

  int Calls = 0;
  int Resets = 0;
  const float *LastInPtr = nullptr;
  float *LastOutPtr = nullptr;
  tjs_uint32 LastFrames = 0;
  tjs_uint32 LastChannels = 0;
  std::vector<float> LastIn;  // the whole block as it reached Process

  tjs_uint32 TailMs() const { return Tail; }
  void Reset() { ++Resets; }
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
    ++Calls;
    LastInPtr = in;
    LastOutPtr = out;
    LastFrames = frames;
    LastChannels = channels;
    LastIn.assign(in, in + static_cast<size_t>(frames) * channels);
    const tjs_uint32 write = WriteAll ? frames : Clamp(Written, frames);
    for (size_t i = 0; i < static_cast<size_t>(write) * channels; ++i) out[i] = in[i] * Gain + Offset;
    return WriteAll ? static_cast<tjs_int32>(frames) : Written;
  }

 private:
  static tjs_uint32 Clamp(tjs_int32 n, tjs_uint32 frames) {
    if (n < 0) return 0;
    return static_cast<tjs_uint32>(n) < frames ? static_cast<tjs_uint32>(n) : frames;
  }
};

// A Recorder with a Setup taking the rate and channels as unsigned integers.
struct GainEffect : Recorder {
  int Setups = 0;
  tjs_uint32 SetupRate = 0;
  tjs_uint32 SetupChannels = 0;
  void Setup(tjs_uint32 rate, tjs_uint32 channels) {
    ++Setups;
    SetupRate = rate;
    SetupChannels = channels;
  }
};

// A Recorder with a Setup taking (float, int), whose output is always stereo.
struct StereoEffect : Recorder {
  static constexpr bool kForceStereo = true;
  int Setups = 0;
  float SetupRate = 0;
  int SetupChannels = 0;
  void Setup(float rate, int channels) {
    ++Setups;
    SetupRate = rate;
    SetupChannels = channels;
  }
};

// Forced stereo without a Setup, like the reverb.
struct BareStereoEffect : Recorder {
  static constexpr bool kForceStereo = true;
};

// Copies its input; a Process without a result writes every frame. Allocates
// nothing.
struct PassEffect {
  tjs_uint32 Tail = 0;
  tjs_uint32 TailMs() const { return Tail; }
  void Reset() {}
  void Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
    for (size_t i = 0; i < static_cast<size_t>(frames) * channels; ++i) out[i] = in[i];
  }
};

// Names parameterised test cases after their Name field.
struct CaseName {
  template <class Info>
  std::string operator()(const Info &param) const {
    return param.param.Name;
  }
};

}  // namespace test_effects
