// expression.cpp — the effect expression parser (recursive descent).
#include "expression.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace plughost {

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Parser {
 public:
  explicit Parser(std::string_view text) : Text_(text) {}

  EffectExpression Effect() {
    EffectExpression e;
    e.ClassName = Identifier("a class name");
    e.ConstructorArguments = Arguments();
    while (Accept('.')) e.Steps.push_back(MemberStep());
    SkipBlanks();
    if (Pos_ != Text_.size()) Fail("'.' or the end of the expression");
    return e;
  }

 private:
  Step MemberStep() {
    Step s;
    s.Name = Identifier("a member name");
    if (Accept('=')) {
      s.Type = Step::Assign;
      s.Arguments.push_back(ParseValue());
    } else {
      s.Type = Step::Call;
      s.Arguments = Arguments();
    }
    return s;
  }

  std::vector<Value> Arguments() {
    Expect('(');
    std::vector<Value> values;
    if (Accept(')')) return values;
    do values.push_back(ParseValue());
    while (Accept(','));
    Expect(')');
    return values;
  }

  Value ParseValue() {
    SkipBlanks();
    if (Pos_ >= Text_.size()) Fail("a value");
    const char c = Text_[Pos_];
    if (c == '"') return QuotedString();
    if (IsDigit(c) || c == '-' || c == '+' || c == '.') return Number();
    if (IsIdentStart(c)) {
      const size_t at = Pos_;
      const std::string word = Identifier("a value");
      Value v;
      v.Type = Value::Boolean;
      if (word == "true") v.BooleanValue = true;
      else if (word == "false") v.BooleanValue = false;
      else {
        Pos_ = at;
        Fail("a value (integer, real, true, false or a quoted string)");
      }
      return v;
    }
    Fail("a value");
  }

  Value Number() {
    const size_t start = Pos_;
    if (Text_[Pos_] == '-' || Text_[Pos_] == '+') ++Pos_;
    bool real = false, digits = false;
    // A point belongs to the number only when a digit follows it, so that
    // ".x=5.y=1" reads as two assignments.
    while (Pos_ < Text_.size()) {
      const char c = Text_[Pos_];
      const bool pointOfNumber = c == '.' && !real && Pos_ + 1 < Text_.size() && IsDigit(Text_[Pos_ + 1]);
      if (!IsDigit(c) && !pointOfNumber) break;
      real |= pointOfNumber;
      digits |= IsDigit(c);
      ++Pos_;
    }
    if (!digits) {
      Pos_ = start;
      Fail("a number");
    }
    if (Pos_ < Text_.size() && (Text_[Pos_] == 'e' || Text_[Pos_] == 'E')) {
      real = true;
      ++Pos_;
      if (Pos_ < Text_.size() && (Text_[Pos_] == '-' || Text_[Pos_] == '+')) ++Pos_;
      if (Pos_ >= Text_.size() || !IsDigit(Text_[Pos_])) Fail("exponent digits");
      while (Pos_ < Text_.size() && IsDigit(Text_[Pos_])) ++Pos_;
    }
    const std::string token(Text_.substr(start, Pos_ - start));
    Value v;
    errno = 0;
    char *end = nullptr;
    if (real) {
      v.Type = Value::Real;
      v.RealValue = std::strtod(token.c_str(), &end);
    } else {
      v.Type = Value::Integer;
      v.IntegerValue = std::strtoll(token.c_str(), &end, 10);
    }
    if (errno == ERANGE || end != token.c_str() + token.size()) {
      Pos_ = start;
      Fail("a number in range");
    }
    return v;
  }

  Value QuotedString() {
    ++Pos_;  // opening quote
    Value v;
    v.Type = Value::String;
    while (Pos_ < Text_.size() && Text_[Pos_] != '"') {
      char c = Text_[Pos_++];
      if (c == '\\') {
        if (Pos_ >= Text_.size()) break;
        const char e = Text_[Pos_++];
        switch (e) {
          case 'n': c = '\n'; break;
          case 't': c = '\t'; break;
          case '"': case '\\': c = e; break;
          default: --Pos_; Fail("an escape (\\\" \\\\ \\n \\t)");
        }
      }
      v.StringValue.push_back(c);
    }
    if (Pos_ >= Text_.size()) Fail("a closing '\"'");
    ++Pos_;
    return v;
  }

  std::string Identifier(const char *what) {
    SkipBlanks();
    if (Pos_ >= Text_.size() || !IsIdentStart(Text_[Pos_])) Fail(what);
    const size_t start = Pos_;
    while (Pos_ < Text_.size() && IsIdentChar(Text_[Pos_])) ++Pos_;
    return std::string(Text_.substr(start, Pos_ - start));
  }

  bool Accept(char c) {
    SkipBlanks();
    if (Pos_ < Text_.size() && Text_[Pos_] == c) {
      ++Pos_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Accept(c)) Fail(std::string("'") + c + "'");
  }

  void SkipBlanks() {
    while (Pos_ < Text_.size() && (Text_[Pos_] == ' ' || Text_[Pos_] == '\t')) ++Pos_;
  }

  [[noreturn]] void Fail(const std::string &expected) const {
    throw ParseError("expected " + expected + " at column " + std::to_string(Pos_ + 1) + " of \"" +
                     std::string(Text_) + "\"");
  }

  std::string_view Text_;
  size_t Pos_ = 0;
};

}  // namespace

std::string Value::Describe() const {
  switch (Type) {
    case Integer: return std::to_string(IntegerValue);
    case Real: {
      // Shortest text that reads back the same value, always with a point or
      // an exponent so that it reads back as a real.
      char buffer[40];
      for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, RealValue);
        if (std::strtod(buffer, nullptr) == RealValue) break;
      }
      std::string text = buffer;
      if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
      return text;
    }
    case Boolean: return BooleanValue ? "true" : "false";
    case String: {
      std::string text = "\"";
      for (char c : StringValue) {
        switch (c) {
          case '"': text += "\\\""; break;
          case '\\': text += "\\\\"; break;
          case '\n': text += "\\n"; break;
          case '\t': text += "\\t"; break;
          default: text += c;
        }
      }
      return text + "\"";
    }
  }
  return "";
}

EffectExpression ParseEffect(std::string_view text) { return Parser(text).Effect(); }

}  // namespace plughost
