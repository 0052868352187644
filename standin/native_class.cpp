// native_class.cpp — the stand-in engine's native classes: class objects,
// native method objects, class ids, construction through a class object, the
// WaveSoundBuffer class, the script-level helpers and the exported forms of
// the native class functions.
#include "native_class.h"

#include <algorithm>
#include <map>
#include <set>

#include "calls.h"
#include "engine.h"
#include "value_rep.h"

namespace standin {

namespace {

// Every live class object, so that a pointer handed back by a plug-in is only
// treated as a class object when it is one. Process-wide: class objects may
// outlive the engine state (the global object is released after it).
std::set<const iTJSDispatch2 *> &LiveClassObjects() {
  static std::set<const iTJSDispatch2 *> live;
  return live;
}

// The engine's class ids and failure switches.
struct NativeClassState : Engine::ModuleState {
  static const char Key;
  std::map<std::u16string, tjs_int32, std::less<>> Ids;
  NativeClassFaults Faults;

  tjs_int32 NextId() const {
    tjs_int32 highest = 0;
    for (auto &entry : Ids) highest = std::max(highest, entry.second);
    return highest + 1;
  }
  bool IdInUse(tjs_int32 classid) const {
    return std::any_of(Ids.begin(), Ids.end(), [&](auto &entry) { return entry.second == classid; });
  }
};
const char NativeClassState::Key = 0;

NativeClassState &State() { return Engine::Current().State<NativeClassState>(); }

// A native method or constructor: calling the object itself runs the callback.
class NativeMethodObject : public BasicObject<tTJSNativeClassMethod> {
 public:
  explicit NativeMethodObject(tTJSNativeClassMethodCallback callback) : Callback_(callback) {}

  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *, tTJSVariant *result,
                                       tjs_int numparams, tTJSVariant **param, iTJSDispatch2 *objthis) override {
    STANDIN_ENGINE_CALL("NativeMethod.CallMember");
    if (membername) return TJS_E_MEMBERNOTFOUND;
    if (!Callback_) return TJS_E_NOTIMPL;
    return Callback_(result, numparams, param, objthis);
  }
  tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                            const tjs_char *classname, iTJSDispatch2 *) override {
    STANDIN_ENGINE_CALL("NativeMethod.CheckInstanceOf");
    if (membername) return TJS_E_MEMBERNOTFOUND;
    const bool match = TJS_stricmp(classname, u"Function") == 0 || TJS_stricmp(classname, u"Object") == 0;
    return match ? TJS_S_TRUE : TJS_S_FALSE;
  }

 private:
  tTJSNativeClassMethodCallback Callback_;
};

std::u16string TextOrEmpty(const tjs_char *text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

// ----- class objects -------------------------------------------------------------
NativeClassObject::NativeClassObject(std::u16string name, tTJSCreateNativeInstance factory)
    : Name_(std::move(name)), Factory_(factory) {
  AddClassName(u"Class");
  LiveClassObjects().insert(this);
}

NativeClassObject::~NativeClassObject() { LiveClassObjects().erase(this); }

ScriptObject *NativeClassObject::NewObjectWithMembers() const {
  auto *object = new ScriptObject();
  object->AddClassName(Name_);
  for (const Member &m : Members()) {
    if ((m.Flags & TJS_STATICMEMBER) || m.Name == Name_) continue;
    object->Put(m.Name, m.Value, m.Flags);
  }
  return object;
}

tjs_error TJS_INTF_METHOD NativeClassObject::CreateInstance(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                            iTJSDispatch2 **result, tjs_int numparams,
                                                            tTJSVariant **param, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("NativeClass.CreateInstance");
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (!result) return TJS_E_INVALIDPARAM;
  *result = nullptr;
  ObjectRef object(NewObjectWithMembers());
  if (Factory_) {
    if (iTJSNativeInstance *native = Factory_())
      object->NativeInstanceAccess(TJS_NIS_REGISTER, ClassID_, &native);
  }
  tjs_error hr = TJS_S_OK;
  if (const Member *ctor = Find(Name_)) {
    tTJSVariant callee(ctor->Value);  // keeps the constructor alive during the call
    if (iTJSDispatch2 *function = callee.AsObjectNoAddRef())
      hr = function->CallMember(0, nullptr, nullptr, nullptr, numparams, param, object.Get());
  }
  if (TJS_FAILED(hr)) return hr;  // the holder releases the unfinished object
  object->AddRef();
  *result = object.Get();
  return TJS_S_OK;
}

NativeClassObject *AsNativeClass(const iTJSDispatch2 *object) {
  if (!object || !LiveClassObjects().count(object)) return nullptr;
  return static_cast<NativeClassObject *>(const_cast<iTJSDispatch2 *>(object));
}

// ----- class ids and failure switches ------------------------------------------------
bool PreRegisterNativeClass(std::u16string_view name, tjs_int32 classid) {
  NativeClassState &state = State();
  if (state.Ids.count(name) || state.IdInUse(classid)) return false;
  state.Ids.emplace(std::u16string(name), classid);
  return true;
}

NativeClassFaults &NativeClassFailures() { return State().Faults; }

// ----- WaveSoundBuffer ---------------------------------------------------------------
NativeClassObject *InstallWaveSoundBufferClass(tTJSCreateNativeInstance factory) {
  if (NativeClassObject *existing = AsNativeClass(ObjectAt(u"WaveSoundBuffer"))) return existing;
  ObjectRef cls(TJSCreateNativeClassForPlugin(ttstr(u"WaveSoundBuffer"), factory));
  NativeClassObject *installed = AsNativeClass(cls.Get());
  if (!installed) return nullptr;  // refused by an injected failure
  TJSNativeClassSetClassID(installed, TJSRegisterNativeClass(u"WaveSoundBuffer"));
  if (!TVPRegisterGlobalObject(u"WaveSoundBuffer", installed)) return nullptr;
  return installed;
}

// ----- script-level helpers ------------------------------------------------------------
ObjectRef &ObjectRef::operator=(ObjectRef &&other) noexcept {
  if (this != &other) {
    Reset(other.Object_);
    other.Object_ = nullptr;
  }
  return *this;
}

void ObjectRef::Reset(iTJSDispatch2 *owned) {
  iTJSDispatch2 *old = Object_;
  Object_ = owned;
  if (old) old->Release();
}

namespace {

// The engine's argument array for `args` (null when there are none).
std::vector<tTJSVariant *> ArgumentArray(Arguments &args) {
  std::vector<tTJSVariant *> array;
  for (auto &a : args) array.push_back(&a);
  return array;
}

}  // namespace

tjs_error ScriptNew(iTJSDispatch2 *cls, const Arguments &args, ObjectRef &object) {
  object.Reset();
  if (!cls) return TJS_E_INVALIDPARAM;
  Arguments copy(args);
  std::vector<tTJSVariant *> array = ArgumentArray(copy);
  iTJSDispatch2 *made = nullptr;
  tjs_error hr = cls->CreateInstance(0, nullptr, nullptr, &made, static_cast<tjs_int>(array.size()),
                                     array.empty() ? nullptr : array.data(), cls);
  object.Reset(made);
  return hr;
}

tjs_error ScriptCall(iTJSDispatch2 *object, std::u16string_view name, const Arguments &args, tTJSVariant *result) {
  if (!object) return TJS_E_INVALIDPARAM;
  const std::u16string member(name);
  Arguments copy(args);
  std::vector<tTJSVariant *> array = ArgumentArray(copy);
  return object->CallMember(0, member.c_str(), nullptr, result, static_cast<tjs_int>(array.size()),
                            array.empty() ? nullptr : array.data(), object);
}

tjs_error ScriptGet(iTJSDispatch2 *object, std::u16string_view name, tTJSVariant *result) {
  if (!object) return TJS_E_INVALIDPARAM;
  const std::u16string member(name);
  return object->GetMember(0, member.c_str(), nullptr, result, object);
}

tjs_error ScriptSet(iTJSDispatch2 *object, std::u16string_view name, const tTJSVariant &value) {
  if (!object) return TJS_E_INVALIDPARAM;
  const std::u16string member(name);
  return object->SetMember(TJS_MEMBERENSURE, member.c_str(), nullptr, &value, object);
}

tjs_error ScriptInvalidate(iTJSDispatch2 *object) {
  if (!object) return TJS_E_INVALIDPARAM;
  return object->InvalidateMember(0, nullptr, nullptr, object);
}

iTJSDispatch2 *ObjectAt(std::u16string_view path) {
  iTJSDispatch2 *current = Engine::Current().Global();
  while (current && !path.empty()) {
    const size_t dot = path.find(u'.');
    const std::u16string segment(path.substr(0, dot));
    path = dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot + 1);
    if (segment.empty()) continue;
    tTJSVariant value;
    if (TJS_FAILED(current->GetMember(TJS_IGNOREPROP, segment.c_str(), nullptr, &value, current))) return nullptr;
    current = value.AsObjectNoAddRef();  // still held by the member it was read from
  }
  return current;
}

}  // namespace standin

using namespace standin;

// ----- engine free functions -------------------------------------------------------------
tTJSNativeClassForPlugin *TJSCreateNativeClassForPlugin(const ttstr &name, tTJSCreateNativeInstance factory) {
  const std::u16string className = TextOf(name);
  const NativeClassFaults &faults = State().Faults;
  if (faults.RefuseClass && faults.RefuseClass(className)) return nullptr;
  auto *cls = new NativeClassObject(className, factory);
  if (auto refuse = faults.RefuseClassMember)
    cls->RefuseSetMember = [refuse, className](std::u16string_view member) { return refuse(className, member); };
  return cls;
}

tjs_int32 TJSRegisterNativeClass(const tjs_char *name) {
  if (!name) return -1;
  NativeClassState &state = State();
  auto it = state.Ids.find(std::u16string_view(name));
  if (it != state.Ids.end()) return it->second;
  const tjs_int32 classid = state.NextId();
  state.Ids.emplace(name, classid);
  return classid;
}

void TJSNativeClassSetClassID(tTJSNativeClass *cls, tjs_int32 classid) {
  if (NativeClassObject *object = AsNativeClass(cls)) object->SetClassID(classid);
}

tjs_int32 TJSFindNativeClassID(const tjs_char *name) {
  if (!name) return -1;
  NativeClassState &state = State();
  auto it = state.Ids.find(std::u16string_view(name));
  return it == state.Ids.end() ? -1 : it->second;
}

tTJSNativeClassMethod *TJSCreateNativeClassMethod(tTJSNativeClassMethodCallback callback) {
  return new NativeMethodObject(callback);
}

tTJSNativeClassMethod *TJSCreateNativeClassConstructor(tTJSNativeClassMethodCallback callback) {
  return new NativeMethodObject(callback);
}

void TJSNativeClassRegisterNCM(tTJSNativeClass *cls, const tjs_char *name, iTJSDispatch2 *member,
                               const tjs_char *classname, tTJSNativeInstanceType type, tjs_uint32 flags) {
  ObjectRef taken(member);  // the class's member holds it from here on
  (void)classname;
  (void)type;
  NativeClassObject *object = AsNativeClass(cls);
  if (!object || !name || !member) return;
  object->Put(TextOrEmpty(name), tTJSVariant(member), flags);
}

// ----- exported forms ------------------------------------------------------------------------
namespace {

#define EX static TJS_ENGINE_CALL

EX tTJSNativeClassForPlugin *F_CreateNativeClassForPlugin(const ttstr &name, tTJSCreateNativeInstance factory) { STANDIN_ENGINE_CALL("F_CreateNativeClassForPlugin");
  return TJSCreateNativeClassForPlugin(name, factory);
}
EX tjs_int32 F_RegisterNativeClass(const tjs_char *name) { STANDIN_ENGINE_CALL("F_RegisterNativeClass"); return TJSRegisterNativeClass(name); }
EX void F_NativeClassSetClassID(tTJSNativeClass *cls, tjs_int32 classid) { STANDIN_ENGINE_CALL("F_NativeClassSetClassID"); TJSNativeClassSetClassID(cls, classid); }
EX tjs_int32 F_FindNativeClassID(const tjs_char *name) { STANDIN_ENGINE_CALL("F_FindNativeClassID"); return TJSFindNativeClassID(name); }
EX tTJSNativeClassMethod *F_CreateNativeClassMethod(tTJSNativeClassMethodCallback callback) { STANDIN_ENGINE_CALL("F_CreateNativeClassMethod");
  return TJSCreateNativeClassMethod(callback);
}
EX tTJSNativeClassMethod *F_CreateNativeClassConstructor(tTJSNativeClassMethodCallback callback) { STANDIN_ENGINE_CALL("F_CreateNativeClassConstructor");
  return TJSCreateNativeClassConstructor(callback);
}
EX void F_NativeClassRegisterNCM(tTJSNativeClass *cls, const tjs_char *name, iTJSDispatch2 *member,
                                 const tjs_char *classname, tTJSNativeInstanceType type, tjs_uint32 flags) { STANDIN_ENGINE_CALL("F_NativeClassRegisterNCM");
  TJSNativeClassRegisterNCM(cls, name, member, classname, type, flags);
}

#undef EX

}  // namespace

namespace standin {

void RegisterNativeClassFunctions(Exporter &x) {
  x.Add("tTJSNativeClassForPlugin * ::TJSCreateNativeClassForPlugin(const ttstr &,tTJSCreateNativeInstance)",
        &F_CreateNativeClassForPlugin);
  x.Add("tjs_int32 ::TJSRegisterNativeClass(const tjs_char *)", &F_RegisterNativeClass);
  x.Add("void ::TJSNativeClassSetClassID(tTJSNativeClass *,tjs_int32)", &F_NativeClassSetClassID);
  x.Add("tjs_int32 ::TJSFindNativeClassID(const tjs_char *)", &F_FindNativeClassID);
  x.Add("tTJSNativeClassMethod * ::TJSCreateNativeClassMethod(tTJSNativeClassMethodCallback)",
        &F_CreateNativeClassMethod);
  x.Add("tTJSNativeClassMethod * ::TJSCreateNativeClassConstructor(tTJSNativeClassMethodCallback)",
        &F_CreateNativeClassConstructor);
  x.Add(
      "void ::TJSNativeClassRegisterNCM(tTJSNativeClass *,const tjs_char *,iTJSDispatch2 *,const tjs_char "
      "*,tTJSNativeInstanceType,tjs_uint32)",
      &F_NativeClassRegisterNCM);
}

}  // namespace standin
