// engine_fault_test.cpp — every engine call a plug-in makes, made to fail once.
//
// Each scenario is run once to count the engine calls the plug-in makes
// (engine functions from the exporter and operations of engine objects; see
// standin/calls.h) and the signatures it looks up. Then it is rerun with the
// k-th call raising an engine error, for every k, and with the k-th distinct
// signature withheld from the exporter, for every k. Every run uses a new
// engine and a freshly loaded copy of the plug-in (so look-ups happen again)
// and must end with:
//   * the error having reached its caller: the script (the test), the engine
//     entry that called the plug-in, or an engine try block run for the
//     plug-in; a plug-in that swallows an engine error fails;
//   * the plug-in unlinking, leaving no media, global name or class behind;
//   * a clean relink in which the whole scenario passes without error;
//   * after the engine is gone, every engine object and string released and
//     no contract violation recorded.
// Natively only: the call counting tells plug-in code by its address range.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calls.h"
#include "native_class.h"
#include "sound.h"
#include "storage.h"
#include "test_support.h"

namespace {

using standin::Arguments;
using standin::ObjectRef;
using standin::VariantOf;

enum class Plugin { Relaystore, Sonafilter };

const char *PathOf(Plugin plugin) {
  switch (plugin) {
    case Plugin::Relaystore: return RELAYSTORE_PATH;
    case Plugin::Sonafilter:
#if defined(SONAFILTER_PATH)
      return SONAFILTER_PATH;
#else
      return nullptr;
#endif
  }
  return nullptr;
}

// One scenario: the plug-in, and what scripts do while it is linked. The
// body raises an engine error when something fails (as a script would).
struct Scenario {
  std::string Name;
  Plugin Target;
  std::function<void()> Body;
  bool Legacy = false;  // a legacy-generation engine
};
void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.Name; }

// ----- script-side helpers (test calls are not counted: they are the script) ----
iTJSDispatch2 *ClassObject(const char16_t *name) { return standin::ObjectAt(std::u16string(u"WaveSoundBuffer.") + name); }

void Expect(bool ok, const std::string &what) {
  if (!ok) throw std::runtime_error("scenario step failed: " + what);
}

ObjectRef New(const char16_t *cls, const Arguments &args) {
  iTJSDispatch2 *classObject = ClassObject(cls);
  Expect(classObject != nullptr, "class " + standin::Utf8(cls));
  ObjectRef object;
  Expect(standin::ScriptNew(classObject, args, object) >= 0, "new " + standin::Utf8(cls));
  return object;
}
void Set(iTJSDispatch2 *object, const char16_t *name, const tTJSVariant &value) {
  Expect(standin::ScriptSet(object, name, value) >= 0, "set " + standin::Utf8(name));
}
tTJSVariant Get(iTJSDispatch2 *object, const char16_t *name) {
  tTJSVariant value;
  Expect(standin::ScriptGet(object, name, &value) >= 0, "get " + standin::Utf8(name));
  return value;
}
tTJSVariant Call(iTJSDispatch2 *object, const char16_t *name, const Arguments &args) {
  tTJSVariant result;
  Expect(standin::ScriptCall(object, name, args, &result) >= 0, "call " + standin::Utf8(name));
  return result;
}

enum class Input { Int16, Float };

// Pulls a short stereo signal through the effect's interface in small
// blocks (the last ones short, so padding and tail run too), then detaches.
void PlayThrough(iTJSDispatch2 *effect, Input input) {
  std::vector<float> floats(2 * 300);
  std::vector<int16_t> ints(2 * 300);
  for (size_t i = 0; i < floats.size(); ++i) {
    floats[i] = (i % 50 == 0) ? 0.5f : 0.0f;
    ints[i] = static_cast<int16_t>(floats[i] * 16384);
  }
  standin::MemorySource source = input == Input::Float ? standin::MemorySource::OfFloats(44100, 2, floats)
                                                       : standin::MemorySource::OfInt16(44100, 2, ints);
  standin::SoundBuffer buffer(source);
  buffer.AddFilterByInterface(Get(effect, u"interface").AsInteger());
  buffer.Play(128, 8);
}

void DelayScenario(Input input) {
  ObjectRef delay = New(u"DelayEffect", {VariantOf(tTVInteger{2}), VariantOf(0.5), VariantOf(0.5)});
  Call(delay.Get(), u"init", {VariantOf(tTVInteger{3}), VariantOf(0.25), VariantOf(0.75)});
  Get(delay.Get(), u"interface");
  PlayThrough(delay.Get(), input);
}

void EqualizerScenario(Input input) {
  ObjectRef eq = New(u"GraphicEqualizer", {VariantOf(2.0), VariantOf(0.5)});
  for (tTVInteger band = 0; band < 10; ++band) {
    Call(eq.Get(), u"setGain", {VariantOf(band), VariantOf(1.5)});
    Call(eq.Get(), u"getGain", {VariantOf(band)});
  }
  PlayThrough(eq.Get(), input);
}

void ReverbScenario(Input input) {
  ObjectRef reverb = New(u"StkFreeVerb", {VariantOf(0.5)});
  for (const char16_t *member : {u"effectMix", u"roomSize", u"damping", u"width", u"mode", u"extend"}) {
    Set(reverb.Get(), member, VariantOf(0.25));
    Get(reverb.Get(), member);
  }
  Set(reverb.Get(), u"mode", VariantOf(0.0));
  PlayThrough(reverb.Get(), input);
}

// ----- proxy scenarios --------------------------------------------------------
// A map with one proxy name for a memory storage and one nested proxy name
// (a proxy name whose target is another proxy name).
void FillProxyMap() {
  iTJSDispatch2 *map = standin::ObjectAt(u"ProxyStorageMap");
  Expect(map != nullptr, "ProxyStorageMap");
  const tTJSVariant direct = VariantOf(standin::PutMemoryStorage("data/a.txt", "alpha"));
  const tTJSVariant nested = VariantOf("proxy://bgm/a.txt");
  Expect(map->SetMember(TJS_MEMBERENSURE, u"bgm/a.txt", nullptr, &direct, map) >= 0, "map entry");
  Expect(map->SetMember(TJS_MEMBERENSURE, u"deep/b.txt", nullptr, &nested, map) >= 0, "nested map entry");
}

void ProxyExists() {
  FillProxyMap();
  Expect(standin::StorageExists("proxy://BGM/a.txt"), "exists");
  Expect(standin::StorageExists("proxy://deep/b.txt"), "nested exists");
  Expect(!standin::StorageExists("proxy://none.txt"), "absent");
}
void ProxyOpen() {
  FillProxyMap();
  Expect(standin::ReadStorage("proxy://bgm/a.txt") == "alpha", "open");
  Expect(standin::ReadStorage("proxy://deep/b.txt") == "alpha", "nested open");
}
void ProxyList() {
  FillProxyMap();
  Expect(standin::ListStorageFolder("proxy://bgm/").size() == 1, "list");
  Expect(standin::ListStorageFolder("proxy://deep/").size() == 1, "nested list");
}
void ProxyLocalName() {
  FillProxyMap();
  Expect(standin::LocalNameOf("proxy://bgm/a.txt").empty(), "local name of a memory storage");
  Expect(standin::LocalNameOf("proxy://deep/b.txt").empty(), "nested local name");
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all = {
      {"RelaystoreLinkUnlink", Plugin::Relaystore, [] {}},
      {"ProxyExists", Plugin::Relaystore, ProxyExists},
      {"ProxyOpen", Plugin::Relaystore, ProxyOpen},
      {"ProxyList", Plugin::Relaystore, ProxyList},
      {"ProxyLocalName", Plugin::Relaystore, ProxyLocalName},
  };
  if (PathOf(Plugin::Sonafilter)) {
    std::vector<Scenario> effects = {
        {"SonafilterLinkUnlink", Plugin::Sonafilter, [] {}},
        {"DelayInt16", Plugin::Sonafilter, [] { DelayScenario(Input::Int16); }},
        {"DelayFloat", Plugin::Sonafilter, [] { DelayScenario(Input::Float); }},
        {"EqualizerInt16", Plugin::Sonafilter, [] { EqualizerScenario(Input::Int16); }},
        {"EqualizerFloat", Plugin::Sonafilter, [] { EqualizerScenario(Input::Float); }},
        {"ReverbInt16", Plugin::Sonafilter, [] { ReverbScenario(Input::Int16); }},
        {"ReverbFloat", Plugin::Sonafilter, [] { ReverbScenario(Input::Float); }},
        {"DelayLegacy", Plugin::Sonafilter, [] { DelayScenario(Input::Int16); }, true},
        {"EqualizerLegacy", Plugin::Sonafilter, [] { EqualizerScenario(Input::Int16); }, true},
        {"ReverbLegacy", Plugin::Sonafilter, [] { ReverbScenario(Input::Int16); }, true},
    };
    all.insert(all.end(), effects.begin(), effects.end());
  }
  return all;
}

// ----- one run -------------------------------------------------------------------
// What to break in a run: nothing, the k-th raisable call, or a signature.
struct Fault {
  long FailAt = 0;
  std::string Withheld;
  std::string Describe() const {
    if (FailAt) return "call " + std::to_string(FailAt);
    if (!Withheld.empty()) return "withheld \"" + Withheld + "\"";
    return "no fault";
  }
};

struct Counts {
  long Raisable = 0;
  std::vector<std::string> Names;       // raisable calls, in order
  std::vector<std::string> Signatures;  // distinct signatures looked up, in order
};

// Whether the plug-in left anything in the engine after unlinking. When the
// engine itself raised from withdrawing the global name, the name stays: that
// is the engine's refusal, and the name holds only an engine dictionary.
std::string Leftovers(Plugin plugin, bool globalNameRefused = false) {
  std::string found;
  standin::ScriptObject *global = static_cast<standin::ScriptObject *>(standin::Engine::Current().Global());
  if (plugin == Plugin::Relaystore) {
    if (standin::FindStorageMedia("proxy")) found += " the proxy media;";
    if (global->Find(u"ProxyStorageMap") && !globalNameRefused) found += " the global ProxyStorageMap;";
  } else if (auto *cls = standin::AsNativeClass(standin::ObjectAt(u"WaveSoundBuffer"))) {
    for (const auto &member : cls->Members()) found += " WaveSoundBuffer." + standin::Utf8(member.Name) + ";";
  }
  return found;
}

std::string Text(const std::exception &e) { return e.what(); }

// Runs the scenario once under `fault` and then cleanly; returns the counts of
// the run under fault. Failures are reported with `label`.
Counts RunOnce(const Scenario &scenario, const Fault &fault, const std::string &label) {
  const standin::LiveCounts baseline = standin::Live();
  Counts counts;
  {
    // The module outlives the engine: whatever a failing run leaves in the
    // engine is released while the plug-in's code is still loaded.
    standin::PluginModule module(PathOf(scenario.Target));
    auto engine = std::make_unique<standin::Engine>();
    if (scenario.Legacy) standin::EnableLegacyGeneration();
    if (scenario.Target == Plugin::Sonafilter) standin::InstallWaveSoundBufferClass();
    if (!fault.Withheld.empty()) engine->GetExporter().Withhold(fault.Withheld);

    // 1. The scenario under the fault: link, the script's work, unlink.
    std::string caught;
    bool unlinked = false;
    standin::StartCountingCalls();
    if (fault.FailAt) standin::PlanFaultAt(fault.FailAt);
    try {
      if (module.Link(*engine) == TJS_HR_S_OK) {
        scenario.Body();
        unlinked = module.Unlink() == TJS_HR_S_OK;
      }
    } catch (const standin::EngineError &e) {
      caught = e.what();
    } catch (const std::exception &e) {
      caught = "(not an engine error) " + Text(e);
    }
    counts.Raisable = standin::RaisablePluginCalls();
    counts.Names = standin::RaisableCallNames();
    counts.Signatures = engine->GetExporter().LookUpOrder();
    const bool raised = standin::PlannedFaultRaised();
    const bool caughtByEngine = standin::PlannedFaultCaughtByEngine();
    standin::StopCountingCalls();
    engine->GetExporter().Withhold(fault.Withheld, false);

    if (fault.FailAt) {
      EXPECT_TRUE(raised) << label << ": the planned call was never made (the counted run made it)";
    }
    if (fault.FailAt && raised) {
      const std::string injected = standin::Utf8(standin::InjectedFaultMessage(fault.FailAt));
      EXPECT_TRUE(caught == injected || caughtByEngine)
          << label << ": the injected error at " << counts.Names.at(fault.FailAt - 1)
          << " did not reach its caller (caught: \"" << caught << "\")";
    } else if (!fault.Withheld.empty() && engine->GetExporter().LookUps(fault.Withheld) > 0) {
      EXPECT_TRUE(caught == "Plug-in function not bound: " + fault.Withheld || caughtByEngine || unlinked)
          << label << ": the missing function's error did not reach its caller (caught: \"" << caught << "\")";
    } else {
      EXPECT_EQ(caught, "") << label << ": the run without a fault failed";
    }

    // 2. The plug-in unlinks and leaves nothing behind.
    if (!unlinked) {
      EXPECT_EQ(module.Unlink(), TJS_HR_S_OK) << label << ": V2Unlink after the fault";
    }
    const bool globalNameRefused = raised && counts.Names.at(fault.FailAt - 1) == "F_RemoveGlobalObject";
    EXPECT_EQ(Leftovers(scenario.Target, globalNameRefused), "") << label << ": left behind after unlink";

    // 3. Relinked, the scenario passes cleanly.
    EXPECT_EQ(module.Link(*engine), TJS_HR_S_OK) << label << ": V2Link after the fault";
    try {
      scenario.Body();
    } catch (const std::exception &e) {
      ADD_FAILURE() << label << ": the scenario failed after relinking: " << e.what();
    }
    EXPECT_EQ(module.Unlink(), TJS_HR_S_OK) << label << ": V2Unlink after the clean run";
    EXPECT_EQ(Leftovers(scenario.Target), "") << label << ": left behind after the clean run";
  }
  // 4. Everything released, nothing violated.
  EXPECT_EQ(standin::Live().Objects, baseline.Objects) << label << ": engine objects leaked";
  EXPECT_EQ(standin::Live().Strings, baseline.Strings) << label << ": engine strings leaked";
  for (const std::string &violation : standin::TakeViolations())
    ADD_FAILURE() << label << ": contract violation: " << violation;
  return counts;
}

// ----- the sweeps ------------------------------------------------------------------------
class EngineFault : public ::testing::TestWithParam<Scenario> {};

TEST_P(EngineFault, EveryCallRaisesOnce) {
  const Scenario &scenario = GetParam();
  const Counts clean = RunOnce(scenario, {}, scenario.Name + " counting run");
  ASSERT_GT(clean.Raisable, 0);
  for (long k = 1; k <= clean.Raisable; ++k) {
    RunOnce(scenario, {k, ""}, scenario.Name + " call " + std::to_string(k) + " (" + clean.Names[k - 1] + ")");
    if (HasFailure()) break;  // the first faulty call is the one to read about
  }
  RecordProperty("N", std::to_string(clean.Raisable));
  std::printf("%s: N = %ld engine calls that may raise\n", scenario.Name.c_str(), clean.Raisable);
}

TEST_P(EngineFault, EverySignatureWithheldOnce) {
  const Scenario &scenario = GetParam();
  const Counts clean = RunOnce(scenario, {}, scenario.Name + " counting run");
  ASSERT_FALSE(clean.Signatures.empty());
  for (const std::string &signature : clean.Signatures) {
    RunOnce(scenario, {0, signature}, scenario.Name + " withheld \"" + signature + "\"");
    if (HasFailure()) break;
  }
  RecordProperty("Signatures", std::to_string(clean.Signatures.size()));
  std::printf("%s: %zu distinct signatures\n", scenario.Name.c_str(), clean.Signatures.size());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, EngineFault, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &p) { return p.param.Name; });

}  // namespace
