// expression.h — effect expressions as plughost's command line takes them,
// written as in script:
//
//   ClassName(arg, ...) { .method(arg, ...) | .property=value }
//
// Values are integers (decimal, optional sign), reals (with a point or an
// exponent), true, false and double-quoted strings (escapes \" \\ \n \t).
// Blanks are allowed between tokens.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hostengine.h"

namespace plughost {

struct Value {
  enum Kind { Integer, Real, Boolean, String } Type = Integer;
  tTVInteger IntegerValue = 0;
  double RealValue = 0;
  bool BooleanValue = false;
  std::string StringValue;  // UTF-8

  std::string Describe() const;  // as written in script
};

struct Step {
  enum Kind { Call, Assign } Type = Call;
  std::string Name;
  std::vector<Value> Arguments;  // the call's arguments, or the one assigned value
};

struct EffectExpression {
  std::string ClassName;
  std::vector<Value> ConstructorArguments;
  std::vector<Step> Steps;
};

// A malformed expression; what() names the position and what was expected.
class ParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

EffectExpression ParseEffect(std::string_view text);

}  // namespace plughost
