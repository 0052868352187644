// The processor's floating-point mode around the loaded plug-in's Decode:
// flush-to-zero and denormals-are-zero hold only while an effect processes;
// the upstream's Decode and the engine's PCM converter run under the
// caller's mode, and the caller gets its mode back.
#include <gtest/gtest.h>

#include "wavefilter/denormals.h"

#if SONAFILTER_HAS_MXCSR
#include <xmmintrin.h>

#include <algorithm>


#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

constexpr unsigned kFlushBits = 0x8040u;     // MXCSR flush-to-zero (bit 15) and denormals-are-zero (bit 6)
constexpr unsigned kControlBits = 0xFFC0u;   // every MXCSR bit but the six exception flags
constexpr char kConvertSignature[] = "void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)";

// The control bits of MXCSR each call of the engine's converter ran under.
std::vector<unsigned> &ConverterModes() {
  static std::vector<unsigned> modes;
  return modes;
}

void TJS_ENGINE_CALL RecordingConvert(float *dest, const void *src, const tTVPWaveFormat &format, tjs_int frames) {
  ConverterModes().push_back(_mm_getcsr() & kControlBits);
  TVPConvertPCMToFloat(dest, src, format, frames);
}

// An upstream of 1536 frames of 16-bit ramps that records the control bits
// of MXCSR each Decode ran under.
class ModeRecordingSource final : public tTVPSampleAndLabelSource {
 public:
  explicit ModeRecordingSource(tjs_uint32 channels) : Format(standin::WaveFormat(44100, channels, 16, 2)) {}
  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) override {
    Modes.push_back(_mm_getcsr() & kControlBits);
    rendered = std::min(frames, Left);
    Left -= rendered;
    auto *samples = static_cast<int16_t *>(dest);
    for (tjs_uint32 i = 0; i < rendered * Format.Channels; ++i) samples[i] = static_cast<int16_t>(i * 37);
  }
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format; }
  void TJS_INTF_METHOD Notify() override {}

  tTVPWaveFormat Format;
  tjs_uint32 Left = 1536;
  std::vector<unsigned> Modes;
};

// Sets MXCSR's control bits for the scope, restoring the old value after.
class CallerMode {
 public:
  explicit CallerMode(unsigned flushBits) : Saved(_mm_getcsr()) { _mm_setcsr((Saved & ~kFlushBits) | flushBits); }
  ~CallerMode() { _mm_setcsr(Saved); }
  CallerMode(const CallerMode &) = delete;
  CallerMode &operator=(const CallerMode &) = delete;

 private:
  unsigned Saved;
};

struct ModeCase {
  std::string Name;
  std::u16string Class;
  tjs_uint32 Channels;
};

void PrintTo(const ModeCase &c, std::ostream *os) { *os << c.Name; }

class FloatModeTest : public SonafilterTest, public ::testing::WithParamInterface<ModeCase> {
 protected:
  void SetUp() override {
    Start();
    ConverterModes().clear();
    E().GetExporter().Add(kConvertSignature, reinterpret_cast<void *>(&RecordingConvert));
  }
};

// The engine's sound buffer pulls the stream (and the tail) through the
// effect in blocks of 512 frames, under the mode the test sets.
TEST_P(FloatModeTest, EngineCodeRunsUnderTheCallersModeAndTheCallerGetsItBack) {
  ObjectRef effect = New(GetParam().Class);
  for (unsigned callerFlush : {0u, kFlushBits}) {
    SCOPED_TRACE(callerFlush ? "caller flushes" : "caller keeps subnormals");
    ModeRecordingSource upstream(GetParam().Channels);
    ConverterModes().clear();
    CallerMode mode(callerFlush);
    const unsigned callers = _mm_getcsr() & kControlBits;
    Play(upstream, {effect.Get()}, 512);
    EXPECT_EQ(_mm_getcsr() & kControlBits, callers) << "the caller's mode after the pulls";
    ASSERT_GE(upstream.Modes.size(), 4u);
    EXPECT_EQ(upstream.Modes, std::vector<unsigned>(upstream.Modes.size(), callers)) << "the upstream's Decode";
    ASSERT_GE(ConverterModes().size(), 3u);
    EXPECT_EQ(ConverterModes(), std::vector<unsigned>(ConverterModes().size(), callers)) << "TVPConvertPCMToFloat";
  }
}

INSTANTIATE_TEST_SUITE_P(Effects, FloatModeTest,
                         ::testing::Values(ModeCase{"DelayStereo", u"DelayEffect", 2},
                                           ModeCase{"EqualizerMono", u"GraphicEqualizer", 1},
                                           ModeCase{"ReverbMono", u"StkFreeVerb", 1}),
                         CaseName());

}  // namespace
#endif
