// render_effects — renders one input through each effect and through a chain
// of all three with the really loaded sonafilter plug-in, and writes every
// rendered sample as raw bytes, so that the Linux and the Windows build of
// the plug-in can be compared sample for sample (compare_renders.sh).
//
//   render_effects INPUT OUTDIR      INPUT: 44100 Hz stereo, signed 16-bit
//                                    little-endian frames; writes OUTDIR/NAME.f32
//                                    (32-bit float little-endian, interleaved)
//   render_effects --demo FILE       writes plughost's demo signal as INPUT
//                                    (only where plughost is built)
//
// The input comes from a file rather than being computed on each platform,
// so that a difference can only come from the plug-in: the demo generator
// uses the C library's sin and exp, which need not round alike everywhere.
// Exits with 1 and a message when a step fails or a render is silent,
// shorter than its input or not finite.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine.h"
#include "native_class.h"
#include "sound.h"

#if defined(RENDER_EFFECTS_WITH_DEMO)
#include "audio_out.h"
#endif

namespace {

using standin::Arguments;
using standin::VariantOf;

constexpr tjs_uint32 kRate = 44100;
constexpr tjs_uint32 kChannels = 2;
constexpr tjs_uint32 kBlockFrames = 1024;

// One effect object: its class, constructor arguments, then method calls
// and property assignments in order.
struct Step {
  std::u16string Member;
  Arguments Values;
  bool IsCall;
};
struct Effect {
  std::u16string Class;
  Arguments Constructor;
  std::vector<Step> Steps;
};
struct Render {
  const char *Name;
  std::vector<Effect> Chain;
};

tTJSVariant I(tTVInteger value) { return VariantOf(value); }
tTJSVariant R(double value) { return VariantOf(value); }

// The renders of scripts/run.sh, effect for effect.
std::vector<Render> Renders() {
  return {
      {"delay", {{u"DelayEffect", {I(300), R(0.45), R(0.8), I(1500)}, {}}}},
      {"equalizer",
       {{u"GraphicEqualizer", {R(2.5), R(2.0), R(1.4), R(1.0), R(0.7), R(0.7), R(1.0), R(1.4), R(2.0), R(2.5)}, {}}}},
      {"reverb", {{u"StkFreeVerb", {R(0.35), R(0.85), R(0.3), R(1.0), VariantOf(false), I(2500)}, {}}}},
      {"chain",
       {{u"GraphicEqualizer", {R(1.8), R(1.4)}, {{u"setGain", {I(8), R(1.6)}, true}}},
        {u"DelayEffect", {I(220), R(0.35), R(0.6)}, {}},
        {u"StkFreeVerb", {R(0.3)}, {{u"roomSize", {R(0.8)}, false}}}}},
  };
}

[[noreturn]] void Fail(const std::string &what) { throw std::runtime_error(what); }

std::vector<int16_t> ReadInput(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty() || bytes.size() % (2 * kChannels) != 0) Fail(path + " holds no whole stereo 16-bit frames");
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<uint8_t>(bytes[2 * i]);
    const auto high = static_cast<uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
  }
  return samples;
}

void WriteFile(const std::string &path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) Fail("cannot write " + path);
}

standin::ObjectRef Create(const Effect &effect) {
  iTJSDispatch2 *cls = standin::ObjectAt(u"WaveSoundBuffer." + effect.Class);
  if (!cls) Fail("the plug-in declared no class " + standin::Utf8(effect.Class));
  standin::ObjectRef object;
  if (TJS_FAILED(standin::ScriptNew(cls, effect.Constructor, object)) || !object)
    Fail("cannot construct " + standin::Utf8(effect.Class));
  for (const Step &step : effect.Steps) {
    const tjs_error code = step.IsCall ? standin::ScriptCall(object.Get(), step.Member, step.Values)
                                       : standin::ScriptSet(object.Get(), step.Member, step.Values.at(0));
    if (TJS_FAILED(code)) Fail(standin::Utf8(effect.Class) + "." + standin::Utf8(step.Member) + " failed");
  }
  return object;
}

// Renders `input` through `render`'s chain; the output as 32-bit floats.
std::vector<uint8_t> RenderChain(const Render &render, const std::vector<int16_t> &input) {
  std::vector<standin::ObjectRef> effects;
  for (const Effect &effect : render.Chain) effects.push_back(Create(effect));
  standin::MemorySource source = standin::MemorySource::OfInt16(kRate, kChannels, input);
  standin::SoundBuffer buffer(source);
  for (const auto &effect : effects) {
    tTJSVariant value;
    if (TJS_FAILED(standin::ScriptGet(effect.Get(), u"interface", &value))) Fail("cannot read interface");
    buffer.AddFilterByInterface(value.AsInteger());
  }
  standin::PlayedSound played = buffer.Play(kBlockFrames);
  for (const auto &effect : effects) standin::ScriptInvalidate(effect.Get());
  if (!played.Format.IsFloat || played.Format.BytesPerSample != 4 || played.Format.Channels != kChannels)
    Fail(std::string(render.Name) + ": the output is not stereo 32-bit float");
  const std::vector<float> samples = played.Floats();
  if (samples.size() < input.size()) Fail(std::string(render.Name) + ": the output is shorter than the input");
  bool sound = false;
  for (float s : samples) {
    if (!std::isfinite(s)) Fail(std::string(render.Name) + ": the output is not finite");
    sound = sound || s != 0.0f;
  }
  if (!sound) Fail(std::string(render.Name) + ": the output is silent");
  return played.Bytes;
}

int RenderAll(const std::string &inputPath, const std::string &outDir) {
  const std::vector<int16_t> input = ReadInput(inputPath);
  // The plug-in is unloaded only after the engine has gone, also when a step fails.
  std::unique_ptr<standin::PluginModule> plugin;
  auto engine = std::make_unique<standin::Engine>();
  if (!standin::InstallWaveSoundBufferClass()) Fail("cannot install WaveSoundBuffer");
  plugin = std::make_unique<standin::PluginModule>(SONAFILTER_PATH);
  if (plugin->Link(*engine) != TJS_HR_S_OK) Fail("V2Link failed");
  for (const Render &render : Renders()) {
    const std::vector<uint8_t> bytes = RenderChain(render, input);
    const std::string path = outDir + "/" + render.Name + ".f32";
    WriteFile(path, bytes.data(), bytes.size());
    std::cout << "render_effects: " << path << " (" << bytes.size() / (4 * kChannels) << " frames)\n";
  }
  if (plugin->Unlink() != TJS_HR_S_OK) Fail("V2Unlink failed");
  engine.reset();
  return 0;
}

#if defined(RENDER_EFFECTS_WITH_DEMO)
int WriteDemo(const std::string &path) {
  static_assert(plughost::kDemoRate == kRate && plughost::kDemoChannels == kChannels);
  const std::vector<int16_t> demo = plughost::MakeDemoSignal();
  std::vector<uint8_t> bytes;
  for (int16_t sample : demo) {
    const auto bits = static_cast<uint16_t>(sample);
    bytes.push_back(static_cast<uint8_t>(bits & 0xff));
    bytes.push_back(static_cast<uint8_t>(bits >> 8));
  }
  WriteFile(path, bytes.data(), bytes.size());
  return 0;
}
#endif

}  // namespace

int main(int argc, char **argv) {
  try {
    if (argc == 3 && std::strcmp(argv[1], "--demo") == 0) {
#if defined(RENDER_EFFECTS_WITH_DEMO)
      return WriteDemo(argv[2]);
#else
      Fail("--demo needs plughost's demo signal, which this build leaves out");
#endif
    }
    if (argc != 3 || argv[1][0] == '-') {
      std::cerr << "usage: render_effects INPUT OUTDIR | render_effects --demo FILE\n";
      return 2;
    }
    return RenderAll(argv[1], argv[2]);
  } catch (const standin::EngineError &e) {
    std::cerr << "render_effects: engine exception: " << e.what() << "\n";
  } catch (const std::exception &e) {
    std::cerr << "render_effects: " << e.what() << "\n";
  }
  return 1;
}
