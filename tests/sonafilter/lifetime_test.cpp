// What the engine can still reach decides when sonafilter may go: an
// effect's filter outlives its script object while a sound buffer pulls it,
// and V2Unlink refuses, changing nothing, while such a filter or a class
// object held beyond WaveSoundBuffer's member could still call into the
// module after it is unloaded. Engine errors at unlink reach the engine.
#include <gtest/gtest.h>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

class LifetimeTest : public SonafilterTest, public ::testing::WithParamInterface<Generation> {
 protected:
  void SetUp() override { Start(GetParam()); }
};

// A delay of 2 ms at 1000 Hz: an impulse comes back every 2 samples, halved.
TEST_P(LifetimeTest, AFilterWhoseScriptObjectGoesPlaysOnUntilDetached) {
  ObjectRef delay = New(u"DelayEffect", {Integer(2), Real(0.5), Real(1.0), Integer(0)});
  standin::MemorySource input = standin::MemorySource::OfFloats(1000, 1, Impulses(8, {0}));
  standin::SoundBuffer buffer(input);
  buffer.AddFilterByInterface(Interface(delay.Get()));
  buffer.Attach();
  ASSERT_EQ(buffer.PullBlock(4), 4u);
  delay.Reset();  // the script drops its last reference: the object is invalidated and destroyed
  EXPECT_EQ(Unlink(), kFail) << "the buffer still pulls the filter";
  ASSERT_EQ(buffer.PullBlock(4), 4u);
  EXPECT_EQ(buffer.Played().Floats(), (std::vector<float>{1, 0, 0.5f, 0, 0.25f, 0, 0.125f, 0}))
      << "the filter went on working after its script object was gone";
  EXPECT_EQ(Unlink(), kFail);
  ObjectRef other = New(u"GraphicEqualizer");
  EXPECT_NE(Interface(other.Get()), 0) << "the refused unlink changed nothing";
  other.Reset();
  buffer.Detach();  // the filter ends here
  EXPECT_EQ(Unlink(), kOk);
}

TEST_P(LifetimeTest, AnUnattachedFilterGoesWithItsScriptObject) {
  ObjectRef eq = New(u"GraphicEqualizer");
  standin::MemorySource input = standin::MemorySource::OfFloats(1000, 1, {0.5f});
  {
    standin::SoundBuffer buffer(input);
    buffer.AddFilterByInterface(Interface(eq.Get()));
    buffer.Play(4);  // attached, played, detached
  }
  eq.Reset();
  EXPECT_EQ(Unlink(), kOk);
}

TEST_P(LifetimeTest, UnlinkIsRefusedWhileAScriptHoldsAClassObject) {
  for (const std::u16string cls : {u"StkFreeVerb", u"GraphicEqualizer", u"DelayEffect"}) {
    SCOPED_TRACE(standin::Utf8(cls));
    tTJSVariant held = Get(standin::ObjectAt(u"WaveSoundBuffer"), cls);  // var c = WaveSoundBuffer.<cls>;
    iTJSDispatch2 *classObject = held.AsObjectNoAddRef();
    ASSERT_NE(classObject, nullptr);
    EXPECT_EQ(Unlink(), kFail);
    EXPECT_EQ(ClassObject(cls), classObject) << "still the member of WaveSoundBuffer";
    ObjectRef made = New(cls);
    EXPECT_NE(Interface(made.Get()), 0) << "the class still works";
    made.Reset();
    held.Clear();
  }
  EXPECT_EQ(Unlink(), kOk);
  EXPECT_EQ(Link(), kOk) << "and links again";
}

// An engine that keeps no member of the class in its objects: the object's
// native instance alone still ties it to the module.
TEST_P(LifetimeTest, UnlinkIsRefusedWhileANativeInstanceLivesWithoutAnyStore) {
  ObjectRef eq = New(u"GraphicEqualizer");
  auto *object = static_cast<standin::ScriptObject *>(eq.Get());
  while (!object->Members().empty()) object->Erase(object->Members().front().Name);
  EXPECT_EQ(Unlink(), kFail);
  EXPECT_NE(ClassObject(u"GraphicEqualizer"), nullptr) << "nothing removed";
  eq.Reset();
  EXPECT_EQ(Unlink(), kOk);
}

// ----- engine errors at unlink ------------------------------------------------------
// Each engine function the unlink step reaches raises once, at its first
// call in V2Unlink: the error reaches the engine's call, the process goes
// on, nothing has been removed, and the next V2Unlink succeeds.
bool g_raiseOnce = false;

void RaiseIfArmed() {
  if (!g_raiseOnce) return;
  g_raiseOnce = false;
  TVPThrowExceptionMessage(u"engine failed at unlink");
}

// The engine's function `Id`, raising first when armed.
template <int Id, class R, class... A>
struct RaisingOnce {
  static inline void *Original = nullptr;
  static R TJS_ENGINE_CALL Call(A... args) {
    RaiseIfArmed();
    return reinterpret_cast<R(TJS_ENGINE_CALL *)(A...)>(Original)(args...);
  }
};
// A destructor that does its work, then raises when armed.
template <int Id, class T>
struct RaisingDestructor {
  static inline void *Original = nullptr;
  static void TJS_ENGINE_CALL Call(T *object) {
    reinterpret_cast<void(TJS_ENGINE_CALL *)(T *)>(Original)(object);
    RaiseIfArmed();
  }
};

struct UnlinkFunction {
  const char *Signature;
  void **Original;
  void *Raising;
};

template <class Fake>
UnlinkFunction Faked(const char *signature) {
  return {signature, &Fake::Original, reinterpret_cast<void *>(&Fake::Call)};
}
template <int Id, class R, class... A>
UnlinkFunction Raising(const char *signature) {
  return Faked<RaisingOnce<Id, R, A...>>(signature);
}

// Replaces `f` in the exporter by its raising form (before the link).
void InstallRaising(standin::Exporter &exporter, const UnlinkFunction &f) {
  const tjs_nchar *names[1] = {f.Signature};
  ASSERT_TRUE(exporter.LookUpByNarrowNames(names, f.Original, 1));
  exporter.Add(f.Signature, f.Raising);
}

const UnlinkFunction kUnlinkFunctions[] = {
    Raising<0, void, tTJSString *, const tjs_char *>("tTJSString::tTJSString(const tjs_char *)"),
    Raising<1, void, tTJSString *, const tjs_char *, int>("tTJSString::tTJSString(const tjs_char *,int)"),
    Raising<2, iTJSDispatch2 *>("iTJSDispatch2 * ::TVPGetScriptDispatch()"),
    Raising<3, const tjs_char *, const tTJSString *>("const tjs_char * tTJSString::c_str() const"),
    Raising<4, void, tTJSVariant *>("tTJSVariant::tTJSVariant()"),
    Raising<5, iTJSDispatch2 *, const tTJSVariant *>("iTJSDispatch2 * tTJSVariant::AsObjectNoAddRef() const"),
};

class UnlinkErrorTest : public SonafilterTest, public ::testing::WithParamInterface<UnlinkFunction> {};

TEST_P(UnlinkErrorTest, AnEngineErrorAtUnlinkReachesTheEngineAndRemovesNothing) {
  const UnlinkFunction &f = GetParam();
  ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
  Load();
  InstallRaising(E().GetExporter(), f);
  ASSERT_EQ(Link(), kOk);
  g_raiseOnce = true;
  EXPECT_EQ(testing_support::EngineErrorOf([&] { Unlink(); }), "engine failed at unlink");
  EXPECT_FALSE(g_raiseOnce) << "the function was reached at unlink";
  g_raiseOnce = false;
  for (const std::u16string cls : {u"StkFreeVerb", u"GraphicEqualizer", u"DelayEffect"}) {
    ObjectRef made = New(cls);
    EXPECT_NE(Interface(made.Get()), 0) << standin::Utf8(cls) << " is still declared";
  }
  EXPECT_EQ(Unlink(), kOk);
}

INSTANTIATE_TEST_SUITE_P(Functions, UnlinkErrorTest, ::testing::ValuesIn(kUnlinkFunctions),
                         [](const ::testing::TestParamInfo<UnlinkFunction> &function) {
                           return std::to_string(function.index);
                         });

// A destructor's engine error cannot leave the destructor; it is kept and
// passed on by V2Unlink once the unlink is done.
const UnlinkFunction kUnlinkDestructors[] = {
    Faked<RaisingDestructor<6, tTJSString>>("tTJSString::~ tTJSString()"),
    Faked<RaisingDestructor<7, tTJSVariant>>("tTJSVariant::~ tTJSVariant()"),
};

class UnlinkDestructorErrorTest : public SonafilterTest, public ::testing::WithParamInterface<UnlinkFunction> {};

TEST_P(UnlinkDestructorErrorTest, ReachesTheEngineOnceTheUnlinkIsDone) {
  ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
  Load();
  InstallRaising(E().GetExporter(), GetParam());
  ASSERT_EQ(Link(), kOk);
  g_raiseOnce = true;
  EXPECT_EQ(testing_support::EngineErrorOf([&] { Unlink(); }), "engine failed at unlink");
  EXPECT_FALSE(g_raiseOnce);
  g_raiseOnce = false;
  Linked = false;
  EXPECT_EQ(ClassObject(u"StkFreeVerb"), nullptr) << "the unlink itself was done";
  EXPECT_EQ(ClassObject(u"DelayEffect"), nullptr);
  ASSERT_EQ(Link(), kOk) << "links again";
}

INSTANTIATE_TEST_SUITE_P(Functions, UnlinkDestructorErrorTest, ::testing::ValuesIn(kUnlinkDestructors),
                         [](const ::testing::TestParamInfo<UnlinkFunction> &function) {
                           return std::to_string(function.index);
                         });

INSTANTIATE_TEST_SUITE_P(Engines, LifetimeTest, ::testing::Values(Generation::Current, Generation::Legacy),
                         [](const ::testing::TestParamInfo<Generation> &engine) {
                           return std::string(engine.param == Generation::Legacy ? "Legacy" : "Current");
                         });

}  // namespace
