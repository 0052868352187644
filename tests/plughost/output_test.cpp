// plughost's decisions that a test cannot reach by rendering: the container
// for outputs too large to write in a test, the decay measure, suggestions.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

#include "audio_out.h"
#include "commands.h"
#include "suggest.h"

namespace {

using namespace plughost;

constexpr uint64_t kGiB = uint64_t{1} << 30;

TEST(OutputPlan, AWavThatMayExceedFourGibibytesBecomesRf64AndTheClassicContainersAreRefused) {
  struct Case {
    const char *path;
    uint64_t mostBytes;
    int format;  // libsndfile major format, 0: refused
    bool autoDowngrade;
  } cases[] = {
      {"a.wav", 1 * kGiB, SF_FORMAT_WAV, false},
      {"a.wav", kClassicContainerLimit, SF_FORMAT_WAV, false},
      {"a.wav", kClassicContainerLimit + 1, SF_FORMAT_RF64, true},
      {"a.wav", 5 * kGiB, SF_FORMAT_RF64, true},
      {"a.aiff", 5 * kGiB, 0, false},
      {"a.au", 5 * kGiB, 0, false},
      {"a.w64", 5 * kGiB, SF_FORMAT_W64, false},
      {"a.caf", 5 * kGiB, SF_FORMAT_CAF, false},
      {"a.flac", 5 * kGiB, SF_FORMAT_FLAC, false},
      {"a.ogg", 5 * kGiB, SF_FORMAT_OGG, false},
      {"-", 5 * kGiB, SF_FORMAT_AU, false},  // a stream states no length
  };
  for (const auto &c : cases) {
    if (c.format == 0) {
      EXPECT_THROW(PlanOutput(c.path, SampleFormat::S16, false, c.mostBytes), std::runtime_error) << c.path;
      continue;
    }
    const OutputPlan plan = PlanOutput(c.path, SampleFormat::S16, false, c.mostBytes);
    EXPECT_EQ(plan.SndfileFormat & SF_FORMAT_TYPEMASK, c.format) << c.path << " " << c.mostBytes;
    EXPECT_EQ(plan.AutoDowngrade, c.autoDowngrade) << c.path << " " << c.mostBytes;
  }
}

TEST(EnergyDecay, AnExponentialDecayFallsSixtyDecibelsWhereItsEnergyDoes) {
  // Amplitude halving every 441 frames: energy -6.02 dB per 441 frames, so
  // the energy left reaches -60 dB after 60 / 6.02 x 441 frames.
  const unsigned rate = 44100;
  std::vector<float> samples(rate * 2);
  for (size_t n = 0; n < samples.size(); ++n) samples[n] = static_cast<float>(std::pow(0.5, n / 441.0));
  const std::vector<double> decay = EnergyDecayDb(samples, 1);
  EXPECT_DOUBLE_EQ(decay[0], 0.0);
  EXPECT_NEAR(decay[441], -6.0206, 1e-3);
  const double expected = 60.0 / (20 * std::log10(2.0)) * 441 / rate;
  EXPECT_NEAR(TimeToFall60Db(decay, rate), expected, 1.5 / rate);
  // Stereo: the channels' energies add up.
  std::vector<float> stereo;
  for (float x : samples) stereo.insert(stereo.end(), {x, x});
  EXPECT_NEAR(TimeToFall60Db(EnergyDecayDb(stereo, 2), rate), expected, 1.5 / rate);
  // A response that never falls that far.
  EXPECT_LT(TimeToFall60Db(EnergyDecayDb(std::vector<float>(1000, 0.5f), 1), rate), 0.0) << "flat to the end";
}

TEST(Suggestions, CloseNamesAreSuggestedAndDistantOnesAreNot) {
  const std::vector<std::string> names = {"StkFreeVerb", "GraphicEqualizer", "DelayEffect"};
  EXPECT_EQ(ClosestName("delayeffect", names), "DelayEffect");
  EXPECT_EQ(ClosestName("DelayEfect", names), "DelayEffect");
  EXPECT_EQ(ClosestName("GraphicEqualiser", names), "GraphicEqualizer");
  EXPECT_EQ(ClosestName("StkFreeVreb", names), "StkFreeVerb") << "a swap counts once";
  EXPECT_EQ(ClosestName("Reverb", names), "");
  EXPECT_EQ(ClosestName("x", {"y"}), "y") << "one letter may always differ";
  EXPECT_EQ(DidYouMean("Delay", names), "");
}

TEST(Clipping, SamplesBeyondFullScaleAreCountedAndThePeakKept) {
  const float samples[] = {0.5f, -1.0f, 1.0f, 1.5f, -2.0f, NAN, INFINITY};
  const ClipReport report = MeasureClipping(samples, 7, ClipReport());
  EXPECT_EQ(report.Clipped, 2u) << "exactly full scale is not clipped";
  EXPECT_EQ(report.NonFinite, 2u);
  EXPECT_EQ(report.Peak, 2.0f);
  EXPECT_EQ(DescribeClipping(report),
            "plughost: clipping: 2 samples beyond full scale (peak 2, +6.0 dBFS); 2 non-finite samples");
  EXPECT_EQ(DescribeClipping(ClipReport()), "plughost: no clipping (peak 0, -inf dBFS)");
}

}  // namespace
