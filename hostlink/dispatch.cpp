// dispatch.cpp — tTJSDispatch defaults.
#include "dispatch.h"

#include "hostlink.h"

namespace {

// Text of a member number: enough room for any 32-bit value and a NUL.
constexpr int kNumberTextSize = 34;

tjs_error NamedOrSelf(const tjs_char *membername) {
  return membername != nullptr ? TJS_E_MEMBERNOTFOUND : TJS_E_NOTIMPL;
}

// Operator codes 15 and 16 work on the value alone.
bool TakesNoOperand(tjs_uint32 code) { return code == 15 || code == 16; }

}  // namespace

// Every ByNum operation: the number's decimal text, then the by-name sibling
// through the table (so overrides are reached) with a null hint.
#define FORWARD_BY_NUM(Call)                     \
  tjs_char name[kNumberTextSize];                \
  TJS_int_to_str(num, name);                     \
  return Call;

tTJSDispatch::tTJSDispatch() : DestructionHookDone(false), RefCount(1) { ++PluginRefTotal; }

// Reached through the final Release (the hook done, the total already down)
// or, without a Release, when a derived constructor raised an engine error:
// then the creator's reference never reached its owner, and the references
// still counted leave the total with the object.
tTJSDispatch::~tTJSDispatch() {
  if (!DestructionHookDone) PluginRefTotal -= static_cast<tjs_int32>(RefCount);
  DestructionHookDone = true;
}

tjs_uint TJS_INTF_METHOD tTJSDispatch::AddRef() {
  ++PluginRefTotal;
  return ++RefCount;
}

tjs_uint TJS_INTF_METHOD tTJSDispatch::Release() {
  --PluginRefTotal;
  if (RefCount != 1) return --RefCount;
  if (!DestructionHookDone) {
    DestructionHookDone = true;
    OnBeforeDestruction();
  }
  if (RefCount == 1) {
    delete this;
    return 0;
  }
  return --RefCount;  // the hook took references: live on
}

void TJS_INTF_METHOD tTJSDispatch::OnBeforeDestruction() {}

tjs_error TJS_INTF_METHOD tTJSDispatch::CallMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                   tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                        tjs_int numparams, tTJSVariant **param,
                                                        iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(CallMember(flag, name, nullptr, result, numparams, param, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::GetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                  tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                       iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(GetMember(flag, name, nullptr, result, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::SetMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                  const tTJSVariant *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                                       iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(SetMember(flag, name, nullptr, param, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CountMembers(tjs_int *, const tjs_char *, tjs_uint32 *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(CountMembers(result, name, nullptr, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::SetMemberByStringObject(tjs_uint32, const tTJSString *,
                                                                const tTJSVariant *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::EnumerateMembers(tjs_uint32, tTJSVariantClosure *, iTJSDispatch2 *) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::RemoveMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                     iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(RemoveMember(flag, name, nullptr, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::InvalidateMember(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::InvalidateMemberByNum(tjs_uint32 flag, tjs_int num,
                                                              iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(InvalidateMember(flag, name, nullptr, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CheckMemberValid(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                         iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CheckMemberValidByNum(tjs_uint32 flag, tjs_int num,
                                                              iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(CheckMemberValid(flag, name, nullptr, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CreateInstance(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                       iTJSDispatch2 **, tjs_int, tTJSVariant **,
                                                       iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                            tjs_int numparams, tTJSVariant **param,
                                                            iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(CreateInstance(flag, name, nullptr, result, numparams, param, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::SpareA() { return TJS_E_NOTIMPL; }
tjs_error TJS_INTF_METHOD tTJSDispatch::CheckInstanceOf(tjs_uint32, const tjs_char *membername, tjs_uint32 *,
                                                        const tjs_char *, iTJSDispatch2 *) {
  return NamedOrSelf(membername);
}
tjs_error TJS_INTF_METHOD tTJSDispatch::CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num,
                                                             const tjs_char *classname, iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(CheckInstanceOf(flag, name, nullptr, classname, objthis))
}

tjs_error TJS_INTF_METHOD tTJSDispatch::ApplyOperation(tjs_uint32 flag, const tjs_char *membername,
                                                       tjs_uint32 *hint, tTJSVariant *result,
                                                       const tTJSVariant *param, iTJSDispatch2 *objthis) {
  const tjs_uint32 code = flag & 0x1f;
  if (!TakesNoOperand(code) && param == nullptr) return TJS_E_INVALIDPARAM;
  if (code < 1 || code > 16) return TJS_E_INVALIDPARAM;
  tTJSVariant value;  // released on every exit, engine exceptions included
  tjs_error hr = GetMember(0, membername, hint, &value, objthis);
  if (TJS_FAILED(hr)) return hr;
  TJSDoVariantOperation(static_cast<tjs_int>(code), value, param);
  hr = SetMember(0, membername, hint, &value, objthis);
  if (TJS_FAILED(hr)) return hr;
  if (result != nullptr) result->CopyRef(value);
  return TJS_S_OK;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::ApplyOperationByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                            const tTJSVariant *param, iTJSDispatch2 *objthis) {
  FORWARD_BY_NUM(ApplyOperation(flag, name, nullptr, result, param, objthis))
}
tjs_error TJS_INTF_METHOD tTJSDispatch::NativeInstanceAccess(tjs_uint32, tjs_int32, iTJSNativeInstance **) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::ClassInstanceQuery(tjs_uint32, const tjs_char *, iTJSDispatch2 **) {
  return TJS_E_NOTIMPL;
}
tjs_error TJS_INTF_METHOD tTJSDispatch::SpareB() { return TJS_E_NOTIMPL; }
tjs_error TJS_INTF_METHOD tTJSDispatch::SpareC() { return TJS_E_NOTIMPL; }
