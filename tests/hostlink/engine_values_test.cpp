// The stand-in engine's own values, strings and object services.
#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace {

using standin::VariantOf;
using testing_support::EngineErrorOf;

class EngineValues : public testing_support::EngineTest {};

TEST_F(EngineValues, StringsConstructCompareAndConcatenate) {
  ttstr a(u"Hello"), b("Hello"), c(tjs_int(-42)), d(u"Hello, world", 5), empty;
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == d);
  EXPECT_EQ(standin::ToUtf8(c), "-42");
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(standin::ToUtf8(u"<" + a + u">"), "<Hello>");
  ttstr e = a + b;
  e += u"!";
  EXPECT_EQ(standin::ToUtf8(e), "HelloHello!");
  ttstr mixed("MiXeD/Path.OGG");
  mixed.ToLowerCase();
  EXPECT_EQ(standin::ToUtf8(mixed), "mixed/path.ogg");
  mixed.Clear();
  EXPECT_TRUE(mixed.IsEmpty());
  EXPECT_NE(mixed.GetHint(), nullptr) << "even an empty string has a hint slot";
  ttstr copy;
  copy = a;
  copy = u"x";
  copy = "日本";
  EXPECT_EQ(standin::ToUtf8(copy), "日本");
}

TEST_F(EngineValues, VariantConversions) {
  struct Case {
    tTJSVariant value;
    double real;
    tTVInteger integer;
    bool truth;
  };
  Case cases[] = {
      {tTJSVariant(), 0, 0, false},
      {VariantOf(tTVInteger{7}), 7, 7, true},
      {VariantOf(-2.75), -2.75, -2, true},
      {VariantOf("12.5abc"), 12.5, 12, true},
      {VariantOf("abc"), 0, 0, true},
      {VariantOf(std::nan("")), std::nan(""), 0, true},
      {VariantOf(1e300), 1e300, INT64_MAX, true},
  };
  for (auto &c : cases) {
    if (std::isnan(c.real)) EXPECT_TRUE(std::isnan(c.value.AsReal()));
    else EXPECT_DOUBLE_EQ(c.value.AsReal(), c.real);
    EXPECT_EQ(c.value.AsInteger(), c.integer);
    EXPECT_EQ(static_cast<bool>(c.value), c.truth);
  }
  tTJSVariant big = VariantOf(tTVInteger{0x1'0000'0005});
  EXPECT_EQ(static_cast<tjs_int>(big), 5) << "int conversion keeps the low 32 bits";
  tTJSVariant s = VariantOf("text");
  EXPECT_EQ(s.Type(), tvtString);
  EXPECT_EQ(std::u16string(s.GetString()), u"text");
  EXPECT_EQ(VariantOf(tTVInteger{1}).GetString(), nullptr);
}

TEST_F(EngineValues, ObjectValuesHoldReferencesAndFailNumericConversion) {
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  {
    tTJSVariant v(dict), closure(dict, dict);
    EXPECT_EQ(static_cast<standin::ObjectBase *>(dict)->RefCount(), 4u);
    EXPECT_EQ(v.AsObjectNoAddRef(), dict);
    EXPECT_NE(EngineErrorOf([&] { v.AsReal(); }), "");
    tTJSVariant copy;
    copy.CopyRef(v);
    copy.Clear();
  }
  EXPECT_EQ(static_cast<standin::ObjectBase *>(dict)->RefCount(), 1u);
  dict->Release();
}

TEST_F(EngineValues, OperatorCodes) {
  struct Case {
    tjs_int op;
    tTVInteger a, b, expect;
  };
  Case cases[] = {{1, 12, 10, 8},  {2, 12, 10, 14}, {3, 12, 10, 6},   {4, 5, 7, -2},  {5, 5, 7, 12},
                  {6, 17, 5, 2},   {8, 17, 5, 3},   {9, 6, 7, 42},    {10, 0, 3, 1},  {11, 2, 0, 0},
                  {12, -8, 1, -4}, {13, 1, 4, 16},  {14, -1, 60, 15}, {15, 9, 0, 10}, {16, 9, 0, 8}};
  for (auto &c : cases) {
    tTJSVariant target = VariantOf(c.a), operand = VariantOf(c.b);
    TJSDoVariantOperation(c.op, target, (c.op >= 15) ? nullptr : &operand);
    EXPECT_EQ(target.AsInteger(), c.expect) << "code " << c.op;
  }
  tTJSVariant r = VariantOf(tTVInteger{1}), half = VariantOf(2.0);
  TJSDoVariantOperation(7, r, &half);
  EXPECT_DOUBLE_EQ(r.AsReal(), 0.5);
  tTJSVariant s = VariantOf("a"), n = VariantOf(tTVInteger{1});
  TJSDoVariantOperation(5, s, &n);
  EXPECT_EQ(standin::ToUtf8(s), "a1");
  tTJSVariant zero = VariantOf(tTVInteger{0});
  EXPECT_EQ(EngineErrorOf([&] { TJSDoVariantOperation(8, n, &zero); }), "Divide by zero.");
}

TEST_F(EngineValues, NumberTextAndCaseInsensitiveCompare) {
  tjs_char buffer[34];
  EXPECT_EQ(std::u16string(TJS_int_to_str(-2147483647 - 1, buffer)), u"-2147483648");
  EXPECT_EQ(TJS_stricmp(u"Function", u"fUNCTION"), 0);
  EXPECT_NE(TJS_stricmp(u"Function", u"Functions"), 0);
  EXPECT_LT(TJS_stricmp(u"a", u"B"), 0);
}

TEST_F(EngineValues, ExceptionMessagesReplacePercentOne) {
  EXPECT_EQ(EngineErrorOf([] { TVPThrowExceptionMessage(u"invalid channels."); }), "invalid channels.");
  EXPECT_EQ(EngineErrorOf([] { TVPThrowExceptionMessage(u"cannot open proxyfile:%1", ttstr(u"BGM/a.ogg")); }),
            "cannot open proxyfile:BGM/a.ogg");
}

TEST_F(EngineValues, GlobalObjectsAndDictionaries) {
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  EXPECT_TRUE(TVPRegisterGlobalObject(u"Map", dict));
  dict->Release();
  iTJSDispatch2 *global = TVPGetScriptDispatch();
  tTJSVariant got;
  ASSERT_EQ(global->GetMember(0, u"Map", nullptr, &got, global), TJS_S_OK);
  EXPECT_EQ(got.AsObjectNoAddRef(), dict);
  tTJSVariant value = VariantOf("x");
  ASSERT_EQ(dict->SetMember(TJS_MEMBERENSURE, u"k", nullptr, &value, dict), TJS_S_OK);
  tjs_int count = -1;
  EXPECT_EQ(dict->CountMembers(&count, nullptr, nullptr, dict), TJS_S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(dict->CheckInstanceOf(0, nullptr, nullptr, u"dictionary", dict), TJS_S_TRUE);
  EXPECT_EQ(dict->GetMember(0, u"missing", nullptr, &got, dict), TJS_E_MEMBERNOTFOUND);
  got.Clear();
  EXPECT_TRUE(TVPRemoveGlobalObject(u"Map"));
  EXPECT_FALSE(TVPRemoveGlobalObject(u"Map"));
  global->Release();
}

TEST_F(EngineValues, LogKeepsEveryLine) {
  TVPAddImportantLog(ttstr(u"one"));
  TVPAddImportantLog(ttstr("two\nlines"));
  ASSERT_EQ(E().Log().size(), 2u);
  EXPECT_EQ(E().Log()[1], "two\nlines");
}

}  // namespace
