// delay_test.cpp — EffectDelay: echo timing and levels, line sizing, reset,
// and the handling of delays that a line cannot represent.
#include <gtest/gtest.h>

#include <limits>

#include "effects/delay.h"
#include "signals.h"

using effects_test::Channel;
using effects_test::Noise;
using effects_test::RunBlocks;

namespace {

constexpr tjs_uint32 kRate = 44100;

EffectDelay MakeDelay(tjs_int32 delayMs, float feedback, float wet, tjs_uint32 channels, tjs_uint32 rate = kRate) {
  EffectDelay delay;
  delay.Init(delayMs, feedback, wet);
  delay.Setup(rate, channels);
  return delay;
}

// A stereo block: a unit impulse at frame 0 of channel 0 and one of 0.25 at
// frame 100 of channel 1.
std::vector<float> TwoImpulses(size_t frames) {
  std::vector<float> in(frames * 2, 0.0f);
  in[0] = 1.0f;
  in[2 * 100 + 1] = 0.25f;
  return in;
}

// Every sample of `v` is 0 except the listed (index, value) pairs, exactly.
void ExpectSparse(const std::vector<float> &v, const std::vector<std::pair<size_t, float>> &expected) {
  std::vector<float> want(v.size(), 0.0f);
  for (const auto &[index, value] : expected) want[index] = value;
  for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], want[i]) << "at sample " << i;
}

class DelayImpulse : public ::testing::TestWithParam<size_t> {};

// Blocks of any size give the same exact echoes, 441 samples apart and
// halving; each channel echoes only its own input.
TEST_P(DelayImpulse, TenMsAtHalfFeedbackEchoesEvery441Samples) {
  EffectDelay delay = MakeDelay(10, 0.5f, 1.0f, 2);
  const std::vector<float> out = RunBlocks(delay, TwoImpulses(2000), 2, GetParam());
  ExpectSparse(Channel(out, 2, 0), {{0, 1.0f}, {441, 0.5f}, {882, 0.25f}, {1323, 0.125f}, {1764, 0.0625f}});
  ExpectSparse(Channel(out, 2, 1), {{100, 0.25f}, {541, 0.125f}, {982, 0.0625f}, {1423, 0.03125f}, {1864, 0.015625f}});
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, DelayImpulse, ::testing::Values(2000, 512, 441, 64, 1));

TEST(Delay, WetLevelScalesEchoesButNotTheDrySignal) {
  EffectDelay delay = MakeDelay(10, 0.5f, 0.25f, 1);
  std::vector<float> in(1000, 0.0f);
  in[0] = 1.0f;
  ExpectSparse(RunBlocks(delay, in, 1), {{0, 1.0f}, {441, 0.125f}, {882, 0.0625f}});
}

struct DryCase {
  tjs_int32 delayMs;
  float wet;
};

class DelayWithoutFeedback : public ::testing::TestWithParam<DryCase> {};

TEST_P(DelayWithoutFeedback, LeavesTheInputUntouched) {
  EffectDelay delay = MakeDelay(GetParam().delayMs, 0.0f, GetParam().wet, 2);
  const std::vector<float> in = Noise(8192);
  EXPECT_EQ(RunBlocks(delay, in, 2, 333), in);
}

INSTANTIATE_TEST_SUITE_P(Cases, DelayWithoutFeedback,
                         ::testing::Values(DryCase{10, 1.0f}, DryCase{1, 5.0f}, DryCase{300, -2.0f}, DryCase{0, 1.0f}));

TEST(Delay, PositionsMoveByTheFrameCountNotTheSampleCount) {
  EffectDelay delay = MakeDelay(100, 0.5f, 1.0f, 2);
  delay.SetDelayMs(50);
  delay.Setup(kRate, 2);
  const DelayLine &line = delay.LineState();
  ASSERT_EQ(line.Length, 4410u);
  EXPECT_EQ(line.ReadPos, 4410u - 2205u);
  EXPECT_EQ(line.WritePos, 0u);

  std::vector<float> in = Noise(512 * 2), out(in.size());
  delay.Process(out.data(), in.data(), 512, 2);
  EXPECT_EQ(line.ReadPos, 2205u + 512u);
  EXPECT_EQ(line.WritePos, 512u);
  for (int i = 0; i < 4; ++i) delay.Process(out.data(), in.data(), 512, 2);  // wraps past Length
  EXPECT_EQ(line.ReadPos, (2205u + 5u * 512u) % 4410u);
  EXPECT_EQ(line.WritePos, 5u * 512u);
}

TEST(Delay, AShorterDelayKeepsTheLongerLinesAndEchoesAtTheNewDelay) {
  EffectDelay delay = MakeDelay(100, 0.5f, 1.0f, 1);
  delay.SetDelayMs(50);
  delay.Setup(kRate, 1);
  EXPECT_EQ(delay.LineState().Length, 4410u);
  for (const std::vector<float> &line : delay.LineState().Buffers) EXPECT_EQ(line.size(), 4410u);

  std::vector<float> in(10000, 0.0f);
  in[0] = 1.0f;
  ExpectSparse(RunBlocks(delay, in, 1), {{0, 1.0f}, {2205, 0.5f}, {4410, 0.25f}, {6615, 0.125f}, {8820, 0.0625f}});
}

TEST(Delay, ResetDropsTheEchoOfEverythingBeforeItAndKeepsTheDelay) {
  EffectDelay delay = MakeDelay(10, 0.9f, 1.0f, 2);
  std::vector<float> loud = Noise(700 * 2), out(loud.size());
  delay.Process(out.data(), loud.data(), 700, 2);
  delay.Reset();

  std::vector<float> in(3000 * 2, 0.0f);
  in[2 * 100 + 1] = 1.0f;  // an impulse on channel 1 after the reset
  const std::vector<float> after = RunBlocks(delay, in, 2, 256);
  ExpectSparse(Channel(after, 2, 0), {});
  ExpectSparse(Channel(after, 2, 1),
               {{100, 1.0f}, {541, 0.9f}, {982, 0.9f * 0.9f}, {1423, 0.9f * 0.9f * 0.9f},
                {1864, 0.9f * 0.9f * 0.9f * 0.9f}, {2305, 0.9f * 0.9f * 0.9f * 0.9f * 0.9f},
                {2746, 0.9f * 0.9f * 0.9f * 0.9f * 0.9f * 0.9f}});
}

TEST(Delay, DefaultsAndSetters) {
  EffectDelay delay;
  EXPECT_EQ(delay.TailMs(), 1000u);
  EXPECT_EQ(delay.DelayMs(), 0);
  EXPECT_EQ(delay.Feedback(), 0.0f);
  EXPECT_EQ(delay.WetLevel(), 0.0f);
  EXPECT_FALSE(EffectDelay::kForceStereo);
  delay.Init(300, 0.5f, 0.8f);
  delay.SetExtend(2500);
  EXPECT_EQ(delay.DelayMs(), 300);
  EXPECT_EQ(delay.Feedback(), 0.5f);
  EXPECT_EQ(delay.WetLevel(), 0.8f);
  EXPECT_EQ(delay.TailMs(), 2500u);
  EXPECT_EQ(delay.LineState().Length, 0u) << "a new delay waits for Setup";
}

// --- delays a line cannot represent ------------------------------------------

struct SamplesCase {
  tjs_int32 delayMs;
  tjs_uint32 rate;
  tjs_uint64 samples;
};

class DelayInSamples : public ::testing::TestWithParam<SamplesCase> {};

TEST_P(DelayInSamples, IsMillisecondsTimesRateOverAThousandNeverWrapped) {
  EXPECT_EQ(DelayLine::DelayInSamples(GetParam().delayMs, GetParam().rate), GetParam().samples);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelayInSamples,
    ::testing::Values(SamplesCase{10, 44100, 441}, SamplesCase{1, 44100, 44}, SamplesCase{0, 44100, 0},
                      SamplesCase{1, 999, 0},                      // under one sample
                      SamplesCase{-5, 44100, 0},                   // negative counts as 0
                      SamplesCase{std::numeric_limits<tjs_int32>::min(), 44100, 0},
                      SamplesCase{90000, 44100, 3969000},          // 90 s: no cap
                      SamplesCase{97391, 44100, 4294943},          // the largest product below 2^32
                      SamplesCase{100000, 44100, 4410000},         // 4.41e9 in 32 bits would wrap
                      SamplesCase{std::numeric_limits<tjs_int32>::max(), 0xFFFFFFFFu,
                                  tjs_uint64{0x7FFFFFFF} * 0xFFFFFFFFu / 1000}));

class DelayUnderOneSample : public ::testing::TestWithParam<tjs_int32> {};

// No echo at all: the dry signal, and no line is allocated.
TEST_P(DelayUnderOneSample, PassesTheInputDryAndAllocatesNothing) {
  EffectDelay delay = MakeDelay(GetParam(), 0.5f, 1.0f, 2, 999);
  EXPECT_EQ(delay.LineState().Length, 0u);
  EXPECT_TRUE(delay.LineState().Buffers.empty());
  const std::vector<float> in = Noise(4096);
  EXPECT_EQ(RunBlocks(delay, in, 2, 500), in);
  delay.Reset();
  EXPECT_EQ(RunBlocks(delay, in, 2, 500), in);
}

INSTANTIATE_TEST_SUITE_P(Delays, DelayUnderOneSample,
                         ::testing::Values(0, 1, -1, -300, std::numeric_limits<tjs_int32>::min()));

TEST(Delay, UnderOneSampleAfterALongerDelayIsDryAndKeepsTheLinesForLater) {
  EffectDelay delay = MakeDelay(100, 0.5f, 1.0f, 1);
  delay.SetDelayMs(0);
  delay.Setup(kRate, 1);
  EXPECT_EQ(delay.LineState().Length, 4410u);
  const std::vector<float> in = Noise(10000, 1.0f, 3);
  EXPECT_EQ(RunBlocks(delay, in, 1), in);

  delay.SetDelayMs(10);
  delay.Setup(kRate, 1);
  std::vector<float> impulse(1000, 0.0f);
  impulse[0] = 1.0f;
  ExpectSparse(RunBlocks(delay, impulse, 1), {{0, 1.0f}, {441, 0.5f}, {882, 0.25f}});
}

// 90 s at 44100 Hz is 3 969 000 samples: the echo comes exactly that late.
TEST(Delay, ALongDelayIsHonouredInFull) {
  EffectDelay delay = MakeDelay(90000, 0.5f, 1.0f, 1);
  ASSERT_EQ(delay.LineState().Length, 3969000u);
  std::vector<float> in(3969000 + 10, 0.0f);
  in[3] = 1.0f;
  ExpectSparse(RunBlocks(delay, in, 1, 16384), {{3, 1.0f}, {3 + 3969000, 0.5f}});
}

// Lines beyond what a 32-bit process could hold are refused with
// std::bad_alloc, and the effect stays exactly as it was: its earlier lines,
// positions and echo.
TEST(Delay, LinesThatCannotBeHadAreRefusedAndChangeNothing) {
  EffectDelay delay = MakeDelay(10, 0.5f, 1.0f, 2);
  std::vector<float> impulse(2000, 0.0f);
  impulse[0] = 1.0f;
  RunBlocks(delay, std::vector<float>(2 * 100, 0.0f), 2);  // positions moved
  const DelayLine before = delay.LineState();
  struct Case {
    tjs_int32 delayMs;
    tjs_uint32 rate, channels;
  };
  for (const Case c : {Case{std::numeric_limits<tjs_int32>::max(), 44100, 1},  // 9.5e10 samples
                       Case{6087000, 44100, 2},  // two lines of 268 436 700 samples: just over 2 GiB
                       Case{1000, 0xFFFFFFFFu, 1}}) {
    SCOPED_TRACE(std::to_string(c.delayMs) + " ms at " + std::to_string(c.rate));
    delay.SetDelayMs(c.delayMs);
    EXPECT_THROW(delay.Setup(c.rate, c.channels), std::bad_alloc);
    EXPECT_EQ(delay.LineState().Length, before.Length);
    EXPECT_EQ(delay.LineState().Buffers.size(), 2u);
    EXPECT_EQ(delay.LineState().ReadPos, before.ReadPos);
    EXPECT_EQ(delay.LineState().WritePos, before.WritePos);
    EXPECT_EQ(delay.LineState().DelaySamples, 441u);
  }
  std::vector<float> stereo(2 * 1000, 0.0f);
  stereo[0] = 1.0f;
  ExpectSparse(Channel(RunBlocks(delay, stereo, 2), 2, 0), {{0, 1.0f}, {441, 0.5f}, {882, 0.25f}});
}

TEST(Delay, ChannelsWithoutALinePassThroughDry) {
  EffectDelay delay = MakeDelay(10, 0.5f, 1.0f, 1);
  std::vector<float> in = TwoImpulses(1000);
  const std::vector<float> noise = Noise(1000, 1.0f, 8);
  for (size_t j = 0; j < 1000; ++j) in[2 * j + 1] = noise[j];
  const std::vector<float> out = RunBlocks(delay, in, 2);
  ExpectSparse(Channel(out, 2, 0), {{0, 1.0f}, {441, 0.5f}, {882, 0.25f}});
  EXPECT_EQ(Channel(out, 2, 1), noise);
}

// With no flush-to-zero mode set, a slowly decaying echo reaches exact
// silence: nothing subnormal circulates in the lines.
TEST(Delay, ADecayingEchoEndsInExactZerosWithoutSubnormals) {
  EffectDelay delay = MakeDelay(1, 0.9f, 1.0f, 1);
  std::vector<float> in(200000, 0.0f);
  in[0] = 1.0f;
  const std::vector<float> out = RunBlocks(delay, in, 1);
  for (float s : out) ASSERT_NE(std::fpclassify(s), FP_SUBNORMAL);
  for (size_t i = out.size() - 1000; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f);
  for (float s : delay.LineState().Buffers[0]) ASSERT_EQ(s, 0.0f);
}

}  // namespace
