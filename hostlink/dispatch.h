// dispatch.h — tTJSDispatch, the plug-ins' default implementation of the
// engine's object interface and the base of every plug-in object handed to
// scripts.
//
// Reference counting feeds PluginRefTotal (hostlink.h): +1 at construction,
// +1 per AddRef, -1 per Release (the final one included). The creator owns
// the first reference and gives it up with Release. Script thread only.
//
// Defaults: named member operations answer TJS_E_MEMBERNOTFOUND (-1001),
// operations on the object itself TJS_E_NOTIMPL (-1002); every ...ByNum
// operation forwards to its by-name sibling with the number's decimal text;
// ApplyOperation is a read-modify-write over GetMember / SetMember. Nothing
// here raises, except that an engine exception from an engine function passes
// through.
#pragma once

#include "hostengine.h"

class tTJSDispatch : public iTJSDispatch2 {
 public:
  tTJSDispatch();
  tTJSDispatch(const tTJSDispatch &) = delete;
  tTJSDispatch &operator=(const tTJSDispatch &) = delete;

  tjs_uint TJS_INTF_METHOD AddRef() override;
  tjs_uint TJS_INTF_METHOD Release() override;

  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                       tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                       iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result, tjs_int numparams,
                                            tTJSVariant **param, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      tTJSVariant *result, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                           iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      const tTJSVariant *param, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                           iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CountMembers(tjs_int *result, const tjs_char *membername, tjs_uint32 *hint,
                                         iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD SetMemberByStringObject(tjs_uint32 flag, const tTJSString *membername,
                                                    const tTJSVariant *param, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                             iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD RemoveMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                         iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD InvalidateMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                             iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD InvalidateMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CheckMemberValid(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                             iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CheckMemberValidByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CreateInstance(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                           iTJSDispatch2 **result, tjs_int numparams, tTJSVariant **param,
                                           iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                tjs_int numparams, tTJSVariant **param,
                                                iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD SpareA() override;
  tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                            const tjs_char *classname, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num, const tjs_char *classname,
                                                 iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD ApplyOperation(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                           tTJSVariant *result, const tTJSVariant *param,
                                           iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD ApplyOperationByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                const tTJSVariant *param, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
                                                 iTJSNativeInstance **pointer) override;
  tjs_error TJS_INTF_METHOD ClassInstanceQuery(tjs_uint32 flag, const tjs_char *classname,
                                               iTJSDispatch2 **result) override;
  tjs_error TJS_INTF_METHOD SpareB() override;
  tjs_error TJS_INTF_METHOD SpareC() override;

  // Runs once, from the final Release, before destruction. It may take new
  // references to keep the object alive; it is never run a second time.
  virtual void TJS_INTF_METHOD OnBeforeDestruction();
  // Does not touch PluginRefTotal: an object destroyed other than by its
  // final Release leaves its last reference counted.
  virtual ~tTJSDispatch();

  tjs_uint32 GetRefCount() const { return RefCount; }

 private:
  bool DestructionHookDone;
  tjs_uint32 RefCount;
};
