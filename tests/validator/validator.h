// validator.h — what the validator sweep shares: the stream formats, rates and
// block sizes it runs through, reproducible test signals encoded in each
// format, random effect settings applied through script calls, and the
// engine's pull loop over a filter's output.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "accounting.h"
#include "sonafilter_fixture.h"
#include "sound.h"

namespace validator {

using sonafilter_test::Integer;
using sonafilter_test::Real;
using standin::VariantOf;

// ----- what the sweep runs through ---------------------------------------------------
struct SampleFormat {
  const char *Name;
  tjs_uint32 Bits;
  tjs_uint32 Bytes;
  bool Float;
};
constexpr SampleFormat kFormats[] = {{"u8", 8, 1, false},     {"s16", 16, 2, false}, {"s24in3", 24, 3, false},
                                     {"s24in4", 24, 4, false}, {"s32", 32, 4, false}, {"f32", 32, 4, true}};
constexpr tjs_uint32 kRates[] = {8000, 11025, 22050, 32000, 44100, 48000, 96000, 192000};
constexpr tjs_uint32 kBlockSizes[] = {1, 2, 17, 441, 512, 1024, 4096, 16384};
constexpr tjs_uint32 kLargestBlock = 16384;
constexpr tjs_uint32 kRandomBlocks = 0;  // block policy: a random size (1 to 4096) on every call

enum class Effect { Delay, Equalizer, Reverb };
constexpr Effect kEffects[] = {Effect::Delay, Effect::Equalizer, Effect::Reverb};
const char *EffectName(Effect effect);
const char16_t *ClassName(Effect effect);

// ----- signals ---------------------------------------------------------------------------
// A test signal of `frames` frames, interleaved: a gliding tone, noise,
// isolated full-scale impulses (both signs) and, in its last fifth, silence,
// so that decays, clipping edges and silence all reach the effects. Values lie
// in [-1, 1]. Reproducible from `rng`.
std::vector<float> TestSignal(std::mt19937 &rng, size_t frames, tjs_uint32 channels, tjs_uint32 rate);
// The signal as the engine would deliver it in `format` (little-endian;
// 24 bits in 4 bytes keep their bits in the top three bytes; 8-bit samples
// are unsigned).
std::vector<uint8_t> Encode(const std::vector<float> &samples, const SampleFormat &format);
tTVPWaveFormat FormatOf(const SampleFormat &format, tjs_uint32 rate, tjs_uint32 channels);

// ----- effect settings -------------------------------------------------------------------
// One script operation on an effect object: a method call or a property write.
struct ScriptStep {
  std::u16string Member;
  standin::Arguments Arguments;  // a call's arguments, or the one value written
  bool IsCall;
};

// Random parameters for `effect`, inside and outside the useful ranges, all
// finite: delays from none to over a minute (ms x rate beyond 32 bits),
// feedback beyond +-1, negative and huge wet levels, gains of 0, below 0 and
// far above unity, reverb parameters outside 0..1, frozen mode, tails of 0
// to 200 ms (or the default). Reproducible from `rng`.
std::vector<ScriptStep> RandomSettings(Effect effect, std::mt19937 &rng);
// Runs the steps on `object` as a script would; every step must succeed.
void Apply(iTJSDispatch2 *object, const std::vector<ScriptStep> &steps);
// The tail length in milliseconds those settings give a new object.
tjs_uint32 TailMsOf(Effect effect, const std::vector<ScriptStep> &steps);
// Tail budget in frames of `tailMs` at `rate`, as the framework computes it.
tjs_uint64 TailFrames(tjs_uint32 rate, tjs_uint32 tailMs);
std::string Describe(const std::vector<ScriptStep> &steps);

// ----- pulling -----------------------------------------------------------------------------
// What the engine received from a filter's output until the first short block.
struct Pulled {
  std::vector<float> Samples;  // the rendered frames, interleaved
  tjs_uint64 Frames = 0;
  tjs_uint32 Channels = 0;
  size_t Calls = 0;
};

// The block sizes of one pull: a fixed size, or a random one per call.
class BlockPolicy {
 public:
  BlockPolicy(tjs_uint32 size, unsigned seed) : Size(size), Rng(seed) {}
  tjs_uint32 Next() { return Size != kRandomBlocks ? Size : std::uniform_int_distribution<tjs_uint32>(1, 4096)(Rng); }
  std::string Name() const { return Size == kRandomBlocks ? "random" : std::to_string(Size); }

 private:
  tjs_uint32 Size;
  std::mt19937 Rng;
};

// Pulls blocks from `output` as the engine does, until a block comes back
// short (at most `maxFrames` frames in all, a guard against a tail that
// never ends).
Pulled PullUntilShort(tTVPSampleAndLabelSource &output, BlockPolicy &blocks, tjs_uint64 maxFrames);

// The filter behind an effect object's `interface` (current generation).
iTVPBasicWaveFilter *FilterOf(tTVInteger interfaceValue);

// ----- the fixture ------------------------------------------------------------------------------
// The sonafilter plug-in linked into a fresh engine with a WaveSoundBuffer
// class; every scenario ends with the plug-in's reference total exactly at
// its baseline and V2Unlink succeeding (accounting.h), then no engine object
// or string alive (testing_support::EngineTest).
class ValidatorTest : public sonafilter_test::SonafilterTest {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override {
    if (Linked && UnlinkAtExactBaseline([this] { return Unlink(); }, AnyStore())) Linked = false;
    Finish();
  }
  // One of the plug-in's dispatch objects: the function object of
  // DelayEffect's `init`, borrowed from the class member that holds it.
  iTJSDispatch2 *AnyStore() {
    iTJSDispatch2 *cls = ClassObject(u"DelayEffect");
    if (!cls) return nullptr;
    tTJSVariant store;
    if (TJS_FAILED(cls->GetMember(TJS_IGNOREPROP, u"init", nullptr, &store, cls))) return nullptr;
    return store.AsObjectNoAddRef();
  }
  iTVPBasicWaveFilter *Filter(iTJSDispatch2 *effect) { return FilterOf(Interface(effect)); }
};

// ----- checks --------------------------------------------------------------------------------
// "" when every sample is finite and none is subnormal; otherwise where the
// first offending sample is and what it is.
std::string FirstNonFiniteOrSubnormal(const float *samples, size_t count);
// "" when both hold the same samples bit for bit; otherwise the first difference.
std::string FirstDifference(const std::vector<float> &expected, const std::vector<float> &actual);

}  // namespace validator
