// sonafilter_fixture.h — the sonafilter plug-in, really loaded into the
// stand-in engine and used as a script would: classes under WaveSoundBuffer,
// objects made with `new`, members called, read and written, `interface`
// handed to a sound buffer.
//
// Every scenario ends with the plug-in unlinked (V2Unlink must succeed), the
// engine gone and the plug-in unloaded, in that order. The engine generation
// is decided once per loaded copy of the plug-in, so a test that needs a
// decision of its own loads a fresh copy (Restart) and checks that the copy
// probed the engine (FreshlyDecided).
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "native_class.h"
#include "signals.h"
#include "sound.h"
#include "test_support.h"

namespace sonafilter_test {

using standin::Arguments;
using standin::ObjectRef;
using standin::VariantOf;

constexpr tjs_hresult kOk = TJS_HR_S_OK;
constexpr tjs_hresult kFail = TJS_HR_E_FAIL;
constexpr char kFindClassId[] = "tjs_int32 ::TJSFindNativeClassID(const tjs_char *)";

// Class names the plug-in asked TJSFindNativeClassID for, in order, since
// the current copy of the plug-in was loaded.
inline std::vector<std::string> &Probes() {
  static std::vector<std::string> probes;
  return probes;
}

// The engine's TJSFindNativeClassID, recording each name it is asked for.
inline tjs_int32 TJS_ENGINE_CALL RecordingFindNativeClassID(const tjs_char *name) {
  Probes().push_back(standin::Utf8(name));
  return TJSFindNativeClassID(name);
}

inline tTJSVariant Integer(tTVInteger value) { return VariantOf(value); }
inline tTJSVariant Real(double value) { return VariantOf(value); }

// A value whose conversion to a number raises an engine error: an object.
inline tTJSVariant ObjectValue() {
  iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
  tTJSVariant value(dictionary);
  dictionary->Release();
  return value;
}

enum class Generation { Current, Legacy };
inline void PrintTo(Generation generation, std::ostream *os) {
  *os << (generation == Generation::Legacy ? "legacy engine" : "current engine");
}

// Names parameterised cases after their Name field.
struct CaseName {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P> &info) const {
    return info.param.Name;
  }
};

class SonafilterTest : public testing_support::EngineTest {
 protected:
  void TearDown() override { Finish(); }

  // Makes the engine of `generation` with a WaveSoundBuffer class (unless
  // told not to), loads a fresh copy of the plug-in and links it.
  void Start(Generation generation = Generation::Current, bool withWaveSoundBuffer = true) {
    if (generation == Generation::Legacy) {
      ASSERT_TRUE(standin::EnableLegacyGeneration());
    }
    if (withWaveSoundBuffer) {
      ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
    }
    Load();
    ASSERT_EQ(Link(), kOk);
  }
  // Ends the scenario and starts over with a new engine and a fresh copy.
  void Restart(Generation generation) {
    Finish();
    Engine = std::make_unique<standin::Engine>();
    Start(generation);
  }
  // Loads a fresh copy of the plug-in for the current engine.
  void Load() {
    Plugin = std::make_unique<standin::PluginModule>(SONAFILTER_PATH);
    Probes().clear();
    E().GetExporter().Add(kFindClassId, reinterpret_cast<void *>(&RecordingFindNativeClassID));
  }
  tjs_hresult Link() {
    const tjs_hresult hr = Plugin->Link(E());
    Linked = hr == kOk;
    return hr;
  }
  tjs_hresult Unlink() {
    const tjs_hresult hr = Plugin->Unlink();
    if (hr == kOk) Linked = false;
    return hr;
  }
  // Unlinks (which must succeed), then drops the engine, then the plug-in.
  void Finish() {
    if (Plugin && Linked) {
      EXPECT_EQ(Unlink(), kOk) << "V2Unlink at the end of the scenario";
    }
    Linked = false;
    Engine.reset();
    Plugin.reset();
  }

  // ----- script-level access ---------------------------------------------------------
  iTJSDispatch2 *ClassObject(const std::u16string &name) { return standin::ObjectAt(u"WaveSoundBuffer." + name); }
  // new WaveSoundBuffer.<cls>(args); must succeed.
  ObjectRef New(const std::u16string &cls, const Arguments &args = {}) {
    ObjectRef object;
    EXPECT_EQ(standin::ScriptNew(ClassObject(cls), args, object), TJS_S_OK) << standin::Utf8(cls);
    return object;
  }
  tTJSVariant Get(iTJSDispatch2 *object, const std::u16string &name) {
    tTJSVariant value;
    EXPECT_EQ(standin::ScriptGet(object, name, &value), TJS_S_OK) << standin::Utf8(name);
    return value;
  }
  void Set(iTJSDispatch2 *object, const std::u16string &name, const tTJSVariant &value) {
    EXPECT_EQ(standin::ScriptSet(object, name, value), TJS_S_OK) << standin::Utf8(name);
  }
  tTJSVariant Call(iTJSDispatch2 *object, const std::u16string &name, const Arguments &args) {
    tTJSVariant result;
    EXPECT_EQ(standin::ScriptCall(object, name, args, &result), TJS_S_OK) << standin::Utf8(name);
    return result;
  }
  tTVInteger Interface(iTJSDispatch2 *object) { return Get(object, u"interface").AsInteger(); }
  // Whether this copy of the plug-in decided its generation itself: it
  // probed the engine since it was loaded.
  bool FreshlyDecided() const { return !Probes().empty(); }

  // ----- sound -----------------------------------------------------------------------
  // Plays `source` through the effects' interfaces in order.
  standin::PlayedSound Play(tTVPSampleAndLabelSource &source, const std::vector<iTJSDispatch2 *> &effects,
                            tjs_uint32 block = 1024) {
    standin::SoundBuffer buffer(source);
    for (iTJSDispatch2 *effect : effects) buffer.AddFilterByInterface(Interface(effect));
    return buffer.Play(block);
  }
  std::vector<float> Render(tjs_uint32 rate, tjs_uint32 channels, const std::vector<float> &samples,
                            const std::vector<iTJSDispatch2 *> &effects, tjs_uint32 block = 1024) {
    standin::MemorySource source = standin::MemorySource::OfFloats(rate, channels, samples);
    return Play(source, effects, block).Floats();
  }

  std::unique_ptr<standin::PluginModule> Plugin;
  bool Linked = false;
};

// `frames` frames of silence with 1.0 at each of `impulses` (sample indices).
inline std::vector<float> Impulses(size_t samples, std::initializer_list<size_t> impulses) {
  std::vector<float> out(samples, 0.0f);
  for (size_t i : impulses) out[i] = 1.0f;
  return out;
}

}  // namespace sonafilter_test
