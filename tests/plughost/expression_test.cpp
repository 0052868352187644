// Effect expressions as written on plughost's command line.
#include <gtest/gtest.h>

#include "expression.h"

namespace {

using plughost::ParseEffect;
using plughost::Step;
using plughost::Value;

TEST(EffectExpression, ParsesConstructorMethodsAndAssignments) {
  auto e = ParseEffect(R"( StkFreeVerb(0.3, -9, true) .setGain( 5 , 2.0e1 ).extend=2500.name="a \"b\"\\" )");
  EXPECT_EQ(e.ClassName, "StkFreeVerb");
  ASSERT_EQ(e.ConstructorArguments.size(), 3u);
  EXPECT_EQ(e.ConstructorArguments[0].Type, Value::Real);
  EXPECT_DOUBLE_EQ(e.ConstructorArguments[0].RealValue, 0.3);
  EXPECT_EQ(e.ConstructorArguments[1].Type, Value::Integer);
  EXPECT_EQ(e.ConstructorArguments[1].IntegerValue, -9);
  EXPECT_EQ(e.ConstructorArguments[2].Type, Value::Boolean);
  EXPECT_TRUE(e.ConstructorArguments[2].BooleanValue);
  ASSERT_EQ(e.Steps.size(), 3u);
  EXPECT_EQ(e.Steps[0].Type, Step::Call);
  EXPECT_EQ(e.Steps[0].Name, "setGain");
  ASSERT_EQ(e.Steps[0].Arguments.size(), 2u);
  EXPECT_DOUBLE_EQ(e.Steps[0].Arguments[1].RealValue, 20.0);
  EXPECT_EQ(e.Steps[1].Type, Step::Assign);
  EXPECT_EQ(e.Steps[1].Arguments[0].IntegerValue, 2500);
  EXPECT_EQ(e.Steps[2].Arguments[0].StringValue, "a \"b\"\\");
}

TEST(EffectExpression, EmptyArgumentListsAndNoSteps) {
  auto e = ParseEffect("GraphicEqualizer()");
  EXPECT_EQ(e.ClassName, "GraphicEqualizer");
  EXPECT_TRUE(e.ConstructorArguments.empty());
  EXPECT_TRUE(e.Steps.empty());
  EXPECT_TRUE(ParseEffect("DelayEffect().init()").Steps[0].Arguments.empty());
}

TEST(EffectExpression, MalformedInputIsRejectedWithItsColumn) {
  struct Case {
    const char *text;
    const char *expected;
  } cases[] = {
      {"", "a class name at column 1"},
      {"DelayEffect", "'(' at column 12"},
      {"DelayEffect(300,", "a value at column 17"},
      {"DelayEffect(300 0.5)", "')' at column 17"},
      {"DelayEffect().x", "'(' at column 16"},
      {"DelayEffect().x=", "a value at column 17"},
      {"DelayEffect(maybe)", "a value (integer"},
      {"DelayEffect(\"open)", "a closing '\"'"},
      {"DelayEffect(\"\\q\")", "an escape"},
      {"DelayEffect(99999999999999999999)", "a number in range"},
      {"DelayEffect(1e)", "exponent digits"},
      {"DelayEffect(-)", "a number at column 13"},
      {"DelayEffect() extra", "'.' or the end"},
      {"9Delay()", "a class name"},
  };
  for (const auto &c : cases) {
    try {
      ParseEffect(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const plughost::ParseError &e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.text << " -> " << e.what();
    }
  }
}

TEST(EffectExpression, ValuesDescribeThemselvesSoThatTheyReadBack) {
  auto e = ParseEffect(R"(X(1, 0.5, 2.0, 1e300, false, "s \"q\" \\ \n\t"))");
  const char *expected[] = {"1", "0.5", "2.0", "1e+300", "false", R"("s \"q\" \\ \n\t")"};
  ASSERT_EQ(e.ConstructorArguments.size(), 6u);
  std::string rewritten = "X(";
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(e.ConstructorArguments[i].Describe(), expected[i]);
    rewritten += (i ? ", " : "") + e.ConstructorArguments[i].Describe();
  }
  auto again = ParseEffect(rewritten + ")");
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(again.ConstructorArguments[i].Type, e.ConstructorArguments[i].Type);
    EXPECT_EQ(again.ConstructorArguments[i].Describe(), e.ConstructorArguments[i].Describe());
  }
}

}  // namespace
