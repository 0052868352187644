// The order in which the effects' script members convert their arguments:
// the engine's conversion functions are replaced by recording ones (which
// then convert as the engine does), so each conversion shows with the value
// it converted. Argument values are all distinct, so the record tells which
// argument went when.
#include <gtest/gtest.h>

#include "sonafilter_fixture.h"

namespace {

using namespace sonafilter_test;

std::vector<std::string> &Conversions() {
  static std::vector<std::string> conversions;
  return conversions;
}

tTVReal TJS_ENGINE_CALL RecordingAsReal(const tTJSVariant *value) {
  Conversions().push_back("real " + standin::ToUtf8(*value));
  return value->AsReal();
}
tTVInteger TJS_ENGINE_CALL RecordingAsInteger(const tTJSVariant *value) {
  Conversions().push_back("integer " + standin::ToUtf8(*value));
  return value->AsInteger();
}
tjs_int TJS_ENGINE_CALL RecordingToInt(const tTJSVariant *value) {
  Conversions().push_back("int " + standin::ToUtf8(*value));
  return static_cast<tjs_int>(*value);
}

struct OrderCase {
  const char *Name;
  std::u16string Class;
  Arguments Construction;          // constructor arguments
  const char16_t *Method;          // then this method (null: none) ...
  Arguments Call;                  // ... with these arguments
  std::vector<std::string> Order;  // the conversions of constructor and method, in order
};
void PrintTo(const OrderCase &c, std::ostream *os) { *os << c.Name; }

class ConversionOrderTest : public SonafilterTest, public ::testing::WithParamInterface<OrderCase> {
 protected:
  void SetUp() override {
    ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
    Load();
    standin::Exporter &exporter = E().GetExporter();
    exporter.Add("tTVReal tTJSVariant::AsReal() const", &RecordingAsReal);
    exporter.Add("tTVInteger tTJSVariant::AsInteger() const", &RecordingAsInteger);
    exporter.Add("tTJSVariant::operator tjs_int() const", &RecordingToInt);
    ASSERT_EQ(Link(), kOk);
    Conversions().clear();
  }
};

TEST_P(ConversionOrderTest, ConvertsTheArgumentsInTheDefinedOrder) {
  const OrderCase &c = GetParam();
  ObjectRef effect = New(c.Class, c.Construction);
  if (c.Method) Call(effect.Get(), c.Method, c.Call);
  EXPECT_EQ(Conversions(), c.Order);
}

INSTANTIATE_TEST_SUITE_P(
    Members, ConversionOrderTest,
    ::testing::Values(
        // init: third, second, first; then the fourth.
        OrderCase{"DelayInit", u"DelayEffect", {}, u"init", {Integer(300), Real(0.5), Real(0.75), Integer(2500)},
                  {"real 0.75", "real 0.5", "integer 300", "integer 2500"}},
        OrderCase{"DelayInitThreeArguments", u"DelayEffect", {}, u"init", {Integer(40), Real(0.25), Real(0.125)},
                  {"real 0.125", "real 0.25", "integer 40"}},
        OrderCase{"DelayConstructor", u"DelayEffect", {Integer(7), Real(0.5), Real(0.75), Integer(9)}, nullptr, {},
                  {"real 0.75", "real 0.5", "integer 7", "integer 9"}},
        // setGain: the gain before the index.
        OrderCase{"SetGain", u"GraphicEqualizer", {}, u"setGain", {Integer(3), Real(0.5)}, {"real 0.5", "int 3"}},
        OrderCase{"GetGain", u"GraphicEqualizer", {}, u"getGain", {Integer(4)}, {"int 4"}},
        OrderCase{"EqualizerConstructor", u"GraphicEqualizer", {Real(0.5), Real(1.5), Real(2.5)}, nullptr, {},
                  {"real 0.5", "real 1.5", "real 2.5"}}),
    CaseName());

}  // namespace
