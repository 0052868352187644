// graphic_eq_test.cpp — EffectGEQ: flat response, band gains at their
// frequencies, channel independence, reset, and the bands and gains that the
// band formulas cannot serve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "effects/graphic_eq.h"
#include "signals.h"

using effects_test::Channel;
using effects_test::Noise;
using effects_test::Rms;
using effects_test::RunBlocks;
using effects_test::Sine;

namespace {

constexpr float kRate = 44100.0f;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

EffectGEQ MakeEq(const std::vector<std::pair<int, float>> &gains, float rate = kRate, int channels = 1) {
  EffectGEQ eq;
  for (const auto &[band, gain] : gains) eq.SetGain(band, gain);
  eq.Setup(rate, channels);
  return eq;
}

double Decibels(double ratio) { return 20.0 * std::log10(ratio); }

// Steady-state gain of a mono equalizer at `frequency` Hz: output RMS over
// input RMS, measured over the second of two seconds.
double SteadyGain(EffectGEQ &eq, double frequency, float rate = kRate) {
  const size_t frames = static_cast<size_t>(2 * rate);
  const std::vector<float> in = Sine(frames, frequency, rate);
  const std::vector<float> out = RunBlocks(eq, in, 1);
  return Rms(out, frames / 2, frames) / Rms(in, frames / 2, frames);
}

// The output sample after two seconds of the constant `level`.
float SettledDc(EffectGEQ &eq, float level = 1.0f) {
  const std::vector<float> out = RunBlocks(eq, std::vector<float>(static_cast<size_t>(2 * kRate), level), 1);
  return out.back();
}

class EqFlat : public ::testing::TestWithParam<float> {};

TEST_P(EqFlat, UnityGainsGiveTheInputSampleForSample) {
  EffectGEQ eq = MakeEq({}, GetParam(), 2);
  const std::vector<float> in = Noise(20000);
  EXPECT_EQ(RunBlocks(eq, in, 2, 777), in);
}

INSTANTIATE_TEST_SUITE_P(Rates, EqFlat, ::testing::Values(8000.0f, 22050.0f, 44100.0f, 96000.0f));

TEST(Eq, PeakBandDoublesItsCentreAndLeavesTwoOctavesAwayAndDcFlat) {
  EffectGEQ eq = MakeEq({{5, 2.0f}});
  EXPECT_NEAR(SteadyGain(eq, 1000.0), 2.0, 0.01);
  eq.Reset();
  EXPECT_NEAR(Decibels(SteadyGain(eq, 250.0)), 0.0, 0.5);
  eq.Reset();
  EXPECT_NEAR(Decibels(SteadyGain(eq, 4000.0)), 0.0, 0.5);
  eq.Reset();
  EXPECT_NEAR(SettledDc(eq), 1.0f, 1e-5);
}

TEST(Eq, LowShelfDoublesDc) {
  EffectGEQ eq = MakeEq({{0, 2.0f}});
  EXPECT_NEAR(SettledDc(eq, 0.5f), 1.0f, 1e-5);
}

TEST(Eq, HighShelfDoublesHalfTheRateAndLeavesDc) {
  EffectGEQ eq = MakeEq({{9, 2.0f}});
  std::vector<float> alternating(4410);
  for (size_t j = 0; j < alternating.size(); ++j) alternating[j] = (j % 2 == 0) ? 1.0f : -1.0f;
  const std::vector<float> out = RunBlocks(eq, alternating, 1);
  EXPECT_NEAR(out[out.size() - 2], 2.0f, 1e-5);
  EXPECT_NEAR(out.back(), -2.0f, 1e-5);
  eq.Reset();
  EXPECT_NEAR(SettledDc(eq), 1.0f, 1e-5);
}

TEST(Eq, ChannelsAreEqualizedIndependently) {
  const std::vector<std::pair<int, float>> gains = {{0, 3.0f}, {3, 0.25f}, {6, 4.0f}, {9, 0.5f}};
  EffectGEQ stereo = MakeEq(gains, kRate, 2);
  std::vector<float> in = Noise(8000 * 2, 1.0f, 11);
  const std::vector<float> out = RunBlocks(stereo, in, 2, 500);
  for (uint32_t ch = 0; ch < 2; ++ch) {
    EffectGEQ mono = MakeEq(gains, kRate, 1);
    EXPECT_EQ(Channel(out, 2, ch), RunBlocks(mono, Channel(in, 2, ch), 1, 500)) << "channel " << ch;
  }
}

TEST(Eq, AfterResetZeroInputGivesZeroOutputAtOnce) {
  EffectGEQ eq = MakeEq({{0, 4.0f}, {2, 0.1f}, {5, 3.0f}, {8, 2.0f}, {9, 0.3f}}, kRate, 2);
  const std::vector<float> loud = Noise(4096, 1.0f, 5);
  RunBlocks(eq, loud, 2);
  eq.Reset();
  const std::vector<float> silence(512, 0.0f);
  EXPECT_EQ(RunBlocks(eq, silence, 2), silence);
}

TEST(Eq, GainsAreStoredAndReachTheSoundAtTheNextSetup) {
  EffectGEQ eq;
  EXPECT_EQ(EffectGEQ::kForceStereo, false);
  EXPECT_EQ(eq.TailMs(), 0u);
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) EXPECT_EQ(eq.Gain(band), 1.0f);
  eq.Setup(kRate, 1);
  eq.SetGain(3, 0.5f);
  EXPECT_EQ(eq.Gain(3), 0.5f);
  EXPECT_EQ(eq.Coefficients(3).H, 0.0f) << "not applied before Setup";
  eq.Setup(kRate, 1);
  EXPECT_EQ(eq.Coefficients(3).H, -0.25f);
}

TEST(Eq, IndicesOutsideTheBandsAreIgnoredAndReadAsZero) {
  EffectGEQ eq;
  for (tjs_int index : {10, -1, 1000, std::numeric_limits<tjs_int>::min()}) {
    eq.SetGain(index, 5.0f);
    EXPECT_EQ(eq.Gain(index), 0.0f) << index;
  }
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) EXPECT_EQ(eq.Gain(band), 1.0f);
}

TEST(Eq, ChannelsBeyondThoseSetUpPassThroughDry) {
  EffectGEQ eq = MakeEq({{5, 2.0f}}, kRate, 1);
  const std::vector<float> in = Noise(1000 * 2);
  const std::vector<float> out = RunBlocks(eq, in, 2);
  EXPECT_EQ(Channel(out, 2, 1), Channel(in, 2, 1));
  EXPECT_NE(Channel(out, 2, 0), Channel(in, 2, 0));
}

// --- bands the rate cannot carry -----------------------------------------------

struct RateCase {
  float rate;
  // Bands whose tangent frequency reaches half the rate, and peak bands
  // centred at half the rate (4 kHz at 8000 Hz), whose pole lies at z = -1.
  std::vector<int> unrealisable;
};

class EqUnrealisableBands : public ::testing::TestWithParam<RateCase> {};

TEST_P(EqUnrealisableBands, AreLeftOutAndLeaveTheSignalAsItIs) {
  const RateCase &param = GetParam();
  EffectGEQ eq;
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) eq.SetGain(band, 2.0f);
  eq.Setup(param.rate, 1);
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) {
    const bool off = std::find(param.unrealisable.begin(), param.unrealisable.end(), band) != param.unrealisable.end();
    const BandCoef &coef = eq.Coefficients(band);
    EXPECT_EQ(coef.H == 0.0f, off) << "band " << band;
    if (off) {
      EXPECT_TRUE(coef.C == 0.0f && coef.D == 0.0f) << "band " << band;
    }
  }

  EffectGEQ only = MakeEq({}, param.rate);
  for (int band : param.unrealisable) only.SetGain(band, 2.0f);
  only.Setup(param.rate, 1);
  const std::vector<float> in = Noise(8000);
  EXPECT_EQ(RunBlocks(only, in, 1), in);
}

INSTANTIATE_TEST_SUITE_P(Rates, EqUnrealisableBands,
                         ::testing::Values(RateCase{44100.0f, {}}, RateCase{32000.0f, {9}},
                                           RateCase{22050.0f, {9}}, RateCase{11025.0f, {9}},
                                           RateCase{8000.0f, {7, 8, 9}}, RateCase{0.0f, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
                                           RateCase{-44100.0f, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
                                           RateCase{kNaN, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}));

// --- gains the formulas are not meant for ---------------------------------------

TEST(Eq, GainsOfZeroOrLessCutTheBandByEightyDecibels) {
  for (float gain : {0.0f, -1.0f, -kInf}) {
    EffectGEQ eq = MakeEq({{5, gain}});
    EXPECT_EQ(eq.Gain(5), gain) << "stored as given";
    // About -80 dB: so deep a cut is limited by single-precision coefficients.
    const double db = Decibels(SteadyGain(eq, 1000.0));
    EXPECT_LT(db, -75.0) << gain;
    EXPECT_GT(db, -85.0) << gain;
  }
}

// Every positive finite gain is designed as given: no -80/+80 dB limits.
TEST(Eq, EveryPositiveGainIsDesignedAsGiven) {
  for (float gain : {1e5f, 1e30f}) {
    EffectGEQ eq = MakeEq({{5, gain}});
    EXPECT_EQ(eq.Coefficients(5).H, static_cast<float>((static_cast<double>(gain) - 1.0) * 0.5)) << gain;
    EXPECT_NEAR(Decibels(SteadyGain(eq, 1000.0)), Decibels(gain), 0.1) << gain;
  }
  // A cut deeper than -80 dB: the coefficients of 1e-5 are not those of 1e-4.
  EffectGEQ deep = MakeEq({{5, 1e-5f}});
  EffectGEQ eighty = MakeEq({{5, 1e-4f}});
  EXPECT_EQ(deep.Coefficients(5).H, static_cast<float>((1e-5 - 1.0) * 0.5));
  EXPECT_NE(deep.Coefficients(5).C, eighty.Coefficients(5).C);
  EXPECT_LT(Decibels(SteadyGain(deep, 1000.0)), Decibels(SteadyGain(eighty, 1000.0)) - 10.0);
}

// What cannot be realised is left out, flat: an infinite gain (H not
// finite), and a positive gain so small that the rounded allpass
// coefficient reaches 1 (a pole on the unit circle).
TEST(Eq, GainsWhoseBandCannotBeRealisedLeaveItFlat) {
  for (float gain : {kInf, 1e-30f}) {
    EffectGEQ eq = MakeEq({{5, gain}});
    EXPECT_EQ(eq.Coefficients(5).H, 0.0f) << gain;
    const std::vector<float> in = Noise(4000);
    EXPECT_EQ(RunBlocks(eq, in, 1), in) << gain;
  }
}

// At 11025 Hz the 8 kHz band's width (5333 Hz) lies below half the rate: the
// band is realised and acts where its centre folds to, 11025 - 8000 Hz.
TEST(Eq, APeakBandWhoseCentreFoldsBelowHalfTheRateStillWorks) {
  constexpr float rate = 11025.0f;
  EffectGEQ eq = MakeEq({{8, 2.0f}}, rate);
  EXPECT_NE(eq.Coefficients(8).H, 0.0f);
  EXPECT_NEAR(Decibels(SteadyGain(eq, 3025.0, rate)), Decibels(2.0), 0.05);
}

TEST(Eq, AGainThatIsNotANumberLeavesTheBandFlat) {
  EffectGEQ eq = MakeEq({{5, kNaN}, {0, kNaN}, {9, kNaN}});
  EXPECT_TRUE(std::isnan(eq.Gain(5)));
  const std::vector<float> in = Noise(4000);
  EXPECT_EQ(RunBlocks(eq, in, 1), in);
}

struct ExtremeCase {
  float rate;
  float gain;
};

class EqExtremeGains : public ::testing::TestWithParam<ExtremeCase> {};

// Every band at the same extreme gain: finite output for noise, a full-scale
// tone at half the rate, steps and large values, and after the input stops
// the output dies away (every band stable; a deep cut rings longest, its
// poles lying about 1 - G/K from the origin).
TEST_P(EqExtremeGains, KeepTheOutputFiniteAndDecaying) {
  const ExtremeCase &param = GetParam();
  EffectGEQ eq;
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) eq.SetGain(band, param.gain);
  eq.Setup(param.rate, 1);

  std::vector<float> in = Noise(static_cast<size_t>(param.rate), 1.0f, 9);
  for (size_t j = 0; j < 2000; ++j) in.push_back((j % 2 == 0) ? 1.0f : -1.0f);
  in.insert(in.end(), 2000, 1.0f);
  for (float big : {1e3f, -1e3f, 3e4f, -3e4f}) in.insert(in.end(), 10, big);
  const size_t soundEnd = in.size();
  in.insert(in.end(), static_cast<size_t>(4 * param.rate), 0.0f);

  const std::vector<float> out = RunBlocks(eq, in, 1);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
  const auto peak = [&out](size_t from) {
    float m = 0.0f;
    for (size_t i = from; i < from + 1024; ++i) m = std::max(m, std::fabs(out[i]));
    return m;
  };
  EXPECT_LE(peak(out.size() - 1024), 0.01f * peak(soundEnd)) << "no decay after the input stopped";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EqExtremeGains,
    ::testing::ValuesIn([] {
      std::vector<ExtremeCase> cases;
      for (float rate : {8000.0f, 22050.0f, 44100.0f})
        for (float gain : {0.0f, -1.0f, -1e30f, -kInf, 1e-30f, 1e-4f, 1e4f, 1e30f, kInf, kNaN,
                           std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min()})
          cases.push_back({rate, gain});
      return cases;
    }()));

// With no flush-to-zero mode set, fed-back values that have decayed below the
// floor are set to 0, so silence after sound becomes exact zeros.
TEST(Eq, SilenceAfterSoundEndsInExactZeros) {
  EffectGEQ eq = MakeEq({{0, 8.0f}, {1, 6.0f}, {4, 0.2f}, {9, 3.0f}});
  std::vector<float> in = Noise(8192, 1.0f, 4);
  const size_t soundEnd = in.size();
  in.insert(in.end(), 5 * 44100, 0.0f);
  const std::vector<float> out = RunBlocks(eq, in, 1, 512);
  size_t firstZeroRun = out.size();
  while (firstZeroRun > soundEnd && out[firstZeroRun - 1] == 0.0f) --firstZeroRun;
  EXPECT_LT(firstZeroRun, out.size() - 44100) << "still not silent one second before the end";
}

}  // namespace
