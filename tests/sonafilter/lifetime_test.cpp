// What the engine can still reach decides when sonafilter may go: an
// effect's filter outlives its script object while a sound buffer pulls it,
// and V2Unlink refuses, changing nothing, while such a filter or a class
// object held beyond WaveSoundBuffer's member could still call into the
// module after it is unloaded.
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

INSTANTIATE_TEST_SUITE_P(Engines, LifetimeTest, ::testing::Values(Generation::Current, Generation::Legacy),
                         [](const ::testing::TestParamInfo<Generation> &engine) {
                           return std::string(engine.param == Generation::Legacy ? "Legacy" : "Current");
                         });

}  // namespace
