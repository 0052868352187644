// tTJSDispatch, the default dispatch object, as a plug-in object seen by the
// engine: reference counting, the destruction hook, default result codes,
// by-number forwarding and ApplyOperation.
#include <gtest/gtest.h>

#include <cstring>

#include "probe_api.h"
#include "test_support.h"

namespace {

class DefaultDispatch : public testing_support::EngineTest {
 protected:
  void SetUp() override { ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK); }
  void TearDown() override { EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK); }

  template <class Fn>
  Fn Probe(const char *name) {
    return reinterpret_cast<Fn>(Plugin.Symbol(name));
  }
  tjs_int32 RefTotal() { return Probe<ProbeIntFn>("ProbeRefTotal")(); }
  const ProbeRecord &Record() { return *Probe<ProbeRecordFn>("ProbeLastRecord")(); }

  standin::PluginModule Plugin{PROBE_PLUGIN_PATH};
};

TEST_F(DefaultDispatch, ReferenceCountFeedsThePluginTotal) {
  const tjs_int32 start = RefTotal();
  iTJSDispatch2 *object = Probe<ProbeNewObjectFn>("ProbeNewDefault")();
  EXPECT_EQ(RefTotal(), start + 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(RefTotal(), start + 2);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(RefTotal(), start);
}

TEST_F(DefaultDispatch, DestructionHookMayReviveTheObjectOnce) {
  const tjs_int32 start = RefTotal();
  iTJSDispatch2 *object = Probe<ProbeNewObjectFn>("ProbeNewReviver")();
  EXPECT_EQ(object->Release(), 1u) << "the hook took a reference";
  EXPECT_EQ(RefTotal(), start + 1);
  EXPECT_EQ(object->Release(), 0u) << "the hook does not run a second time";
  EXPECT_EQ(RefTotal(), start);
}

TEST_F(DefaultDispatch, DefaultResultCodes) {
  iTJSDispatch2 *o = Probe<ProbeNewObjectFn>("ProbeNewDefault")();
  tTJSVariant v;
  tjs_int count = 0;
  iTJSDispatch2 *made = nullptr;
  iTJSNativeInstance *native = nullptr;
  struct Case {
    const char *what;
    tjs_error named, self;
  };
  auto both = [&](auto op) { return std::make_pair(op(u"x"), op(nullptr)); };
  std::pair<tjs_error, tjs_error> got[] = {
      both([&](const tjs_char *n) { return o->CallMember(0, n, nullptr, &v, 0, nullptr, o); }),
      both([&](const tjs_char *n) { return o->GetMember(0, n, nullptr, &v, o); }),
      both([&](const tjs_char *n) { return o->SetMember(0, n, nullptr, &v, o); }),
      both([&](const tjs_char *n) { return o->RemoveMember(0, n, nullptr, o); }),
      both([&](const tjs_char *n) { return o->InvalidateMember(0, n, nullptr, o); }),
      both([&](const tjs_char *n) { return o->CheckMemberValid(0, n, nullptr, o); }),
      both([&](const tjs_char *n) { return o->CreateInstance(0, n, nullptr, &made, 0, nullptr, o); }),
      both([&](const tjs_char *n) { return o->CheckInstanceOf(0, n, nullptr, u"Object", o); }),
  };
  for (auto &g : got) {
    EXPECT_EQ(g.first, TJS_E_MEMBERNOTFOUND);
    EXPECT_EQ(g.second, TJS_E_NOTIMPL);
  }
  tjs_error notImplemented[] = {
      o->CountMembers(&count, u"x", nullptr, o),
      o->CountMembers(&count, nullptr, nullptr, o),
      o->EnumerateMembers(0, nullptr, o),
      o->SetMemberByStringObject(0, nullptr, &v, o),
      o->NativeInstanceAccess(TJS_NIS_GETINSTANCE, 1, &native),
      o->SpareA(),
      o->ClassInstanceQuery(0, u"x", &made),
      o->SpareB(),
      o->SpareC(),
  };
  for (tjs_error e : notImplemented) EXPECT_EQ(e, TJS_E_NOTIMPL);
  o->Release();
}

TEST_F(DefaultDispatch, ByNumberOperationsForwardTheDecimalTextWithNullHint) {
  iTJSDispatch2 *o = Probe<ProbeNewObjectFn>("ProbeNewRecorder")();
  tTJSVariant v;
  EXPECT_EQ(o->GetMemberByNum(0, -12, &v, o), TJS_S_OK);
  EXPECT_STREQ(Record().LastName, "-12");
  EXPECT_TRUE(Record().HintWasNull);
  EXPECT_EQ(o->SetMemberByNum(0, 2147483647, &v, o), TJS_S_OK);
  EXPECT_STREQ(Record().LastName, "2147483647");
  // The default CallMember answers for a name, so forwarding shows as -1001.
  EXPECT_EQ(o->CallMemberByNum(0, 7, &v, 0, nullptr, o), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(o->CountMembersByNum(nullptr, 7, o), TJS_E_NOTIMPL);
  EXPECT_EQ(o->RemoveMemberByNum(0, 7, o), TJS_E_MEMBERNOTFOUND);
  o->Release();
}

TEST_F(DefaultDispatch, ApplyOperationRejectsBadCodesAndMissingOperands) {
  iTJSDispatch2 *o = Probe<ProbeNewObjectFn>("ProbeNewRecorder")();
  tTJSVariant operand = standin::VariantOf(tTVInteger{1});
  tTJSVariant result;
  EXPECT_EQ(o->ApplyOperation(0, u"n", nullptr, &result, &operand, o), TJS_E_INVALIDPARAM);
  EXPECT_EQ(o->ApplyOperation(20, u"n", nullptr, &result, &operand, o), TJS_E_INVALIDPARAM);
  EXPECT_EQ(o->ApplyOperation(5, u"n", nullptr, &result, nullptr, o), TJS_E_INVALIDPARAM);
  EXPECT_EQ(Record().GetCalls, 0) << "rejected before reading the member";
  o->Release();
}

TEST_F(DefaultDispatch, ApplyOperationReadsModifiesAndWrites) {
  iTJSDispatch2 *o = Probe<ProbeNewObjectFn>("ProbeNewRecorder")();
  tTJSVariant result;
  // Code 15 (increment) works without an operand: the member reads 41.
  EXPECT_EQ(o->ApplyOperation(15, u"n", nullptr, &result, nullptr, o), TJS_S_OK);
  EXPECT_EQ(result.AsInteger(), 42);
  EXPECT_EQ(Record().GetCalls, 1);
  EXPECT_EQ(Record().SetCalls, 1);
  tTJSVariant two = standin::VariantOf(tTVInteger{2});
  EXPECT_EQ(o->ApplyOperationByNum(9, 3, &result, &two, o), TJS_S_OK);  // 41 * 2
  EXPECT_EQ(result.AsInteger(), 82);
  EXPECT_STREQ(Record().LastName, "3");
  o->Release();
}

TEST_F(DefaultDispatch, ApplyOperationPassesMemberErrorsThrough) {
  iTJSDispatch2 *plain = Probe<ProbeNewObjectFn>("ProbeNewDefault")();
  tTJSVariant operand = standin::VariantOf(tTVInteger{1});
  EXPECT_EQ(plain->ApplyOperation(5, u"n", nullptr, nullptr, &operand, plain), TJS_E_MEMBERNOTFOUND);
  plain->Release();

  iTJSDispatch2 *o = Probe<ProbeNewObjectFn>("ProbeNewRecorder")();
  Probe<ProbeRecorderAnswersFn>("ProbeRecorderAnswers")(TJS_S_OK, TJS_E_ACCESSDENYED);
  EXPECT_EQ(o->ApplyOperation(5, u"n", nullptr, nullptr, &operand, o), TJS_E_ACCESSDENYED);
  Probe<ProbeRecorderAnswersFn>("ProbeRecorderAnswers")(TJS_E_MEMBERNOTFOUND, TJS_S_OK);
  EXPECT_EQ(o->ApplyOperation(5, u"n", nullptr, nullptr, &operand, o), TJS_E_MEMBERNOTFOUND);
  EXPECT_EQ(Record().SetCalls, 1) << "a failed read never writes";
  Probe<ProbeRecorderAnswersFn>("ProbeRecorderAnswers")(TJS_S_OK, TJS_S_OK);
  o->Release();
}

}  // namespace
