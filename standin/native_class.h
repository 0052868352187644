// native_class.h — the stand-in engine's native classes, for tests and tools.
//
// Class objects. TJSCreateNativeClassForPlugin makes a NativeClassObject: a
// script object (members with flags, see objects.h) that is also the engine's
// native class (tTJSNativeClassForPlugin). It keeps the class name, the
// native-instance factory it was made with and the class id given to it with
// TJSNativeClassSetClassID (-1 until then).
//
// Native methods. TJSCreateNativeClassMethod and TJSCreateNativeClassConstructor
// make a method object (one reference for the caller) whose CallMember on
// itself runs the callback with (result, numparams, param, objthis).
// TJSNativeClassRegisterNCM puts such an object into the class object as a
// member with the given flags and takes over the caller's reference (the
// member kind and the class name argument are accepted and not used). The
// member named like the class is the class's constructor.
//
// Construction ("new Class(args)" in a script: CreateInstance with a null
// member name on the class object):
//   1. a new script object is made that answers CheckInstanceOf with the
//      class name;
//   2. every member of the class object except the constructor and the
//      static ones (TJS_STATICMEMBER in the member's flags) is copied into
//      it, with its flags. A method or property value copied with a null
//      closure context is then called with the new object as objthis,
//      because that is the object the script uses it through. The new object
//      does not hold the class object, so the class may go away while its
//      objects live on;
//   3. when the class has a factory, its native instance is kept with the
//      new object under the class id (NativeInstanceAccess flag 2 returns
//      it); the engine never calls OnConstruct itself;
//   4. the constructor member, when there is one, is called with the
//      arguments and the new object as objthis; its code is the result of
//      the construction. A class without a constructor constructs with 0.
//   On a negative code, or when an engine exception passes, the new object
//   is released (invalidated, then destroyed) and no object is returned.
// Invalidating an object calls OnInvalidate on its native instances; its
// final release invalidates it (if needed) and then calls OnDestruct.
//
// Class ids are stable per class name for the life of the engine: the first
// TJSRegisterNativeClass of a name gives it the next id (one above the
// highest id in use, starting at 1); TJSFindNativeClassID answers -1 for an
// unknown name. An engine can pre-register its own classes with chosen ids
// before any plug-in is linked (PreRegisterNativeClass): the legacy engine
// generation registers "CDDASoundBuffer" as 9 and "MIDISoundBuffer" as 10;
// the current one registers none of them by default.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "objects.h"

namespace standin {

class NativeClassObject : public BasicScriptObject<BasicObject<tTJSNativeClassForPlugin>> {
 public:
  // `factory` may be null: objects of the class then carry no native instance.
  NativeClassObject(std::u16string name, tTJSCreateNativeInstance factory);

  const std::u16string &Name() const { return Name_; }
  tTJSCreateNativeInstance Factory() const { return Factory_; }
  tjs_int32 ClassID() const { return ClassID_; }
  void SetClassID(tjs_int32 classid) { ClassID_ = classid; }

  // With a null member name: constructs a new object of the class (see the
  // header comment); `result` receives it with one reference for the caller.
  // With a name: -1001, like any object without that operation.
  tjs_error TJS_INTF_METHOD CreateInstance(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                           iTJSDispatch2 **result, tjs_int numparams, tTJSVariant **param,
                                           iTJSDispatch2 *objthis) override;

 protected:
  ~NativeClassObject() override;

 private:
  ScriptObject *NewObjectWithMembers() const;

  std::u16string Name_;
  tTJSCreateNativeInstance Factory_;
  tjs_int32 ClassID_ = -1;
};

// The live class object behind `object`, or null when `object` is none.
NativeClassObject *AsNativeClass(const iTJSDispatch2 *object);

// ----- class ids ---------------------------------------------------------------
// Gives `name` the id `classid` in the current engine. False (and nothing
// changes) when the name already has an id or the id belongs to another name.
bool PreRegisterNativeClass(std::u16string_view name, tjs_int32 classid);

// ----- failure injection -------------------------------------------------------
// Per engine; empty functions refuse nothing.
struct NativeClassFaults {
  // TJSCreateNativeClassForPlugin answers null for these class names.
  std::function<bool(std::u16string_view className)> RefuseClass;
  // Every class object made from now on refuses SetMember (access denied)
  // of the members this names, e.g. the binder's "_*ClassStore*_".
  std::function<bool(std::u16string_view className, std::u16string_view member)> RefuseClassMember;
};
NativeClassFaults &NativeClassFailures();

// ----- the engine's WaveSoundBuffer class ------------------------------------
// Makes the engine's "WaveSoundBuffer" class object (class id from
// TJSRegisterNativeClass) and publishes it as the global member
// "WaveSoundBuffer"; plug-ins declare their sound classes under it. Returns
// it borrowed (the global holds it). When it is installed already, the
// existing one is returned and `factory` is ignored. An engine that never
// calls this has no WaveSoundBuffer. The class has no constructor or members
// of its own yet; `factory` (may be null) makes the native instance of each
// new WaveSoundBuffer object.
NativeClassObject *InstallWaveSoundBufferClass(tTJSCreateNativeInstance factory = nullptr);

// ----- script-level helpers ----------------------------------------------------
// An owned reference to an engine object, released when the holder goes.
class ObjectRef {
 public:
  ObjectRef() = default;
  explicit ObjectRef(iTJSDispatch2 *owned) : Object_(owned) {}  // takes over one reference
  ObjectRef(ObjectRef &&other) noexcept : Object_(other.Object_) { other.Object_ = nullptr; }
  ObjectRef &operator=(ObjectRef &&other) noexcept;
  ObjectRef(const ObjectRef &) = delete;
  ObjectRef &operator=(const ObjectRef &) = delete;
  ~ObjectRef() { Reset(); }

  iTJSDispatch2 *Get() const { return Object_; }
  iTJSDispatch2 *operator->() const { return Object_; }
  explicit operator bool() const { return Object_ != nullptr; }
  void Reset(iTJSDispatch2 *owned = nullptr);

 private:
  iTJSDispatch2 *Object_ = nullptr;
};

using Arguments = std::vector<tTJSVariant>;

// Each helper runs one operation as a script statement would, and returns
// the operation's result code; engine exceptions pass through.
//   new cls(args)
tjs_error ScriptNew(iTJSDispatch2 *cls, const Arguments &args, ObjectRef &object);
//   result = object.name(args)     (result may be null)
tjs_error ScriptCall(iTJSDispatch2 *object, std::u16string_view name, const Arguments &args = {},
                     tTJSVariant *result = nullptr);
//   result = object.name           (properties run their getter)
tjs_error ScriptGet(iTJSDispatch2 *object, std::u16string_view name, tTJSVariant *result);
//   object.name = value            (properties run their setter)
tjs_error ScriptSet(iTJSDispatch2 *object, std::u16string_view name, const tTJSVariant &value);
//   invalidate object
tjs_error ScriptInvalidate(iTJSDispatch2 *object);
// The object at a dotted path below the global object ("WaveSoundBuffer.X"),
// borrowed from the member that holds it; null when a step is missing or
// holds no object.
iTJSDispatch2 *ObjectAt(std::u16string_view path);

}  // namespace standin
