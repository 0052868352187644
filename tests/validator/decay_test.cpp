// Decays long enough to reach every silence floor of the effects, pulled in
// blocks of 64, 441 and 4096 frames: the output is the same bit for bit, and
// the decay really ends in exact zeros within the render (the floor was
// reached).
//
//   equalizer   fed-back values below 1e-30 set to 0 every 64 frames of the
//               stream
//   delay       samples below 1e-30 sent into a line stored as 0
//   reverb      flush-to-zero while the effect runs; a silent, unfrozen
//               reverb whose whole memory is below the smallest normal
//               double emptied after each silent second
#include <gtest/gtest.h>

#include "validator.h"

namespace {

using namespace validator;
using sonafilter_test::ObjectRef;

struct DecayCase {
  std::string Name;
  std::u16string Class;
  standin::Arguments Arguments;
  std::vector<std::pair<std::u16string, tTJSVariant>> Writes;
  tjs_uint32 Rate;
  size_t Frames;  // frames of input: an impulse, then silence
};
void PrintTo(const DecayCase &c, std::ostream *os) { *os << c.Name; }

class Decay : public ValidatorTest, public ::testing::WithParamInterface<DecayCase> {
 protected:
  Pulled Pull(tjs_uint32 block) {
    const DecayCase &c = GetParam();
    ObjectRef effect = New(c.Class, c.Arguments);
    for (const auto &[member, value] : c.Writes) EXPECT_EQ(standin::ScriptSet(effect.Get(), member, value), TJS_S_OK);
    std::vector<float> impulse(c.Frames * 2, 0.0f);
    impulse[0] = 1.0f;
    impulse[1] = -0.5f;
    standin::MemorySource source = standin::MemorySource::OfFloats(c.Rate, 2, impulse);
    iTVPBasicWaveFilter *filter = Filter(effect.Get());
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    BlockPolicy blocks(block, 0);
    Pulled pulled = PullUntilShort(*output, blocks, c.Frames + c.Rate * 100ull);
    filter->DetachSource();
    return pulled;
  }
};

TEST_P(Decay, IsTheSameInSmallAndLargeBlocksAndEndsInExactZeros) {
  const Pulled small = Pull(64);
  const Pulled large = Pull(4096);
  const Pulled odd = Pull(441);  // a size that no interval of the effects divides
  ASSERT_FALSE(small.Samples.empty());
  EXPECT_EQ(FirstDifference(large.Samples, small.Samples), "");
  EXPECT_EQ(FirstDifference(large.Samples, odd.Samples), "");
  size_t lastSound = small.Samples.size();
  while (lastSound > 0 && small.Samples[lastSound - 1] == 0.0f) --lastSound;
  EXPECT_LT(lastSound, small.Samples.size() - 2 * 4096) << "the decay never reached exact silence";
  EXPECT_EQ(FirstNonFiniteOrSubnormal(small.Samples.data(), small.Samples.size()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Floors, Decay,
    ::testing::Values(
        // A deep cut at 63 Hz rings for about a second at 192 kHz.
        DecayCase{"EqualizerCut63HzAt192kHz", u"GraphicEqualizer", {Real(1.0), Real(0.05)}, {}, 192000, 3 * 192000},
        DecayCase{"EqualizerEveryBand", u"GraphicEqualizer",
                  {Real(4.0), Real(0.1), Real(3.0), Real(0.2), Real(2.0), Real(0.3), Real(5.0), Real(0.5), Real(7.0),
                   Real(0.25)},
                  {}, 48000, 2 * 48000},
        // Echoes every millisecond, each 0.9 of the one before: 1e-30 after
        // about 29 000 samples.
        DecayCase{"DelayShortEchoes", u"DelayEffect", {Integer(1), Real(0.9), Real(1.0), Integer(2000)}, {}, 44100, 100},
        // Comb feedback 0.28: the tail falls below the smallest normal double
        // within about 25 s.
        DecayCase{"ReverbSmallRoom", u"StkFreeVerb", {Real(0.75), Real(-1.5)}, {{u"extend", Integer(40000)}}, 44100,
                  100}),
    sonafilter_test::CaseName());

}  // namespace
