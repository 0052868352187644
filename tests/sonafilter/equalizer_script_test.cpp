// GraphicEqualizer through the loaded plug-in: flat at unity, the 1000 Hz
// band, gains heard from the next attach on, index checks, the constructor,
// argument counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

constexpr tjs_uint32 kRate = 44100;

class EqualizerScriptTest : public SonafilterTest {
 protected:
  void SetUp() override { Start(); }

  ObjectRef Equalizer(const Arguments &args = {}) { return New(u"GraphicEqualizer", args); }
  tTJSVariant GainOf(iTJSDispatch2 *eq, tTVInteger band) { return Call(eq, u"getGain", {Integer(band)}); }
  std::vector<double> Gains(iTJSDispatch2 *eq) {
    std::vector<double> gains;
    for (tTVInteger band = 0; band < 10; ++band) gains.push_back(GainOf(eq, band).AsReal());
    return gains;
  }

  // Output over input amplitude of a steady mono sine, over its last 100 ms.
  double SteadyGain(iTJSDispatch2 *eq, double frequency) {
    const std::vector<float> in = effects_test::Sine(kRate / 2, frequency, kRate, 0.25f);
    const std::vector<float> out = Render(kRate, 1, in, {eq});
    const size_t from = in.size() - kRate / 10;
    return effects_test::Rms(out, from, in.size()) / effects_test::Rms(in, from, in.size());
  }
};

double Decibels(double gain) { return 20.0 * std::log10(gain); }

TEST_F(EqualizerScriptTest, UnityGainsGiveTheInputSampleForSample) {
  ObjectRef eq = Equalizer();
  const std::vector<float> in = effects_test::Noise(2 * 8192, 0.9f, 5);
  EXPECT_EQ(Render(kRate, 2, in, {eq.Get()}), in);
}

TEST_F(EqualizerScriptTest, TheThousandHertzBandDoublesItsCentreOnly) {
  ObjectRef eq = Equalizer();
  Call(eq.Get(), u"setGain", {Integer(5), Real(2.0)});
  EXPECT_NEAR(SteadyGain(eq.Get(), 1000.0), 2.0, 0.01);
  EXPECT_NEAR(Decibels(SteadyGain(eq.Get(), 250.0)), 0.0, 0.5);
  EXPECT_NEAR(Decibels(SteadyGain(eq.Get(), 4000.0)), 0.0, 0.5);
  const std::vector<float> dc = Render(kRate, 1, std::vector<float>(kRate / 2, 0.5f), {eq.Get()});
  EXPECT_NEAR(dc.back(), 0.5f, 1e-5) << "a constant signal comes out unchanged";
}

TEST_F(EqualizerScriptTest, AGainIsStoredAtOnceAndHeardFromTheNextAttach) {
  ObjectRef eq = Equalizer();
  const std::vector<float> sine = effects_test::Sine(4096, 1000.0, kRate, 0.25f);
  standin::MemorySource source = standin::MemorySource::OfFloats(kRate, 1, sine);
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(Interface(eq.Get()));
  buffer.Attach();
  buffer.PullBlock(2048);
  Call(eq.Get(), u"setGain", {Integer(5), Real(2.0)});
  EXPECT_EQ(GainOf(eq.Get(), 5).AsReal(), 2.0) << "read back at once";
  buffer.PullBlock(2048);
  buffer.Detach();
  EXPECT_EQ(buffer.Played().Floats(), sine) << "not heard while attached";

  EXPECT_NEAR(SteadyGain(eq.Get(), 1000.0), 2.0, 0.01) << "heard after the next attach";
}

TEST_F(EqualizerScriptTest, SetGainClearsTheResultAndGetGainAnswersAReal) {
  ObjectRef eq = Equalizer();
  tTJSVariant result = Integer(7);
  EXPECT_EQ(standin::ScriptCall(eq.Get(), u"setGain", {Integer(3), Real(0.5)}, &result), TJS_S_OK);
  EXPECT_EQ(standin::TypeOf(result), tvtVoid);
  const tTJSVariant gain = GainOf(eq.Get(), 3);
  EXPECT_EQ(standin::TypeOf(gain), tvtReal);
  EXPECT_EQ(gain.AsReal(), 0.5);
}

TEST_F(EqualizerScriptTest, IndicesOutsideTheBandsAreIgnoredAndReadAsZero) {
  ObjectRef eq = Equalizer();
  for (tTVInteger index : {tTVInteger{10}, tTVInteger{-1}}) {
    Call(eq.Get(), u"setGain", {Integer(index), Real(3.0)});
    EXPECT_EQ(GainOf(eq.Get(), index).AsReal(), 0.0) << index;
  }
  EXPECT_EQ(Gains(eq.Get()), std::vector<double>(10, 1.0));
  // The index goes through the engine's integer conversion, which keeps the
  // low 32 bits: 2^32 + 3 is band 3.
  Call(eq.Get(), u"setGain", {Integer(tTVInteger{1} << 32 | 3), Real(3.0)});
  EXPECT_EQ(GainOf(eq.Get(), 3).AsReal(), 3.0);
}

TEST_F(EqualizerScriptTest, GainsAreConvertedFromAnyNumberLikeValue) {
  ObjectRef eq = Equalizer();
  Call(eq.Get(), u"setGain", {VariantOf("2"), VariantOf("0.25")});
  EXPECT_EQ(GainOf(eq.Get(), 2).AsReal(), 0.25);
}

struct ConstructorCase {
  const char *Name;
  std::vector<double> Arguments;
  std::vector<double> Gains;
};
void PrintTo(const ConstructorCase &c, std::ostream *os) { *os << c.Name; }

class EqualizerConstructorTest : public EqualizerScriptTest, public ::testing::WithParamInterface<ConstructorCase> {};

TEST_P(EqualizerConstructorTest, StoresTheFirstTenGainsFromBandZeroUp) {
  const ConstructorCase &c = GetParam();
  Arguments args;
  for (double gain : c.Arguments) args.push_back(Real(gain));
  ObjectRef eq = Equalizer(args);
  EXPECT_EQ(Gains(eq.Get()), c.Gains);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, EqualizerConstructorTest,
    ::testing::Values(ConstructorCase{"None", {}, std::vector<double>(10, 1.0)},
                      ConstructorCase{"Two", {2.0, 0.5}, {2.0, 0.5, 1, 1, 1, 1, 1, 1, 1, 1}},
                      ConstructorCase{"Twelve",
                                      {0.5, 0.75, 1.25, 1.5, 2.0, 0.25, 3.0, 4.0, 0.125, 8.0, 9.0, 10.0},
                                      {0.5, 0.75, 1.25, 1.5, 2.0, 0.25, 3.0, 4.0, 0.125, 8.0}}),
    CaseName());

TEST_F(EqualizerScriptTest, ConstructorGainsAreHeard) {
  ObjectRef eq = Equalizer({Real(1), Real(1), Real(1), Real(1), Real(1), Real(2.0)});
  EXPECT_NEAR(SteadyGain(eq.Get(), 1000.0), 2.0, 0.01);
}

TEST_F(EqualizerScriptTest, TooFewArgumentsAreRefusedBeforeTheEqualizerIsReached) {
  ObjectRef eq = Equalizer();
  EXPECT_EQ(standin::ScriptCall(eq.Get(), u"setGain", {Integer(5)}), TJS_E_BADPARAMCOUNT);
  EXPECT_EQ(standin::ScriptCall(eq.Get(), u"getGain", {}), TJS_E_BADPARAMCOUNT);
  EXPECT_EQ(Gains(eq.Get()), std::vector<double>(10, 1.0));
}

}  // namespace
