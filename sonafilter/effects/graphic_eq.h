// graphic_eq.h — EffectGEQ: a ten-band octave graphic equalizer. Band 0 is a
// first-order low shelf, bands 1 to 8 are second-order peaks about one octave
// wide, band 9 is a first-order high shelf; each band is built around an
// allpass section and all bands work in parallel on the same input sample.
#pragma once

#include <vector>

#include "hostengine.h"

// Coefficients of one band.
struct BandCoef {
  float C = 0.0f;  // allpass coefficient c
  float D = 0.0f;  // second allpass coefficient of a peak band; 0 for the shelves
  float H = 0.0f;  // half the gain change, (G - 1) / 2; 0 leaves the band out
};

// Filter memory of one band: the shelves use S, the peaks X1, X2, Y1, Y2.
struct BandState {
  float S = 0.0f;   // state of the first-order section
  float X1 = 0.0f;  // last two allpass inputs
  float X2 = 0.0f;
  float Y1 = 0.0f;  // last two allpass outputs
  float Y2 = 0.0f;
};

// Filter memory of one channel, one record per band in band order.
struct ChannelState {
  static constexpr int kBandCount = 10;
  BandState Bands[kBandCount];
};

// The graphic equalizer as the wave filter drives it.
class EffectGEQ {
 public:
  static constexpr bool kForceStereo = false;
  static constexpr int kBandCount = ChannelState::kBandCount;
  // Band centre frequencies in Hz, low shelf first, high shelf last.
  static const float kBandFrequencies[kBandCount];
  // The gain a band is designed with when it is given a gain of 0 or less
  // (-80 dB); see DesignGain in the .cpp for why.
  static constexpr double kGainForNonPositive = 1e-4;
  // The silence floor: every kFloorInterval frames of the stream (counted
  // from Setup or Reset, whatever the blocks), each value that the bands
  // feed back (allpass outputs, shelf states) whose magnitude is below
  // kSilenceFloor (-600 dB) is set to 0, so a decay ends in exact zeros
  // instead of lingering as subnormal numbers. What it changes: a section
  // whose memory has fallen below 1e-30 restarts from 0, so the output
  // differs from the unfloored filter by less than about 1e-30 per band (far
  // below the smallest 24-bit step, 6e-8) and a decay reaches exact silence
  // sooner. The same frames give the same output for every block size.
  static constexpr float kSilenceFloor = 1e-30f;
  static constexpr tjs_uint32 kFloorInterval = 64;
  // Input magnitude above which the bands' sections see the input held at
  // this value (+400 dB); see EqualizeChannel in the .cpp.
  static constexpr float kSectionInputCeiling = 1e20f;

  EffectGEQ();

  // No tail: the equalizer's response dies out within the block.
  tjs_uint32 TailMs() const { return 0; }

  // Stores a band's linear gain (1.0 = flat); an index outside 0..9 is
  // ignored. The gain reaches the sound at the next Setup.
  void SetGain(tjs_int index, float gain);
  // The band's gain as stored; 0.0 for an index outside 0..9.
  float Gain(tjs_int index) const;
  // The coefficients computed by the last Setup (band 0..9).
  const BandCoef &Coefficients(int band) const { return Bands[band]; }
  // Channels set up by the last Setup.
  size_t ChannelCount() const { return States.size(); }

  // Computes every band's coefficients for the sample rate (Hz) from the
  // current gains, and gives each of `channels` channels zeroed memory.
  void Setup(float sampleRate, int channels);
  // Equalizes `frames` interleaved frames of `in` into `out`; channels beyond
  // those set up pass through dry. Always reports every frame as written.
  // An input sample that is not finite is taken as 0; output samples are
  // held within the float range.
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels);
  // Zeroes every channel's memory; coefficients stay.
  void Reset();

 private:
  static BandCoef DesignBand(int band, float gain, float sampleRate);
  // Equalizes one channel; returns the frames to the next floor after it.
  // kGuardInput: the block holds samples beyond kSectionInputCeiling.
  template <bool kGuardInput>
  tjs_uint32 EqualizeChannel(ChannelState &state, float *out, const float *in, tjs_uint32 frames,
                             tjs_uint32 channels, tjs_uint32 channel) const;

  [[maybe_unused]] const float *Frequencies = kBandFrequencies;  // shared band table, not owned
  float Gains[kBandCount];                      // linear gain per band
  BandCoef Bands[kBandCount];                   // computed by Setup
  std::vector<ChannelState> States;             // one per channel of the stream
  tjs_uint32 FramesToFloor = kFloorInterval;    // stream frames until the next floor, 1..kFloorInterval
};
