// DelayEffect through the loaded plug-in: echoes sample-exact, init's
// argument counts and conversion order, the constructor, ResetState.
#include <gtest/gtest.h>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;
using testing_support::EngineErrorOf;

constexpr tjs_uint32 kMsRate = 1000;  // one sample per millisecond

// What a delay does, read from its response to one impulse at 1000 Hz: the
// first echo lies DelayMs samples after the impulse with the level
// Feedback x WetLevel, the second one Feedback times lower; every frame after
// the one-frame input is the tail.
struct Heard {
  tjs_uint32 DelayMs = 0;
  float Feedback = 0.0f;
  float WetLevel = 0.0f;
  tjs_uint64 TailMs = 0;
  bool operator==(const Heard &o) const {
    return DelayMs == o.DelayMs && Feedback == o.Feedback && WetLevel == o.WetLevel && TailMs == o.TailMs;
  }
};

void PrintTo(const Heard &h, std::ostream *os) {
  *os << "{delay " << h.DelayMs << " ms, feedback " << h.Feedback << ", wet " << h.WetLevel << ", tail "
      << h.TailMs << " ms}";
}

class DelayScriptTest : public SonafilterTest {
 protected:
  void SetUp() override { Start(); }
  ObjectRef Delay(const Arguments &args = {}) { return New(u"DelayEffect", args); }

  Heard Listen(iTJSDispatch2 *delay) {
    standin::MemorySource source = standin::MemorySource::OfFloats(kMsRate, 1, {1.0f});
    standin::PlayedSound played = Play(source, {delay}, 64);
    const std::vector<float> out = played.Floats();
    Heard heard;
    heard.TailMs = played.Frames() - 1;
    size_t first = 1;
    while (first < out.size() && out[first] == 0.0f) ++first;
    if (first >= out.size() || 2 * first >= out.size()) return heard;
    heard.DelayMs = static_cast<tjs_uint32>(first);
    heard.Feedback = out[2 * first] / out[first];
    heard.WetLevel = out[first] / heard.Feedback;
    return heard;
  }
};

TEST_F(DelayScriptTest, TenMillisecondsEchoOnlyTheChannelThatSounded) {
  ObjectRef delay = Delay({Integer(10), Real(0.5), Real(1.0)});
  const size_t frames = 1400;
  const std::vector<float> in = Impulses(2 * frames, {0});  // frame 0, left channel

  for (tjs_uint32 block : {512u, 1400u}) {
    const std::vector<float> out = Render(44100, 2, in, {delay.Get()}, block);
    ASSERT_GE(out.size(), 2 * frames);
    std::vector<float> expectedLeft(frames, 0.0f);
    expectedLeft[0] = 1.0f;
    expectedLeft[441] = 0.5f;
    expectedLeft[882] = 0.25f;
    expectedLeft[1323] = 0.125f;
    const std::vector<float> left = effects_test::Channel(out, 2, 0);
    const std::vector<float> right = effects_test::Channel(out, 2, 1);
    EXPECT_EQ(std::vector<float>(left.begin(), left.begin() + frames), expectedLeft) << "blocks of " << block;
    EXPECT_EQ(std::vector<float>(right.begin(), right.begin() + frames), std::vector<float>(frames, 0.0f));
  }
}

TEST_F(DelayScriptTest, FeedbackZeroLeavesTheInputUntouched) {
  ObjectRef delay = Delay({Integer(7), Real(0.0), Real(0.9), Integer(1)});
  const std::vector<float> in = effects_test::Noise(2 * 4000, 0.8f, 3);
  const std::vector<float> out = Render(44100, 2, in, {delay.Get()});
  ASSERT_GE(out.size(), in.size());
  EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + in.size()), in);
}

TEST_F(DelayScriptTest, ANewDelayIsHeardAtTheNextAttachWhileTheLinesKeepTheirLength) {
  ObjectRef delay = Delay({Integer(100), Real(0.5), Real(1.0), Integer(300)});
  EXPECT_EQ(Listen(delay.Get()).DelayMs, 100u);
  Call(delay.Get(), u"init", {Integer(50), Real(0.5), Real(1.0)});
  EXPECT_EQ(Listen(delay.Get()).DelayMs, 50u);
}

TEST_F(DelayScriptTest, ResetStateDropsTheEchoAndKeepsTheDelay) {
  ObjectRef delay = Delay({Integer(100), Real(0.5), Real(1.0), Integer(1)});
  standin::MemorySource source = standin::MemorySource::OfFloats(kMsRate, 1, Impulses(400, {0, 260}));
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(Interface(delay.Get()));
  buffer.Attach();
  buffer.PullBlock(50);  // the impulse at 0 is in the line now
  buffer.ResetState();
  buffer.PullBlock(350);
  buffer.Detach();
  std::vector<float> expected = Impulses(400, {0, 260});
  expected[360] = 0.5f;  // only the impulse after the reset echoes, 100 ms later
  EXPECT_EQ(buffer.Played().Floats(), expected);
}

TEST_F(DelayScriptTest, InitClearsTheResultAndAnswersZero) {
  ObjectRef delay = Delay();
  tTJSVariant result = Integer(5);
  EXPECT_EQ(standin::ScriptCall(delay.Get(), u"init", {Integer(10), Real(0.5), Real(0.5)}, &result), TJS_S_OK);
  EXPECT_EQ(standin::TypeOf(result), tvtVoid);
}

// init on a delay made with (10, 0.5, 0.8): what is heard afterwards.
struct InitCase {
  const char *Name;
  std::vector<tTJSVariant> Arguments;
  const char *Error;  // the engine error init raises, "" for none
  tjs_uint32 DelayMs;
  float Feedback;
  float WetLevel;
  tjs_uint64 TailMs;
};
void PrintTo(const InitCase &c, std::ostream *os) { *os << c.Name; }

class DelayInitTest : public DelayScriptTest, public ::testing::WithParamInterface<InitCase> {};

constexpr char kNotANumber[] = "Cannot convert the value to a number";

TEST_P(DelayInitTest, AppliesAllOrNothingOfTheFirstThreeThenTheTail) {
  const InitCase &c = GetParam();
  ObjectRef delay = Delay({Integer(10), Real(0.5), Real(0.8)});
  EXPECT_EQ(EngineErrorOf([&] { standin::ScriptCall(delay.Get(), u"init", c.Arguments); }), c.Error);
  const Heard expected{c.DelayMs, c.Feedback, c.WetLevel, c.TailMs};
  EXPECT_EQ(Listen(delay.Get()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, DelayInitTest,
    ::testing::Values(
        InitCase{"None", {}, "", 10, 0.5f, 0.8f, 1000},
        InitCase{"TwoChangeNothing", {Integer(20), Real(0.25)}, "", 10, 0.5f, 0.8f, 1000},
        InitCase{"Three", {Integer(20), Real(0.25), Real(0.5)}, "", 20, 0.25f, 0.5f, 1000},
        InitCase{"FourSetTheTail", {Integer(20), Real(0.25), Real(0.5), Integer(300)}, "", 20, 0.25f, 0.5f, 300},
        InitCase{"FirstFails", {ObjectValue(), Real(0.25), Real(0.5), Integer(30)}, kNotANumber, 10, 0.5f, 0.8f,
                 1000},
        InitCase{"SecondFails", {Integer(20), ObjectValue(), Real(0.5)}, kNotANumber, 10, 0.5f, 0.8f, 1000},
        InitCase{"ThirdFails", {Integer(20), Real(0.25), ObjectValue()}, kNotANumber, 10, 0.5f, 0.8f, 1000},
        InitCase{"FourthFailsAfterTheFirstThree", {Integer(20), Real(0.25), Real(0.5), ObjectValue()},
                 kNotANumber, 20, 0.25f, 0.5f, 1000}),
    CaseName());

TEST_F(DelayScriptTest, ConstructorArgumentsActAsInit) {
  ObjectRef constructed = Delay({Integer(300), Real(0.5), Real(0.8)});
  ObjectRef initialised = Delay();
  Call(initialised.Get(), u"init", {Integer(300), Real(0.5), Real(0.8)});
  const std::vector<float> in = effects_test::Noise(1200, 0.5f, 7);

  const std::vector<float> a = Render(kMsRate, 1, in, {constructed.Get()});
  const std::vector<float> b = Render(kMsRate, 1, in, {initialised.Get()});
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.size(), in.size() + 1000) << "the default tail of 1000 ms";
  EXPECT_EQ(a[300], in[300] + 0.8f * (in[0] * 0.5f)) << "the first echo, 300 ms late";
}

TEST_F(DelayScriptTest, AConstructorArgumentThatCannotBeConvertedMakesNoObject) {
  ObjectRef object;
  EXPECT_EQ(EngineErrorOf([&] {
              standin::ScriptNew(ClassObject(u"DelayEffect"), {Integer(10), ObjectValue(), Real(0.5)}, object);
            }),
            kNotANumber);
  EXPECT_FALSE(object);
}

}  // namespace
