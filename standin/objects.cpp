// objects.cpp — the stand-in engine's script objects.
#include "objects.h"

#include <algorithm>
#include <string>

#include "engine.h"

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

// ----- ObjectBase -------------------------------------------------------------
ObjectBase::ObjectBase() { CountObject(+1); }
ObjectBase::~ObjectBase() { CountObject(-1); }

tjs_uint TJS_INTF_METHOD ObjectBase::AddRef() { return ++RefCount_; }
tjs_uint TJS_INTF_METHOD ObjectBase::Release() {
  if (RefCount_ > 1) return --RefCount_;
  OnFinalRelease();
  if (RefCount_ > 1) return --RefCount_;  // revived by the final-release hook
  delete this;
  return 0;
}

tjs_error TJS_INTF_METHOD ObjectBase::CallMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                 tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                      tjs_int numparams, tTJSVariant **param,
                                                      iTJSDispatch2 *objthis) {
  return CallMember(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::GetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                     iTJSDispatch2 *objthis) {
  return GetMember(flag, NumberName(num).c_str(), nullptr, result, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::SetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                const tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                                     iTJSDispatch2 *objthis) {
  return SetMember(flag, NumberName(num).c_str(), nullptr, param, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::CountMembers(tjs_int *, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD ObjectBase::CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) {
  return CountMembers(result, NumberName(num).c_str(), nullptr, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::SetMemberByStringObject(tjs_uint32, const tTJSString *, const tTJSVariant *,
                                                              iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD ObjectBase::EnumerateMembers(tjs_uint32, tTJSVariantClosure *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD ObjectBase::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                   iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) {
  return RemoveMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::InvalidateMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                       iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::InvalidateMemberByNum(tjs_uint32 flag, tjs_int num,
                                                            iTJSDispatch2 *objthis) {
  return InvalidateMember(flag, NumberName(num).c_str(), nullptr, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::CheckMemberValid(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                       iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::CheckMemberValidByNum(tjs_uint32 flag, tjs_int num,
                                                            iTJSDispatch2 *objthis) {
  return CheckMemberValid(flag, NumberName(num).c_str(), nullptr, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::CreateInstance(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     iTJSDispatch2 **, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                          tjs_int numparams, tTJSVariant **param,
                                                          iTJSDispatch2 *objthis) {
  return CreateInstance(flag, NumberName(num).c_str(), nullptr, result, numparams, param, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::SpareA() { return TJS_E_NOTIMPL; }
tjs_error TJS_INTF_METHOD ObjectBase::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                      const tjs_char *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD ObjectBase::CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num,
                                                           const tjs_char *classname, iTJSDispatch2 *objthis) {
  return CheckInstanceOf(flag, NumberName(num).c_str(), nullptr, classname, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::ApplyOperation(tjs_uint32 flag, const tjs_char *membername,
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
tjs_error TJS_INTF_METHOD ObjectBase::ApplyOperationByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                          const tTJSVariant *param, iTJSDispatch2 *objthis) {
  return ApplyOperation(flag, NumberName(num).c_str(), nullptr, result, param, objthis);
}
tjs_error TJS_INTF_METHOD ObjectBase::NativeInstanceAccess(tjs_uint32, tjs_int32, iTJSNativeInstance **) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD ObjectBase::ClassInstanceQuery(tjs_uint32, const tjs_char *, iTJSDispatch2 **) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD ObjectBase::SpareB() { return TJS_E_NOTIMPL; }
tjs_error TJS_INTF_METHOD ObjectBase::SpareC() { return TJS_E_NOTIMPL; }

// ----- ScriptObject -----------------------------------------------------------
ScriptObject::ScriptObject() = default;

ScriptObject::~ScriptObject() {
  // Members go first (they may refer back to engine state), then the native
  // instances get their final call.
  std::vector<Member> members;
  members.swap(Members_);
  members.clear();
  auto natives = std::move(Natives_);
  for (auto &entry : natives)
    if (entry.second) entry.second->OnDestruct();
}

void ScriptObject::OnFinalRelease() { Invalidate(); }

void ScriptObject::Invalidate() {
  if (!Valid_) return;
  Valid_ = false;
  for (auto &entry : Natives_)
    if (entry.second) entry.second->OnInvalidate();
}

ScriptObject::Member *ScriptObject::FindMutable(std::u16string_view name) {
  for (auto &m : Members_)
    if (m.Name == name) return &m;
  return nullptr;
}

const ScriptObject::Member *ScriptObject::Find(std::u16string_view name) const {
  return const_cast<ScriptObject *>(this)->FindMutable(name);
}

void ScriptObject::Put(std::u16string_view name, const tTJSVariant &value, tjs_uint32 flags) {
  if (Member *m = FindMutable(name)) {
    tTJSVariant old(m->Value);  // released after the new value is in place
    m->Value = value;
    m->Flags = flags;
    return;
  }
  Members_.push_back(Member{std::u16string(name), flags, value});
}

bool ScriptObject::Erase(std::u16string_view name) {
  auto it = std::find_if(Members_.begin(), Members_.end(), [&](const Member &m) { return m.Name == name; });
  if (it == Members_.end()) return false;
  tTJSVariant old(it->Value);  // released after the member is gone
  Members_.erase(it);
  return true;
}

tjs_error TJS_INTF_METHOD ScriptObject::CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                                   tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                                   iTJSDispatch2 *objthis) {
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

tjs_error TJS_INTF_METHOD ScriptObject::GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
                                                  tTJSVariant *result, iTJSDispatch2 *objthis) {
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

tjs_error TJS_INTF_METHOD ScriptObject::SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *,
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

tjs_error TJS_INTF_METHOD ScriptObject::CountMembers(tjs_int *result, const tjs_char *membername, tjs_uint32 *,
                                                     iTJSDispatch2 *) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (result) *result = static_cast<tjs_int>(Members_.size());
  return TJS_S_OK;
}

tjs_error TJS_INTF_METHOD ScriptObject::EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                                         iTJSDispatch2 *) {
  if (!callback || !callback->Object) return TJS_E_INVALIDPARAM;
  (void)flag;
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
    if (TypeOf(answer) != tvtVoid && !static_cast<bool>(answer)) break;
  }
  return TJS_S_OK;
}

tjs_error TJS_INTF_METHOD ScriptObject::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     iTJSDispatch2 *) {
  if (!membername) return TJS_E_NOTIMPL;
  if (RefuseRemoveMember && RefuseRemoveMember(membername)) return TJS_E_ACCESSDENYED;
  return Erase(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
}

tjs_error TJS_INTF_METHOD ScriptObject::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                        const tjs_char *classname, iTJSDispatch2 *) {
  if (membername) return TJS_E_MEMBERNOTFOUND;
  if (TJS_stricmp(classname, u"Object") == 0) return TJS_S_TRUE;
  for (auto &n : ClassNames_)
    if (TJS_stricmp(classname, n.c_str()) == 0) return TJS_S_TRUE;
  return TJS_S_FALSE;
}

tjs_error TJS_INTF_METHOD ScriptObject::NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
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

tjs_error TJS_INTF_METHOD ScriptObject::InvalidateMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 *) {
  if (membername) return Find(membername) ? TJS_S_OK : TJS_E_MEMBERNOTFOUND;
  Invalidate();
  return TJS_S_OK;
}

tjs_error TJS_INTF_METHOD ScriptObject::CheckMemberValid(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 *) {
  if (membername) return Find(membername) ? TJS_S_TRUE : TJS_E_MEMBERNOTFOUND;
  return Valid_ ? TJS_S_TRUE : TJS_S_FALSE;
}

ScriptObject *NewDictionary() {
  auto *d = new ScriptObject();
  d->AddClassName(u"Dictionary");
  return d;
}

}  // namespace standin
