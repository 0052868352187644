// The stand-in engine's native classes, used directly: class ids, class
// objects and their native methods, construction through a class object,
// native instance calls, failure switches, the WaveSoundBuffer class and the
// script-level helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native_class.h"
#include "test_support.h"

namespace {

using standin::ObjectRef;
using standin::VariantOf;
using testing_support::EngineErrorOf;

// What the engine did with the test's native instances and methods.
std::vector<std::string> g_events;
iTJSDispatch2 *g_lastThis = nullptr;
tjs_int g_lastCount = -1;
tjs_error g_constructorAnswer = TJS_S_OK;
bool g_constructorRaises = false;

class RecordingNative : public iTJSNativeInstance {
 public:
  virtual ~RecordingNative() = default;
  tjs_error TJS_INTF_METHOD OnConstruct(tjs_int, tTJSVariant **, iTJSDispatch2 *) override {
    g_events.push_back("construct");
    return TJS_S_OK;
  }
  void TJS_INTF_METHOD OnInvalidate() override { g_events.push_back("invalidate"); }
  void TJS_INTF_METHOD OnDestruct() override {
    g_events.push_back("destruct");
    delete this;
  }
};

iTJSNativeInstance *TJS_ENGINE_CALL MakeRecording() {
  g_events.push_back("factory");
  return new RecordingNative();
}

tjs_error TJS_ENGINE_CALL RecordingConstructor(tTJSVariant *, tjs_int numparams, tTJSVariant **,
                                               iTJSDispatch2 *objthis) {
  g_events.push_back("constructor");
  g_lastThis = objthis;
  g_lastCount = numparams;
  if (g_constructorRaises) TVPThrowExceptionMessage(u"constructor raised");
  return g_constructorAnswer;
}

tjs_error TJS_ENGINE_CALL RecordingMethod(tTJSVariant *result, tjs_int numparams, tTJSVariant **,
                                          iTJSDispatch2 *objthis) {
  g_lastThis = objthis;
  g_lastCount = numparams;
  if (result) *result = VariantOf("called");
  return TJS_S_OK;
}

class NativeClasses : public testing_support::EngineTest {
 protected:
  NativeClasses() {
    g_events.clear();
    g_lastThis = nullptr;
    g_lastCount = -1;
    g_constructorAnswer = TJS_S_OK;
    g_constructorRaises = false;
  }

  // A class object "Probe" with the recording factory, an id, a constructor,
  // the method "act", a static member and a plain value; one reference.
  ObjectRef MakeProbeClass(bool withConstructor = true, tTJSCreateNativeInstance factory = &MakeRecording) {
    ObjectRef cls(TJSCreateNativeClassForPlugin(ttstr(u"Probe"), factory));
    standin::NativeClassObject *probe = standin::AsNativeClass(cls.Get());
    TJSNativeClassSetClassID(probe, TJSRegisterNativeClass(u"Probe"));
    if (withConstructor)
      TJSNativeClassRegisterNCM(probe, u"Probe", TJSCreateNativeClassConstructor(&RecordingConstructor), u"Probe",
                                nitMethod, 0);
    TJSNativeClassRegisterNCM(probe, u"act", TJSCreateNativeClassMethod(&RecordingMethod), u"Probe", nitMethod, 0);
    probe->Put(u"shared", VariantOf(tTVInteger{7}), TJS_STATICMEMBER);
    probe->Put(u"plain", VariantOf(tTVInteger{5}), 0);
    return cls;
  }
  iTJSNativeInstance *NativeOf(iTJSDispatch2 *object) {
    iTJSNativeInstance *native = nullptr;
    object->NativeInstanceAccess(TJS_NIS_GETINSTANCE, TJSFindNativeClassID(u"Probe"), &native);
    return native;
  }
};

TEST_F(NativeClasses, ClassIdsAreStablePerNameAndPreRegisteredIdsAreKept) {
  EXPECT_EQ(TJSFindNativeClassID(u"CDDASoundBuffer"), -1) << "the current engine has none by default";
  ASSERT_TRUE(standin::PreRegisterNativeClass(u"CDDASoundBuffer", 9));
  ASSERT_TRUE(standin::PreRegisterNativeClass(u"MIDISoundBuffer", 10));
  EXPECT_FALSE(standin::PreRegisterNativeClass(u"MIDISoundBuffer", 12)) << "a name keeps its id";
  EXPECT_FALSE(standin::PreRegisterNativeClass(u"Other", 9)) << "an id keeps its name";
  EXPECT_EQ(TJSFindNativeClassID(u"CDDASoundBuffer"), 9);
  EXPECT_EQ(TJSRegisterNativeClass(u"MIDISoundBuffer"), 10);
  const tjs_int32 first = TJSRegisterNativeClass(u"First");
  EXPECT_EQ(first, 11);
  EXPECT_EQ(TJSRegisterNativeClass(u"Second"), 12);
  EXPECT_EQ(TJSRegisterNativeClass(u"First"), first);
  EXPECT_EQ(TJSFindNativeClassID(u"First"), first);
  EXPECT_EQ(TJSFindNativeClassID(u"first"), -1) << "names are exact";
  EXPECT_EQ(TJSFindNativeClassID(nullptr), -1);
}

TEST_F(NativeClasses, AFreshEngineStartsIdsAtOne) {
  EXPECT_EQ(TJSRegisterNativeClass(u"A"), 1);
  EXPECT_EQ(TJSRegisterNativeClass(u"B"), 2);
}

TEST_F(NativeClasses, ConstructionMakesTheNativeRunsTheConstructorAndCopiesTheInstanceMembers) {
  ObjectRef cls = MakeProbeClass();
  ObjectRef obj;
  ASSERT_EQ(standin::ScriptNew(cls.Get(), {VariantOf(tTVInteger{1}), VariantOf("two")}, obj), TJS_S_OK);
  ASSERT_TRUE(obj);
  EXPECT_EQ(g_events, (std::vector<std::string>{"factory", "constructor"})) << "the engine never calls OnConstruct";
  EXPECT_EQ(g_lastThis, obj.Get());
  EXPECT_EQ(g_lastCount, 2);
  EXPECT_NE(NativeOf(obj.Get()), nullptr);
  EXPECT_EQ(obj->CheckInstanceOf(0, nullptr, nullptr, u"Probe", obj.Get()), TJS_S_TRUE);

  auto *object = static_cast<standin::ScriptObject *>(obj.Get());
  EXPECT_NE(object->Find(u"act"), nullptr);
  EXPECT_NE(object->Find(u"plain"), nullptr);
  EXPECT_EQ(object->Find(u"shared"), nullptr) << "static members stay with the class";
  EXPECT_EQ(object->Find(u"Probe"), nullptr) << "the constructor stays with the class";

  tTJSVariant result;
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"act", {VariantOf(tTVInteger{1})}, &result), TJS_S_OK);
  EXPECT_EQ(g_lastThis, obj.Get()) << "a copied method runs on the new object";
  EXPECT_EQ(standin::ToUtf8(result), "called");

  g_events.clear();
  EXPECT_EQ(standin::ScriptInvalidate(obj.Get()), TJS_S_OK);
  EXPECT_EQ(standin::ScriptInvalidate(obj.Get()), TJS_S_OK);
  obj.Reset();
  EXPECT_EQ(g_events, (std::vector<std::string>{"invalidate", "destruct"}));
}

TEST_F(NativeClasses, ReleaseInvalidatesThenDestructs) {
  ObjectRef cls = MakeProbeClass();
  ObjectRef obj;
  ASSERT_EQ(standin::ScriptNew(cls.Get(), {}, obj), TJS_S_OK);
  EXPECT_EQ(g_lastCount, 0);
  g_events.clear();
  obj.Reset();
  EXPECT_EQ(g_events, (std::vector<std::string>{"invalidate", "destruct"}));
}

TEST_F(NativeClasses, FailedOrRaisingConstructorLeavesNoObject) {
  ObjectRef cls = MakeProbeClass();
  g_constructorAnswer = TJS_E_INVALIDPARAM;
  ObjectRef obj;
  EXPECT_EQ(standin::ScriptNew(cls.Get(), {}, obj), TJS_E_INVALIDPARAM);
  EXPECT_FALSE(obj);
  EXPECT_EQ(g_events, (std::vector<std::string>{"factory", "constructor", "invalidate", "destruct"}));

  g_events.clear();
  g_constructorAnswer = TJS_S_OK;
  g_constructorRaises = true;
  EXPECT_EQ(EngineErrorOf([&] { standin::ScriptNew(cls.Get(), {}, obj); }), "constructor raised");
  EXPECT_FALSE(obj);
  EXPECT_EQ(g_events, (std::vector<std::string>{"factory", "constructor", "invalidate", "destruct"}));
}

TEST_F(NativeClasses, ClassesWithoutConstructorOrFactoryStillConstruct) {
  ObjectRef bare = MakeProbeClass(false, nullptr);
  ObjectRef obj;
  EXPECT_EQ(standin::ScriptNew(bare.Get(), {}, obj), TJS_S_OK);
  ASSERT_TRUE(obj);
  EXPECT_EQ(NativeOf(obj.Get()), nullptr);
  EXPECT_TRUE(g_events.empty());
}

TEST_F(NativeClasses, ObjectsOutliveTheirClassObject) {
  ObjectRef cls = MakeProbeClass();
  ObjectRef obj;
  ASSERT_EQ(standin::ScriptNew(cls.Get(), {}, obj), TJS_S_OK);
  const long before = standin::Live().Objects;
  cls.Reset();
  EXPECT_LT(standin::Live().Objects, before) << "the object does not hold its class object";
  EXPECT_EQ(standin::ScriptCall(obj.Get(), u"act"), TJS_S_OK);
}

TEST_F(NativeClasses, NativeMethodObjectsAnswerAsFunctions) {
  ObjectRef method(TJSCreateNativeClassMethod(&RecordingMethod));
  EXPECT_EQ(method->CheckInstanceOf(0, nullptr, nullptr, u"Function", nullptr), TJS_S_TRUE);
  EXPECT_EQ(method->CheckInstanceOf(0, nullptr, nullptr, u"Property", nullptr), TJS_S_FALSE);
  EXPECT_EQ(method->CallMember(0, u"x", nullptr, nullptr, 0, nullptr, nullptr), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(method->CallMember(0, nullptr, nullptr, nullptr, 0, nullptr, method.Get()), TJS_S_OK);
  EXPECT_EQ(g_lastThis, method.Get());
  ObjectRef nothing(TJSCreateNativeClassMethod(nullptr));
  EXPECT_EQ(nothing->CallMember(0, nullptr, nullptr, nullptr, 0, nullptr, nullptr), TJS_E_NOTIMPL);
}

TEST_F(NativeClasses, RegisterNCMTakesOverTheReferenceEvenWhenItCannotRegister) {
  const long before = standin::Live().Objects;
  TJSNativeClassRegisterNCM(nullptr, u"x", TJSCreateNativeClassMethod(&RecordingMethod), u"X", nitMethod, 0);
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  // Not a class object: nothing is registered, and the dictionary is untouched.
  TJSNativeClassRegisterNCM(reinterpret_cast<tTJSNativeClass *>(dict), u"x",
                            TJSCreateNativeClassMethod(&RecordingMethod), u"X", nitMethod, 0);
  EXPECT_EQ(static_cast<standin::ScriptObject *>(dict)->Find(u"x"), nullptr);
  dict->Release();
  EXPECT_EQ(standin::Live().Objects, before);
}

TEST_F(NativeClasses, FailureSwitchesRefuseClassesAndClassMembers) {
  standin::NativeClassFailures().RefuseClass = [](std::u16string_view name) { return name == u"No"; };
  standin::NativeClassFailures().RefuseClassMember = [](std::u16string_view cls, std::u16string_view member) {
    return cls == u"Yes" && member == u"guarded";
  };
  EXPECT_EQ(TJSCreateNativeClassForPlugin(ttstr(u"No"), nullptr), nullptr);
  ObjectRef yes(TJSCreateNativeClassForPlugin(ttstr(u"Yes"), nullptr));
  ASSERT_TRUE(yes);
  tTJSVariant value = VariantOf(tTVInteger{1});
  EXPECT_EQ(yes->SetMember(TJS_MEMBERENSURE, u"guarded", nullptr, &value, yes.Get()), TJS_E_ACCESSDENYED);
  EXPECT_EQ(yes->SetMember(TJS_MEMBERENSURE, u"open", nullptr, &value, yes.Get()), TJS_S_OK);
}

TEST_F(NativeClasses, WaveSoundBufferIsInstalledOnRequestOnly) {
  EXPECT_EQ(standin::ObjectAt(u"WaveSoundBuffer"), nullptr);
  standin::NativeClassObject *wsb = standin::InstallWaveSoundBufferClass();
  ASSERT_NE(wsb, nullptr);
  EXPECT_EQ(standin::ObjectAt(u"WaveSoundBuffer"), wsb);
  EXPECT_EQ(wsb->Name(), u"WaveSoundBuffer");
  EXPECT_EQ(wsb->ClassID(), TJSFindNativeClassID(u"WaveSoundBuffer"));
  EXPECT_EQ(standin::InstallWaveSoundBufferClass(), wsb);
  EXPECT_EQ(wsb->CheckInstanceOf(0, nullptr, nullptr, u"Class", wsb), TJS_S_TRUE);
}

TEST_F(NativeClasses, HelpersRunScriptOperations) {
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  ASSERT_TRUE(TVPRegisterGlobalObject(u"D", dict));
  dict->Release();
  EXPECT_EQ(standin::ObjectAt(u"D"), dict);
  EXPECT_EQ(standin::ObjectAt(u".D."), dict);
  EXPECT_EQ(standin::ObjectAt(u""), E().Global());
  EXPECT_EQ(standin::ObjectAt(u"D.missing"), nullptr);
  EXPECT_EQ(standin::ScriptSet(dict, u"k", VariantOf("v")), TJS_S_OK);
  tTJSVariant got;
  EXPECT_EQ(standin::ScriptGet(dict, u"k", &got), TJS_S_OK);
  EXPECT_EQ(standin::ToUtf8(got), "v");
  EXPECT_EQ(standin::ScriptCall(dict, u"missing"), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(standin::AsNativeClass(dict), nullptr);
  ObjectRef none;
  EXPECT_EQ(standin::ScriptNew(dict, {}, none), TJS_E_NOTIMPL) << "a dictionary is no class";
  EXPECT_EQ(standin::ScriptNew(nullptr, {}, none), TJS_E_INVALIDPARAM);
}

}  // namespace
