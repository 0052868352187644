// objects.h — the stand-in engine's script objects.
//
// ObjectBase: reference counting (counted in Live().Objects) and the default
// answers of every operation (-1001 for a named member, -1002 otherwise).
// ScriptObject: an object with named members (insertion order kept), member
// flags, native instances kept per class id, invalidation, and failure
// injection for tests. Dictionaries and the global object are ScriptObjects.
//
// Both behaviours are written once as templates over the engine interface the
// object presents, so that engine objects of other interface types (a native
// class object is a tTJSNativeClassForPlugin, a native method a
// tTJSNativeClassMethod; both derive from iTJSDispatch2) reuse them:
//   BasicObject<Interface>      reference counting and defaults;
//   BasicScriptObject<Base>     members etc. on top of a BasicObject.
// ObjectBase and ScriptObject are the plain-iTJSDispatch2 forms. The templates
// are instantiated in objects.cpp for the interfaces listed there.
//
// Member semantics (the engine's choice, relied on by the plug-ins):
//   * GetMember / SetMember with TJS_IGNOREPROP (0x800) in the flag read or
//     store the member's value as it is. Without it, a member holding an
//     object is treated as a property when that object answers the call on
//     itself (GetMember/SetMember with a null name) with a non-negative code
//     or any error other than -1002; -1002 makes the value a plain value.
//   * CallMember on a member holding an object calls that object with a null
//     name; the objthis passed on is the closure's context when it has one,
//     otherwise the objthis of the call.
//   * EnumerateMembers calls the callback's CallMember once per member with
//     (name, flags, value) as three parameters, in insertion order, or with
//     (name, flags) only when the flag asks for names without values
//     (TJS_ENUM_NO_VALUE). The walk goes on only while the callback answers
//     true: a false answer, and also a result the callback left void, stops
//     it (the stricter reading of the engine's contract, so a callback that
//     forgets to answer is seen at once; HostReadings in engine.h selects the
//     other). The engine holds its own reference on the callback's object
//     and context for the walk (HostReadings again).
//   * Plug-in calls (see calls.h) are checked strictly: flag bits without a
//     meaning for the operation, a missing this-object, or a stale hint make
//     the operation answer TJS_E_INVALIDPARAM and record a violation.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hostengine.h"

namespace standin {

template <class Interface>
class BasicObject : public Interface {
 public:
  BasicObject();
  BasicObject(const BasicObject &) = delete;
  BasicObject &operator=(const BasicObject &) = delete;

  tjs_uint TJS_INTF_METHOD AddRef() override;
  tjs_uint TJS_INTF_METHOD Release() override;
  tjs_uint RefCount() const { return RefCount_; }
  // Freed objects stay poisoned for a while: a plug-in's late call is
  // reported, not served from freed memory (see objects.cpp).
  // Both out of line, as a pair: a compiler that sees only one of them
  // inlined takes them for a mismatched allocation and deallocation.
  static void *operator new(std::size_t size);
  static void operator delete(void *memory, std::size_t size);

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

 protected:
  virtual ~BasicObject();
  // Runs at the final Release, before the destructor (members still alive).
  virtual void OnFinalRelease() {}

 private:
  tjs_uint RefCount_ = 1;
};

class ObjectBase : public BasicObject<iTJSDispatch2> {
 protected:
  ~ObjectBase() override = default;
};

// What a caller passed to one member operation of a script object, as
// recorded for tests (see BasicScriptObject::Calls).
struct MemberCallRecord {
  std::string Operation;         // "GetMember" or "EnumerateMembers"
  tjs_uint32 Flag = 0;
  std::u16string Name;           // member name; "" for none
  bool HintGiven = false;        // a hint pointer was passed
  bool HintOfName = false;       // ... and it is the hint slot of a string holding Name
  const iTJSDispatch2 *ObjThis = nullptr;
  const iTJSDispatch2 *CallbackObject = nullptr;   // EnumerateMembers: the closure's object
  const iTJSDispatch2 *CallbackObjThis = nullptr;  // EnumerateMembers: the closure's this-object
};

// One named member of a script object.
struct ObjectMember {
  std::u16string Name;
  tjs_uint32 Flags = 0;
  tTJSVariant Value;
};

template <class Base>
class BasicScriptObject : public Base {
 public:
  using Member = ObjectMember;

  BasicScriptObject();

  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                       tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                       iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      tTJSVariant *result, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      const tTJSVariant *param, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CountMembers(tjs_int *result, const tjs_char *membername, tjs_uint32 *hint,
                                         iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                             iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD RemoveMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                         iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                            const tjs_char *classname, iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
                                                 iTJSNativeInstance **pointer) override;
  tjs_error TJS_INTF_METHOD InvalidateMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                             iTJSDispatch2 *objthis) override;
  tjs_error TJS_INTF_METHOD CheckMemberValid(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                             iTJSDispatch2 *objthis) override;

  // Direct access for engine code and tests.
  const Member *Find(std::u16string_view name) const;
  const std::vector<Member> &Members() const { return Members_; }
  void Put(std::u16string_view name, const tTJSVariant &value, tjs_uint32 flags = 0);
  bool Erase(std::u16string_view name);
  // Invalidation: every native instance gets OnInvalidate (once).
  void Invalidate();
  bool IsValid() const { return Valid_; }
  // Class names this object answers CheckInstanceOf with 1 ("Object" always).
  void AddClassName(std::u16string name) { ClassNames_.push_back(std::move(name)); }

  // Failure injection for tests: refuse member writes or removals with
  // TJS_E_ACCESSDENYED. A predicate on the member name narrows the refusal.
  std::function<bool(std::u16string_view)> RefuseSetMember;
  std::function<bool(std::u16string_view)> RefuseRemoveMember;

  // When set, GetMember and EnumerateMembers append what they were given
  // (flag, name, hint, this-object, callback closure) here. Owned by the test.
  std::vector<MemberCallRecord> *Calls = nullptr;

 protected:
  ~BasicScriptObject() override;
  void OnFinalRelease() override;

 private:
  Member *FindMutable(std::u16string_view name);
  std::vector<Member> Members_;
  std::map<tjs_int32, iTJSNativeInstance *> Natives_;
  std::vector<std::u16string> ClassNames_;
  bool Valid_ = true;
};

class ScriptObject : public BasicScriptObject<ObjectBase> {
 protected:
  ~ScriptObject() override = default;
};

extern template class BasicObject<iTJSDispatch2>;
extern template class BasicObject<tTJSNativeClassForPlugin>;
extern template class BasicObject<tTJSNativeClassMethod>;
extern template class BasicScriptObject<ObjectBase>;
extern template class BasicScriptObject<BasicObject<tTJSNativeClassForPlugin>>;

// A new empty dictionary (a ScriptObject answering "Dictionary"), one reference.
ScriptObject *NewDictionary();

}  // namespace standin
