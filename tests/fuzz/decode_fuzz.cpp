// decode_fuzz.cpp — Decode of the wave filter framework with the three
// effects compiled in, on arbitrary formats, parameters, block sizes and
// sample bytes.
//
// Input: a format (sample rate, channels, bits and bytes per sample, float
// flag; valid ones most of the time), an effect with its parameters, up to 16
// operations (Decode of a block size, ResetState, detach and re-attach,
// parameter changes), then the stream's bytes.
//
// Properties, beyond the sanitizers' own: Decode never reports more frames
// than it was asked for and never writes past them into the engine's buffer;
// the engine errors that attaching a bad format raises are the framework's
// three fixed messages or the engine converter's.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <stk/Stk.h>

#include "effects/delay.h"
#include "effects/freeverb.h"
#include "effects/graphic_eq.h"
#include "engine.h"
#include "fuzz_input.h"
#include "sound.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

using fuzzing::FuzzInput;

constexpr tjs_uint32 kMostFrames = 16384;       // the largest block the validator sweep asks for
constexpr tjs_uint32 kMostRandomFrames = 2048;  // random block sizes stay below this
constexpr uint32_t kMostOperations = 16;
constexpr size_t kGuardFloats = 16;        // floats after the block that Decode must not touch
constexpr uint32_t kGuardBits = 0x7fc0dead;  // a NaN that no effect produces by chance

// A forced-stereo pass-through: the channel adaptation without signal processing.
struct StereoPass {
  static constexpr bool kForceStereo = true;
  tjs_uint32 Tail = 0;
  tjs_uint32 TailMs() const { return Tail; }
  void Reset() {}
  // An empty block may come with null buffers, which memcpy must never see.
  void Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
    const size_t samples = static_cast<size_t>(frames) * channels;
    if (samples != 0) std::memcpy(out, in, samples * sizeof(float));
  }
};

tTVPWaveFormat ReadFormat(FuzzInput &in) {
  const tjs_uint32 rate = in.Byte() < 0xE0 ? in.Pick<tjs_uint32>({8000, 11025, 22050, 32000, 44100, 48000, 96000,
                                                                     192000})
                                           : in.U32();
  const tjs_uint32 channels = in.Byte() < 0xE0 ? 1 + in.Below(2) : in.Byte();
  struct Layout {
    tjs_uint32 Bits, Bytes;
    bool Float;
  };
  Layout layout = in.Pick<Layout>({{8, 1, false}, {16, 2, false}, {24, 3, false}, {24, 4, false}, {32, 4, false},
                                   {32, 4, true}});
  if (in.Byte() >= 0xE0) layout = {in.Below(72), in.Below(10), in.Bool()};
  return standin::WaveFormat(rate, channels, layout.Bits, layout.Bytes, layout.Float);
}

// One filter under test, whatever its effect.
class FilterUnderTest {
 public:
  virtual ~FilterUnderTest() = default;
  virtual iTVPBasicWaveFilter &Filter() = 0;
  virtual SimpleFloatSource &Source() = 0;
  virtual void ChangeParameters(FuzzInput &in) = 0;
};

template <class E>
class FilterOf : public FilterUnderTest {
 public:
  iTVPBasicWaveFilter &Filter() override { return Wave; }
  SimpleFloatSource &Source() override { return Wave.source; }
  void ChangeParameters(FuzzInput &in) override { Change(Wave.effect, in); }

 private:
  static void Change(EffectDelay &e, FuzzInput &in) {
    const auto delayMs = static_cast<tjs_int32>(in.U32());
    const float feedback = in.RawFloat();
    const float wet = in.RawFloat();
    e.Init(delayMs, feedback, wet);
    if (in.Bool()) e.SetExtend(in.U32());
  }
  static void Change(EffectGEQ &e, FuzzInput &in) {
    const auto raw = static_cast<tjs_int>(in.U32());
    const tjs_int band = in.Bool() ? raw % 10 : raw;
    e.SetGain(band, in.RawFloat());
  }
  static void Change(EffectFreeVerb &e, FuzzInput &in) {
    switch (in.Below(6)) {
      case 0: e.SetEffectMix(in.RawDouble()); break;
      case 1: e.SetRoomSize(in.RawDouble()); break;
      case 2: e.SetDamping(in.RawDouble()); break;
      case 3: e.SetWidth(in.RawDouble()); break;
      case 4: e.SetMode(in.Bool()); break;
      default: e.SetExtend(in.U32()); break;
    }
  }
  static void Change(StereoPass &e, FuzzInput &in) { e.Tail = in.U32(); }

  SimpleWaveFilter<E> Wave;
};

std::unique_ptr<FilterUnderTest> MakeFilter(FuzzInput &in) {
  switch (in.Below(4)) {
    case 0: return std::make_unique<FilterOf<EffectDelay>>();
    case 1: return std::make_unique<FilterOf<EffectGEQ>>();
    case 2: return std::make_unique<FilterOf<EffectFreeVerb>>();
    default: return std::make_unique<FilterOf<StereoPass>>();
  }
}

bool IsKnownAttachError(const std::u16string &message) {
  return message == u"invalid channels." || message == u"HiRes format not supported." ||
         message == u"Cannot connect multiple wave sound buffer at once.";
}

struct Operation {
  uint8_t Kind;
  uint32_t Argument;
};

// The floats Decode may write for a block of `frames`: the output's channels
// per frame while an upstream with an accepted format is attached, none
// otherwise (a detached source, or one whose attach failed on the format).
size_t WritableFloats(SimpleFloatSource &source, tjs_uint32 frames) {
  const tjs_uint32 channels = source.GetFormat().Channels;
  if (source.Upstream() == nullptr || channels == 0 || channels > 2) return 0;
  return static_cast<size_t>(frames) * channels;
}

// Pulls one block of `frames` into a buffer whose floats after the writable
// ones hold a guard pattern, and checks the guard and the reported count.
void DecodeOneBlock(SimpleFloatSource &source, tjs_uint32 frames) {
  const size_t writable = WritableFloats(source, frames);
  std::vector<float> dest(static_cast<size_t>(frames) * 2 + kGuardFloats);
  for (size_t i = writable; i < dest.size(); ++i) std::memcpy(&dest[i], &kGuardBits, sizeof(float));
  tTVPWaveLabels labels;
  tjs_uint32 rendered = 0xffffffffu;
  source.Decode(dest.data(), frames, rendered, labels);
  FUZZ_CHECK(rendered <= frames);
  for (size_t i = writable; i < dest.size(); ++i) FUZZ_CHECK(std::memcmp(&dest[i], &kGuardBits, sizeof(float)) == 0);
}

// The engine's usual block sizes, the largest one and 0, or any size up to
// kMostRandomFrames (larger random blocks only slow the fuzzer down).
tjs_uint32 BlockSize(uint32_t argument) {
  const tjs_uint32 common[] = {1, 2, 17, 441, 512, 1024, 4096, kMostFrames, 0};
  if ((argument & 0x80000000u) == 0) return common[argument % (sizeof common / sizeof common[0])];
  return (argument & 0x7fffffffu) % (kMostRandomFrames + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // STK reports out-of-range parameters (which the fuzzer sets all the time)
  // on the standard error; that is expected here and only buries the reports.
  static const bool quiet = (stk::Stk::showWarnings(false), true);
  (void)quiet;
  FuzzInput in(data, size);
  const tTVPWaveFormat format = ReadFormat(in);
  std::unique_ptr<FilterUnderTest> filter = MakeFilter(in);
  for (uint32_t i = in.Below(4); i > 0; --i) filter->ChangeParameters(in);
  std::vector<Operation> operations(in.Below(kMostOperations + 1));
  for (Operation &op : operations) op = {in.Byte(), in.U32()};
  const std::string bytes = in.Rest();
  standin::MemorySource upstream(format, std::vector<uint8_t>(bytes.begin(), bytes.end()));

  auto attach = [&] {
    try {
      filter->Filter().AttachSource(&upstream);
    } catch (const standin::EngineError &e) {
      FUZZ_CHECK(IsKnownAttachError(e.Message()));
    }
  };
  attach();
  for (const Operation &op : operations) {
    try {
      switch (op.Kind % 5) {
        case 0:
        case 1: DecodeOneBlock(filter->Source(), BlockSize(op.Argument)); break;
        case 2: filter->Filter().ResetState(); break;
        case 3:
          filter->Filter().DetachSource();
          if (op.Argument & 1) upstream.Rewind();
          attach();
          break;
        default: {
          FuzzInput parameters(reinterpret_cast<const uint8_t *>(&op.Argument), sizeof op.Argument);
          filter->ChangeParameters(parameters);
          break;
        }
      }
    } catch (const standin::EngineError &e) {
      // The only engine error a pull may meet: the converter refusing a
      // format that the framework let through.
      FUZZ_CHECK(e.Message() == u"unsupported PCM format");
    }
  }
  filter->Filter().DetachSource();
  return 0;
}
