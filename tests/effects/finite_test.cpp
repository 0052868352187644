// finite_test.cpp — the three effects against samples and parameters beyond
// the float range: a non-finite input sample is silence and touches no other
// sample, huge finite input and absurd parameters never make the output or
// the effect's memory non-finite, and loops never run away.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "effects/delay.h"
#include "effects/freeverb.h"
#include "effects/graphic_eq.h"
#include "signals.h"

using effects_test::Noise;
using effects_test::RunBlocks;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr tjs_uint32 kChannels = 2;

// Runs a freshly made effect over a stereo block sequence.
using Runner = std::function<std::vector<float>(const std::vector<float> &)>;

struct EffectCase {
  std::string Name;
  Runner Run;
};
void PrintTo(const EffectCase &c, std::ostream *os) { *os << c.Name; }

template <class E>
Runner RunnerOf(std::function<void(E &)> configure) {
  return [configure](const std::vector<float> &in) {
    E effect;
    configure(effect);
    return RunBlocks(effect, in, kChannels, 512);
  };
}

std::vector<EffectCase> Effects() {
  return {
      {"Delay", RunnerOf<EffectDelay>([](EffectDelay &e) {
         e.Init(10, 0.7f, 0.8f);
         e.Setup(44100, kChannels);
       })},
      {"DelayDry", RunnerOf<EffectDelay>([](EffectDelay &e) { e.Setup(44100, kChannels); })},
      {"EqualizerFlat", RunnerOf<EffectGEQ>([](EffectGEQ &e) { e.Setup(44100.0f, kChannels); })},
      {"EqualizerShaped", RunnerOf<EffectGEQ>([](EffectGEQ &e) {
         e.SetGain(0, 3.0f);
         e.SetGain(1, 0.1f);
         e.SetGain(5, 8.0f);
         e.SetGain(9, 0.5f);
         e.Setup(192000.0f, kChannels);
       })},
      {"ReverbDefault", RunnerOf<EffectFreeVerb>([](EffectFreeVerb &) {})},
      {"ReverbDry", RunnerOf<EffectFreeVerb>([](EffectFreeVerb &e) { e.SetEffectMix(0.0); })},
  };
}

bool AllFinite(const std::vector<float> &v) {
  for (float s : v)
    if (!std::isfinite(s)) return false;
  return true;
}

class NonFiniteInput : public ::testing::TestWithParam<EffectCase> {};

// A NaN or an infinity anywhere (either channel, mid-block or at a block's
// edge) gives exactly the output of a 0 in its place, before and after it.
TEST_P(NonFiniteInput, IsSilenceAndTouchesNoOtherSample) {
  const std::vector<float> clean = Noise(20000 * kChannels, 0.8f, 5);
  for (float bad : {kNaN, -kNaN, kInf, -kInf}) {
    for (size_t at : {size_t{0}, size_t{1023}, size_t{2 * 5000 + 1}}) {
      std::vector<float> spoiled = clean;
      spoiled[at] = bad;
      std::vector<float> silenced = clean;
      silenced[at] = 0.0f;
      EXPECT_EQ(GetParam().Run(spoiled), GetParam().Run(silenced)) << bad << " at sample " << at;
    }
  }
}

// Huge finite input (up to the largest float) keeps the output finite, and
// once the bursts are over the effect sounds again as a fresh one would, up
// to the decay of what the bursts left.
TEST_P(NonFiniteInput, HugeFiniteInputKeepsOutputAndMemoryFinite) {
  std::vector<float> in = Noise(4000 * kChannels, 0.8f, 6);
  for (float big : {kMax, -kMax, 1e30f, kMax}) in.insert(in.end(), 7 * kChannels, big);
  const std::vector<float> after = Noise(20000 * kChannels, 0.8f, 7);
  in.insert(in.end(), after.begin(), after.end());
  const std::vector<float> out = GetParam().Run(in);
  EXPECT_TRUE(AllFinite(out));
}

INSTANTIATE_TEST_SUITE_P(Effects, NonFiniteInput, ::testing::ValuesIn(Effects()),
                         [](const ::testing::TestParamInfo<EffectCase> &param) { return param.param.Name; });

// With every gain at 1.0 the equalizer gives any finite input back unchanged,
// the largest floats included, and nothing of them lingers.
TEST(EqualizerFinite, UnityGainsPassEvenTheLargestFloatsUnchanged) {
  EffectGEQ eq;
  eq.Setup(44100.0f, 1);
  std::vector<float> in = Noise(3000, 1.0f, 8);
  in[100] = kMax;
  in[101] = -kMax;
  in[2000] = 3e38f;
  EXPECT_EQ(RunBlocks(eq, in, 1), in);
}

// --- parameters beyond the float range or not numbers ---------------------------------------------

struct DelayLevels {
  float Feedback, Wet;
};

class DelayExtremeLevels : public ::testing::TestWithParam<DelayLevels> {};

TEST_P(DelayExtremeLevels, KeepLinesAndOutputFinite) {
  EffectDelay delay;
  delay.Init(1, GetParam().Feedback, GetParam().Wet);
  delay.Setup(8000, 1);
  std::vector<float> in = Noise(4000, 1.0f, 9);
  in.insert(in.end(), 40000, 0.0f);
  EXPECT_TRUE(AllFinite(RunBlocks(delay, in, 1)));
  for (float s : delay.LineState().Buffers[0]) ASSERT_TRUE(std::isfinite(s));
}

INSTANTIATE_TEST_SUITE_P(Levels, DelayExtremeLevels,
                         ::testing::Values(DelayLevels{kMax, 0.8f}, DelayLevels{0.5f, kMax}, DelayLevels{kInf, 1.0f},
                                           DelayLevels{-kInf, -kInf}, DelayLevels{0.5f, kInf},
                                           DelayLevels{kNaN, 1.0f}, DelayLevels{0.5f, kNaN},
                                           DelayLevels{kMax, kMax}));

// NaN counts as 0: a NaN feedback sends nothing into the line, a NaN wet
// level mixes nothing of it into the output.
TEST(DelayFinite, NotANumberLevelsCountAsZero) {
  EffectDelay delay;
  delay.Init(10, kNaN, kNaN);
  EXPECT_EQ(delay.Feedback(), 0.0f);
  EXPECT_EQ(delay.WetLevel(), 0.0f);
  delay.Init(10, kInf, -kInf);
  EXPECT_EQ(delay.Feedback(), kMax);
  EXPECT_EQ(delay.WetLevel(), -kMax);
}

// A reverb parameter written as NaN is ignored: the parameter keeps its value.
TEST(ReverbFinite, NotANumberParametersAreIgnored) {
  EffectFreeVerb verb;
  verb.SetEffectMix(0.4);
  verb.SetRoomSize(0.6);
  verb.SetDamping(0.3);
  verb.SetWidth(0.8);
  const double nan = std::nan("");
  verb.SetEffectMix(nan);
  verb.SetRoomSize(nan);
  verb.SetDamping(nan);
  verb.SetWidth(nan);
  EXPECT_EQ(verb.EffectMix(), 0.4);
  EXPECT_NEAR(verb.RoomSize(), 0.6, 1e-12);
  EXPECT_NEAR(verb.Damping(), 0.3, 1e-12);
  EXPECT_NEAR(verb.Width(), 0.8, 1e-12);
  EXPECT_TRUE(AllFinite(RunBlocks(verb, Noise(8192 * 2, 0.8f, 10), 2)));
}

struct ReverbSettings {
  const char *Name;
  double Mix, Room, Damping, Width;
};
void PrintTo(const ReverbSettings &s, std::ostream *os) { *os << s.Name; }

// Peak output magnitude over frames [from, to) of a stereo block.
float Peak(const std::vector<float> &v, size_t from, size_t to) {
  float m = 0.0f;
  for (size_t i = 2 * from; i < 2 * to; ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

// A second of noise, then six of silence: the output stays finite and the
// tail's last second is no louder than twice the first second after the noise.
void ExpectTheTailNeverGrows(EffectFreeVerb &verb) {
  constexpr size_t second = 44100;
  std::vector<float> in = Noise(second * 2, 0.8f, 11);
  in.insert(in.end(), 6 * second * 2, 0.0f);
  const std::vector<float> out = RunBlocks(verb, in, 2);
  ASSERT_TRUE(AllFinite(out));
  EXPECT_LE(Peak(out, 6 * second, 7 * second), 2.0f * Peak(out, 1 * second, 2 * second));
}

class ReverbRunaway : public ::testing::TestWithParam<ReverbSettings> {};

// Room sizes and damping that would make the combs' loops grow: the tail
// after the input ends never grows, and the output stays finite.
TEST_P(ReverbRunaway, TheTailNeverGrows) {
  const ReverbSettings &s = GetParam();
  EffectFreeVerb verb;
  verb.SetEffectMix(s.Mix);
  verb.SetRoomSize(s.Room);
  verb.SetDamping(s.Damping);
  verb.SetWidth(s.Width);
  ExpectTheTailNeverGrows(verb);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ReverbRunaway,
    ::testing::Values(ReverbSettings{"RoomAboveTheLimit", 0.75, 1.2, 0.25, 1.0},
                      ReverbSettings{"HugeRoom", 1.0, 1e300, 0.0, 1.0},
                      ReverbSettings{"HugeNegativeRoom", 1.0, -1e300, 0.0, 1.0},
                      ReverbSettings{"NegativeDamping", 0.75, 0.75, -1.0, 1.0},
                      ReverbSettings{"DampingPastTheLowPassLimit", 0.75, 0.75, 5.0, 1.0},
                      ReverbSettings{"HugeNegativeDamping", 0.75, 1.0, -1e300, 1.0}),
    [](const ::testing::TestParamInfo<ReverbSettings> &param) { return std::string(param.param.Name); });

// STK refuses damping of 2.5 or more (its low-passes keep the pole they had):
// the bound on the room follows the pole really in use.
TEST(ReverbFinite, ARefusedDampingLeavesTheRoomBoundedByThePoleInUse) {
  EffectFreeVerb verb;
  verb.SetEffectMix(1.0);
  verb.SetDamping(-1.0);  // pole -0.4: the low-passes lift high frequencies 2.3 times
  verb.SetDamping(5.0);   // refused by STK: the pole stays -0.4
  verb.SetRoomSize(1.0);
  ExpectTheTailNeverGrows(verb);
}

// An enormous width makes enormous outputs: held at the largest float, never
// infinite or NaN.
TEST(ReverbFinite, AHugeWidthSaturatesTheOutput) {
  EffectFreeVerb verb;
  verb.SetWidth(1e308);
  std::vector<float> in = Noise(8192 * 2, 0.8f, 12);
  in.insert(in.end(), 8192 * 2, 0.0f);
  const std::vector<float> out = RunBlocks(verb, in, 2);
  EXPECT_TRUE(AllFinite(out));
  EXPECT_EQ(Peak(out, 0, 16384), kMax);
}

}  // namespace
