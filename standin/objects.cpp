// objects.cpp — the stand-in engine's script objects.
#include "objects.h"

#include <algorithm>
#include <string>

#include "engine.h"
#include "value_rep.h"

namespace standin {

namespace {

tjs_error NamedOrSelf(const tjs_char *membername) {
  return membername ? TJS_E_MEMBERNOTFOUND : TJS_E_NOTIMPL;
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
tjs_uint TJS_INTF_METHOD BasicObject<I>::AddRef() {
  return ++RefCount_;
}
template <class I>
tjs_uint TJS_INTF_METHOD BasicObject<I>::Release() {
  if (RefCount_ > 1) return --RefCount_;
  OnFinalRelease();
  if (RefCount_ > 1) return --RefCount_;  // revived by the final-release hook
  delete this;
  return 0;
}

template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CallMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                          tjs_int numparams, tTJSVariant **param,
                                                          iTJSDispatch2 *objthis) {
  return CallMember(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::GetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                    tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                         iTJSDispatch2 *objthis) {
  return GetMember(flag, NumberName(num).c_str(), nullptr, result, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                    const tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                                         iTJSDispatch2 *objthis) {
  return SetMember(flag, NumberName(num).c_str(), nullptr, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CountMembers(tjs_int *, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) {
  return CountMembers(result, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SetMemberByStringObject(tjs_uint32, const tTJSString *,
                                                                  const tTJSVariant *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::EnumerateMembers(tjs_uint32, tTJSVariantClosure *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                       iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) {
  return RemoveMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::InvalidateMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                           iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::InvalidateMemberByNum(tjs_uint32 flag, tjs_int num,
                                                                iTJSDispatch2 *objthis) {
  return InvalidateMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckMemberValid(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                           iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckMemberValidByNum(tjs_uint32 flag, tjs_int num,
                                                                iTJSDispatch2 *objthis) {
  return CheckMemberValid(flag, NumberName(num).c_str(), nullptr, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CreateInstance(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 **, tjs_int, tTJSVariant **,
                                                         iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                              tjs_int numparams, tTJSVariant **param,
                                                              iTJSDispatch2 *objthis) {
  return CreateInstance(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareA() {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                          const tjs_char *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num,
                                                               const tjs_char *classname, iTJSDispatch2 *objthis) {
  return CheckInstanceOf(flag, NumberName(num).c_str(), nullptr, classname, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::ApplyOperation(tjs_uint32 flag, const tjs_char *membername,
                                                         tjs_uint32 *hint, tTJSVariant *result,
                                                         const tTJSVariant *param, iTJSDispatch2 *objthis) {
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
  return ApplyOperation(flag, NumberName(num).c_str(), nullptr, result, param, objthis);
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::NativeInstanceAccess(tjs_uint32, tjs_int32, iTJSNativeInstance **) {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::ClassInstanceQuery(tjs_uint32, const tjs_char *, iTJSDispatch2 **) {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareB() {
  return TJS_E_NOTIMPL;
}
template <class I>
tjs_error TJS_INTF_METHOD BasicObject<I>::SpareC() {
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
  if (!membername) return TJS_E_NOTIMPL;
  const Member *m = Find(membername);
  if (!m) return TJS_E_MEMBERNOTFOUND;
  tTJSVariant value(m->Value);  // keeps the callee alive during the call
  iTJSDispatch2 *callee = value.AsObjectNoAddRef();
  if (!callee) return TJS_E_INVALIDPARAM;
  iTJSDispatch2 *context = ClosureThisOf(value);
  (void)hint;
  return callee->CallMember(flag & ~TJS_IGNOREPROP, nullptr, nullptr, result, numparams, param,
                            context ? context : objthis);
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::GetMember(tjs_uint32 flag, const tjs_char *membername,
                                                          tjs_uint32 *hint, tTJSVariant *result,
                                                          iTJSDispatch2 *objthis) {
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
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
                                                          const tTJSVariant *param, iTJSDispatch2 *objthis) {
  if (!membername) return TJS_E_NOTIMPL;
  if (!param) return TJS_E_INVALIDPARAM;
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
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (result) *result = static_cast<tjs_int>(Members_.size());
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                                                 iTJSDispatch2 *objthis) {
  if (Calls) {
    MemberCallRecord call{"EnumerateMembers", flag, u"", false, false, objthis};
    if (callback) {
      call.CallbackObject = callback->Object;
      call.CallbackObjThis = callback->ObjThis;
    }
    Calls->push_back(std::move(call));
  }
  if (!callback || !callback->Object) return TJS_E_INVALIDPARAM;
  // Walk a snapshot: the callback may change the members.
  std::vector<Member> snapshot(Members_);
  for (auto &m : snapshot) {
    tTJSVariant name = VariantOf(std::string_view(Utf8(m.Name)));
    tTJSVariant flags = VariantOf(static_cast<tTVInteger>(m.Flags));
    tTJSVariant value(m.Value);
    tTJSVariant *params[3] = {&name, &flags, &value};
    tTJSVariant answer;
    tjs_error hr = callback->Object->CallMember(0, nullptr, nullptr, &answer, 3, params, callback->ObjThis);
    if (TJS_FAILED(hr)) return hr;
    // Only a true answer goes on; void (no answer) stops, like false.
    if (TypeOf(answer) == tvtVoid || !static_cast<bool>(answer)) break;
  }
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                             iTJSDispatch2 *) {
  if (!membername) return TJS_E_NOTIMPL;
  if (RefuseRemoveMember && RefuseRemoveMember(membername)) return TJS_E_ACCESSDENYED;
  return Erase(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CheckInstanceOf(tjs_uint32, const tjs_char *membername,
                                                                tjs_uint32 *, const tjs_char *classname,
                                                                iTJSDispatch2 *) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (TJS_stricmp(classname, u"Object") == 0) return TJS_S_TRUE;
  for (auto &n : ClassNames_)
    if (TJS_stricmp(classname, n.c_str()) == 0) return TJS_S_TRUE;
  return TJS_S_FALSE;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
                                                                     iTJSNativeInstance **pointer) {
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
  if (membername) return Find(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
  Invalidate();
  return TJS_S_OK;
}

template <class B>
tjs_error TJS_INTF_METHOD BasicScriptObject<B>::CheckMemberValid(tjs_uint32, const tjs_char *membername,
                                                                 tjs_uint32 *, iTJSDispatch2 *) {
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
