// StkFreeVerb through the loaded plug-in: its output against stk::FreeVerb
// fed the same frames, the six properties, the constructor, ResetState.
#include <gtest/gtest.h>

#include <stk/FreeVerb.h>

#include <functional>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

constexpr tjs_uint32 kRate = 44100;
constexpr tjs_uint32 kMsRate = 1000;  // one frame per millisecond

// stk::FreeVerb fed `frames` stereo frames: `in` (interleaved, `channels`
// per frame; mono goes to both inputs), then silence.
std::vector<float> StkReverb(const std::vector<float> &in, tjs_uint32 channels, size_t frames,
                             const std::function<void(stk::FreeVerb &)> &setup) {
  stk::FreeVerb verb;
  setup(verb);
  const size_t inFrames = in.size() / channels;
  std::vector<float> out(2 * frames);
  for (size_t j = 0; j < frames; ++j) {
    const float left = j < inFrames ? in[j * channels] : 0.0f;
    const float right = j < inFrames ? in[j * channels + channels - 1] : 0.0f;
    out[2 * j] = static_cast<float>(verb.tick(left, right, 0));
    out[2 * j + 1] = static_cast<float>(verb.lastFrame()[1]);
  }
  return out;
}

class ReverbScriptTest : public SonafilterTest {
 protected:
  void SetUp() override { Start(); }
  ObjectRef Reverb(const Arguments &args = {}) { return New(u"StkFreeVerb", args); }
  double RealOf(iTJSDispatch2 *reverb, const std::u16string &name) {
    const tTJSVariant value = Get(reverb, name);
    EXPECT_EQ(standin::TypeOf(value), tvtReal) << standin::Utf8(name);
    return value.AsReal();
  }
  tTVInteger IntegerOf(iTJSDispatch2 *reverb, const std::u16string &name) {
    const tTJSVariant value = Get(reverb, name);
    EXPECT_EQ(standin::TypeOf(value), tvtInteger) << standin::Utf8(name);
    return value.AsInteger();
  }
  // Frames reported for 10 frames of input at 1000 Hz: 10 + the tail in ms.
  tjs_uint64 FramesPlayed(iTJSDispatch2 *reverb) {
    standin::MemorySource source = standin::MemorySource::OfFloats(kMsRate, 2, std::vector<float>(20, 0.25f));
    return Play(source, {reverb}, 256).Frames();
  }
};

// Property writes, and the same settings made on stk::FreeVerb directly.
struct SoundCase {
  const char *Name;
  std::vector<std::pair<std::u16string, double>> Writes;
  std::function<void(stk::FreeVerb &)> Stk;
  tjs_uint32 Channels;
};
void PrintTo(const SoundCase &c, std::ostream *os) { *os << c.Name; }

class ReverbSoundTest : public ReverbScriptTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(ReverbSoundTest, EqualsStkFedTheSameFramesSampleForSample) {
  const SoundCase &c = GetParam();
  ObjectRef reverb = Reverb();
  for (const auto &write : c.Writes) Set(reverb.Get(), write.first, Real(write.second));
  const std::vector<float> in = effects_test::Noise(c.Channels * 6000, 0.7f, 11);

  const std::vector<float> out = Render(kRate, c.Channels, in, {reverb.Get()});

  ASSERT_EQ(out.size(), 2 * (6000 + kRate)) << "stereo, with the default tail of 1000 ms";
  EXPECT_EQ(out, StkReverb(in, c.Channels, 6000 + kRate, c.Stk));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ReverbSoundTest,
    ::testing::Values(
        SoundCase{"Defaults", {}, [](stk::FreeVerb &) {}, 2},
        SoundCase{"AllSet",
                  {{u"effectMix", 0.5}, {u"roomSize", 0.6}, {u"damping", 0.3}, {u"width", 0.8}},
                  [](stk::FreeVerb &v) {
                    v.setEffectMix(0.5);
                    v.setRoomSize(0.6);
                    v.setDamping(0.3);
                    v.setWidth(0.8);
                  },
                  2},
        SoundCase{"MonoGivesStereo", {}, [](stk::FreeVerb &) {}, 1},
        SoundCase{"MixAboveOneRunsFullyWet", {{u"effectMix", 1.5}}, [](stk::FreeVerb &v) { v.setEffectMix(1.0); },
                  2},
        SoundCase{"MixBelowZeroRunsFullyDry", {{u"effectMix", -0.5}}, [](stk::FreeVerb &v) { v.setEffectMix(0.0); },
                  2},
        SoundCase{"Frozen", {{u"mode", 1.0}}, [](stk::FreeVerb &v) { v.setMode(true); }, 2}),
    CaseName());

TEST_F(ReverbScriptTest, MixZeroGivesTheInputItself) {
  ObjectRef reverb = Reverb();
  Set(reverb.Get(), u"effectMix", Real(0.0));
  const std::vector<float> in = effects_test::Noise(2 * 4000, 0.7f, 13);
  const std::vector<float> out = Render(kRate, 2, in, {reverb.Get()});
  EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + in.size()), in);
}

TEST_F(ReverbScriptTest, DefaultsReadBackAsStkReportsThem) {
  ObjectRef reverb = Reverb();
  stk::FreeVerb fresh;
  EXPECT_EQ(RealOf(reverb.Get(), u"effectMix"), 0.75);
  EXPECT_EQ(RealOf(reverb.Get(), u"roomSize"), fresh.getRoomSize());
  EXPECT_EQ(RealOf(reverb.Get(), u"damping"), fresh.getDamping());
  EXPECT_EQ(RealOf(reverb.Get(), u"width"), fresh.getWidth());
  EXPECT_NEAR(RealOf(reverb.Get(), u"roomSize"), 0.75, 1e-12);
  EXPECT_NEAR(RealOf(reverb.Get(), u"damping"), 0.25, 1e-12);
  EXPECT_NEAR(RealOf(reverb.Get(), u"width"), 1.0, 1e-12);
  EXPECT_EQ(IntegerOf(reverb.Get(), u"mode"), 0);
  EXPECT_EQ(IntegerOf(reverb.Get(), u"extend"), 1000);
}

TEST_F(ReverbScriptTest, MixReadsBackAsAssigned) {
  ObjectRef reverb = Reverb();
  for (double mix : {1.5, -0.5, 0.0, 0.3}) {
    Set(reverb.Get(), u"effectMix", Real(mix));
    EXPECT_EQ(RealOf(reverb.Get(), u"effectMix"), mix);
  }
}

TEST_F(ReverbScriptTest, ParametersReadBackAsStkReportsThem) {
  ObjectRef reverb = Reverb();
  stk::FreeVerb expected;
  Set(reverb.Get(), u"roomSize", Real(0.6));
  expected.setRoomSize(0.6);
  Set(reverb.Get(), u"damping", VariantOf("0.3"));  // any number-like value
  expected.setDamping(0.3);
  Set(reverb.Get(), u"width", Integer(0));
  expected.setWidth(0.0);
  EXPECT_EQ(RealOf(reverb.Get(), u"roomSize"), expected.getRoomSize());
  EXPECT_EQ(RealOf(reverb.Get(), u"damping"), expected.getDamping());
  EXPECT_EQ(RealOf(reverb.Get(), u"width"), expected.getWidth());
}

TEST_F(ReverbScriptTest, ModeIsWrittenAsATruthValueAndReadAsZeroOrOne) {
  ObjectRef reverb = Reverb();
  const std::pair<tTJSVariant, tTVInteger> cases[] = {
      {VariantOf(true), 1}, {VariantOf(false), 0}, {Integer(3), 1}, {Integer(0), 0}, {VariantOf("x"), 1}};
  for (const auto &c : cases) {
    Set(reverb.Get(), u"mode", c.first);
    EXPECT_EQ(IntegerOf(reverb.Get(), u"mode"), c.second) << standin::ToUtf8(c.first);
  }
}

TEST_F(ReverbScriptTest, ExtendKeepsTheLowThirtyTwoBitsAndReadsBackNonNegative) {
  ObjectRef reverb = Reverb();
  Set(reverb.Get(), u"extend", Integer(-1));
  EXPECT_EQ(IntegerOf(reverb.Get(), u"extend"), 4294967295);
  Set(reverb.Get(), u"extend", Integer((tTVInteger{1} << 32) + 2500));
  EXPECT_EQ(IntegerOf(reverb.Get(), u"extend"), 2500);
}

TEST_F(ReverbScriptTest, ExtendIsHandedToTheSourceAtTheNextAttach) {
  ObjectRef reverb = Reverb();
  standin::MemorySource source = standin::MemorySource::OfFloats(kMsRate, 2, std::vector<float>(20, 0.25f));
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(Interface(reverb.Get()));
  buffer.Attach();
  Set(reverb.Get(), u"extend", Integer(2500));
  while (buffer.PullBlock(256) == 256) {
  }
  buffer.Detach();
  EXPECT_EQ(buffer.Played().Frames(), 10u + 1000u) << "an attached filter keeps its tail";
  EXPECT_EQ(FramesPlayed(reverb.Get()), 10u + 2500u);
}

TEST_F(ReverbScriptTest, ResetStateSilencesTheTail) {
  ObjectRef reverb = Reverb();
  standin::MemorySource source =
      standin::MemorySource::OfFloats(kRate, 2, effects_test::Noise(2 * 4096, 0.8f, 17));
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(Interface(reverb.Get()));
  buffer.Attach();
  buffer.PullBlock(8192);  // the input and the start of its tail
  const std::vector<float> tail = buffer.Played().Floats();
  ASSERT_NE(tail.back(), 0.0f) << "the tail sounds before the reset";
  buffer.ResetState();
  buffer.PullBlock(4096);
  buffer.Detach();
  const std::vector<float> all = buffer.Played().Floats();
  ASSERT_EQ(all.size(), tail.size() + 2 * 4096);
  EXPECT_EQ(std::vector<float>(all.begin() + tail.size(), all.end()), std::vector<float>(2 * 4096, 0.0f));
}

TEST_F(ReverbScriptTest, ConstructorArgumentsAreMixAndRoomSizeFirst) {
  ObjectRef reverb = Reverb({Real(0.3), Real(0.9)});
  stk::FreeVerb expected;
  expected.setRoomSize(0.9);
  EXPECT_EQ(RealOf(reverb.Get(), u"effectMix"), 0.3);
  EXPECT_EQ(RealOf(reverb.Get(), u"roomSize"), expected.getRoomSize());
  EXPECT_EQ(RealOf(reverb.Get(), u"damping"), expected.getDamping());
  EXPECT_EQ(RealOf(reverb.Get(), u"width"), expected.getWidth());
  EXPECT_EQ(IntegerOf(reverb.Get(), u"mode"), 0);
  EXPECT_EQ(IntegerOf(reverb.Get(), u"extend"), 1000);
}

TEST_F(ReverbScriptTest, ConstructorTakesSixArgumentsAndIgnoresMore) {
  ObjectRef reverb = Reverb({Real(0.2), Real(0.5), Real(0.6), Real(0.7), VariantOf(true), Integer(300), Integer(9)});
  stk::FreeVerb expected;
  expected.setRoomSize(0.5);
  expected.setDamping(0.6);
  expected.setWidth(0.7);
  EXPECT_EQ(RealOf(reverb.Get(), u"effectMix"), 0.2);
  EXPECT_EQ(RealOf(reverb.Get(), u"roomSize"), expected.getRoomSize());
  EXPECT_EQ(RealOf(reverb.Get(), u"damping"), expected.getDamping());
  EXPECT_EQ(RealOf(reverb.Get(), u"width"), expected.getWidth());
  EXPECT_EQ(IntegerOf(reverb.Get(), u"mode"), 1);
  EXPECT_EQ(IntegerOf(reverb.Get(), u"extend"), 300);
}

}  // namespace
