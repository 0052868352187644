// decode_fuzz.cpp — Decode of the wave filter framework and of every effect
// of the plug-in's effect table, on arbitrary formats, parameters, block
// sizes and sample bytes.
//
// The effects are made in the really loaded sonafilter plug-in (a fresh
// engine per input), one of the table's classes, and driven through their
// `interface` as the engine drives a filter; their parameters change through
// the members the table lists, with values of each parameter's type (reals
// from raw float bits, integers from raw 32-bit values, or a value from the
// table's useful range and outside list). A forced-stereo pass-through
// compiled in here covers the framework's channel adaptation on its own.
//
// Input: a format (sample rate, channels, bits and bytes per sample, float
// flag; valid ones most of the time), an effect with its parameters, up to 16
// operations (Decode of a block size, ResetState, detach and re-attach,
// parameter changes), then the stream's bytes.
//
// Properties, beyond the sanitizers' own: Decode never reports more frames
// than it was asked for and never writes past them into the engine's buffer
// (nothing at all while detached); the engine errors that attaching a bad
// format raises are the framework's three fixed messages or the engine
// converter's; the plug-in unlinks at the end.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <stk/Stk.h>

#include "effects/effect_table.h"
#include "engine.h"
#include "fuzz_input.h"
#include "native_class.h"
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

standin::PluginModule &Sonafilter() {
  static standin::PluginModule plugin(SONAFILTER_PATH);
  return plugin;
}

// One filter under test, whatever its effect.
class FilterUnderTest {
 public:
  virtual ~FilterUnderTest() = default;
  virtual iTVPBasicWaveFilter &Filter() = 0;
  virtual void ChangeParameters(FuzzInput &in) = 0;
};

// The pass-through, compiled in.
class PassThrough : public FilterUnderTest {
 public:
  iTVPBasicWaveFilter &Filter() override { return Wave; }
  void ChangeParameters(FuzzInput &in) override { Wave.effect.Tail = in.U32(); }

 private:
  SimpleWaveFilter<StereoPass> Wave;
};

// A value of `p`'s type: raw bits most of the time, else one the table names.
tTJSVariant ValueFor(const effects::ParameterDescription &p, FuzzInput &in) {
  double named = p.Default;
  switch (in.Below(8)) {
    case 0: named = p.UsefulMin; break;
    case 1: named = p.UsefulMax; break;
    case 2:
      if (!p.Outside.empty()) named = p.Outside.Items[in.Below(static_cast<uint32_t>(p.Outside.Count))];
      break;
    default:
      // Reals as raw float bits (every float, infinities and NaN too);
      // integers as raw 32-bit values, sign-extended.
      if (p.Type == effects::ValueType::Real) return standin::VariantOf(static_cast<double>(in.RawFloat()));
      return standin::VariantOf(static_cast<tTVInteger>(static_cast<int32_t>(in.U32())));
  }
  if (p.Type == effects::ValueType::Real) return standin::VariantOf(named);
  return standin::VariantOf(static_cast<tTVInteger>(named));
}

// An effect of the table, made in the loaded plug-in.
class TableEffect : public FilterUnderTest {
 public:
  TableEffect(const effects::EffectDescription &effect, FuzzInput &in) : Effect(effect) {
    standin::Arguments args(in.Below(static_cast<uint32_t>(effect.ConstructorParameters.Count) + 1));
    for (size_t i = 0; i < args.size(); ++i) args[i] = ValueFor(effect.ConstructorParameters.Items[i], in);
    iTJSDispatch2 *cls = standin::ObjectAt(u"WaveSoundBuffer." + standin::U16(effect.ScriptClass));
    FUZZ_CHECK(cls != nullptr);
    FUZZ_CHECK(TJS_SUCCEEDED(standin::ScriptNew(cls, args, Object)));
    tTJSVariant address;
    FUZZ_CHECK(TJS_SUCCEEDED(standin::ScriptGet(Object.Get(), u"interface", &address)));
    Wave = reinterpret_cast<iTVPBasicWaveFilter *>(static_cast<std::intptr_t>(address.AsInteger()));
  }
  iTVPBasicWaveFilter &Filter() override { return *Wave; }
  void ChangeParameters(FuzzInput &in) override {
    const effects::MemberDescription &m = Effect.Members.Items[in.Below(static_cast<uint32_t>(Effect.Members.Count))];
    const std::u16string name = standin::U16(m.Name);
    switch (m.Kind) {
      case effects::MemberKind::ReadOnlyProperty: {
        tTJSVariant value;
        standin::ScriptGet(Object.Get(), name, &value);
        break;
      }
      case effects::MemberKind::Property:
        standin::ScriptSet(Object.Get(), name, ValueFor(m.Parameters.Items[0], in));
        break;
      default: {
        standin::Arguments args(in.Below(static_cast<uint32_t>(m.Parameters.Count) + 1));
        for (size_t i = 0; i < args.size(); ++i) args[i] = ValueFor(m.Parameters.Items[i], in);
        standin::ScriptCall(Object.Get(), name, args);
        break;
      }
    }
  }

 private:
  const effects::EffectDescription &Effect;
  standin::ObjectRef Object;
  iTVPBasicWaveFilter *Wave = nullptr;
};

std::unique_ptr<FilterUnderTest> MakeFilter(FuzzInput &in) {
  const uint32_t choice = in.Below(static_cast<uint32_t>(effects::kEffectTable.Count) + 1);
  if (choice == effects::kEffectTable.Count) return std::make_unique<PassThrough>();
  return std::make_unique<TableEffect>(effects::kEffectTable.Items[choice], in);
}

bool IsKnownAttachError(const std::u16string &message) {
  return message == u"invalid channels." || message == u"HiRes format not supported." ||
         message == u"Cannot connect multiple wave sound buffer at once." ||
         message == u"Not enough memory for the effect at this format.";  // a delay line beyond what may be had
}

struct Operation {
  uint8_t Kind;
  uint32_t Argument;
};

// The floats Decode may write for a block of `frames`: none while the
// filter is detached (or was never attached); otherwise the output's
// channels per frame when that is 1 or 2 (an attach that failed on the
// format may leave the upstream in place, and Decode then writes no more
// than a frame of the output's channels), none for any other count.
size_t WritableFloats(tTVPSampleAndLabelSource &output, bool connected, tjs_uint32 frames) {
  const tjs_uint32 channels = output.GetFormat().Channels;
  if (!connected || channels == 0 || channels > 2) return 0;
  return static_cast<size_t>(frames) * channels;
}

// Pulls one block of `frames` into a buffer whose floats after the writable
// ones hold a guard pattern, and checks the guard and the reported count.
void DecodeOneBlock(tTVPSampleAndLabelSource &output, bool connected, tjs_uint32 frames) {
  const size_t writable = WritableFloats(output, connected, frames);
  std::vector<float> dest(static_cast<size_t>(frames) * 2 + kGuardFloats);
  for (size_t i = writable; i < dest.size(); ++i) std::memcpy(&dest[i], &kGuardBits, sizeof(float));
  tTVPWaveLabels labels;
  tjs_uint32 rendered = 0xffffffffu;
  output.Decode(dest.data(), frames, rendered, labels);
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


// One input: a fresh engine with the plug-in linked, the filter, its
// operations, the filter gone and the plug-in unlinked.
void RunOne(FuzzInput &in) {
  const tTVPWaveFormat format = ReadFormat(in);
  std::unique_ptr<FilterUnderTest> filter = MakeFilter(in);
  for (uint32_t i = in.Below(4); i > 0; --i) filter->ChangeParameters(in);
  std::vector<Operation> operations(in.Below(kMostOperations + 1));
  for (Operation &op : operations) op = {in.Byte(), in.U32()};
  const std::string bytes = in.Rest();
  standin::MemorySource upstream(format, std::vector<uint8_t>(bytes.begin(), bytes.end()));

  // The filter's output as the last attach handed it out; whether an
  // upstream may be connected (after any attach, also a failed one).
  tTVPSampleAndLabelSource *output = nullptr;
  bool connected = false;
  auto attach = [&] {
    connected = true;
    try {
      output = filter->Filter().AttachSource(&upstream);
    } catch (const standin::EngineError &e) {
      FUZZ_CHECK(IsKnownAttachError(e.Message()));
    }
  };
  attach();
  for (const Operation &op : operations) {
    try {
      switch (op.Kind % 5) {
        case 0:
        case 1:
          if (output) DecodeOneBlock(*output, connected, BlockSize(op.Argument));
          break;
        case 2: filter->Filter().ResetState(); break;
        case 3:
          filter->Filter().DetachSource();
          connected = false;
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
}


// One engine with the plug-in linked for the whole run: linking per input
// (the licence notice, three class declarations) would cost more than most
// inputs do. Each input's objects are gone when it ends, so the plug-in's
// reference total is back at its baseline; the replay test unlinks at exit.
class LinkedPlugin {
 public:
  LinkedPlugin() {
    standin::InstallWaveSoundBufferClass();
    FUZZ_CHECK(Sonafilter().Link(Engine) == TJS_HR_S_OK);
  }
  ~LinkedPlugin() { FUZZ_CHECK(Sonafilter().Unlink() == TJS_HR_S_OK); }

 private:
  standin::Engine Engine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // STK reports out-of-range parameters (which the fuzzer sets all the time)
  // on the standard error; that is expected here and only buries the reports.
  static const bool quiet = (stk::Stk::showWarnings(false), true);
  (void)quiet;
  static LinkedPlugin linked;
  FuzzInput in(data, size);
  RunOne(in);
  return 0;
}
