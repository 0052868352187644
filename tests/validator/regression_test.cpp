// What the validator sweep found, one focused test per finding.
#include <gtest/gtest.h>

#include "validator.h"

namespace {

using namespace validator;
using sonafilter_test::ObjectRef;

class SweepFindings : public ValidatorTest {};

// A feedback of magnitude 1 or more makes the echoes grow without end: they
// overflowed to infinity within a second at a short delay. They are now held
// at a ceiling, and the output stays finite even with an absurd wet level.
TEST_F(SweepFindings, RunawayEchoesStayFinite) {
  struct Case {
    double Feedback, Wet;
  };
  for (const Case c : {Case{3.0, 1.0}, Case{-2.5, 1000.0}, Case{1.0, 1e30}, Case{1e30, 1e30}}) {
    SCOPED_TRACE("feedback " + std::to_string(c.Feedback) + ", wet " + std::to_string(c.Wet));
    ObjectRef delay = New(u"DelayEffect", {Integer(1), Real(c.Feedback), Real(c.Wet), Integer(2000)});
    std::mt19937 rng(3);
    const std::vector<float> played = Render(8000, 2, TestSignal(rng, 8000, 2, 8000), {delay.Get()});
    ASSERT_EQ(played.size(), 2u * (8000 + 16000));
    EXPECT_EQ(FirstNonFiniteOrSubnormal(played.data(), played.size()), "");
  }
}

}  // namespace
