// The loaded plug-in against values a script can pass beyond any useful
// range, and against streams that carry samples a float can hold but no
// sound should: the sound handed to the engine stays finite; delays are
// honoured in full or refused with an engine error when the filter is
// attached.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;
using testing_support::EngineErrorOf;

constexpr char kOutOfMemory[] = "Not enough memory for the effect at this format.";

bool AllFinite(const std::vector<float> &v) {
  for (float s : v)
    if (!std::isfinite(s)) return false;
  return true;
}

class ExtremeValuesTest : public SonafilterTest {
 protected:
  void SetUp() override { Start(); }
};

struct ScriptCase {
  std::string Name;
  std::u16string Class;
  Arguments ConstructorArguments;
  std::vector<std::pair<std::u16string, tTJSVariant>> Writes;
};
void PrintTo(const ScriptCase &c, std::ostream *os) { *os << c.Name; }

class ExtremeParameters : public ExtremeValuesTest, public ::testing::WithParamInterface<ScriptCase> {};

// Two seconds of noise and then a tail of 20 to 40 s through the effect:
// every sample the engine receives is finite (a runaway reverb overflowed
// within that).
TEST_P(ExtremeParameters, GiveFiniteSound) {
  const ScriptCase &c = GetParam();
  ObjectRef effect = New(c.Class, c.ConstructorArguments);
  for (const auto &[member, value] : c.Writes) Set(effect.Get(), member, value);
  const std::vector<float> noise = effects_test::Noise(2 * 8000, 0.9f, 3);
  const std::vector<float> played = Render(8000, 2, noise, {effect.Get()});
  ASSERT_GE(played.size(), noise.size());
  EXPECT_TRUE(AllFinite(played));
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtremeParameters,
    ::testing::Values(
        ScriptCase{"FeedbackBeyondTheFloatRange", u"DelayEffect", {Integer(300), Real(1e39), Real(0.8), Integer(20000)}, {}},
        ScriptCase{"WetLevelOfADoubleMaximum", u"DelayEffect", {Integer(300), Real(0.5), Real(1e308), Integer(20000)}, {}},
        ScriptCase{"NotANumberLevels", u"DelayEffect", {Integer(300), Real(kNaN), Real(kNaN), Integer(20000)}, {}},
        ScriptCase{"ReverbMixNotANumber", u"StkFreeVerb", {VariantOf(u"nan")}, {{u"extend", Integer(20000)}}},
        ScriptCase{"ReverbEveryParameterNotANumber",
                   u"StkFreeVerb",
                   {Real(kNaN), Real(kNaN), Real(kNaN), Real(kNaN)},
                   {{u"roomSize", Real(kNaN)}, {u"damping", Real(kNaN)}, {u"width", Real(kNaN)},
                    {u"effectMix", Real(kNaN)}, {u"extend", Integer(20000)}}},
        ScriptCase{"ReverbWidthOfADoubleMaximum",
                   u"StkFreeVerb",
                   {Real(0.75), Real(0.75), Real(0.25), Real(1e308)},
                   {{u"extend", Integer(20000)}}},
        ScriptCase{"ReverbRoomAboveTheLimit", u"StkFreeVerb", {Real(0.75), Real(3.0)}, {{u"extend", Integer(40000)}}},
        ScriptCase{"ReverbNegativeDamping", u"StkFreeVerb", {Real(1.0), Real(1.0), Real(-1.0)}, {{u"extend", Integer(20000)}}},
        ScriptCase{"EqualizerGainsBeyondTheFloatRange",
                   u"GraphicEqualizer",
                   {Real(1e39), Real(-1e39), Real(1e300), Real(kNaN), Real(1e-300), Real(3e38)},
                   {}}),
    CaseName());

// A NaN reverb parameter is ignored: the parameter reads back as before.
TEST_F(ExtremeValuesTest, AReverbParameterWrittenAsNotANumberKeepsItsValue) {
  ObjectRef verb = New(u"StkFreeVerb", {Real(0.3), Real(0.9)});
  Set(verb.Get(), u"effectMix", Real(kNaN));
  Set(verb.Get(), u"roomSize", Real(kNaN));
  EXPECT_EQ(Get(verb.Get(), u"effectMix").AsReal(), 0.3);
  EXPECT_NEAR(Get(verb.Get(), u"roomSize").AsReal(), 0.9, 1e-12);
}

// One NaN or infinity in a float stream: the engine hears exactly what a 0
// there would have given, through each effect.
TEST_F(ExtremeValuesTest, ANonFiniteSampleInAFloatStreamIsHeardAsSilence) {
  std::vector<float> clean = effects_test::Noise(2 * 4000, 0.8f, 4);
  std::vector<float> spoiled = clean;
  spoiled[777] = std::numeric_limits<float>::quiet_NaN();
  spoiled[2001] = std::numeric_limits<float>::infinity();
  clean[777] = 0.0f;
  clean[2001] = 0.0f;
  for (const char16_t *cls : {u"DelayEffect", u"GraphicEqualizer", u"StkFreeVerb"}) {
    SCOPED_TRACE(standin::Utf8(cls));
    ObjectRef a = New(cls, {Integer(10), Real(0.5), Real(0.7)});
    ObjectRef b = New(cls, {Integer(10), Real(0.5), Real(0.7)});
    EXPECT_EQ(Render(44100, 2, spoiled, {a.Get()}), Render(44100, 2, clean, {b.Get()}));
  }
}

// --- delays -------------------------------------------------------------------------------------

// 90 s at 44100 Hz: the echo comes 3 969 000 samples late, not shortened.
TEST_F(ExtremeValuesTest, ANinetySecondDelayIsHeardNinetySecondsLate) {
  ObjectRef delay = New(u"DelayEffect", {Integer(90000), Real(0.5), Real(1.0), Integer(90001)});
  const std::vector<float> played = Render(44100, 1, {1.0f}, {delay.Get()}, 16384);
  ASSERT_GE(played.size(), 3969001u);
  EXPECT_EQ(played[0], 1.0f);
  EXPECT_EQ(played[3969000], 0.5f);
  size_t nonZero = 0;
  for (float s : played) nonZero += s != 0.0f;
  EXPECT_EQ(nonZero, 2u);
}

// Lines that cannot be had raise an engine error from AttachSource; the
// filter is left detached, so it can be attached again once the delay fits.
TEST_F(ExtremeValuesTest, ADelayWhoseLinesCannotBeHadIsRefusedWhenAttached) {
  ObjectRef delay = New(u"DelayEffect", {Integer(std::numeric_limits<tjs_int32>::max()), Real(0.5), Real(1.0)});
  standin::MemorySource source = standin::MemorySource::OfFloats(44100, 2, effects_test::Noise(2 * 100));
  EXPECT_EQ(EngineErrorOf([&] { Play(source, {delay.Get()}); }), kOutOfMemory);

  Call(delay.Get(), u"init", {Integer(10), Real(0.5), Real(1.0)});
  std::vector<float> impulse(2 * 1000, 0.0f);
  impulse[0] = 1.0f;
  const std::vector<float> played = Render(44100, 2, impulse, {delay.Get()});
  EXPECT_EQ(played[2 * 441], 0.5f);
}

}  // namespace
