// The script class binder, through the binder probe plug-in loaded into the
// stand-in engine: test classes declared under WaveSoundBuffer are created,
// called, read, written and invalidated as a script would; declarations,
// removals and every failure path of the class machinery.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binder_probe_api.h"
#include "native_class.h"
#include "test_support.h"

namespace {

using standin::Arguments;
using standin::ObjectRef;
using standin::VariantOf;
using testing_support::EngineErrorOf;

constexpr tjs_hresult kOk = TJS_HR_S_OK;
constexpr tjs_hresult kFail = TJS_HR_E_FAIL;

// The object a member holds (its raw value, properties not run), borrowed.
iTJSDispatch2 *MemberObject(iTJSDispatch2 *owner, const std::u16string &name) {
  tTJSVariant value;
  if (TJS_FAILED(owner->GetMember(TJS_IGNOREPROP, name.c_str(), nullptr, &value, owner))) return nullptr;
  return value.AsObjectNoAddRef();
}

bool HasMember(iTJSDispatch2 *owner, const std::u16string &name) {
  tTJSVariant value;
  return TJS_SUCCEEDED(owner->GetMember(TJS_IGNOREPROP, name.c_str(), nullptr, &value, owner));
}

// `count` integer arguments 0, 1, ... in an engine argument array.
struct ArgumentList {
  explicit ArgumentList(int count) {
    for (int i = 0; i < count; ++i) Values.push_back(VariantOf(tTVInteger{i}));
    for (auto &v : Values) Pointers.push_back(&v);
  }
  tjs_int Count() const { return static_cast<tjs_int>(Values.size()); }
  tTJSVariant **Array() { return Pointers.empty() ? nullptr : Pointers.data(); }
  std::vector<tTJSVariant> Values;
  std::vector<tTJSVariant *> Pointers;
};

// The probe plug-in, loaded into a fresh engine; each test ends with the
// plug-in unlinked (V2Unlink must succeed), none of its objects referenced
// and no test class object alive.
class BinderFixture : public testing_support::EngineTest {
 protected:
  void TearDown() override {
    if (Linked) {
      EXPECT_EQ(Plugin.Unlink(), kOk) << "V2Unlink at the end of the scenario";
    }
    EXPECT_EQ(RefTotal(), 0) << "plug-in objects still referenced";
    EXPECT_EQ(Live(), 0) << "test class objects not deleted";
    Engine.reset();  // before the plug-in is unloaded, whatever a failed test left behind
  }

  template <class Fn>
  Fn Probe(const char *name) {
    auto fn = reinterpret_cast<Fn>(Plugin.Symbol(name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  tjs_int32 RefTotal() { return Probe<BinderProbeIntFn>("BinderProbeRefTotal")(); }
  tjs_int32 Live() { return Probe<BinderProbeIntFn>("BinderProbeLive")(); }
  const BinderProbeCall &Last() { return *Probe<BinderProbeCallFn>("BinderProbeLastCall")(); }
  bool StoreAlive(int which) { return Probe<BinderProbeStoreAliveFn>("BinderProbeStoreAlive")(which); }
  // Runs one class's chain; true when it failed.
  bool Declare(int which, const tjs_char *parent, bool link) {
    return Probe<BinderProbeDeclareFn>("BinderProbeDeclare")(which, parent, link);
  }
  iTJSDispatch2 *ResolvePath(const tjs_char *path, iTJSDispatch2 *root = nullptr) {
    return Probe<BinderProbeResolvePathFn>("BinderProbeResolvePath")(path, root);
  }

  void Link() {
    ASSERT_EQ(Plugin.Link(E()), kOk);
    Linked = true;
  }
  // After a failed link: removes what it declared and links again, so that
  // the scenario ends with a normal unlink.
  void RelinkAfterFailedLink() {
    for (int which : {kProbeShapes, kProbeOther, kProbeHollow}) {
      if (StoreAlive(which)) {
        EXPECT_FALSE(Declare(which, u"WaveSoundBuffer", false));
      }
    }
    EXPECT_EQ(RefTotal(), 0);
    const size_t lines = E().Log().size();
    Link();
    EXPECT_EQ(E().Log().size(), lines) << "the second link declares everything without a message";
  }
  iTJSDispatch2 *ClassObject(const std::u16string &name) { return standin::ObjectAt(u"WaveSoundBuffer." + name); }
  ObjectRef New(const std::u16string &cls, const Arguments &args = {}) {
    ObjectRef object;
    EXPECT_EQ(standin::ScriptNew(ClassObject(cls), args, object), TJS_S_OK) << standin::Utf8(cls);
    return object;
  }
  tjs_int32 ClassId(const tjs_char *name) { return TJSFindNativeClassID(name); }
  iTJSNativeInstance *NativeOf(iTJSDispatch2 *object, const tjs_char *className) {
    iTJSNativeInstance *native = nullptr;
    object->NativeInstanceAccess(TJS_NIS_GETINSTANCE, ClassId(className), &native);
    return native;
  }
  std::string Get(iTJSDispatch2 *object, const char16_t *name) {
    tTJSVariant value;
    EXPECT_EQ(standin::ScriptGet(object, name, &value), TJS_S_OK) << standin::Utf8(name);
    return standin::ToUtf8(value);
  }
  std::vector<std::string> LinesStartingWith(const std::string &prefix) {
    std::vector<std::string> lines;
    for (auto &line : E().Log())
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }

  bool Linked = false;
  standin::PluginModule Plugin{BINDER_PROBE_PATH};
};

// The usual engine: it has a WaveSoundBuffer class.
class Binder : public BinderFixture {
 protected:
  Binder() { WaveSoundBuffer = standin::InstallWaveSoundBufferClass(); }
  standin::NativeClassObject *WaveSoundBuffer = nullptr;
};

// ----- a declared class, used as a script uses it --------------------------------

TEST_F(Binder, DeclaredClassIsConstructedCalledReadWrittenAndInvalidatedLikeAScriptClass) {
  Link();
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{3})});
  ASSERT_TRUE(obj);
  EXPECT_EQ(Live(), 1);
  EXPECT_EQ(obj->CheckInstanceOf(0, nullptr, nullptr, u"BinderShapes", obj.Get()), TJS_S_TRUE);

  tTJSVariant echoed;
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"echo", {VariantOf("hi")}, &echoed), TJS_S_OK);
  EXPECT_EQ(standin::ToUtf8(echoed), "hi");
  EXPECT_EQ(Get(obj.Get(), u"level"), "3");
  EXPECT_EQ(standin::ScriptSet(obj.Get(), u"level", VariantOf(tTVInteger{7})), TJS_S_OK);
  EXPECT_EQ(Get(obj.Get(), u"level"), "7");
  EXPECT_EQ(Get(obj.Get(), u"value"), "70");
  EXPECT_EQ(Get(obj.Get(), u"kind"), "1");
  const void *native = Last().Native;

  EXPECT_EQ(standin::ScriptInvalidate(obj.Get()), TJS_S_OK);
  EXPECT_EQ(Live(), 0) << "invalidation deletes the native object";
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"echo", {VariantOf("hi")}), TJS_E_NATIVECLASSCRASH);
  EXPECT_NE(native, nullptr);
}

TEST_F(Binder, MethodShapesGetTheEnginesArgumentsAndCheckTheCountFirst) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  struct Case {
    const char16_t *member;
    int args;
    tjs_error code;
  };
  const Case cases[] = {
      {u"echo", 0, TJS_E_BADPARAMCOUNT}, {u"echo", 1, TJS_S_OK}, {u"echo", 3, TJS_S_OK},
      {u"pair", 1, TJS_E_BADPARAMCOUNT}, {u"pair", 2, TJS_S_OK}, {u"pair", 3, TJS_S_OK},
      {u"count", 0, TJS_S_OK},           {u"count", 3, TJS_S_OK},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(standin::Utf8(c.member) + " with " + std::to_string(c.args));
    ArgumentList args(c.args);
    tTJSVariant result;
    const int callsBefore = Last().Calls;
    EXPECT_EQ(obj->CallMember(0, c.member, nullptr, &result, args.Count(), args.Array(), obj.Get()), c.code);
    if (c.code == TJS_E_BADPARAMCOUNT) {
      EXPECT_EQ(Last().Calls, callsBefore) << "too few arguments never reach the native object";
      continue;
    }
    EXPECT_EQ(Last().Calls, callsBefore + 1);
    EXPECT_EQ(Last().Result, &result);
    if (std::u16string(c.member) == u"count") {
      EXPECT_EQ(Last().NumParams, c.args);
      EXPECT_EQ(Last().Params, c.args ? static_cast<const void *>(args.Array()) : nullptr);
      EXPECT_EQ(result.AsInteger(), c.args);
    } else {
      EXPECT_EQ(Last().Arg0, args.Pointers[0]) << "the engine's own argument, not a copy";
      if (std::u16string(c.member) == u"pair") {
        EXPECT_EQ(Last().Arg1, args.Pointers[1]);
        EXPECT_EQ(result.AsInteger(), 1) << "only the first two arguments are passed";
      }
    }
  }
  // A null result reaches the method as null.
  ArgumentList one(1);
  EXPECT_EQ(obj->CallMember(0, u"echo", nullptr, nullptr, 1, one.Array(), obj.Get()), TJS_S_OK);
  EXPECT_EQ(Last().Result, nullptr);
}

TEST_F(Binder, MemberCodesAndEngineExceptionsPassThrough) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"code", {VariantOf(tTVInteger{-1003})}), TJS_E_INVALIDPARAM);
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"code", {VariantOf(tTVInteger{5})}), 5);
  EXPECT_EQ(EngineErrorOf([&] { standin::ScriptCall(obj.Get(), u"raise", {VariantOf("x")}); }), "probe raised");
  EXPECT_EQ(Get(obj.Get(), u"kind"), "1") << "the object keeps working after the exception";
}

TEST_F(Binder, PropertiesRunTheirGetterAndSetterAndDenyTheMissingOne) {
  Link();
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{2})});
  tTJSVariant got;
  EXPECT_EQ(standin::ScriptSet(obj.Get(), u"value", VariantOf(tTVInteger{1})), TJS_E_ACCESSDENYED);
  EXPECT_EQ(standin::ScriptGet(obj.Get(), u"sink", &got), TJS_E_ACCESSDENYED);
  EXPECT_EQ(standin::ScriptSet(obj.Get(), u"sink", VariantOf(tTVInteger{4})), TJS_S_OK);
  EXPECT_EQ(Get(obj.Get(), u"level"), "-4");
  EXPECT_EQ(Get(obj.Get(), u"value"), "-40");

  // The stores themselves: a null result reaches the getter as null; a
  // setter never gets a null value.
  iTJSDispatch2 *level = MemberObject(ClassObject(u"BinderShapes"), u"level");
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level->GetMember(0, nullptr, nullptr, nullptr, obj.Get()), TJS_S_OK);
  EXPECT_EQ(Last().Result, nullptr);
  const int callsBefore = Last().Calls;
  EXPECT_EQ(level->SetMember(0, nullptr, nullptr, nullptr, obj.Get()), TJS_E_INVALIDPARAM);
  EXPECT_EQ(Last().Calls, callsBefore);
}

TEST_F(Binder, StoresAnswerCheckInstanceOfAndRefuseNamedAccess) {
  Link();
  iTJSDispatch2 *cls = ClassObject(u"BinderShapes");
  iTJSDispatch2 *function = MemberObject(cls, u"echo");
  iTJSDispatch2 *property = MemberObject(cls, u"level");
  iTJSDispatch2 *store = MemberObject(cls, u"_*ClassStore*_");
  ASSERT_TRUE(function && property && store);
  struct Case {
    iTJSDispatch2 *store;
    const char *what;
    tjs_error asFunction, asProperty;
  };
  const Case cases[] = {
      {function, "function store", TJS_S_TRUE, TJS_S_FALSE},
      {property, "property store", TJS_S_FALSE, TJS_S_TRUE},
      {store, "class store", TJS_S_FALSE, TJS_S_FALSE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, u"Function", nullptr), c.asFunction);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, u"Property", nullptr), c.asProperty);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, u"Object", nullptr), TJS_S_TRUE);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, u"oBJECT", nullptr), TJS_S_TRUE);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, u"Dictionary", nullptr), TJS_S_FALSE);
    EXPECT_EQ(c.store->CheckInstanceOf(0, nullptr, nullptr, nullptr, nullptr), TJS_S_FALSE);
    EXPECT_EQ(c.store->CheckInstanceOf(0, u"x", nullptr, u"Object", nullptr), TJS_E_MEMBERNOTFOUND);
  }
  EXPECT_EQ(function->CheckInstanceOf(0, nullptr, nullptr, u"function", nullptr), TJS_S_TRUE);
  tTJSVariant v;
  EXPECT_EQ(function->CallMember(0, u"x", nullptr, &v, 0, nullptr, nullptr), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(property->GetMember(0, u"x", nullptr, &v, nullptr), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(property->SetMember(0, u"x", nullptr, &v, nullptr), TJS_E_MEMBERNOTFOUND);
}

TEST_F(Binder, MembersNeedTheirOwnClassesNativeObject) {
  Link();
  ObjectRef shapes = New(u"BinderShapes", {VariantOf(tTVInteger{5})});
  ObjectRef other = New(u"BinderOther", {VariantOf(tTVInteger{6})});
  ObjectRef hollow = New(u"BinderHollow");
  ASSERT_TRUE(hollow) << "a factory that makes nothing still constructs";
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  iTJSDispatch2 *cls = ClassObject(u"BinderShapes");
  iTJSDispatch2 *echo = MemberObject(cls, u"echo");
  iTJSDispatch2 *level = MemberObject(cls, u"level");
  iTJSDispatch2 *sink = MemberObject(cls, u"sink");
  ArgumentList one(1), none(0);
  tTJSVariant v = VariantOf(tTVInteger{1});

  const int callsBefore = Last().Calls;
  struct Case {
    const char *what;
    iTJSDispatch2 *objthis;
  };
  const Case strangers[] = {
      {"no objthis", nullptr}, {"a dictionary", dict}, {"an object of another class", other.Get()},
      {"an object whose factory made nothing", hollow.Get()}};
  for (const Case &c : strangers) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(echo->CallMember(0, nullptr, nullptr, nullptr, 1, one.Array(), c.objthis), TJS_E_NATIVECLASSCRASH);
    EXPECT_EQ(level->GetMember(0, nullptr, nullptr, &v, c.objthis), TJS_E_NATIVECLASSCRASH);
    EXPECT_EQ(sink->SetMember(0, nullptr, nullptr, &v, c.objthis), TJS_E_NATIVECLASSCRASH);
  }
  EXPECT_EQ(Last().Calls, callsBefore) << "no native member function ran";
  EXPECT_EQ(echo->CallMember(0, nullptr, nullptr, nullptr, 0, none.Array(), nullptr), TJS_E_BADPARAMCOUNT)
      << "the count is checked before objthis";
  EXPECT_EQ(standin::ScriptCall(hollow.Get(), u"echo", {VariantOf("x")}), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(standin::ScriptCall(other.Get(), u"echo", {VariantOf("x")}), TJS_S_OK);
  EXPECT_EQ(Get(other.Get(), u"value"), "6");
  // One base-class getter bound for two classes finds each class's object.
  EXPECT_EQ(Get(shapes.Get(), u"kind"), "1");
  EXPECT_EQ(Get(other.Get(), u"kind"), "2");
  dict->Release();
}

TEST_F(Binder, FactoryGetsTheArgumentsAndItsCodeIsTheConstructionsResult) {
  Link();
  ObjectRef plain = New(u"BinderShapes");
  EXPECT_EQ(Last().NumParams, 0);
  EXPECT_EQ(Last().Params, nullptr);

  iTJSDispatch2 *cls = ClassObject(u"BinderShapes");
  ArgumentList three(3);
  iTJSDispatch2 *made = nullptr;
  ASSERT_EQ(cls->CreateInstance(0, nullptr, nullptr, &made, 3, three.Array(), cls), TJS_S_OK);
  EXPECT_EQ(Last().NumParams, 3);
  EXPECT_EQ(Last().Params, three.Array());
  made->Release();

  ObjectRef refused;
  const int liveBefore = Live();
  EXPECT_EQ(standin::ScriptNew(cls, {VariantOf(tTVInteger{1}), VariantOf(tTVInteger{-1003})}, refused),
            TJS_E_INVALIDPARAM);
  EXPECT_FALSE(refused);
  EXPECT_EQ(Live(), liveBefore) << "the object the factory stored was deleted with the failed object";
}

TEST_F(Binder, ConstructorWithoutStoreObjthisOrNativeInstanceAnswersNoNativeInstance) {
  Link();
  iTJSDispatch2 *cls = ClassObject(u"BinderShapes");
  iTJSDispatch2 *constructor = MemberObject(cls, u"BinderShapes");
  ASSERT_NE(constructor, nullptr);
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  EXPECT_EQ(constructor->CallMember(0, nullptr, nullptr, nullptr, 0, nullptr, nullptr), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(constructor->CallMember(0, nullptr, nullptr, nullptr, 0, nullptr, dict), TJS_E_NATIVECLASSCRASH);
  dict->Release();

  // A class object whose store is gone.
  ASSERT_TRUE(standin::AsNativeClass(cls)->Erase(u"_*ClassStore*_"));
  EXPECT_FALSE(StoreAlive(kProbeShapes));
  ObjectRef obj;
  EXPECT_EQ(standin::ScriptNew(cls, {}, obj), TJS_E_NATIVECLASSCRASH);
  EXPECT_FALSE(obj);
  EXPECT_EQ(Live(), 0);
}

TEST_F(Binder, FinalizeDoesNothingAndSucceeds) {
  Link();
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{4})});
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"finalize"), TJS_S_OK);
  EXPECT_EQ(Live(), 1);
  EXPECT_EQ(Get(obj.Get(), u"level"), "4");
}

TEST_F(Binder, InvalidationDeletesTheNativeObjectOnce) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  iTJSNativeInstance *native = NativeOf(obj.Get(), u"BinderShapes");
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(standin::ScriptInvalidate(obj.Get()), TJS_S_OK);
  EXPECT_EQ(Live(), 0);
  native->OnInvalidate();  // a second invalidation finds nothing to delete
  EXPECT_EQ(Live(), 0);
  tTJSVariant v;
  EXPECT_EQ(standin::ScriptGet(obj.Get(), u"level", &v), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(standin::ScriptSet(obj.Get(), u"level", v), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"count"), TJS_E_NATIVECLASSCRASH);
}

TEST_F(Binder, ObjectsOutliveTheirClassWithoutLeakingTheirNativeObject) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  iTJSNativeInstance *native = NativeOf(obj.Get(), u"BinderShapes");
  ASSERT_NE(native, nullptr);
  ASSERT_TRUE(WaveSoundBuffer->Erase(u"BinderShapes"));  // the class object dies
  EXPECT_EQ(ClassObject(u"BinderShapes"), nullptr);
  EXPECT_FALSE(StoreAlive(kProbeShapes));

  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"echo", {VariantOf("x")}), TJS_E_NATIVECLASSCRASH);
  tTJSVariant v;
  EXPECT_EQ(standin::ScriptGet(obj.Get(), u"level", &v), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(native->OnConstruct(0, nullptr, obj.Get()), TJS_E_FAIL) << "no class entry to construct with";
  EXPECT_EQ(Live(), 1);
  EXPECT_EQ(standin::ScriptInvalidate(obj.Get()), TJS_S_OK);
  EXPECT_EQ(Live(), 0) << "deleted with the default deleter although the class is gone";
  obj.Reset();

  // The class can be declared again, without a message: its store went with it.
  EXPECT_FALSE(Declare(kProbeShapes, u"WaveSoundBuffer", true));
  EXPECT_TRUE(StoreAlive(kProbeShapes));
  EXPECT_TRUE(LinesStartingWith("Class already created").empty());
}

TEST_F(Binder, RepeatedConstructionReplacesTheNativeObject) {
  Link();
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{1})});
  ArgumentList again(1);
  again.Values[0] = VariantOf(tTVInteger{8});
  EXPECT_EQ(NativeOf(obj.Get(), u"BinderShapes")->OnConstruct(1, again.Array(), obj.Get()), TJS_S_OK);
  EXPECT_EQ(Live(), 1) << "the first native object was deleted";
  EXPECT_EQ(Get(obj.Get(), u"level"), "8");
}

TEST_F(Binder, DestructionWithoutInvalidationStillDeletesTheNativeObject) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  const tjs_int32 id = ClassId(u"BinderShapes");
  iTJSNativeInstance *native = NativeOf(obj.Get(), u"BinderShapes");
  iTJSNativeInstance *none = nullptr;
  ASSERT_EQ(obj->NativeInstanceAccess(TJS_NIS_REGISTER, id, &none), TJS_S_OK);  // the engine lets go of it
  native->OnDestruct();
  EXPECT_EQ(Live(), 0);
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"echo", {VariantOf("x")}), TJS_E_NATIVECLASSCRASH);
}

// ----- link and unlink --------------------------------------------------------------------

TEST_F(Binder, LinkDeclaresTheClassesWithTheirMembersAndFlags) {
  Link();
  auto *shapes = standin::AsNativeClass(ClassObject(u"BinderShapes"));
  ASSERT_NE(shapes, nullptr);
  EXPECT_NE(ClassObject(u"BinderOther"), nullptr);
  EXPECT_NE(ClassObject(u"BinderHollow"), nullptr);
  EXPECT_EQ(WaveSoundBuffer->Find(u"BinderShapes")->Flags, 0xA00u);
  EXPECT_EQ(shapes->Find(u"_*ClassStore*_")->Flags, 0x11A00u);
  for (const char16_t *member : {u"echo", u"pair", u"count", u"value", u"level", u"sink", u"kind"}) {
    ASSERT_NE(shapes->Find(member), nullptr) << standin::Utf8(member);
    EXPECT_EQ(shapes->Find(member)->Flags, 0xA00u);
    EXPECT_EQ(standin::ClosureThisOf(shapes->Find(member)->Value), nullptr) << "closures carry no context";
  }
  EXPECT_EQ(shapes->Find(u"finalize")->Flags, 0u);
  EXPECT_EQ(shapes->Find(u"BinderShapes")->Flags, 0u);
  EXPECT_GT(shapes->ClassID(), 0);
  EXPECT_EQ(shapes->ClassID(), ClassId(u"BinderShapes"));
  EXPECT_TRUE(E().Log().empty());
}

TEST_F(Binder, LinkUnlinkAndLinkAgainWithoutAMessage) {
  Link();
  const tjs_int32 id = ClassId(u"BinderShapes");
  ASSERT_EQ(Plugin.Unlink(), kOk);
  EXPECT_EQ(ClassObject(u"BinderShapes"), nullptr);
  EXPECT_FALSE(StoreAlive(kProbeShapes));
  EXPECT_EQ(RefTotal(), 0);
  Link();
  EXPECT_TRUE(E().Log().empty());
  EXPECT_EQ(ClassId(u"BinderShapes"), id) << "class ids are stable per name";
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{2})});
  EXPECT_EQ(Get(obj.Get(), u"level"), "2");
}

TEST_F(Binder, DeclaringAClassTwiceLogsAndLeavesTheFirstOneWorking) {
  Link();
  iTJSDispatch2 *first = ClassObject(u"BinderShapes");
  EXPECT_EQ(Plugin.Link(E()), kFail);
  EXPECT_EQ(E().Log(), std::vector<std::string>{"Class already created: BinderShapes"})
      << "the failed chain stops the later classes";
  EXPECT_EQ(ClassObject(u"BinderShapes"), first);
  ObjectRef obj = New(u"BinderShapes", {VariantOf(tTVInteger{9})});
  EXPECT_EQ(Get(obj.Get(), u"level"), "9");
}

TEST_F(Binder, RefusedClassObjectLogsAndLeavesNothing) {
  standin::NativeClassFailures().RefuseClass = [](std::u16string_view name) { return name == u"BinderShapes"; };
  const long objectsBefore = standin::Live().Objects;
  EXPECT_EQ(Plugin.Link(E()), kFail);
  EXPECT_EQ(E().Log(), std::vector<std::string>{"TJSCreateNativeClassForPlugin failed: BinderShapes"});
  EXPECT_TRUE(WaveSoundBuffer->Members().empty()) << "the members after the failed class were skipped";
  EXPECT_EQ(standin::Live().Objects, objectsBefore);
  EXPECT_EQ(RefTotal(), 0);

  standin::NativeClassFailures().RefuseClass = nullptr;
  RelinkAfterFailedLink();
}

TEST_F(Binder, UnattachableClassStoreLogsAndLeavesNothing) {
  standin::NativeClassFailures().RefuseClassMember = [](std::u16string_view cls, std::u16string_view member) {
    return cls == u"BinderOther" && member == u"_*ClassStore*_";
  };
  EXPECT_EQ(Plugin.Link(E()), kFail);
  EXPECT_EQ(E().Log(), std::vector<std::string>{"Class entry link failed: BinderOther"});
  EXPECT_NE(ClassObject(u"BinderShapes"), nullptr) << "the class before it stays declared";
  EXPECT_EQ(WaveSoundBuffer->Members().size(), 1u) << "no member of the failed class landed on the parent";
  EXPECT_EQ(ClassObject(u"BinderHollow"), nullptr) << "the classes after it are not declared";
  EXPECT_FALSE(StoreAlive(kProbeOther));

  standin::NativeClassFailures().RefuseClassMember = nullptr;
  RelinkAfterFailedLink();
}

TEST_F(Binder, ParentRefusingTheClassMemberFailsSilentlyAndDestroysTheClass) {
  WaveSoundBuffer->RefuseSetMember = [](std::u16string_view name) { return name == u"BinderShapes"; };
  const long objectsBefore = standin::Live().Objects;
  EXPECT_EQ(Plugin.Link(E()), kFail);
  EXPECT_TRUE(E().Log().empty());
  EXPECT_EQ(standin::Live().Objects, objectsBefore) << "class object, store and members are gone";
  EXPECT_FALSE(StoreAlive(kProbeShapes));
  EXPECT_TRUE(WaveSoundBuffer->Members().empty()) << "the members after the failed class were skipped";
  EXPECT_EQ(RefTotal(), 0);

  WaveSoundBuffer->RefuseSetMember = nullptr;
  RelinkAfterFailedLink();
}

TEST_F(Binder, FailedMemberDeclarationMarksTheChainAndTheRestIsStillDeclared) {
  standin::NativeClassFailures().RefuseClassMember = [](std::u16string_view cls, std::u16string_view member) {
    return cls == u"BinderShapes" && member == u"level";
  };
  EXPECT_EQ(Plugin.Link(E()), kFail);
  iTJSDispatch2 *shapes = ClassObject(u"BinderShapes");
  ASSERT_NE(shapes, nullptr);
  EXPECT_FALSE(HasMember(shapes, u"level"));
  for (const char16_t *member : {u"echo", u"pair", u"count", u"code", u"raise", u"value", u"sink", u"kind"})
    EXPECT_TRUE(HasMember(shapes, member)) << standin::Utf8(member);
  EXPECT_EQ(ClassObject(u"BinderOther"), nullptr) << "the failed chain stops the later classes";
  EXPECT_TRUE(E().Log().empty());
  ObjectRef obj = New(u"BinderShapes");
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"echo", {VariantOf("x")}), TJS_S_OK);
  obj.Reset();

  standin::NativeClassFailures().RefuseClassMember = nullptr;
  RelinkAfterFailedLink();
}

TEST_F(Binder, UnlinkRemovesOnlyTheClassMembers) {
  Link();
  auto *shapes = standin::AsNativeClass(ClassObject(u"BinderShapes"));
  // Were the class's own members visited, these refusals would fail the unlink.
  shapes->RefuseRemoveMember = [](std::u16string_view) { return true; };
  EXPECT_EQ(Plugin.Unlink(), kOk);
  Linked = false;
  EXPECT_EQ(ClassObject(u"BinderShapes"), nullptr);
  EXPECT_EQ(ClassObject(u"BinderOther"), nullptr);
  EXPECT_EQ(ClassObject(u"BinderHollow"), nullptr);
}

TEST_F(Binder, RefusedRemovalFailsTheUnlinkAndKeepsTheLaterClasses) {
  Link();
  WaveSoundBuffer->RefuseRemoveMember = [](std::u16string_view name) { return name == u"BinderShapes"; };
  EXPECT_EQ(Plugin.Unlink(), kFail);
  EXPECT_NE(ClassObject(u"BinderShapes"), nullptr);
  EXPECT_NE(ClassObject(u"BinderOther"), nullptr);
  EXPECT_NE(ClassObject(u"BinderHollow"), nullptr);
  WaveSoundBuffer->RefuseRemoveMember = nullptr;
}

TEST_F(Binder, UnlinkIsRefusedWhileScriptObjectsHoldMembers) {
  Link();
  ObjectRef obj = New(u"BinderShapes");
  EXPECT_EQ(Plugin.Unlink(), kFail);
  EXPECT_NE(ClassObject(u"BinderShapes"), nullptr) << "a refused unlink removes nothing";
  obj.Reset();
}

// A class that is not there counts as removed: the unlink after a link that
// an engine error interrupted must complete whatever the link got to declare.
TEST_F(Binder, ChainsWithoutAResolvedParentAreSkippedAndRemovingAMissingClassSucceeds) {
  Link();
  iTJSDispatch2 *declared = ClassObject(u"BinderShapes");
  for (bool link : {true, false}) EXPECT_FALSE(Declare(kProbeShapes, u"NoSuchParent", link));
  EXPECT_EQ(ClassObject(u"BinderShapes"), declared) << "nothing was declared or removed";
  EXPECT_EQ(Global()->Find(u"BinderShapes"), nullptr) << "no declaration fell back to another target";

  EXPECT_FALSE(Declare(kProbeShapes, u"WaveSoundBuffer", false));
  EXPECT_FALSE(StoreAlive(kProbeShapes));
  EXPECT_FALSE(Declare(kProbeShapes, u"WaveSoundBuffer", false)) << "nothing left to remove: removed already";
  WaveSoundBuffer->RefuseRemoveMember = [](std::u16string_view) { return true; };
  EXPECT_TRUE(Declare(kProbeShapes, u"WaveSoundBuffer", false)) << "a refused removal still fails";
  WaveSoundBuffer->RefuseRemoveMember = nullptr;
  EXPECT_FALSE(Declare(kProbeShapes, u"WaveSoundBuffer", true));
}

// ----- paths --------------------------------------------------------------------------------

TEST_F(Binder, ResolvePathWalksMembersWithoutKeepingReferences) {
  Link();
  auto *global = static_cast<standin::ScriptObject *>(E().Global());
  global->Put(u"Plain", VariantOf(tTVInteger{1}));
  iTJSDispatch2 *shapes = ClassObject(u"BinderShapes");
  const tjs_uint globalRefs = global->RefCount(), bufferRefs = WaveSoundBuffer->RefCount();
  struct Case {
    const char16_t *path;
    iTJSDispatch2 *root;
    iTJSDispatch2 *expect;
  };
  const Case cases[] = {
      {u"WaveSoundBuffer", nullptr, WaveSoundBuffer},
      {u"", nullptr, global},
      {u".WaveSoundBuffer..", nullptr, WaveSoundBuffer},
      {u"WaveSoundBuffer.BinderShapes", nullptr, shapes},
      {u"BinderShapes", WaveSoundBuffer, shapes},
      {u"", WaveSoundBuffer, WaveSoundBuffer},
      {u"Missing", nullptr, nullptr},
      {u"Plain", nullptr, nullptr},
      {u"Plain.x", nullptr, nullptr},
      {u"WaveSoundBuffer.Missing.x", nullptr, nullptr},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ResolvePath(c.path, c.root), c.expect) << standin::Utf8(c.path);
    EXPECT_EQ(global->RefCount(), globalRefs);
    EXPECT_EQ(WaveSoundBuffer->RefCount(), bufferRefs);
  }
  global->Erase(u"Plain");
}

TEST_F(Binder, UnbindRemovesAMemberAndReportsRefusals) {
  Link();
  auto unbind = Probe<BinderProbeUnbindFn>("BinderProbeUnbind");
  WaveSoundBuffer->Put(u"extra", VariantOf(tTVInteger{1}));
  EXPECT_FALSE(unbind(nullptr, u"extra"));
  EXPECT_TRUE(unbind(WaveSoundBuffer, u"missing")) << "a member that is not there is removed already";
  EXPECT_TRUE(unbind(WaveSoundBuffer, u"extra"));
  EXPECT_EQ(WaveSoundBuffer->Find(u"extra"), nullptr);
  WaveSoundBuffer->Put(u"extra", VariantOf(tTVInteger{1}));
  WaveSoundBuffer->RefuseRemoveMember = [](std::u16string_view) { return true; };
  EXPECT_FALSE(unbind(WaveSoundBuffer, u"extra")) << "a refused removal";
  WaveSoundBuffer->RefuseRemoveMember = nullptr;
}

// ----- an engine without WaveSoundBuffer ----------------------------------------------------

using BinderWithoutWaveSoundBuffer = BinderFixture;

TEST_F(BinderWithoutWaveSoundBuffer, LinkAndUnlinkSucceedWithoutDeclaringAnything) {
  const size_t globalMembers = Global()->Members().size();
  Link();
  EXPECT_EQ(Global()->Members().size(), globalMembers);
  EXPECT_FALSE(StoreAlive(kProbeShapes));
  EXPECT_EQ(RefTotal(), 0);
  EXPECT_TRUE(E().Log().empty());
}

}  // namespace
