// The link protocol and the lazy engine function table, through the probe
// plug-in loaded into the stand-in engine.
#include <gtest/gtest.h>

#include "probe_api.h"
#include "test_support.h"

namespace {

using testing_support::EngineErrorOf;

constexpr const char *kLogSignature = "void ::TVPAddImportantLog(const ttstr &)";
constexpr const char *kDictSignature = "iTJSDispatch2 * ::TJSCreateDictionaryObject(iTJSDispatch2 * *)";

class LinkProtocol : public testing_support::EngineTest {
 protected:
  template <class Fn>
  Fn Probe(const char *name) {
    auto fn = reinterpret_cast<Fn>(Plugin.Symbol(name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  tjs_int32 RefTotal() { return Probe<ProbeIntFn>("ProbeRefTotal")(); }
  tjs_int32 RefTotalAtLink() { return Probe<ProbeIntFn>("ProbeRefTotalAtLink")(); }

  standin::PluginModule Plugin{PROBE_PLUGIN_PATH};
};

TEST_F(LinkProtocol, RefusedLinkReturnsEFailAndKeepsOldBaseline) {
  Probe<ProbeSetLinkResultFn>("ProbeSetLinkResult")(false);
  EXPECT_EQ(Plugin.Link(E()), TJS_HR_E_FAIL);
  EXPECT_EQ(RefTotalAtLink(), 0);
  // Unlink compares with the old baseline (0): nothing is held, so it passes.
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
  Probe<ProbeSetLinkResultFn>("ProbeSetLinkResult")(true);
}

// A refused link keeps the baseline of the last successful one, also when
// the reference total has moved since: a script's extra reference must still
// hold the plug-in afterwards.
TEST_F(LinkProtocol, RefusedLinkKeepsANonZeroBaselineWhileAScriptHoldsAReference) {
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(true);
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  ASSERT_EQ(RefTotalAtLink(), 1);
  tTJSVariant held(Global()->Find(u"ProbeObject")->Value);  // a script's extra reference
  ASSERT_EQ(RefTotal(), 2);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(false);
  Probe<ProbeSetLinkResultFn>("ProbeSetLinkResult")(false);
  EXPECT_EQ(Plugin.Link(E()), TJS_HR_E_FAIL);
  EXPECT_EQ(RefTotalAtLink(), 1) << "the refused link must not record the total (2) as baseline";
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_E_FAIL) << "the script still holds a reference beyond the baseline";
  Probe<ProbeSetLinkResultFn>("ProbeSetLinkResult")(true);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(true);
  held.Clear();
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(false);
}

TEST_F(LinkProtocol, LinkRecordsReferencesLeftByTheLinkStepAsBaseline) {
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(true);
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  EXPECT_EQ(RefTotalAtLink(), 1);  // the global's reference to ProbeObject
  EXPECT_EQ(RefTotal(), 1);
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(RefTotal(), 0);
  EXPECT_EQ(Global()->Find(u"ProbeObject"), nullptr);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(false);
}

TEST_F(LinkProtocol, UnlinkRefusedWhileAScriptHoldsAReference) {
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(true);
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  tTJSVariant held(Global()->Find(u"ProbeObject")->Value);  // a script's extra reference
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_E_FAIL);
  EXPECT_NE(Global()->Find(u"ProbeObject"), nullptr) << "refused unlink must leave everything registered";
  held.Clear();
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(false);
}

TEST_F(LinkProtocol, UnlinkBelowBaselineSucceeds) {
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(true);
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  ASSERT_TRUE(Global()->Erase(u"ProbeObject"));  // a script drops the published object
  EXPECT_LT(RefTotal(), RefTotalAtLink());
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
  Probe<ProbeSetPublishFn>("ProbeSetPublish")(false);
}

TEST_F(LinkProtocol, EachFunctionIsLookedUpOnceOnFirstUse) {
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  auto &x = E().GetExporter();
  for (int i = 0; i < 20; ++i) Probe<ProbeLogFn>("ProbeLogA")("many");
  const int before = x.TotalLookUps();
  EXPECT_EQ(x.LookUps(kDictSignature), 0);
  EXPECT_TRUE(Probe<ProbeDictionaryFn>("ProbeMakeDictionary")());
  EXPECT_EQ(x.LookUps(kDictSignature), 1);
  EXPECT_EQ(x.TotalLookUps(), before + 1);
  EXPECT_TRUE(Probe<ProbeDictionaryFn>("ProbeMakeDictionary")());
  EXPECT_EQ(x.LookUps(kDictSignature), 1) << "a filled slot is never looked up again";
  EXPECT_EQ(x.LookUps(kLogSignature), 1);
  EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
}

TEST_F(LinkProtocol, TwoCallSitesShareOneSlot) {
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  Probe<ProbeLogFn>("ProbeLogA")("first");
  Probe<ProbeLogFn>("ProbeLogB")("second");
  EXPECT_EQ(E().GetExporter().LookUps(kLogSignature), 1);
  ASSERT_EQ(E().Log().size(), 2u);
  EXPECT_EQ(E().Log()[0], "first");
  EXPECT_EQ(E().Log()[1], "B:second");
}

TEST_F(LinkProtocol, MissingFunctionRaisesUnboundErrorAndIsLookedUpAgain) {
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  auto &x = E().GetExporter();
  x.Withhold(kDictSignature);
  std::string message = EngineErrorOf([&] { Probe<ProbeDictionaryFn>("ProbeMakeDictionary")(); });
  EXPECT_NE(message.find(kDictSignature), std::string::npos) << message;
  EXPECT_EQ(x.LookUps(kDictSignature), 1);
  message = EngineErrorOf([&] { Probe<ProbeDictionaryFn>("ProbeMakeDictionary")(); });
  EXPECT_NE(message.find(kDictSignature), std::string::npos);
  EXPECT_EQ(x.LookUps(kDictSignature), 2) << "nothing is cached for a missing function";
  x.Withhold(kDictSignature, false);
  EXPECT_TRUE(Probe<ProbeDictionaryFn>("ProbeMakeDictionary")());
  EXPECT_EQ(x.LookUps(kDictSignature), 3);
}

TEST_F(LinkProtocol, EngineExceptionPassesThroughPluginCodeWithoutLeaks) {
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  EXPECT_EQ(EngineErrorOf([&] { Probe<ProbeRaiseFn>("ProbeRaise")("disk.ogg"); }), "probe failed: disk.ogg");
  // The fixture checks that the plug-in's temporary strings were released.
}

using LinkProtocolDeath = LinkProtocol;

TEST_F(LinkProtocolDeath, NeitherFunctionNorFallbackStopsNamingTheSignature) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  E().GetExporter().Withhold(kDictSignature);
  E().GetExporter().Withhold("void ::TVPThrowPluginUnboundFunctionError(const char *)");
  EXPECT_DEATH(Probe<ProbeDictionaryFn>("ProbeMakeDictionary")(), "TJSCreateDictionaryObject");
}

}  // namespace
