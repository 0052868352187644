// objects.cpp — the stand-in engine's script objects.
#include "objects.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <new>
#include <string>

#include "calls.h"
#include "engine.h"
#include "value_rep.h"

namespace standin {

namespace {

tjs_error NamedOrSelf(const tjs_char *membername) {
  return membername ? TJS_E_MEMBERNOTFOUND : TJS_E_NOTIMPL;
}

// What an engine object's memory becomes after its last Release: every
// operation reports "used after its last release" instead of touching freed
// memory. A reference count dropped below zero is one such use (Release).
// The memory is kept (poisoned) for the last kQuarantinedObjects objects, so
// that a late call finds the poison rather than another object; under
// AddressSanitizer older ones are freed into its own quarantine.
class PoisonedObject final : public iTJSDispatch2 {
 public:
  tjs_uint TJS_INTF_METHOD AddRef() override {
    UsedAfterRelease("AddRef");
    return 0;
  }
  tjs_uint TJS_INTF_METHOD Release() override {
    UsedAfterRelease("Release");
    return 0;
  }
  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32, const tjs_char *, tjs_uint32 *, tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) override {
    UsedAfterRelease("CallMember");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CallMemberByNum(tjs_uint32, tjs_int, tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) override {
    UsedAfterRelease("CallMemberByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD GetMember(tjs_uint32, const tjs_char *, tjs_uint32 *, tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("GetMember");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD GetMemberByNum(tjs_uint32, tjs_int, tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("GetMemberByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SetMember(tjs_uint32, const tjs_char *, tjs_uint32 *, const tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("SetMember");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SetMemberByNum(tjs_uint32, tjs_int, const tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("SetMemberByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CountMembers(tjs_int *, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) override {
    UsedAfterRelease("CountMembers");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CountMembersByNum(tjs_int *, tjs_int, iTJSDispatch2 *) override {
    UsedAfterRelease("CountMembersByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SetMemberByStringObject(tjs_uint32, const tTJSString *, const tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("SetMemberByStringObject");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD EnumerateMembers(tjs_uint32, tTJSVariantClosure *, iTJSDispatch2 *) override {
    UsedAfterRelease("EnumerateMembers");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD RemoveMember(tjs_uint32, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) override {
    UsedAfterRelease("RemoveMember");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD RemoveMemberByNum(tjs_uint32, tjs_int, iTJSDispatch2 *) override {
    UsedAfterRelease("RemoveMemberByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD InvalidateMember(tjs_uint32, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) override {
    UsedAfterRelease("InvalidateMember");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD InvalidateMemberByNum(tjs_uint32, tjs_int, iTJSDispatch2 *) override {
    UsedAfterRelease("InvalidateMemberByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CheckMemberValid(tjs_uint32, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) override {
    UsedAfterRelease("CheckMemberValid");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CheckMemberValidByNum(tjs_uint32, tjs_int, iTJSDispatch2 *) override {
    UsedAfterRelease("CheckMemberValidByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CreateInstance(tjs_uint32, const tjs_char *, tjs_uint32 *, iTJSDispatch2 **, tjs_int, tTJSVariant **, iTJSDispatch2 *) override {
    UsedAfterRelease("CreateInstance");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CreateInstanceByNum(tjs_uint32, tjs_int, iTJSDispatch2 **, tjs_int, tTJSVariant **, iTJSDispatch2 *) override {
    UsedAfterRelease("CreateInstanceByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SpareA() override {
    UsedAfterRelease("SpareA");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32, const tjs_char *, tjs_uint32 *, const tjs_char *, iTJSDispatch2 *) override {
    UsedAfterRelease("CheckInstanceOf");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD CheckInstanceOfByNum(tjs_uint32, tjs_int, const tjs_char *, iTJSDispatch2 *) override {
    UsedAfterRelease("CheckInstanceOfByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD ApplyOperation(tjs_uint32, const tjs_char *, tjs_uint32 *, tTJSVariant *, const tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("ApplyOperation");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD ApplyOperationByNum(tjs_uint32, tjs_int, tTJSVariant *, const tTJSVariant *, iTJSDispatch2 *) override {
    UsedAfterRelease("ApplyOperationByNum");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD NativeInstanceAccess(tjs_uint32, tjs_int32, iTJSNativeInstance **) override {
    UsedAfterRelease("NativeInstanceAccess");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD ClassInstanceQuery(tjs_uint32, const tjs_char *, iTJSDispatch2 **) override {
    UsedAfterRelease("ClassInstanceQuery");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SpareB() override {
    UsedAfterRelease("SpareB");
    return TJS_E_INVALIDPARAM;
  }
  tjs_error TJS_INTF_METHOD SpareC() override {
    UsedAfterRelease("SpareC");
    return TJS_E_INVALIDPARAM;
  }

 private:
  static void UsedAfterRelease(const char *operation) {
    ReportViolation(std::string("engine object used after its last release: ") + operation);
  }
};

constexpr size_t kQuarantinedObjects = 4096;

// Never destroyed: objects may be released by other static objects' destructors.
std::deque<void *> &Quarantine() {
  static auto *memory = new std::deque<void *>();
  return *memory;
}

void Bury(void *memory, std::size_t size) {
  if (size < sizeof(PoisonedObject)) {
    ::operator delete(memory);
    return;
  }
  new (memory) PoisonedObject();
  Quarantine().push_back(memory);
  if (Quarantine().size() > kQuarantinedObjects) {
    ::operator delete(Quarantine().front());
    Quarantine().pop_front();
  }
}

// ----- strict argument checks (plug-in calls only) ------------------------------
// Member flags with a meaning for reading, calling and removing members;
// TJS_MEMBERENSURE only means something when a member is written.
constexpr tjs_uint32 kMemberMustExist = 0x400;
constexpr tjs_uint32 kReadFlags = kMemberMustExist | TJS_IGNOREPROP | TJS_HIDDENMEMBER | TJS_STATICMEMBER;
constexpr tjs_uint32 kWriteFlags = kReadFlags | TJS_MEMBERENSURE;
constexpr tjs_uint32 kEnumerateFlags = TJS_ENUM_NO_VALUE | TJS_HIDDENMEMBER;

tjs_error Refuse(const std::string &what) {
  ReportViolation(what);
  return TJS_E_INVALIDPARAM;
}

std::string Hex(tjs_uint32 value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

// A member operation from a plug-in: only flags with a meaning for it, a
// this-object (every member operation is made on behalf of one), and a hint
// that is either unused (0) or the one this engine stored for that very name.
// The engine stores the name's hash in a hint it is given, as its lookup
// cache; a hint carried over from another name is stale.
bool CheckedMemberCall(const char *operation, tjs_uint32 flag, tjs_uint32 allowed, const tjs_char *membername,
                       tjs_uint32 *hint, iTJSDispatch2 *objthis) {
  const std::string op(operation);
  if (flag & ~allowed) {
    Refuse(op + ": flag bits " + Hex(flag & ~allowed) + " have no meaning here (flag " + Hex(flag) + ")");
    return false;
  }
  if (!objthis) {
    Refuse(op + ": no this-object given");
    return false;
  }
  if (hint) {
    if (!membername) {
      Refuse(op + ": a hint given without a member name");
      return false;
    }
    const tjs_uint32 expected = MemberNameHash(membername);
    if (*hint != 0 && *hint != expected) {
      Refuse(op + ": stale hint " + Hex(*hint) + " for member \"" + Utf8(membername) + "\"");
      return false;
    }
  }
  return true;
}

// The engine caches the name's hash in the hint it is given, whoever calls.
void FillHint(const tjs_char *membername, tjs_uint32 *hint) {
  if (hint && membername) *hint = MemberNameHash(membername);
}

std::u16string NumberName(tjs_int num) {
  tjs_char buffer[34];
  TJS_int_to_str(num, buffer);
  return buffer;
}

}  // namespace

// ----- BasicObject -------------------------------------------------------------
template <class I>
BasicObject<I>::BasicObject() {
  CountObject(+1);
}
template <class I>
BasicObject<I>::~BasicObject() {
  CountObject(-1);
}
template <class I>
void *BasicObject<I>::operator new(std::size_t size) {
  return ::operator new(size);
}
template <class I>
void BasicObject<I>::operator delete(void *memory, std::size_t size) {
  Bury(memory, size);
}

template <class I>
tjs_uint TJS_INTF_METHOD BasicObject<I>::AddRef() {
  STANDIN_SAFE_ENGINE_CALL("AddRef");
  return ++RefCount_;
}
template <class I>
tjs_uint TJS_INTF_METHOD BasicObject<I>::Release() {
  STANDIN_SAFE_ENGINE_CALL("Release");
  if (RefCount_ > 1) return --RefCount_;
  OnFinalRelease();
  if (RefCount_ > 1) return --RefCount_;  // revived by the final-release hook
  delete this;
  return 0;
}

template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CallMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CallMember");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                          tjs_int numparams, tTJSVariant **param,
                                                          iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("CallMemberByNum");
  return CallMember(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::GetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                    tTJSVariant *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("GetMember");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                         iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("GetMemberByNum");
  return GetMember(flag, NumberName(num).c_str(), nullptr, result, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                    const tTJSVariant *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("SetMember");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                                         iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("SetMemberByNum");
  return SetMember(flag, NumberName(num).c_str(), nullptr, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CountMembers(tjs_int *, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CountMembers");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("CountMembersByNum");
  return CountMembers(result, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMemberByStringObject(tjs_uint32, const tTJSString *,
                                                                  const tTJSVariant *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("SetMemberByStringObject");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::EnumerateMembers(tjs_uint32, tTJSVariantClosure *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("EnumerateMembers");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                       iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("RemoveMember");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("RemoveMemberByNum");
  return RemoveMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::InvalidateMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                           iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("InvalidateMember");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::InvalidateMemberByNum(tjs_uint32 flag, tjs_int num,
                                                                iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("InvalidateMemberByNum");
  return InvalidateMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckMemberValid(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                           iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CheckMemberValid");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckMemberValidByNum(tjs_uint32 flag, tjs_int num,
                                                                iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("CheckMemberValidByNum");
  return CheckMemberValid(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CreateInstance(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 **, tjs_int, tTJSVariant **,
                                                         iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CreateInstance");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                              tjs_int numparams, tTJSVariant **param,
                                                              iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("CreateInstanceByNum");
  return CreateInstance(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareA() {
  STANDIN_ENGINE_CALL("SpareA");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                          const tjs_char *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CheckInstanceOf");
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num,
                                                               const tjs_char *classname, iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("CheckInstanceOfByNum");
  return CheckInstanceOf(flag, NumberName(num).c_str(), nullptr, classname, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::ApplyOperation(tjs_uint32 flag, const tjs_char *membername,
                                                         tjs_uint32 *hint, tTJSVariant *result,
                                                         const tTJSVariant *param, iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("ApplyOperation");
  const tjs_uint32 code = flag & 0x1f;
  if (code < 1 || code > 16 || (code != 15 && code != 16 && !param)) return TJS_E_INVALIDPARAM;
  tTJSVariant value;
  tjs_error hr = GetMember(0, membername, hint, &value, objthis);
  if (TJS_FAILED(hr)) return hr;
  TJSDoVariantOperation(static_cast<tjs_int>(code), value, param);
  hr = SetMember(0, membername, hint, &value, objthis);
  if (TJS_FAILED(hr)) return hr;
  if (result) result->CopyRef(value);
  return TJS_S_OK;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::ApplyOperationByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                              const tTJSVariant *param, iTJSDispatch2 *objthis) {
  STANDIN_ENGINE_CALL("ApplyOperationByNum");
  return ApplyOperation(flag, NumberName(num).c_str(), nullptr, result, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::NativeInstanceAccess(tjs_uint32, tjs_int32, iTJSNativeInstance **) {
  STANDIN_ENGINE_CALL("NativeInstanceAccess");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::ClassInstanceQuery(tjs_uint32, const tjs_char *, iTJSDispatch2 **) {
  STANDIN_ENGINE_CALL("ClassInstanceQuery");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareB() {
  STANDIN_ENGINE_CALL("SpareB");
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareC() {
  STANDIN_ENGINE_CALL("SpareC");
  return TJS_E_NOTIMPL;
}

// ----- BasicScriptObject -----------------------------------------------------------
template <class B>
BasicScriptObject<B>::BasicScriptObject() = default;

template <class B>
BasicScriptObject<B>::~BasicScriptObject() {
  // Members go first (they may refer back to engine state), then the native
  // instances get their final call.
  std::vector<Member> members;
  members.swap(Members_);
  members.clear();
  auto natives = std::move(Natives_);
  for (auto &entry : natives)
    if (entry.second) entry.second->OnDestruct();
}

template <class B>
void BasicScriptObject<B>::OnFinalRelease() {
  Invalidate();
}

template <class B>
void BasicScriptObject<B>::Invalidate() {
  if (!Valid_) return;
  Valid_ = false;
  for (auto &entry : Natives_)
    if (entry.second) entry.second->OnInvalidate();
}

template <class B>
ObjectMember *BasicScriptObject<B>::FindMutable(std::u16string_view name) {
  for (auto &m : Members_)
    if (m.Name == name) return &m;
  return nullptr;
}

template <class B>
const ObjectMember *BasicScriptObject<B>::Find(std::u16string_view name) const {
  return const_cast<BasicScriptObject *>(this)->FindMutable(name);
}

template <class B>
void BasicScriptObject<B>::Put(std::u16string_view name, const tTJSVariant &value, tjs_uint32 flags) {
  if (Member *m = FindMutable(name)) {
    tTJSVariant old(m->Value);  // released after the new value is in place
    m->Value = value;
    m->Flags = flags;
    return;
  }
  Members_.push_back(Member{std::u16string(name), flags, value});
}

template <class B>
bool BasicScriptObject<B>::Erase(std::u16string_view name) {
  auto it = std::find_if(Members_.begin(), Members_.end(), [&](const Member &m) { return m.Name == name; });
  if (it == Members_.end()) return false;
  tTJSVariant old(it->Value);  // released after the member is gone
  Members_.erase(it);
  return true;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CallMember(tjs_uint32 flag, const tjs_char *membername,
                                                           tjs_uint32 *hint, tTJSVariant *result, tjs_int numparams,
                                                           tTJSVariant **param, iTJSDispatch2 *objthis) {
  const bool fromPlugin = STANDIN_ENGINE_CALL("CallMember");
  if (fromPlugin && !CheckedMemberCall("CallMember", flag, kReadFlags, membername, hint, objthis))
    return TJS_E_INVALIDPARAM;
  FillHint(membername, hint);
  if (fromPlugin && numparams > 0 && !param) return Refuse("CallMember: parameters counted but not given");
  if (!membername) return TJS_E_NOTIMPL;
  const Member *m = Find(membername);
  if (!m) return TJS_E_MEMBERNOTFOUND;
  tTJSVariant value(m->Value);  // keeps the callee alive during the call
  iTJSDispatch2 *callee = value.AsObjectNoAddRef();
  if (!callee) return TJS_E_INVALIDPARAM;
  iTJSDispatch2 *context = ClosureThisOf(value);
  return callee->CallMember(flag & ~TJS_IGNOREPROP, nullptr, nullptr, result, numparams, param,
                            context ? context : objthis);
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::GetMember(tjs_uint32 flag, const tjs_char *membername,
                                                          tjs_uint32 *hint, tTJSVariant *result,
                                                          iTJSDispatch2 *objthis) {
  const bool fromPlugin = STANDIN_ENGINE_CALL("GetMember");
  if (fromPlugin && !CheckedMemberCall("GetMember", flag, kReadFlags, membername, hint, objthis))
    return TJS_E_INVALIDPARAM;
  FillHint(membername, hint);
  if (Calls) {
    MemberCallRecord call{"GetMember", flag, membername ? membername : u"", hint != nullptr, false, objthis};
    call.HintOfName = hint && membername && IsHintOf(hint, membername);
    Calls->push_back(std::move(call));
  }
  if (!membername) return TJS_E_NOTIMPL;
  const Member *m = Find(membername);
  if (!m) return TJS_E_MEMBERNOTFOUND;
  tTJSVariant value(m->Value);
  iTJSDispatch2 *object = value.AsObjectNoAddRef();
  if (object && !(flag & TJS_IGNOREPROP)) {
    iTJSDispatch2 *context = ClosureThisOf(value);
    tTJSVariant got;
    tjs_error hr = object->GetMember(0, nullptr, nullptr, &got, context ? context : objthis);
    if (hr != TJS_E_NOTIMPL) {
      if (TJS_SUCCEEDED(hr) && result) *result = got;
      return hr;
    }
  }
  if (result) *result = value;
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::SetMember(tjs_uint32 flag, const tjs_char *membername,
                                                          tjs_uint32 *hint, const tTJSVariant *param,
                                                          iTJSDispatch2 *objthis) {
  const bool fromPlugin = STANDIN_ENGINE_CALL("SetMember");
  if (fromPlugin && !CheckedMemberCall("SetMember", flag, kWriteFlags, membername, hint, objthis))
    return TJS_E_INVALIDPARAM;
  FillHint(membername, hint);
  if (!membername) return TJS_E_NOTIMPL;
  if (!param) return fromPlugin ? Refuse("SetMember: no value given") : TJS_E_INVALIDPARAM;
  if (RefuseSetMember && RefuseSetMember(membername)) return TJS_E_ACCESSDENYED;
  if (const Member *m = Find(membername); m && !(flag & TJS_IGNOREPROP)) {
    tTJSVariant value(m->Value);
    if (iTJSDispatch2 *object = value.AsObjectNoAddRef()) {
      iTJSDispatch2 *context = ClosureThisOf(value);
      tjs_error hr = object->SetMember(0, nullptr, nullptr, param, context ? context : objthis);
      if (hr != TJS_E_NOTIMPL) return hr;
    }
  }
  Put(membername, *param, flag);
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CountMembers(tjs_int *result, const tjs_char *membername,
                                                             tjs_uint32 *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CountMembers");
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (result) *result = static_cast<tjs_int>(Members_.size());
  return TJS_S_OK;
}

// Enumeration. The callback's CallMember gets, per member, the name and the
// member flags, and the value unless TJS_ENUM_NO_VALUE asks for names
// without values. Strict readings (engine.h, HostReadings): the engine holds
// a reference on the callback's object and context for the walk, and goes on
// only while the callback answers true (void stops it as false does).
template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                                                 iTJSDispatch2 *objthis) {
  const bool fromPlugin = STANDIN_ENGINE_CALL("EnumerateMembers");
  if (fromPlugin && !CheckedMemberCall("EnumerateMembers", flag, kEnumerateFlags, nullptr, nullptr, objthis))
    return TJS_E_INVALIDPARAM;
  if (Calls) {
    MemberCallRecord call{"EnumerateMembers", flag, u"", false, false, objthis};
    if (callback) {
      call.CallbackObject = callback->Object;
      call.CallbackObjThis = callback->ObjThis;
    }
    Calls->push_back(std::move(call));
  }
  if (!callback || !callback->Object)
    return fromPlugin ? Refuse("EnumerateMembers: no callback object") : TJS_E_INVALIDPARAM;
  const HostReadings &readings = Engine::Current().Readings();
  // The closure as the engine keeps it for the walk: with its own references
  // when the engine takes them.
  iTJSDispatch2 *callee = callback->Object;
  iTJSDispatch2 *context = callback->ObjThis;
  const bool referenced = readings.ReferenceEnumerationCallback;
  if (referenced) {
    callee->AddRef();
    if (context) context->AddRef();
  }
  struct Unreference {
    iTJSDispatch2 *Callee, *Context;
    bool Referenced;
    ~Unreference() {
      if (!Referenced) return;
      if (Context) Context->Release();
      Callee->Release();
    }
  } unreference{callee, context, referenced};
  const bool withValues = !(flag & TJS_ENUM_NO_VALUE);
  // Walk a snapshot: the callback may change the members.
  std::vector<Member> snapshot(Members_);
  for (auto &m : snapshot) {
    tTJSVariant name = VariantOf(std::string_view(Utf8(m.Name)));
    tTJSVariant flags = VariantOf(static_cast<tTVInteger>(m.Flags));
    tTJSVariant value(m.Value);
    tTJSVariant *params[3] = {&name, &flags, &value};
    tTJSVariant answer;
    tjs_error hr = callee->CallMember(0, nullptr, nullptr, &answer, withValues ? 3 : 2, params, context);
    if (TJS_FAILED(hr)) return hr;
    const bool goOn = TypeOf(answer) == tvtVoid ? !readings.EnumerationNeedsTrue : static_cast<bool>(answer);
    if (!goOn) break;
  }
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::RemoveMember(tjs_uint32 flag, const tjs_char *membername,
                                                             tjs_uint32 *hint, iTJSDispatch2 *objthis) {
  const bool fromPlugin = STANDIN_ENGINE_CALL("RemoveMember");
  if (fromPlugin && !CheckedMemberCall("RemoveMember", flag, kReadFlags, membername, hint, objthis))
    return TJS_E_INVALIDPARAM;
  FillHint(membername, hint);
  if (!membername) return TJS_E_NOTIMPL;
  if (RefuseRemoveMember && RefuseRemoveMember(membername)) return TJS_E_ACCESSDENYED;
  return Erase(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CheckInstanceOf(tjs_uint32, const tjs_char *membername,
                                                                tjs_uint32 *, const tjs_char *classname,
                                                                iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CheckInstanceOf");
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (TJS_stricmp(classname, u"Object") == 0) return TJS_S_TRUE;
  for (auto &n : ClassNames_)
    if (TJS_stricmp(classname, n.c_str()) == 0) return TJS_S_TRUE;
  return TJS_S_FALSE;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
                                                                     iTJSNativeInstance **pointer) {
  STANDIN_ENGINE_CALL("NativeInstanceAccess");
  if (!pointer) return TJS_E_INVALIDPARAM;
  if (flag == TJS_NIS_GETINSTANCE) {
    auto it = Natives_.find(classid);
    if (it == Natives_.end()) return TJS_E_FAIL;
    *pointer = it->second;
    return TJS_S_OK;
  }
  if (flag == TJS_NIS_REGISTER) {
    Natives_[classid] = *pointer;
    return TJS_S_OK;
  }
  return TJS_E_NOTIMPL;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::InvalidateMember(tjs_uint32, const tjs_char *membername,
                                                                 tjs_uint32 *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("InvalidateMember");
  if (membername) return Find(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
  Invalidate();
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CheckMemberValid(tjs_uint32, const tjs_char *membername,
                                                                 tjs_uint32 *, iTJSDispatch2 *) {
  STANDIN_ENGINE_CALL("CheckMemberValid");
  if (membername) return Find(membername) ? TJS_S_TRUE : TJS_E_MEMBERNOTFOUND;
  return Valid_ ? TJS_S_TRUE : TJS_S_FALSE;
}

// The engine object types built on these templates.
template class BasicObject<iTJSDispatch2>;
template class BasicObject<tTJSNativeClassForPlugin>;
template class BasicObject<tTJSNativeClassMethod>;
template class BasicScriptObject<ObjectBase>;
template class BasicScriptObject<BasicObject<tTJSNativeClassForPlugin>>;

ScriptObject *NewDictionary() {
  auto *d = new ScriptObject();
  d->AddClassName(u"Dictionary");
  return d;
}

}  // namespace standin
