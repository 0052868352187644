// The effect table against the really loaded plug-in: every class it lists is
// declared, with exactly its members in its order and of its kinds; the
// defaults it states are what a new object has; its tail and channel rules
// are what the engine hears.
#include <gtest/gtest.h>

#include "validator.h"

namespace {

using namespace validator;
using sonafilter_test::ObjectRef;

class EffectTable : public ValidatorTest {};

std::vector<std::string> MemberNames(iTJSDispatch2 *cls) {
  std::vector<std::string> names;
  for (const auto &member : standin::AsNativeClass(cls)->Members()) names.push_back(standin::Utf8(member.Name));
  return names;
}

TEST_F(EffectTable, ListsTheDeclaredClassesWithTheirMembersInOrder) {
  std::vector<std::string> declared;
  for (const auto &member : standin::AsNativeClass(standin::ObjectAt(u"WaveSoundBuffer"))->Members())
    declared.push_back(standin::Utf8(member.Name));
  std::vector<std::string> listed;
  for (const auto &effect : effects::kEffectTable) listed.push_back(effect.ScriptClass);
  EXPECT_EQ(listed, declared);

  for (const auto &effect : effects::kEffectTable) {
    SCOPED_TRACE(effect.ScriptClass);
    std::vector<std::string> members;
    for (const auto &member : effect.Members) members.push_back(member.Name);
    std::vector<std::string> bound = MemberNames(ClassObject(ClassName(&effect)));
    // The class machinery adds the constructor (named as the class),
    // "finalize" and the class store.
    bound.erase(std::remove_if(bound.begin(), bound.end(),
                               [&effect](const std::string &n) {
                                 return n == effect.ScriptClass || n == "finalize" || n == "_*ClassStore*_";
                               }),
                bound.end());
    EXPECT_EQ(members, bound);
    EXPECT_NE(effects::FindEffect(effect.ScriptClass), nullptr);
    EXPECT_EQ(effect.Declare, nullptr) << "outside the plug-in the table is plain data";
  }
}

TEST_F(EffectTable, MemberKindsAndPropertyDefaultsAreWhatANewObjectHas) {
  for (const auto &effect : effects::kEffectTable) {
    ObjectRef object = New(ClassName(&effect));
    for (const auto &member : effect.Members) {
      SCOPED_TRACE(std::string(effect.ScriptClass) + "." + member.Name);
      const std::u16string name = standin::U16(member.Name);
      tTJSVariant value;
      ASSERT_EQ(standin::ScriptGet(object.Get(), name, &value), TJS_S_OK);
      switch (member.Kind) {
        case effects::MemberKind::ReadOnlyProperty:
          EXPECT_NE(standin::TypeOf(value), tvtObject);
          EXPECT_EQ(standin::ScriptSet(object.Get(), name, Integer(0)), TJS_E_ACCESSDENYED);
          break;
        case effects::MemberKind::Property: {
          ASSERT_EQ(member.Parameters.Count, 1u);
          const effects::ParameterDescription &p = member.Parameters.Items[0];
          EXPECT_DOUBLE_EQ(value.AsReal(), p.Default) << "the stated default";
          EXPECT_LE(p.UsefulMin, p.Default);
          EXPECT_GE(p.UsefulMax, p.Default);
          break;
        }
        case effects::MemberKind::Method:
        case effects::MemberKind::QueryMethod:
          EXPECT_EQ(standin::TypeOf(value), tvtObject) << "a method";
          EXPECT_LE(member.Required, member.Parameters.Count);
          break;
      }
    }
  }
}

TEST_F(EffectTable, TheDefaultTailAndTheOutputChannelsAreWhatTheEngineHears) {
  for (const auto &effect : effects::kEffectTable) {
    SCOPED_TRACE(effect.ScriptClass);
    ObjectRef object = New(ClassName(&effect));
    const std::vector<float> input(1000, 0.25f);
    const tTVPWaveFormat mono = standin::WaveFormat(44100, 1, 32, 4, true);
    standin::MemorySource source = standin::MemorySource::OfFloats(44100, 1, input);
    iTVPBasicWaveFilter *filter = Filter(object.Get());
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    BlockPolicy blocks(4096, 0);
    const Pulled pulled = PullUntilShort(*output, blocks, 1000 + 44100 * 60);
    filter->DetachSource();
    EXPECT_EQ(pulled.Frames, 1000 + TailFrames(44100, effect.DefaultTailMs));
    EXPECT_EQ(pulled.Channels, effect.StereoOutput ? 2u : mono.Channels);
  }
}

}  // namespace
