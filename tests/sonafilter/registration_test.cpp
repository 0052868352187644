// sonafilter's link and unlink steps: the STK licence in the log, the three
// classes under WaveSoundBuffer, refusals, and the `interface` property.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

const char *const kClasses[] = {"StkFreeVerb", "GraphicEqualizer", "DelayEffect"};

// The licence as the build took it from SONAFILTER_STK_LICENSE_FILE: a
// Debian copyright file's stanza "License: other" with the control-file
// formatting undone, or a plain licence file as it stands.
std::string LicenceFromFile() {
  std::ifstream file(SONAFILTER_STK_LICENSE_FILE, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(content, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  std::string text;
  if (std::string(SONAFILTER_STK_LICENSE_KIND) == "plain") {
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    return text;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "License: other" || (i > 0 && !lines[i - 1].empty())) continue;
    bool first = true;
    for (size_t k = i + 1; k < lines.size() && !lines[k].empty() && lines[k][0] == ' '; ++k, first = false) {
      const std::string body = lines[k].substr(1);
      text += (first ? "" : "\n") + (body == "." ? std::string() : body);
    }
    break;
  }
  return text;
}

class RegistrationTest : public SonafilterTest {
 protected:
  standin::NativeClassObject *WaveSoundBuffer() { return standin::AsNativeClass(standin::ObjectAt(u"WaveSoundBuffer")); }
  bool Declared(const char *name) { return ClassObject(standin::U16(name)) != nullptr; }
  std::vector<std::string> DeclaredClasses() {
    std::vector<std::string> names;
    for (const auto &member : WaveSoundBuffer()->Members()) names.push_back(standin::Utf8(member.Name));
    return names;
  }
  int LicenceLines() {
    const std::string expected = "stk license:\n" + LicenceFromFile();
    int count = 0;
    for (const std::string &line : E().Log()) count += line == expected;
    return count;
  }
};

TEST_F(RegistrationTest, TheLicenceIsStksOwnTextInPlainAscii) {
  const std::string licence = LicenceFromFile();
  ASSERT_FALSE(licence.empty());
  EXPECT_NE(licence.find("The Synthesis ToolKit in C++ (STK)"), std::string::npos);
  for (char c : licence) EXPECT_TRUE(c == '\n' || c == '\t' || (c >= ' ' && c <= '~')) << int(c);
}

TEST_F(RegistrationTest, LinkLogsTheLicenceThenDeclaresTheThreeClassesWithTheirMembersInOrder) {
  Start();
  EXPECT_EQ(LicenceLines(), 1);
  EXPECT_EQ(E().Log().size(), 1u) << "nothing else is logged";
  EXPECT_EQ(DeclaredClasses(), (std::vector<std::string>{"StkFreeVerb", "GraphicEqualizer", "DelayEffect"}));

  const std::pair<std::u16string, std::vector<std::string>> members[] = {
      {u"StkFreeVerb", {"interface", "effectMix", "roomSize", "damping", "width", "mode", "extend"}},
      {u"GraphicEqualizer", {"interface", "getGain", "setGain"}},
      {u"DelayEffect", {"interface", "init"}}};
  for (const auto &cls : members) {
    std::vector<std::string> expected = {"_*ClassStore*_", "finalize", standin::Utf8(cls.first)};
    expected.insert(expected.end(), cls.second.begin(), cls.second.end());
    std::vector<std::string> names;
    for (const auto &member : standin::AsNativeClass(ClassObject(cls.first))->Members())
      names.push_back(standin::Utf8(member.Name));
    EXPECT_EQ(names, expected) << standin::Utf8(cls.first);
  }
}

TEST_F(RegistrationTest, EveryLinkLogsTheLicence) {
  Start();
  ASSERT_EQ(Unlink(), kOk);
  ASSERT_EQ(Link(), kOk);
  EXPECT_EQ(LicenceLines(), 2);
}

// The parent refuses one class: it and the classes after it are missing,
// the link fails, and the licence was logged all the same.
class RefusedDeclarationTest : public RegistrationTest, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedDeclarationTest, StopsTheLaterClassesAndFailsTheLink) {
  const int refused = GetParam();
  standin::NativeClassObject *parent = standin::InstallWaveSoundBufferClass();
  const std::u16string name = standin::U16(kClasses[refused]);
  parent->RefuseSetMember = [name](std::u16string_view member) { return member == name; };
  Load();

  EXPECT_EQ(Link(), kFail);

  EXPECT_EQ(LicenceLines(), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Declared(kClasses[i]), i < refused) << kClasses[i];
}

INSTANTIATE_TEST_SUITE_P(Classes, RefusedDeclarationTest, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int> &param) { return kClasses[param.param]; });

TEST_F(RegistrationTest, AnUnlinkWhoseRemovalOfTheReverbIsRefusedLeavesTheOthersAndFails) {
  Start();
  WaveSoundBuffer()->RefuseRemoveMember = [](std::u16string_view member) { return member == u"StkFreeVerb"; };
  EXPECT_EQ(Unlink(), kFail);
  EXPECT_EQ(DeclaredClasses(), (std::vector<std::string>{"StkFreeVerb", "GraphicEqualizer", "DelayEffect"}));

  WaveSoundBuffer()->RefuseRemoveMember = nullptr;
  EXPECT_EQ(Unlink(), kOk);
  EXPECT_EQ(DeclaredClasses(), std::vector<std::string>{});
}

TEST_F(RegistrationTest, UnlinkRemovesTheClassesAndEverythingTheyHeld) {
  ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
  const standin::LiveCounts before = standin::Live();
  Load();
  ASSERT_EQ(Link(), kOk);
  {
    ObjectRef delay = New(u"DelayEffect", {Integer(10), Real(0.5), Real(0.5)});
    EXPECT_EQ(Unlink(), kFail) << "an effect object still holds the plug-in's members";
  }
  EXPECT_EQ(Unlink(), kOk);
  EXPECT_EQ(DeclaredClasses(), std::vector<std::string>{});
  EXPECT_EQ(standin::Live().Objects, before.Objects) << "class objects, their stores and members are gone";
}

TEST_F(RegistrationTest, WithoutWaveSoundBufferNothingIsDeclaredAndBothStepsSucceed) {
  Start(Generation::Current, /*withWaveSoundBuffer=*/false);
  EXPECT_EQ(standin::ObjectAt(u"WaveSoundBuffer"), nullptr);
  EXPECT_EQ(LicenceLines(), 1);
  EXPECT_EQ(Unlink(), kOk);
}

TEST_F(RegistrationTest, InterfaceIsStablePerObjectAndDistinctBetweenObjects) {
  Start();
  ObjectRef a = New(u"StkFreeVerb");
  ObjectRef b = New(u"StkFreeVerb");
  ObjectRef c = New(u"GraphicEqualizer");
  ObjectRef d = New(u"DelayEffect");
  const tTVInteger values[] = {Interface(a.Get()), Interface(b.Get()), Interface(c.Get()), Interface(d.Get())};
  EXPECT_EQ(Interface(a.Get()), values[0]);
  EXPECT_EQ(Interface(d.Get()), values[3]);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_NE(values[i], 0);
    for (size_t k = i + 1; k < 4; ++k) EXPECT_NE(values[i], values[k]) << i << " " << k;
  }
  EXPECT_EQ(standin::TypeOf(Get(a.Get(), u"interface")), tvtInteger);
}

TEST_F(RegistrationTest, InterfaceReadWithoutAResultWritesNothingAndAnswersZero) {
  Start();
  ObjectRef reverb = New(u"StkFreeVerb");
  tTJSVariant property;
  ASSERT_EQ(reverb->GetMember(TJS_IGNOREPROP, u"interface", nullptr, &property, reverb.Get()), TJS_S_OK);
  ASSERT_NE(property.AsObjectNoAddRef(), nullptr);
  EXPECT_EQ(property.AsObjectNoAddRef()->GetMember(0, nullptr, nullptr, nullptr, reverb.Get()), TJS_S_OK);
}

TEST_F(RegistrationTest, InterfaceCannotBeWritten) {
  Start();
  for (const char *cls : kClasses) {
    ObjectRef effect = New(standin::U16(cls));
    const tTVInteger before = Interface(effect.Get());
    EXPECT_EQ(standin::ScriptSet(effect.Get(), u"interface", Integer(42)), TJS_E_ACCESSDENYED) << cls;
    EXPECT_EQ(Interface(effect.Get()), before);
  }
}

TEST_F(RegistrationTest, FinalizeSucceedsAndTheObjectKeepsWorking) {
  Start();
  ObjectRef eq = New(u"GraphicEqualizer", {Real(2.0)});
  EXPECT_EQ(standin::ScriptCall(eq.Get(), u"finalize"), TJS_S_OK);
  EXPECT_EQ(Call(eq.Get(), u"getGain", {Integer(0)}).AsReal(), 2.0);
}

TEST_F(RegistrationTest, MembersOfAnInvalidatedObjectAnswerNoNativeInstance) {
  Start();
  ObjectRef delay = New(u"DelayEffect");
  ASSERT_EQ(standin::ScriptInvalidate(delay.Get()), TJS_S_OK);
  tTJSVariant value;
  EXPECT_EQ(standin::ScriptGet(delay.Get(), u"interface", &value), TJS_E_NATIVECLASSCRASH);
  EXPECT_EQ(standin::ScriptCall(delay.Get(), u"init", {Integer(1), Real(0), Real(0)}), TJS_E_NATIVECLASSCRASH);
}

}  // namespace
