// simple_binder.h — the script class binder: declares native C++ classes to
// the engine's script language as class objects under a parent object, with
// methods and properties that route script calls to member functions of the
// native object behind each script object.
//
// Front end: one BindUtil per class, used as a chain,
//
//   SimpleBinder::BindUtil(u"WaveSoundBuffer", link)
//       .Class(u"Echo", &MakeEcho)                 // factory of Echo objects
//       .Property(u"level", &Echo::GetLevel, &Echo::SetLevel)
//       .Property(u"interface", &Base::GetInterface, nullptr)
//       .Function(u"init", &Echo::Init);
//
// run once with link = true (declare) and once with link = false (remove the
// class member again). Everything else lives in SimpleBinder::Detail.
//
// Bound member shapes (T is the class given to Class; every function returns
// an engine result code, which becomes the result of the script operation):
//   factory          tjs_error (*)(T *&out, tjs_int numparams, tTJSVariant **params)
//   method, 1 arg    tjs_error (T::*)(tTJSVariant *result, tTJSVariant *a0)
//   method, 2 args   tjs_error (T::*)(tTJSVariant *result, tTJSVariant *a0, tTJSVariant *a1)
//   method, raw      tjs_error (T::*)(tTJSVariant *result, tjs_int numparams, tTJSVariant **params)
//   getter           tjs_error (T::*)(tTJSVariant *result) const, or the same without const
//   setter           tjs_error (T::*)(const tTJSVariant *value)
// `result` is the engine's (may be null); argument pointers are the engine's
// own variants. Raw methods and factories get a count of at least 0 and a null
// array when there are no arguments. A member function of a base class of T
// binds too: Property and Function take the class from the member pointer,
// or from an explicit first template argument (Property<T>(...)) when the
// member belongs to a base class.
//
// Lifetime: the parent's member holds the class object; the class object's
// static member "_*ClassStore*_" holds the ClassStore of T (at most one live
// per T, reachable through ClassStore<T>::Instance), which owns the class
// entry; each member of the class object holds its store, which owns its
// callback. Each script object keeps an InstanceWrapper<T>, which owns the T
// object from construction to invalidation.
//
// Result codes: -1001 for any named access on a store itself, -1004 too few
// arguments, -1007 reading a property without getter or writing one without
// setter, -1008 no T object behind the script object (no objthis, an object
// of another class, a class whose store is gone, an invalidated object, or a
// factory that made nothing). Nothing here raises; engine exceptions from
// engine functions and from bound member functions pass through, and the
// binder's own temporary references are released as they pass.
//
// Threads: link, unlink and every call run on the engine's script thread.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

#include "dispatch.h"
#include "scoped_release.h"
#include "hostengine.h"

namespace SimpleBinder {
namespace Detail {

// Member flags of the method and property members (0xA00).
constexpr tjs_uint32 kMemberFlags = TJS_MEMBERENSURE | TJS_IGNOREPROP;
// Member flags of a class's store member (0x11A00).
constexpr tjs_uint32 kClassStoreFlags = kMemberFlags | TJS_HIDDENMEMBER | TJS_STATICMEMBER;
// The class object's member that holds the class store.
inline constexpr tjs_char kClassStoreMember[] = u"_*ClassStore*_";

// ----- scoped helpers ------------------------------------------------------------
// Logs `prefix` followed by the class name to the engine's important log.
void LogClassFailure(const tjs_char *prefix, const ttstr &className);

// ----- paths -----------------------------------------------------------------------
// The object at a dotted member path below `root` (the global object when
// null), without a reference: each object is borrowed from the member that
// holds it. Empty segments are skipped, so "" gives the root itself. Null when
// a member is missing or holds no object.
iTJSDispatch2 *ResolvePath(const ttstr &path, iTJSDispatch2 *root);
// Removes the member `name` of `target`; false for a null target or a refusal.
bool Unbind(iTJSDispatch2 *target, const ttstr &name);

// ----- store base ------------------------------------------------------------------
// Base of every script-visible object of the binder.
class StoreUtil : public tTJSDispatch {
 public:
  explicit StoreUtil(tjs_uint32 flags) : Flags(flags) {}

  // Null member name: 1 when IsInstanceOfName or "Object" matches (ignoring
  // case), else 2 (also for a null class name); a member name: -1001.
  tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                            const tjs_char *classname, iTJSDispatch2 *objthis) override;
  // Whether the store is an instance of `classname` (never null) besides "Object".
  virtual bool IsInstanceOfName(const tjs_char *classname) = 0;

  // Hands this new store to `target` as its member `name`: a closure of
  // (this, context) takes the creator's reference and is set with Flags. On
  // success the member holds the store; on failure (also for a null target)
  // the store is deleted before Attach returns.
  bool Attach(iTJSDispatch2 *target, const ttstr &name, iTJSDispatch2 *context);

  tjs_uint32 GetFlags() const { return Flags; }

 protected:
  ~StoreUtil() override = default;

 private:
  tjs_uint32 Flags;  // member flags used by Attach
};

// ----- callback interfaces ----------------------------------------------------------
// `flag` is passed through by the stores and ignored by every callback.
class FunctionInterface {
 public:
  virtual tjs_error Call(tjs_uint32 flag, tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                         iTJSDispatch2 *objthis) = 0;
  virtual ~FunctionInterface() = default;
};

class GetterInterface {
 public:
  virtual tjs_error Get(tjs_uint32 flag, tTJSVariant *result, iTJSDispatch2 *objthis) = 0;
  virtual ~GetterInterface() = default;
};

class SetterInterface {
 public:
  virtual tjs_error Set(tjs_uint32 flag, const tTJSVariant *param, iTJSDispatch2 *objthis) = 0;
  virtual ~SetterInterface() = default;
};

// ----- member shapes ----------------------------------------------------------------
// Class and function type of a member function pointer `F C::*`.
template <class M>
struct MemberPointer {
  static constexpr bool kIsMember = false;
};
template <class F, class C>
struct MemberPointer<F C::*> {
  static constexpr bool kIsMember = true;
  using Class = C;
  using Function = F;
};

// The method shapes: MinArgs and how the script arguments reach the method.
template <class F>
struct MethodShape {
  static constexpr bool kKnown = false;
};
template <>
struct MethodShape<tjs_error(tTJSVariant *, tTJSVariant *)> {
  static constexpr bool kKnown = true;
  static constexpr tjs_int MinArgs = 1;
  template <class T, class F>
  static tjs_error Invoke(T &native, F T::*method, tTJSVariant *result, tjs_int, tTJSVariant **param) {
    return (native.*method)(result, param[0]);
  }
};
template <>
struct MethodShape<tjs_error(tTJSVariant *, tTJSVariant *, tTJSVariant *)> {
  static constexpr bool kKnown = true;
  static constexpr tjs_int MinArgs = 2;
  template <class T, class F>
  static tjs_error Invoke(T &native, F T::*method, tTJSVariant *result, tjs_int, tTJSVariant **param) {
    return (native.*method)(result, param[0], param[1]);
  }
};
template <>
struct MethodShape<tjs_error(tTJSVariant *, tjs_int, tTJSVariant **)> {
  static constexpr bool kKnown = true;
  static constexpr tjs_int MinArgs = 0;
  template <class T, class F>
  static tjs_error Invoke(T &native, F T::*method, tTJSVariant *result, tjs_int numparams, tTJSVariant **param) {
    const bool any = numparams > 0;
    return (native.*method)(result, any ? numparams : 0, any ? param : nullptr);
  }
};

template <class F>
struct IsGetterShape : std::false_type {};
template <>
struct IsGetterShape<tjs_error(tTJSVariant *) const> : std::true_type {};
template <>
struct IsGetterShape<tjs_error(tTJSVariant *)> : std::true_type {};

template <class F>
struct IsSetterShape : std::false_type {};
template <>
struct IsSetterShape<tjs_error(const tTJSVariant *)> : std::true_type {};

template <class T>
class ClassStore;

// ----- callbacks ---------------------------------------------------------------------
template <class T, class F>
class FunctionCallback : public FunctionInterface {
  static_assert(MethodShape<F>::kKnown, "not a bindable method shape");

 public:
  explicit FunctionCallback(F T::*method) : MinArgs(MethodShape<F>::MinArgs), Method(method) {}

  // -1004 below MinArgs (checked first), -1008 without a T object behind
  // objthis, else the method's own code.
  tjs_error Call(tjs_uint32, tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                 iTJSDispatch2 *objthis) override {
    if (numparams < MinArgs) return TJS_E_BADPARAMCOUNT;
    T *native = nullptr;
    if (!objthis || !ClassStore<T>::GetInstance(objthis, native)) return TJS_E_NATIVECLASSCRASH;
    return MethodShape<F>::Invoke(*native, Method, result, numparams, param);
  }

 private:
  const tjs_int MinArgs;  // least number of script arguments
  F T::*const Method;
};

template <class T, class F>
class GetterCallback : public GetterInterface {
  static_assert(IsGetterShape<F>::value, "not a bindable getter shape");

 public:
  explicit GetterCallback(F T::*method) : Method(method) {}

  tjs_error Get(tjs_uint32, tTJSVariant *result, iTJSDispatch2 *objthis) override {
    T *native = nullptr;
    if (!objthis || !ClassStore<T>::GetInstance(objthis, native)) return TJS_E_NATIVECLASSCRASH;
    return (native->*Method)(result);
  }

 private:
  F T::*const Method;
};

template <class T, class F>
class SetterCallback : public SetterInterface {
  static_assert(IsSetterShape<F>::value, "not a bindable setter shape");

 public:
  explicit SetterCallback(F T::*method) : Method(method) {}

  tjs_error Set(tjs_uint32, const tTJSVariant *param, iTJSDispatch2 *objthis) override {
    T *native = nullptr;
    if (!objthis || !ClassStore<T>::GetInstance(objthis, native)) return TJS_E_NATIVECLASSCRASH;
    return (native->*Method)(param);
  }

 private:
  F T::*const Method;
};

// A new getter / setter callback for a member pointer, null for none.
template <class T, class F>
GetterInterface *NewGetter(F T::*getter) {
  return getter ? new GetterCallback<T, F>(getter) : nullptr;
}
template <class T>
GetterInterface *NewGetter(std::nullptr_t) {
  return nullptr;
}
template <class T, class F>
SetterInterface *NewSetter(F T::*setter) {
  return setter ? new SetterCallback<T, F>(setter) : nullptr;
}
template <class T>
SetterInterface *NewSetter(std::nullptr_t) {
  return nullptr;
}

// ----- member stores -------------------------------------------------------------------
// The function object of one bound method.
class FunctionStore : public StoreUtil {
 public:
  explicit FunctionStore(FunctionInterface *callback);  // takes ownership

  // Null member name: the callback's Call; a member name: -1001.
  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                       tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                       iTJSDispatch2 *objthis) override;
  bool IsInstanceOfName(const tjs_char *classname) override;  // "Function"

  // Makes the store for `method` and attaches it to `target` as `name`.
  template <class T, class F>
  static bool Bind(iTJSDispatch2 *target, const ttstr &name, F T::*method, iTJSDispatch2 *context) {
    std::unique_ptr<FunctionInterface> callback(new FunctionCallback<T, F>(method));
    auto *store = new FunctionStore(callback.get());
    callback.release();
    return store->Attach(target, name, context);
  }

 protected:
  ~FunctionStore() override;

 private:
  FunctionInterface *Callback;  // owned
};

// The property object of one bound property.
class PropertyStore : public StoreUtil {
 public:
  PropertyStore(SetterInterface *setter, GetterInterface *getter);  // takes ownership; either may be null

  // Null member name: the getter's Get, or -1007 without a getter; a member
  // name: -1001.
  tjs_error TJS_INTF_METHOD GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      tTJSVariant *result, iTJSDispatch2 *objthis) override;
  // Null member name: the setter's Set, or -1007 without a setter; a member
  // name: -1001. A null value gives -1003: a setter always gets a value.
  tjs_error TJS_INTF_METHOD SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                      const tTJSVariant *param, iTJSDispatch2 *objthis) override;
  bool IsInstanceOfName(const tjs_char *classname) override;  // "Property"

  // Makes the store for `setter` and `getter` (member pointers of T, or
  // nullptr for none) and attaches it to `target` as `name`.
  template <class T, class Setter, class Getter>
  static bool Bind(iTJSDispatch2 *target, const ttstr &name, Setter setter, Getter getter, iTJSDispatch2 *context) {
    std::unique_ptr<SetterInterface> set(NewSetter<T>(setter));
    std::unique_ptr<GetterInterface> get(NewGetter<T>(getter));
    auto *store = new PropertyStore(set.get(), get.get());
    set.release();
    get.release();
    return store->Attach(target, name, context);
  }

 protected:
  ~PropertyStore() override;

 private:
  SetterInterface *Setter;  // owned, null for a read-only property
  GetterInterface *Getter;  // owned, null for a write-only property
};

// ----- native instances ------------------------------------------------------------------
// The default native instance: constructs to nothing and deletes itself on
// OnDestruct.
class tTJSNativeInstance : public iTJSNativeInstance {
 public:
  tjs_error TJS_INTF_METHOD OnConstruct(tjs_int numparams, tTJSVariant **param, iTJSDispatch2 *objthis) override;
  void TJS_INTF_METHOD OnInvalidate() override;
  void TJS_INTF_METHOD OnDestruct() override;
  virtual ~tTJSNativeInstance() = default;
};

// The class entry of one class: makes and deletes its native objects
// (untyped at this interface) and reports the class object.
class ClassEntryInterface {
 public:
  virtual ~ClassEntryInterface() = default;
  virtual void Discard();  // deletes the entry
  // Runs the factory; *out (when out is not null) receives what it made, null included.
  virtual tjs_error NewNative(void **out, tjs_int numparams, tTJSVariant **param, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error DeleteNative(void *native) = 0;
  virtual tjs_error SetClassObject(iTJSDispatch2 *classObject) = 0;
};

// Discards an entry when the scope ends, unless dismissed.
class ScopedEntry {
 public:
  explicit ScopedEntry(ClassEntryInterface *entry) : Entry(entry) {}
  ScopedEntry(const ScopedEntry &) = delete;
  ScopedEntry &operator=(const ScopedEntry &) = delete;
  ~ScopedEntry() {
    if (Entry) Entry->Discard();
  }
  ClassEntryInterface *Dismiss() {
    ClassEntryInterface *entry = Entry;
    Entry = nullptr;
    return entry;
  }

 private:
  ClassEntryInterface *Entry;
};

template <class T, class = void>
struct HasDispose : std::false_type {};
template <class T>
struct HasDispose<T, std::void_t<decltype(std::declval<T &>().Dispose())>> : std::true_type {};

// The default deleter of native objects: delete, or the object's own
// Dispose when it has one (an object the engine may still be using, such as
// an attached wave filter, decides itself when it can go).
template <class T>
void DeleteNativeObject(T *native) {
  if constexpr (HasDispose<T>::value) {
    native->Dispose();
  } else {
    delete native;
  }
}

template <class T>
class ClassEntryCallback : public ClassEntryInterface {
 public:
  using FactoryFn = tjs_error (*)(T *&out, tjs_int numparams, tTJSVariant **params);
  using DeleterFn = void (*)(T *native);

  // `classOut` (may be null) receives the class object from SetClassObject.
  ClassEntryCallback(tjs_int minArgs, FactoryFn factory, DeleterFn deleter, iTJSDispatch2 **classOut)
      : MinArgs(minArgs), Factory(factory), Deleter(deleter), ClassOut(classOut) {}

  // -1004 below MinArgs. A null factory makes nothing and succeeds. An
  // object the factory has handed over (written to its output) is deleted
  // when an engine exception leaves the factory afterwards, or when there is
  // no `out` to receive it.
  tjs_error NewNative(void **out, tjs_int numparams, tTJSVariant **param, iTJSDispatch2 *) override {
    if (numparams < MinArgs) return TJS_E_BADPARAMCOUNT;
    T *made = nullptr;
    PendingNative pending{made, Deleter};
    const bool any = numparams > 0;
    const tjs_error hr = Factory ? Factory(made, any ? numparams : 0, any ? param : nullptr) : TJS_S_OK;
    if (out) {
      *out = made;
      made = nullptr;  // handed on: nothing left for `pending` to delete
    }
    return hr;
  }
  tjs_error DeleteNative(void *native) override {
    if (native && Deleter) Deleter(static_cast<T *>(native));
    return TJS_S_OK;
  }
  tjs_error SetClassObject(iTJSDispatch2 *classObject) override {
    if (ClassOut) *ClassOut = classObject;
    return TJS_S_OK;
  }

 private:
  // Deletes the object in `Made` when the scope ends with one still there.
  struct PendingNative {
    T *&Made;
    DeleterFn Deleter;
    ~PendingNative() {
      if (Made && Deleter) Deleter(Made);
    }
  };

  const tjs_int MinArgs;  // least number of constructor arguments
  const FactoryFn Factory;
  const DeleterFn Deleter;
  iTJSDispatch2 **const ClassOut;
};

// Native instances of every bound class alive now: each is this module's
// code that the engine will call (OnInvalidate, OnDestruct) when its script
// object ends, so the module must stay while any lives.
tjs_int32 LiveNativeInstances();
void NoteNativeInstance(tjs_int32 delta);  // +1 made, -1 destroyed

// The native instance of one script object of class T; owns its T object.
template <class T>
class InstanceWrapper : public tTJSNativeInstance {
 public:
  ~InstanceWrapper() override { NoteNativeInstance(-1); }

  // The class object's native-instance factory.
  static iTJSNativeInstance *TJS_ENGINE_CALL Create() { return new InstanceWrapper(); }

  // Runs the class's factory into Native; -1 when the class store is gone.
  // A T object made by an earlier construction of the same script object is
  // deleted first, so a repeated constructor call cannot leak it.
  tjs_error TJS_INTF_METHOD OnConstruct(tjs_int numparams, tTJSVariant **param, iTJSDispatch2 *objthis) override {
    ClassEntryInterface *entry = ClassStore<T>::CurrentEntry();
    if (!entry) return TJS_E_FAIL;
    DeleteNative();
    void *made = nullptr;
    const tjs_error hr = entry->NewNative(&made, numparams, param, objthis);
    Native = static_cast<T *>(made);
    return hr;
  }
  // Deletes the T object; a second call does nothing.
  void TJS_INTF_METHOD OnInvalidate() override { DeleteNative(); }
  // Deletes a T object still held (an engine that destructs without
  // invalidating first), then the wrapper.
  void TJS_INTF_METHOD OnDestruct() override {
    DeleteNative();
    tTJSNativeInstance::OnDestruct();
  }

  T *Native = nullptr;  // owned; null before construction and after invalidation

 private:
  InstanceWrapper() { NoteNativeInstance(+1); }

  // Deletes Native through the class entry's deleter. When the class store is
  // gone (the class object died while this script object lives on), the
  // binder's default deleter does it: it is the only deleter Class installs,
  // and leaving the object undeleted would leak it.
  void DeleteNative() {
    T *native = Native;
    Native = nullptr;
    if (!native) return;
    if (ClassEntryInterface *entry = ClassStore<T>::CurrentEntry()) {
      entry->DeleteNative(native);
    } else {
      DeleteNativeObject(native);
    }
  }
};

// ----- class store --------------------------------------------------------------------------
template <class T>
class ClassStore : public StoreUtil {
 public:
  using FactoryFn = typename ClassEntryCallback<T>::FactoryFn;

  // The live store of T, or null. Set when a store is made, cleared when it dies.
  static inline ClassStore *Instance = nullptr;

  // Declares class `name` as member `name` of `target` (set with `flags`):
  // creates the class object with its store, entry, "finalize" and
  // constructor, writes it into *classOut and hands it to `target`. False,
  // with nothing left behind and *classOut null, when any step fails.
  static bool Bind(iTJSDispatch2 *target, const ttstr &name, FactoryFn factory, iTJSDispatch2 **classOut,
                   tjs_uint32 flags) {
    auto *entry = new ClassEntryCallback<T>(0, factory, &DeleteNativeObject<T>, classOut);
    tTJSNativeClassForPlugin *cls = CreateClass(name, entry);
    if (!cls) return false;
    ScopedRelease creatorReference(cls);
    tTJSVariant holder(static_cast<iTJSDispatch2 *>(cls));
    creatorReference.ReleaseNow();  // the variant holds the only reference now
    const bool ok = target && TJS_SUCCEEDED(target->SetMember(flags, name.c_str(), nullptr, &holder, target));
    if (!ok && classOut) *classOut = nullptr;  // the class object dies with the variant
    return ok;
  }

  // The new class object for `name` with one reference for the caller, or
  // null (with a log line) when T is declared already, the engine refuses
  // the class object, or the store cannot be attached to it. Takes ownership
  // of `entry` in every case.
  static tTJSNativeClassForPlugin *CreateClass(const ttstr &name, ClassEntryInterface *entry) {
    ScopedEntry owned(entry);
    if (Instance) {
      LogClassFailure(u"Class already created: ", name);
      return nullptr;
    }
    tTJSNativeClassForPlugin *cls = TJSCreateNativeClassForPlugin(name, &InstanceWrapper<T>::Create);
    if (!cls) {
      LogClassFailure(u"TJSCreateNativeClassForPlugin failed: ", name);
      return nullptr;
    }
    ScopedRelease unfinished(cls);
    const tjs_int32 classid = TJSRegisterNativeClass(name.c_str());
    TJSNativeClassSetClassID(cls, classid);
    const ttstr storeMember(kClassStoreMember);  // before the store: an engine error here leaves none behind
    auto *store = new ClassStore(classid, owned.Dismiss());
    if (!store->Attach(cls, storeMember, nullptr)) {
      LogClassFailure(u"Class entry link failed: ", name);
      return nullptr;  // the store is gone already; `unfinished` destroys the class object
    }
    RegisterMembers(name.c_str(), cls);
    entry->SetClassObject(cls);
    unfinished.Dismiss();
    return cls;
  }

  // Adds "finalize" and the constructor (named like the class) to the class object.
  static void RegisterMembers(const tjs_char *className, tTJSNativeClass *classObject) {
    RegisterMember(classObject, u"finalize", TJSCreateNativeClassMethod(&Finalize), className);
    RegisterMember(classObject, className, TJSCreateNativeClassConstructor(&Constructor), className);
  }

  // Hands `method` (one reference, ours) to the class object. When the
  // engine raises instead of taking it, the reference is dropped here.
  static void RegisterMember(tTJSNativeClass *classObject, const tjs_char *name, tTJSNativeClassMethod *method,
                             const tjs_char *className) {
    try {
      TJSNativeClassRegisterNCM(classObject, name, method, className, nitMethod, 0);
    } catch (...) {
      if (method) method->Release();
      throw;
    }
  }

  // The constructor: runs OnConstruct of the script object's native
  // instance; -1008 without store, objthis or native instance.
  static tjs_error TJS_ENGINE_CALL Constructor(tTJSVariant *, tjs_int numparams, tTJSVariant **param,
                                               iTJSDispatch2 *objthis) {
    iTJSNativeInstance *native = NativeInstanceOf(objthis);
    if (!native) return TJS_E_NATIVECLASSCRASH;
    return native->OnConstruct(numparams, param, objthis);
  }

  // "finalize": does nothing and succeeds.
  static tjs_error TJS_ENGINE_CALL Finalize(tTJSVariant *, tjs_int, tTJSVariant **, iTJSDispatch2 *) {
    return TJS_S_OK;
  }

  // The T object behind the script object `objthis`: true with `out` set,
  // or false with `out` null.
  static bool GetInstance(iTJSDispatch2 *objthis, T *&out) {
    iTJSNativeInstance *native = NativeInstanceOf(objthis);
    out = native ? static_cast<InstanceWrapper<T> *>(native)->Native : nullptr;
    return out != nullptr;
  }

  // The entry of the live store of T, or null.
  static ClassEntryInterface *CurrentEntry() { return Instance ? Instance->Entry : nullptr; }

  bool IsInstanceOfName(const tjs_char *) override { return false; }

 protected:
  ~ClassStore() override {
    if (Entry) Entry->Discard();
    Entry = nullptr;
    if (Instance == this) Instance = nullptr;
  }

 private:
  ClassStore(tjs_int32 classid, ClassEntryInterface *entry)
      : StoreUtil(kClassStoreFlags), ClassID(classid), Entry(entry) {
    Instance = this;
  }

  // The native instance kept with `objthis` under T's class id, or null. The
  // instance found there is one of T's InstanceWrappers: the id is T's own.
  static iTJSNativeInstance *NativeInstanceOf(iTJSDispatch2 *objthis) {
    if (!Instance || !objthis) return nullptr;
    iTJSNativeInstance *native = nullptr;
    if (TJS_FAILED(objthis->NativeInstanceAccess(TJS_NIS_GETINSTANCE, Instance->ClassID, &native))) return nullptr;
    return native;
  }

  const tjs_int32 ClassID;     // the engine's native class id of T
  ClassEntryInterface *Entry;  // owned
};

// ----- declaration front end ----------------------------------------------------------------
// The class a member pointer is bound for: T when given, else the member's own.
template <class T, class M>
using BoundClass = std::conditional_t<std::is_void_v<T>, typename MemberPointer<M>::Class, T>;

// The class of a property's accessors (either may be nullptr): the getter's,
// or the setter's when there is no getter.
template <class G, class S>
struct PropertyClass {
  static_assert(MemberPointer<G>::kIsMember || MemberPointer<S>::kIsMember,
                "a property needs a getter or a setter");
  using Type = typename MemberPointer<std::conditional_t<MemberPointer<G>::kIsMember, G, S>>::Class;
};

// `accessor` as a member pointer of T, or nullptr unchanged.
template <class T, class M>
auto AsMemberOf(M accessor) {
  if constexpr (MemberPointer<M>::kIsMember) {
    return static_cast<typename MemberPointer<M>::Function T::*>(accessor);
  } else {
    return nullptr;
  }
}

// Declares (link mode) or removes (unlink mode) one class and its members
// under a parent object. Lives on the stack for one class's declarations;
// holds no references and owns nothing.
class BindUtil {
 public:
  // `parentPath` is resolved from the global object (ResolvePath); when it
  // does not resolve, every declaration of the chain is skipped.
  BindUtil(const ttstr &parentPath, bool link);
  BindUtil(const BindUtil &) = delete;
  BindUtil &operator=(const BindUtil &) = delete;
  virtual ~BindUtil() = default;

  // Link: declares class `name` made by `factory` and targets the following
  // declarations at it. Unlink: removes the parent's member `name`. Either
  // way, the following declarations are skipped unless the class was declared.
  template <class T>
  BindUtil &Class(const ttstr &name, tjs_error (*factory)(T *&out, tjs_int numparams, tTJSVariant **params)) {
    if (!Target) return *this;
    iTJSDispatch2 *classObject = nullptr;
    const bool ok =
        LinkMode ? ClassStore<T>::Bind(Target, name, factory, &classObject, kMemberFlags) : Unbind(Target, name);
    NoteResult(ok);
    Target = (LinkMode && ok) ? classObject : nullptr;
    return *this;
  }

  // A property with a getter and/or a setter (nullptr for none).
  template <class T = void, class Getter, class Setter>
  BindUtil &Property(const ttstr &name, Getter getter, Setter setter) {
    using Cls = std::conditional_t<std::is_void_v<T>, typename PropertyClass<Getter, Setter>::Type, T>;
    if (!Target) return *this;
    if (LinkMode) {
      NoteResult(PropertyStore::Bind<Cls>(Target, name, AsMemberOf<Cls>(setter), AsMemberOf<Cls>(getter), Context));
    } else {
      NoteResult(Unbind(Target, name));
    }
    return *this;
  }

  // A method of one of the method shapes.
  template <class T = void, class Method>
  BindUtil &Function(const ttstr &name, Method method) {
    using Cls = BoundClass<T, Method>;
    if (!Target) return *this;
    if (LinkMode) {
      NoteResult(FunctionStore::Bind<Cls>(Target, name, AsMemberOf<Cls>(method), Context));
    } else {
      NoteResult(Unbind(Target, name));
    }
    return *this;
  }

  // Whether any declaration of this chain failed.
  bool IsFailed() const { return Failed; }

 private:
  void NoteResult(bool ok) {
    if (!ok) Failed = true;
  }

  bool LinkMode;          // true: declarations add members; false: they remove them
  bool Failed = false;    // set by any failed declaration, never cleared
  iTJSDispatch2 *Target;  // borrowed: the object the next declaration works on
  // Borrowed: the context of every member closure. Always null: the engine
  // passes the script object a member is used through as objthis.
  iTJSDispatch2 *Context = nullptr;
};

}  // namespace Detail

// The front end.
using Detail::BindUtil;

}  // namespace SimpleBinder
