// binder_fuzz.cpp — calls through the script class binder with arbitrary
// argument counts, value types and this-objects.
//
// The binder probe plug-in (tests/binder/binder_probe.cpp: test classes of
// every member shape, declared under WaveSoundBuffer) is loaded once; every
// input gets a fresh stand-in engine and links it, then runs up to 48
// operations on a pool of four script objects: construction with arbitrary
// arguments, method calls, property reads and writes as a script makes them,
// direct calls of the function and property objects with any this-object
// (null, another class's object, a plain dictionary, the class object),
// instance checks, invalidation, release, and unlink-and-relink attempts.
//
// Properties, beyond the sanitizers' own: V2Unlink refuses while a script
// object of a probe class is alive and succeeds at the end; then no probe
// object is referenced, no native object of a test class is alive, and once
// the engine is destroyed no engine object or string is left alive.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "binder_probe_api.h"
#include "engine.h"
#include "fuzz_input.h"
#include "native_class.h"

namespace {

using fuzzing::FuzzInput;
using standin::ObjectRef;

constexpr std::array<const char16_t *, 3> kClasses = {u"BinderShapes", u"BinderOther", u"BinderHollow"};
constexpr std::array<const char16_t *, 12> kMembers = {u"echo", u"pair",  u"count", u"code",     u"raise",
                                                       u"value", u"level", u"sink", u"kind", u"finalize",
                                                       u"_*ClassStore*_", u"none"};

standin::PluginModule &Probe() {
  static standin::PluginModule plugin(BINDER_PROBE_PATH);
  return plugin;
}

template <class Fn>
Fn ProbeEntry(const char *name) {
  auto fn = reinterpret_cast<Fn>(Probe().Symbol(name));
  FUZZ_CHECK(fn != nullptr);
  return fn;
}

class BinderScenario {
 public:
  explicit BinderScenario(FuzzInput &in) : In(in) {}

  void Run() {
    standin::InstallWaveSoundBufferClass();
    FUZZ_CHECK(Probe().Link(standin::Engine::Current()) == TJS_HR_S_OK);
    for (uint32_t steps = In.Below(49); steps > 0 && !In.Empty(); --steps) {
      try {
        Step();
      } catch (const standin::EngineError &) {
        // "probe raised", conversion errors of the engine: answers too.
      }
    }
    for (ObjectRef &object : Pool) object.Reset();
    Dictionary.Reset();
    FUZZ_CHECK(Probe().Unlink() == TJS_HR_S_OK);
    FUZZ_CHECK(ProbeEntry<BinderProbeIntFn>("BinderProbeRefTotal")() == 0);
    FUZZ_CHECK(ProbeEntry<BinderProbeIntFn>("BinderProbeLive")() == 0);
  }

 private:
  void Step() {
    switch (In.Below(10)) {
      case 0:
      case 1: Construct(); break;
      case 2:
      case 3: CallAsScript(); break;
      case 4: ReadAsScript(); break;
      case 5: WriteAsScript(); break;
      case 6: CallStoreDirectly(); break;
      case 7: standin::ScriptInvalidate(PoolObject()); break;
      case 8: Pool[In.Below(Pool.size())].Reset(); break;
      default: UnlinkAndRelink(); break;
    }
  }

  iTJSDispatch2 *ClassObject(uint32_t which) {
    return standin::ObjectAt(u"WaveSoundBuffer." + std::u16string(kClasses[which]));
  }

  // A pool object, or a dictionary when that slot is empty.
  iTJSDispatch2 *PoolObject() {
    ObjectRef &slot = Pool[In.Below(Pool.size())];
    return slot ? slot.Get() : DictionaryObject();
  }
  iTJSDispatch2 *DictionaryObject() {
    if (!Dictionary) Dictionary.Reset(TJSCreateDictionaryObject(nullptr));
    return Dictionary.Get();
  }
  // Any object a script could hand over, or null.
  iTJSDispatch2 *AnyObject() {
    switch (In.Below(5)) {
      case 0: return nullptr;
      case 1: return DictionaryObject();
      case 2: return ClassObject(In.Below(kClasses.size()));
      case 3: return standin::Engine::Current().Global();
      default: return PoolObject();
    }
  }
  const char16_t *Member() { return kMembers[In.Below(kMembers.size())]; }

  tTJSVariant Value() {
    switch (In.Below(7)) {
      case 0: return tTJSVariant();
      case 1: return standin::VariantOf(static_cast<tTVInteger>(static_cast<int64_t>(In.U64())));
      case 2: return standin::VariantOf(static_cast<tTVInteger>(static_cast<int8_t>(In.Byte())));
      case 3: return standin::VariantOf(In.RawDouble());
      case 4: return standin::VariantOf(standin::Utf8(In.Text(6, u"0123456789-.e x")));
      case 5: return standin::VariantOf(In.Bool());
      default: return tTJSVariant(AnyObject());
    }
  }
  standin::Arguments Values(uint32_t most) {
    standin::Arguments values(In.Below(most + 1));
    for (tTJSVariant &value : values) value = Value();
    return values;
  }

  void Construct() {
    iTJSDispatch2 *cls = ClassObject(In.Below(kClasses.size()));
    ObjectRef &slot = Pool[In.Below(Pool.size())];
    if (!cls) return;  // between an unlink and a failed relink
    standin::Arguments args = Values(3);
    ObjectRef made;
    standin::ScriptNew(cls, args, made);
    slot = std::move(made);
  }

  void CallAsScript() {
    iTJSDispatch2 *object = PoolObject();
    const char16_t *member = Member();
    const standin::Arguments args = Values(4);
    tTJSVariant result;
    standin::ScriptCall(object, member, args, In.Bool() ? &result : nullptr);
  }

  void ReadAsScript() {
    iTJSDispatch2 *object = PoolObject();
    const char16_t *member = Member();
    tTJSVariant result;
    standin::ScriptGet(object, member, &result);
  }

  // Script writes store no objects: an object stored in a plain member of
  // another object could close a reference cycle, which a reference-counted
  // engine never frees, whatever the plug-in does. (Setters meet object
  // values through CallStoreDirectly.)
  void WriteAsScript() {
    iTJSDispatch2 *object = PoolObject();
    const char16_t *member = Member();
    tTJSVariant value = Value();
    if (value.Type() == tvtObject) value = tTJSVariant();
    standin::ScriptSet(object, member, value);
  }

  // Calls a member's function or property object itself, as the engine does
  // once it has found the member, with an arbitrary this-object and
  // sometimes a member name (which the stores refuse).
  void CallStoreDirectly() {
    iTJSDispatch2 *owner = In.Bool() ? ClassObject(In.Below(kClasses.size())) : PoolObject();
    if (!owner) return;
    const char16_t *member = Member();
    tTJSVariant stored;
    if (TJS_FAILED(owner->GetMember(TJS_IGNOREPROP, member, nullptr, &stored, owner))) return;
    iTJSDispatch2 *store = stored.AsObjectNoAddRef();
    if (!store) return;
    const tjs_char *name = In.Byte() < 0x20 ? u"x" : nullptr;
    iTJSDispatch2 *objthis = AnyObject();
    tTJSVariant result;
    switch (In.Below(4)) {
      case 0: {
        standin::Arguments args = Values(4);
        std::vector<tTJSVariant *> pointers;
        for (tTJSVariant &arg : args) pointers.push_back(&arg);
        // A negative count with no array, as a careless caller might pass.
        const tjs_int count = In.Byte() < 0x10 ? -static_cast<tjs_int>(In.Below(3)) : static_cast<tjs_int>(args.size());
        store->CallMember(0, name, nullptr, In.Bool() ? &result : nullptr, count,
                          count > 0 ? pointers.data() : nullptr, objthis);
        break;
      }
      case 1: store->GetMember(0, name, nullptr, In.Bool() ? &result : nullptr, objthis); break;
      case 2: {
        const tTJSVariant value = Value();
        store->SetMember(0, name, nullptr, &value, objthis);
        break;
      }
      default: {
        const std::u16string cls = In.Text(10, u"FunctionPropertyObjectfo");
        store->CheckInstanceOf(0, name, nullptr, cls.c_str(), objthis);
        break;
      }
    }
  }

  // V2Unlink must refuse while a script object holds a probe member; when it
  // succeeds, link again so the scenario goes on with the classes declared.
  void UnlinkAndRelink() {
    const bool referenced = AnyProbeMemberHeld();
    const tjs_hresult unlinked = Probe().Unlink();
    if (referenced) FUZZ_CHECK(unlinked == TJS_HR_E_FAIL);
    if (unlinked == TJS_HR_S_OK) FUZZ_CHECK(Probe().Link(standin::Engine::Current()) == TJS_HR_S_OK);
  }

  // True when a pool object's "echo" still holds the function object copied
  // from its class (scripts here never store other objects in members).
  bool AnyProbeMemberHeld() {
    for (ObjectRef &object : Pool) {
      if (!object) continue;
      tTJSVariant stored;
      if (TJS_SUCCEEDED(object->GetMember(TJS_IGNOREPROP, u"echo", nullptr, &stored, object.Get())) &&
          stored.Type() == tvtObject)
        return true;
    }
    return false;
  }

  FuzzInput &In;
  std::array<ObjectRef, 4> Pool;
  ObjectRef Dictionary;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const standin::LiveCounts before = standin::Live();
  {
    standin::Engine engine;
    FuzzInput in(data, size);
    BinderScenario(in).Run();
  }
  FUZZ_CHECK(standin::Live() == before);
  return 0;
}
