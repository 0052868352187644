// simple_binder.cpp — the non-template parts of the script class binder.
#include "simple_binder.h"

namespace SimpleBinder {
namespace Detail {

namespace {

// The object held by member `name` (the first `length` units) of `owner`,
// borrowed from that member; null when the member is missing or no object.
iTJSDispatch2 *MemberObject(iTJSDispatch2 *owner, const tjs_char *name, int length) {
  const ttstr segment(name, length);
  tTJSVariant value;
  if (TJS_FAILED(owner->GetMember(0, segment.c_str(), nullptr, &value, owner))) return nullptr;
  return value.AsObjectNoAddRef();
}

tjs_int32 NativeInstances = 0;  // live InstanceWrappers; script thread only

}  // namespace

tjs_int32 LiveNativeInstances() { return NativeInstances; }
void NoteNativeInstance(tjs_int32 delta) { NativeInstances += delta; }

void LogClassFailure(const tjs_char *prefix, const ttstr &className) {
  TVPAddImportantLog(ttstr(prefix) + className);
}

// ----- paths -----------------------------------------------------------------------
iTJSDispatch2 *ResolvePath(const ttstr &path, iTJSDispatch2 *root) {
  iTJSDispatch2 *current = root;
  if (!current) {
    current = TVPGetScriptDispatch();
    if (!current) return nullptr;
    current->Release();  // the engine keeps its global object; the walk only borrows it
  }
  const tjs_char *at = path.c_str();
  while (*at) {
    const tjs_char *end = at;
    while (*end && *end != u'.') ++end;
    if (end != at) {
      current = MemberObject(current, at, static_cast<int>(end - at));
      if (!current) return nullptr;
    }
    at = *end ? end + 1 : end;
  }
  return current;
}

// A member that is not there (TJS_E_MEMBERNOTFOUND) counts as removed: an
// unlink after a link that an engine error interrupted must still complete,
// whichever classes the link got to declare.
bool Unbind(iTJSDispatch2 *target, const ttstr &name) {
  if (!target) return false;
  const tjs_error hr = target->RemoveMember(0, name.c_str(), nullptr, target);
  return TJS_SUCCEEDED(hr) || hr == TJS_E_MEMBERNOTFOUND;
}

// ----- StoreUtil ---------------------------------------------------------------------
tjs_error TJS_INTF_METHOD StoreUtil::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     const tjs_char *classname, iTJSDispatch2 *) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (!classname) return TJS_S_FALSE;  // no name to match
  if (IsInstanceOfName(classname)) return TJS_S_TRUE;
  if (TJS_stricmp(classname, u"Object") == 0) return TJS_S_TRUE;
  return TJS_S_FALSE;
}

bool StoreUtil::Attach(iTJSDispatch2 *target, const ttstr &name, iTJSDispatch2 *context) {
  ScopedRelease creatorReference(this);  // also dropped if the closure cannot be made
  const tTJSVariant closure(this, context);
  creatorReference.ReleaseNow();  // the closure holds the only reference now
  if (!target) return false;
  return TJS_SUCCEEDED(target->SetMember(Flags, name.c_str(), nullptr, &closure, target));
}

// ----- FunctionStore -------------------------------------------------------------------
FunctionStore::FunctionStore(FunctionInterface *callback) : StoreUtil(kMemberFlags), Callback(callback) {}

FunctionStore::~FunctionStore() { delete Callback; }

tjs_error TJS_INTF_METHOD FunctionStore::CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
                                                    tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                                    iTJSDispatch2 *objthis) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  return Callback->Call(flag, result, numparams, param, objthis);
}

bool FunctionStore::IsInstanceOfName(const tjs_char *classname) { return TJS_stricmp(classname, u"Function") == 0; }

// ----- PropertyStore -------------------------------------------------------------------
PropertyStore::PropertyStore(SetterInterface *setter, GetterInterface *getter)
    : StoreUtil(kMemberFlags), Setter(setter), Getter(getter) {}

PropertyStore::~PropertyStore() {
  delete Setter;
  delete Getter;
}

tjs_error TJS_INTF_METHOD PropertyStore::GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
                                                   tTJSVariant *result, iTJSDispatch2 *objthis) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (!Getter) return TJS_E_ACCESSDENYED;
  return Getter->Get(flag, result, objthis);
}

tjs_error TJS_INTF_METHOD PropertyStore::SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
                                                   const tTJSVariant *param, iTJSDispatch2 *objthis) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (!Setter) return TJS_E_ACCESSDENYED;
  if (!param) return TJS_E_INVALIDPARAM;
  return Setter->Set(flag, param, objthis);
}

bool PropertyStore::IsInstanceOfName(const tjs_char *classname) { return TJS_stricmp(classname, u"Property") == 0; }

// ----- native instances and class entries ------------------------------------------------
tjs_error TJS_INTF_METHOD tTJSNativeInstance::OnConstruct(tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  return TJS_S_OK;
}

void TJS_INTF_METHOD tTJSNativeInstance::OnInvalidate() {}

void TJS_INTF_METHOD tTJSNativeInstance::OnDestruct() { delete this; }

void ClassEntryInterface::Discard() { delete this; }

// ----- BindUtil ---------------------------------------------------------------------------
BindUtil::BindUtil(const ttstr &parentPath, bool link) : LinkMode(link), Target(ResolvePath(parentPath, nullptr)) {}

}  // namespace Detail
}  // namespace SimpleBinder
