// expression_fuzz.cpp — plughost's effect expression parser on arbitrary text.
//
// Properties, beyond the sanitizers' own: the parser either returns an
// expression or raises ParseError (nothing else); and what it returns means
// the same when written out again: the expression written back in the
// canonical form below parses to an equal expression.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "expression.h"
#include "fuzz_input.h"

namespace {

using plughost::EffectExpression;
using plughost::Step;
using plughost::Value;

// Writes a value so that it parses back to the same type and value: reals
// with all 17 significant digits and always with a point or an exponent,
// strings with their quotes and backslashes escaped (the parser takes every
// other byte as it is).
std::string Canonical(const Value &v) {
  switch (v.Type) {
    case Value::Integer: return std::to_string(v.IntegerValue);
    case Value::Real: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", v.RealValue);
      std::string text = buffer;
      if (text.find_first_of(".e") == std::string::npos) text += ".0";
      return text;
    }
    case Value::Boolean: return v.BooleanValue ? "true" : "false";
    case Value::String: {
      std::string text = "\"";
      for (char c : v.StringValue) {
        if (c == '"' || c == '\\') text.push_back('\\');
        text.push_back(c);
      }
      return text + "\"";
    }
  }
  return "";
}

std::string Canonical(const std::vector<Value> &values) {
  std::string text = "(";
  for (size_t i = 0; i < values.size(); ++i) text += (i ? "," : "") + Canonical(values[i]);
  return text + ")";
}

std::string Canonical(const EffectExpression &e) {
  std::string text = e.ClassName + Canonical(e.ConstructorArguments);
  for (const Step &s : e.Steps) {
    text += "." + s.Name;
    text += s.Type == Step::Assign ? "=" + Canonical(s.Arguments.at(0)) : Canonical(s.Arguments);
  }
  return text;
}

bool Same(const Value &a, const Value &b) {
  if (a.Type != b.Type) return false;
  switch (a.Type) {
    case Value::Integer: return a.IntegerValue == b.IntegerValue;
    case Value::Real: return a.RealValue == b.RealValue && std::signbit(a.RealValue) == std::signbit(b.RealValue);
    case Value::Boolean: return a.BooleanValue == b.BooleanValue;
    case Value::String: return a.StringValue == b.StringValue;
  }
  return false;
}

bool Same(const std::vector<Value> &a, const std::vector<Value> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return false;
  return true;
}

bool Same(const EffectExpression &a, const EffectExpression &b) {
  if (a.ClassName != b.ClassName || !Same(a.ConstructorArguments, b.ConstructorArguments)) return false;
  if (a.Steps.size() != b.Steps.size()) return false;
  for (size_t i = 0; i < a.Steps.size(); ++i) {
    const Step &x = a.Steps[i], &y = b.Steps[i];
    if (x.Type != y.Type || x.Name != y.Name || !Same(x.Arguments, y.Arguments)) return false;
  }
  return true;
}

// Subnormal reals are the one value the canonical form cannot carry: their
// 17 digits are not exact, and the parser refuses an inexact subnormal as
// out of range.
bool HasSubnormal(const std::vector<Value> &values) {
  for (const Value &v : values)
    if (v.Type == Value::Real && std::fpclassify(v.RealValue) == FP_SUBNORMAL) return true;
  return false;
}

bool HasSubnormal(const EffectExpression &e) {
  if (HasSubnormal(e.ConstructorArguments)) return true;
  for (const Step &s : e.Steps)
    if (HasSubnormal(s.Arguments)) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  EffectExpression parsed;
  try {
    parsed = plughost::ParseEffect(text);
  } catch (const plughost::ParseError &) {
    return 0;
  }
  FUZZ_CHECK(!parsed.ClassName.empty());
  for (const Step &s : parsed.Steps) FUZZ_CHECK(s.Type != Step::Assign || s.Arguments.size() == 1);
  if (HasSubnormal(parsed)) return 0;
  const std::string written = Canonical(parsed);
  EffectExpression again;
  try {
    again = plughost::ParseEffect(written);
  } catch (const plughost::ParseError &) {
    FUZZ_CHECK(!"the canonical form of a parsed expression parses");
  }
  FUZZ_CHECK(Same(parsed, again));
  return 0;
}
