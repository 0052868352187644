// strict_engine_test.cpp — the stand-in engine as the strictest host: each
// contract fault a plug-in can commit is caught and recorded, calls from
// script code are not held to the plug-ins' rules, and each open point of
// the contract can be read both ways.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "calls.h"
#include "native_class.h"
#include "storage.h"
#include "test_support.h"

namespace {

using standin::VariantOf;

class StrictEngine : public testing_support::EngineTest {};

// ----- contract faults of a plug-in ---------------------------------------------------
struct FaultCase {
  const char *Name;
  int Which;            // the misbehaving plug-in's fault number
  const char *Expected;  // part of the recorded violation; null for none
};

const FaultCase kFaults[] = {
    {"WellBehaved", 0, nullptr},
    {"EnsureOnRead", 1, "GetMember: flag bits 0x200 have no meaning here"},
    {"UnknownFlagBit", 2, "GetMember: flag bits 0x40000000 have no meaning here"},
    {"NoThisObject", 3, "GetMember: no this-object given"},
    {"StaleHint", 4, "GetMember: stale hint"},
    {"HintWithoutName", 5, "GetMember: a hint given without a member name"},
    {"UnknownEnumerationFlag", 6, "EnumerateMembers: flag bits 0x200 have no meaning here"},
    {"NoCallback", 7, "EnumerateMembers: no callback object"},
    {"NoValueToSet", 8, "SetMember: no value given"},
    {"ParametersMissing", 9, "CallMember: parameters counted but not given"},
    {"UsedAfterRelease", 10, "engine object used after its last release: GetMember"},
    {"ReleasedTooOften", 11, "engine object used after its last release: Release"},
    {"ClosureAfterRelease", 12, "engine object used after its last release: CallMember"},
};

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.Name; }

class ContractViolation : public StrictEngine, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ContractViolation, IsRecordedAsAViolation) {
  const FaultCase &c = GetParam();
  standin::PluginModule plugin(MISBEHAVING_PLUGIN_PATH);
  ASSERT_EQ(plugin.Link(E()), TJS_HR_S_OK);
  using CommitFn = void (*)(int, iTJSDispatch2 *);
  auto commit = reinterpret_cast<CommitFn>(plugin.Symbol("MisbehavingPluginCommit"));
  ASSERT_NE(commit, nullptr);
  standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
  const tTJSVariant one = VariantOf(tTVInteger{1});
  dictionary->SetMember(TJS_MEMBERENSURE, u"member", nullptr, &one, dictionary.Get());

  commit(c.Which, dictionary.Get());

  const std::vector<std::string> violations = standin::TakeViolations();
  if (!c.Expected) {
    EXPECT_TRUE(violations.empty()) << violations.front();
  } else {
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_NE(violations[0].find(c.Expected), std::string::npos) << violations[0];
  }
  EXPECT_EQ(plugin.Unlink(), TJS_HR_S_OK);
}

INSTANTIATE_TEST_SUITE_P(Faults, ContractViolation, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase> &p) { return std::string(p.param.Name); });

// Script code (here the test itself) is answered as a script would be: no
// this-object and odd flags are the engine's own business there.
TEST_F(StrictEngine, ScriptCallsAreNotHeldToThePluginRules) {
  standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
  tTJSVariant value;
  dictionary->GetMember(TJS_MEMBERENSURE, u"member", nullptr, &value, nullptr);
  EXPECT_TRUE(standin::TakeViolations().empty());
}

// A hint is filled with the name's hash; the same name finds it again, and
// a string changed in place (lower-cased) gives up its old hint.
TEST_F(StrictEngine, HintsBelongToTheNameTheyWereFilledFor) {
  standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
  ttstr name(u"Member");
  tjs_uint32 *hint = name.GetHint();
  EXPECT_EQ(*hint, 0u);
  tTJSVariant value;
  dictionary->GetMember(0, name.c_str(), hint, &value, dictionary.Get());
  EXPECT_EQ(*hint, standin::MemberNameHash(u"Member")) << "a lookup fills the hint";
  name.ToLowerCase();
  EXPECT_EQ(*name.GetHint(), 0u) << "the body's text changed: its hint starts over";
  EXPECT_EQ(standin::MemberNameHash(u"member"), standin::MemberNameHash(name.c_str()));
  EXPECT_NE(standin::MemberNameHash(u"member"), standin::MemberNameHash(u"other"));
  EXPECT_NE(standin::MemberNameHash(u""), 0u) << "0 means an unused hint";
}

// ----- readings of the open points ------------------------------------------------------
// A callback object that answers each call as told and counts them, and
// records how many references it had during the walk.
class CountingCallback : public standin::ObjectBase {
 public:
  enum class Answer { True, False, Void };
  explicit CountingCallback(Answer answer) : Answer_(answer) {}
  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32, const tjs_char *, tjs_uint32 *, tTJSVariant *result, tjs_int numparams,
                                       tTJSVariant **, iTJSDispatch2 *) override {
    ++Calls;
    Params = numparams;
    RefsDuringWalk = RefCount();
    if (result && Answer_ != Answer::Void) *result = Answer_ == Answer::True;
    return TJS_S_OK;
  }
  int Calls = 0;
  int Params = 0;
  tjs_uint RefsDuringWalk = 0;

 private:
  Answer Answer_;
};

struct EnumerationCase {
  const char *Name;
  CountingCallback::Answer Answer;
  bool NeedsTrue;
  bool Referenced;
  tjs_uint32 Flag;
  int Calls, Params;
  tjs_uint Refs;
};

void PrintTo(const EnumerationCase &c, std::ostream *out) { *out << c.Name; }

class EnumerationReading : public StrictEngine, public ::testing::WithParamInterface<EnumerationCase> {};

TEST_P(EnumerationReading, WalksAsTheReadingSays) {
  const EnumerationCase &c = GetParam();
  E().Readings().EnumerationNeedsTrue = c.NeedsTrue;
  E().Readings().ReferenceEnumerationCallback = c.Referenced;
  standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
  for (const char16_t *name : {u"a", u"b", u"c"}) {
    const tTJSVariant v = VariantOf(tTVInteger{1});
    dictionary->SetMember(TJS_MEMBERENSURE, name, nullptr, &v, dictionary.Get());
  }
  auto *callback = new CountingCallback(c.Answer);
  tTJSVariantClosure closure{callback, nullptr};
  EXPECT_EQ(dictionary->EnumerateMembers(c.Flag, &closure, dictionary.Get()), TJS_S_OK);
  EXPECT_EQ(callback->Calls, c.Calls);
  EXPECT_EQ(callback->Params, c.Params);
  EXPECT_EQ(callback->RefsDuringWalk, c.Refs);
  EXPECT_EQ(callback->RefCount(), 1u) << "the walk's own references are gone";
  callback->Release();
}

using A = CountingCallback::Answer;
const EnumerationCase kEnumerations[] = {
    {"TrueGoesOn", A::True, true, true, 0, 3, 3, 2},
    {"FalseStops", A::False, true, true, 0, 1, 3, 2},
    {"VoidStops", A::Void, true, true, 0, 1, 3, 2},
    {"VoidGoesOnWhenRead", A::Void, false, true, 0, 3, 3, 2},
    {"BorrowedCallback", A::True, true, false, 0, 3, 3, 1},
    {"NamesWithoutValues", A::True, true, true, TJS_ENUM_NO_VALUE, 3, 2, 2},
};
INSTANTIATE_TEST_SUITE_P(Readings, EnumerationReading, ::testing::ValuesIn(kEnumerations),
                         [](const ::testing::TestParamInfo<EnumerationCase> &p) { return std::string(p.param.Name); });

// An engine as made takes the harder readings: a void answer stops the walk,
// the callback is referenced, globals go first, removal answers true.
TEST_F(StrictEngine, TheDefaultReadingsAreTheHarderOnes) {
  standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
  for (const char16_t *name : {u"a", u"b"}) {
    const tTJSVariant v = VariantOf(tTVInteger{1});
    dictionary->SetMember(TJS_MEMBERENSURE, name, nullptr, &v, dictionary.Get());
  }
  auto *callback = new CountingCallback(CountingCallback::Answer::Void);
  tTJSVariantClosure closure{callback, nullptr};
  dictionary->EnumerateMembers(0, &closure, dictionary.Get());
  EXPECT_EQ(callback->Calls, 1) << "a void answer stops the walk";
  EXPECT_EQ(callback->RefsDuringWalk, 2u) << "the walk holds its own reference";
  callback->Release();
  EXPECT_TRUE(E().Readings().GlobalsBeforeMedia);
  EXPECT_TRUE(E().Readings().RemoveGlobalAnswersTrue);
}

TEST_F(StrictEngine, RemovingAGlobalAnswersAsTheReadingSays) {
  for (bool answersTrue : {true, false}) {
    E().Readings().RemoveGlobalAnswersTrue = answersTrue;
    standin::ObjectRef dictionary(TJSCreateDictionaryObject(nullptr));
    ASSERT_TRUE(TVPRegisterGlobalObject(u"Name", dictionary.Get()));
    EXPECT_EQ(TVPRemoveGlobalObject(u"Name"), answersTrue);
    EXPECT_EQ(Global()->Find(u"Name"), nullptr) << "removed either way";
    EXPECT_FALSE(TVPRemoveGlobalObject(u"Name")) << "nothing to remove";
  }
}

// A media that records, at its last Release, whether globals still exist.
class TeardownWitness : public iTVPStorageMedia {
 public:
  explicit TeardownWitness(int *globalsAtRelease) : Seen_(globalsAtRelease) {}
  void TJS_INTF_METHOD AddRef() override { ++Refs_; }
  void TJS_INTF_METHOD Release() override {
    if (--Refs_ > 0) return;
    *Seen_ = standin::Engine::Current().Global() != nullptr;
    delete this;
  }
  void TJS_INTF_METHOD GetMediaName(ttstr &name) override { name = u"witness"; }
  void TJS_INTF_METHOD NormalizeDomain(ttstr &) override {}
  void TJS_INTF_METHOD NormalizePath(ttstr &) override {}
  bool TJS_INTF_METHOD StorageExists(const ttstr &) override { return false; }
  tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &, tjs_uint32) override { return nullptr; }
  void TJS_INTF_METHOD ListFolder(const ttstr &, iTVPStorageLister *) override {}
  void TJS_INTF_METHOD ToLocalName(ttstr &) override {}
  virtual ~TeardownWitness() = default;

 private:
  int *Seen_;
  int Refs_ = 1;
};

TEST(StrictEngineTeardown, GlobalsGoBeforeOrAfterTheMediaAsTheReadingSays) {
  for (bool globalsFirst : {true, false}) {
    int globalsAtRelease = -1;
    {
      standin::Engine engine;
      engine.Readings().GlobalsBeforeMedia = globalsFirst;
      auto *media = new TeardownWitness(&globalsAtRelease);
      TVPRegisterStorageMedia(media);
      media->Release();  // the engine's registration holds it now
    }
    EXPECT_EQ(globalsAtRelease, globalsFirst ? 0 : 1) << "globals first: " << globalsFirst;
  }
}

}  // namespace
