// freeverb_test.cpp — EffectFreeVerb: sample-exact against stk::FreeVerb,
// parameters read back, the stereo-only rule and reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "effects/freeverb.h"
#include "signals.h"

using effects_test::Noise;
using effects_test::RunBlocks;

namespace {

// What the reverb must produce: stk::FreeVerb ticked frame by frame directly.
std::vector<float> DirectStk(stk::FreeVerb &verb, const std::vector<float> &in) {
  std::vector<float> out(in.size());
  for (size_t j = 0; j < in.size() / 2; ++j) {
    out[2 * j] = static_cast<float>(verb.tick(in[2 * j], in[2 * j + 1], 0));
    out[2 * j + 1] = static_cast<float>(verb.lastFrame()[1]);
  }
  return out;
}

struct Settings {
  const char *name;
  std::function<void(EffectFreeVerb &)> effect;
  std::function<void(stk::FreeVerb &)> direct;
};

class FreeVerbExact : public ::testing::TestWithParam<Settings> {};

TEST_P(FreeVerbExact, MatchesStkFedTheSameFrames) {
  EffectFreeVerb effect;
  stk::FreeVerb direct;
  GetParam().effect(effect);
  GetParam().direct(direct);
  std::vector<float> in = Noise(3 * 44100 * 2, 0.8f, 21);
  in.insert(in.end(), 44100 * 2, 0.0f);  // and the tail after it
  EXPECT_EQ(RunBlocks(effect, in, 2, 1000), DirectStk(direct, in));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FreeVerbExact,
    ::testing::Values(
        Settings{"Defaults", [](EffectFreeVerb &) {}, [](stk::FreeVerb &) {}},
        Settings{"SmallDarkRoom",
                 [](EffectFreeVerb &e) {
                   e.SetEffectMix(0.3);
                   e.SetRoomSize(0.2);
                   e.SetDamping(0.9);
                   e.SetWidth(0.5);
                 },
                 [](stk::FreeVerb &v) {
                   v.setEffectMix(0.3);
                   v.setRoomSize(0.2);
                   v.setDamping(0.9);
                   v.setWidth(0.5);
                 }},
        Settings{"Frozen", [](EffectFreeVerb &e) { e.SetMode(true); }, [](stk::FreeVerb &v) { v.setMode(true); }},
        Settings{"MixAboveOneRunsFullyWet", [](EffectFreeVerb &e) { e.SetEffectMix(1.5); },
                 [](stk::FreeVerb &v) { v.setEffectMix(1.0); }}),
    [](const ::testing::TestParamInfo<Settings> &param) { return std::string(param.param.name); });

// With no flush-to-zero mode set, a tail left to decay in silence ends in an
// emptied reverb once its whole memory is below the smallest normal double;
// the float output is STK's throughout.
TEST(FreeVerb, ATailDyingAwayInSilenceEmptiesTheReverbWithoutChangingTheOutput) {
  EffectFreeVerb effect;
  stk::FreeVerb direct;
  effect.SetRoomSize(-0.7);  // comb feedback 0.5: the tail sinks into subnormals after about 40 s
  direct.setRoomSize(-0.7);
  std::vector<float> in = Noise(44100 * 2, 0.8f, 31);
  in.insert(in.end(), 45 * 44100 * 2, 0.0f);
  EXPECT_EQ(RunBlocks(effect, in, 2, 4096), DirectStk(direct, in));
  EXPECT_TRUE(effect.Emptied());
  EXPECT_NE(direct.lastFrame()[0], 0.0) << "STK's own memory lingers";

  const std::vector<float> sound = Noise(4096 * 2, 0.5f, 32);
  EXPECT_EQ(RunBlocks(effect, sound, 2), DirectStk(direct, sound)) << "and new sound is reverberated as before";
  EXPECT_FALSE(effect.Emptied());
}

// A tail that a later parameter change can bring back is never emptied, however
// quiet the output: a frozen one, and one whose loops neither decay nor grow.
TEST(FreeVerb, ATailHeldForLaterIsNeverEmptied) {
  struct Case {
    const char *Name;
    bool Frozen;
    double Room, Damping;
  };
  for (const Case c : {Case{"frozen", true, 0.75, 0.25}, Case{"lossless loops", false, 0.3 / 0.28, 0.0}}) {
    SCOPED_TRACE(c.Name);
    EffectFreeVerb verb;
    verb.SetRoomSize(c.Room);
    verb.SetDamping(c.Damping);
    RunBlocks(verb, Noise(44100 * 2, 0.8f, 35), 2);
    verb.SetMode(c.Frozen);
    verb.SetEffectMix(1e-70);
    const std::vector<float> silence(3 * 44100 * 2, 0.0f);
    RunBlocks(verb, silence, 2);
    EXPECT_FALSE(verb.Emptied());
    verb.SetEffectMix(1.0);
    const std::vector<float> out = RunBlocks(verb, std::vector<float>(8192 * 2, 0.0f), 2);
    float peak = 0.0f;
    for (float x : out) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.05f) << "the held tail sounds again";
  }
}

TEST(FreeVerb, AFullyDryMixIsNeverTakenForTheTailsEnd) {
  EffectFreeVerb effect;
  effect.SetEffectMix(0.0);
  RunBlocks(effect, Noise(44100 * 2, 0.8f, 33), 2);
  RunBlocks(effect, std::vector<float>(3 * 44100 * 2, 0.0f), 2);
  EXPECT_FALSE(effect.Emptied());
}

TEST(FreeVerb, DefaultsReadBack) {
  EffectFreeVerb verb;
  EXPECT_TRUE(EffectFreeVerb::kForceStereo);
  EXPECT_EQ(verb.EffectMix(), 0.75);
  EXPECT_NEAR(verb.RoomSize(), 0.75, 1e-12);
  EXPECT_NEAR(verb.Damping(), 0.25, 1e-12);
  EXPECT_NEAR(verb.Width(), 1.0, 1e-12);
  EXPECT_FALSE(verb.Mode());
  EXPECT_EQ(verb.TailMs(), 1000u);
}

TEST(FreeVerb, SettersReadBack) {
  EffectFreeVerb verb;
  verb.SetRoomSize(0.9);
  verb.SetDamping(0.5);
  verb.SetWidth(0.3);
  verb.SetExtend(0xFFFFFFFFu);
  EXPECT_NEAR(verb.RoomSize(), 0.9, 1e-12);
  EXPECT_NEAR(verb.Damping(), 0.5, 1e-12);
  EXPECT_NEAR(verb.Width(), 0.3, 1e-12);
  EXPECT_EQ(verb.TailMs(), 0xFFFFFFFFu);
  verb.SetMode(true);
  EXPECT_TRUE(verb.Mode());
  verb.SetMode(false);
  EXPECT_FALSE(verb.Mode());
}

TEST(FreeVerb, MixOutsideZeroToOneReadsBackAsAssigned) {
  EffectFreeVerb verb;
  verb.SetEffectMix(1.5);
  EXPECT_EQ(verb.EffectMix(), 1.5);
  verb.SetEffectMix(-0.5);
  EXPECT_EQ(verb.EffectMix(), -0.5);
}

TEST(FreeVerb, MixBelowZeroRunsFullyDry) {
  EffectFreeVerb verb;
  verb.SetEffectMix(-0.5);
  const std::vector<float> in = Noise(44100 * 2, 0.8f, 2);
  EXPECT_EQ(RunBlocks(verb, in, 2), in);
}

TEST(FreeVerb, ChannelCountsOtherThanTwoWriteNothingAndReportZero) {
  EffectFreeVerb verb;
  const std::vector<float> in = Noise(300, 1.0f, 3);
  for (tjs_uint32 channels : {0u, 1u, 3u, 4u}) {
    std::vector<float> out(in.size(), 42.0f);
    EXPECT_EQ(verb.Process(out.data(), in.data(), 100 / (channels ? channels : 1), channels), 0) << channels;
    EXPECT_EQ(out, std::vector<float>(in.size(), 42.0f)) << channels;
  }
}

TEST(FreeVerb, ResetSilencesTheTail) {
  EffectFreeVerb verb;
  RunBlocks(verb, Noise(44100 * 2, 0.8f, 4), 2);
  const std::vector<float> silence(4096 * 2, 0.0f);
  ASSERT_NE(RunBlocks(verb, silence, 2), silence) << "a tail to cut";
  verb.Reset();
  EXPECT_TRUE(verb.Emptied());
  EXPECT_EQ(RunBlocks(verb, silence, 2), silence);
}

}  // namespace
