// The whole road, as a script and the engine take it: link sonafilter, make
// the three effects with arguments, set parameters, hand their `interface`
// to a sound buffer, play a WAV file through the chain of all three, and
// unlink with everything released; on the current and on the legacy engine.
#include <gtest/gtest.h>

#if defined(STANDIN_HAVE_SNDFILE)
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "effects/delay.h"
#include "effects/freeverb.h"
#include "effects/graphic_eq.h"
#include "sonafilter_fixture.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

using namespace sonafilter_test;

constexpr int kRate = 44100;
constexpr int kFrames = kRate / 4;

// A 16-bit stereo WAV file of a quarter second, removed with the object.
class WavFile {
 public:
  WavFile() : Path(::testing::TempDir() + "sonafilter_scenario_" + std::to_string(getpid()) + ".wav") {
    std::vector<short> samples(2 * kFrames);
    const std::vector<float> noise = effects_test::Noise(2 * kFrames, 0.1f, 31);
    for (int j = 0; j < kFrames; ++j) {
      const double t = static_cast<double>(j) / kRate;
      const double tone = 0.4 * std::sin(2 * effects_test::kPi * 440 * t) * std::exp(-6 * t);
      samples[2 * j] = static_cast<short>(std::lround(32767 * (tone + noise[2 * j])));
      samples[2 * j + 1] = static_cast<short>(std::lround(32767 * (0.5 * tone + noise[2 * j + 1])));
    }
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(Path.c_str(), SFM_WRITE, &info);
    if (!file) return;
    Written = sf_writef_short(file, samples.data(), kFrames) == kFrames;
    sf_close(file);
  }
  ~WavFile() { std::remove(Path.c_str()); }
  std::string Path;
  bool Written = false;
};

class ScenarioTest : public SonafilterTest {
 protected:
  // The scenario on a fresh engine of `generation`; returns what was played.
  standin::PlayedSound PlayThroughAllThree(Generation generation, const std::string &path) {
    Finish();
    Engine = std::make_unique<standin::Engine>();
    if (generation == Generation::Legacy) {
      EXPECT_TRUE(standin::EnableLegacyGeneration());
    }
    EXPECT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
    const standin::LiveCounts beforeLink = standin::Live();
    Load();
    EXPECT_EQ(Link(), kOk);

    standin::PlayedSound played;
    {
      ObjectRef eq = New(u"GraphicEqualizer", {Real(1.5), Real(1.0), Real(1.0), Real(0.8)});
      ObjectRef delay = New(u"DelayEffect", {Integer(40), Real(0.3), Real(0.5), Integer(250)});
      ObjectRef reverb = New(u"StkFreeVerb", {Real(0.4), Real(0.7)});
      Call(eq.Get(), u"setGain", {Integer(9), Real(1.25)});
      Set(reverb.Get(), u"damping", Real(0.4));
      Set(reverb.Get(), u"extend", Integer(400));

      standin::FileSource file(path);
      played = Play(file, {eq.Get(), delay.Get(), reverb.Get()});
      EXPECT_TRUE(FreshlyDecided());
      for (ObjectRef *effect : {&eq, &delay, &reverb}) EXPECT_EQ(standin::ScriptInvalidate(effect->Get()), TJS_S_OK);
    }
    EXPECT_EQ(Unlink(), kOk) << "every reference the scenario took is released";
    EXPECT_EQ(standin::Live().Objects, beforeLink.Objects) << "no engine object of the plug-in lives on";
    return played;
  }

  // The same chain built from the framework directly, without the engine's script side.
  static std::vector<float> Reference(const std::string &path) {
    SimpleWaveFilter<EffectGEQ> eq;
    for (int band = 0; band < 10; ++band) eq.effect.SetGain(band, 1.0f);
    eq.effect.SetGain(0, 1.5f);
    eq.effect.SetGain(3, 0.8f);
    eq.effect.SetGain(9, 1.25f);
    SimpleWaveFilter<EffectDelay> delay;
    delay.effect.Init(40, 0.3f, 0.5f);
    delay.effect.SetExtend(250);
    SimpleWaveFilter<EffectFreeVerb> reverb;
    reverb.effect.SetEffectMix(0.4);
    reverb.effect.SetRoomSize(0.7);
    reverb.effect.SetDamping(0.4);
    reverb.effect.SetExtend(400);
    standin::FileSource file(path);
    standin::SoundBuffer buffer(file);
    buffer.AddFilter(&eq);
    buffer.AddFilter(&delay);
    buffer.AddFilter(&reverb);
    return buffer.Play(1024).Floats();
  }
};

TEST_F(ScenarioTest, AFilePlaysThroughAllThreeEffectsOnBothEngines) {
  WavFile wav;
  ASSERT_TRUE(wav.Written) << wav.Path;

  const standin::PlayedSound current = PlayThroughAllThree(Generation::Current, wav.Path);
  const standin::PlayedSound legacy = PlayThroughAllThree(Generation::Legacy, wav.Path);

  EXPECT_EQ(current.Format.Channels, 2u);
  EXPECT_EQ(current.Format.IsFloat, 1);
  EXPECT_EQ(current.Frames(), static_cast<tjs_uint64>(kFrames + kRate * 250 / 1000 + kRate * 400 / 1000))
      << "the file, the delay's tail of 250 ms, then the reverb's tail of 400 ms after it";
  const std::vector<float> reference = Reference(wav.Path);
  EXPECT_EQ(current.Floats(), reference);
  EXPECT_EQ(legacy.Floats(), reference);
}

}  // namespace
#endif  // STANDIN_HAVE_SNDFILE
