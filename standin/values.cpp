// values.cpp — the stand-in engine's strings and script values, and the
// engine's value services (operators, number text, case-insensitive compare).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "engine.h"

#include "value_rep.h"

namespace standin {

namespace {
const std::u16string kEmpty;

tjs_char LowerAscii(tjs_char c) { return (c >= u'A' && c <= u'Z') ? static_cast<tjs_char>(c + 32) : c; }

std::u16string Decimal(tTVInteger v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

// Real numbers as text: shortest form that reads back the same value.
std::u16string RealText(tTVReal v) {
  char buf[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  std::string s(buf);
  return std::u16string(s.begin(), s.end());
}

// Strings convert to numbers by their leading number text; no number gives 0.
tTVReal StringToReal(const std::u16string &text) {
  std::string narrow;
  for (tjs_char c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : ' ');
  return std::strtod(narrow.c_str(), nullptr);
}

tTVInteger SaturatingInteger(tTVReal r) {
  if (std::isnan(r)) return 0;
  if (r >= 9.2233720368547758e18) return std::numeric_limits<tTVInteger>::max();
  if (r <= -9.2233720368547758e18) return std::numeric_limits<tTVInteger>::min();
  return static_cast<tTVInteger>(r);  // truncates toward zero
}

void ReleaseRep(VariantRep &r) {
  switch (r.Type) {
    case tvtObject:
      if (r.Obj.Object) r.Obj.Object->Release();
      if (r.Obj.ObjThis) r.Obj.ObjThis->Release();
      break;
    case tvtString:
      DeleteBody(r.String);
      break;
    default:
      break;
  }
  r.Type = tvtVoid;
  r.Integer = 0;
}

void CopyRep(VariantRep &dst, const VariantRep &src) {
  VariantRep copy = src;
  if (copy.Type == tvtObject) {
    if (copy.Obj.Object) copy.Obj.Object->AddRef();
    if (copy.Obj.ObjThis) copy.Obj.ObjThis->AddRef();
  } else if (copy.Type == tvtString) {
    copy.String = src.String ? NewBody(src.String->Text) : nullptr;
  }
  ReleaseRep(dst);
  dst = copy;
}

[[noreturn]] void Raise(const char16_t *message) { throw EngineError(message); }
}  // namespace

const std::u16string &TextOf(const tTJSString &s) {
  StringBody *b = Body(s);
  return b ? b->Text : kEmpty;
}

StringBody *NewBody(std::u16string_view text) {
  if (text.empty()) return nullptr;
  CountString(+1);
  return new StringBody{std::u16string(text), 0};
}

namespace {
// Bodies whose hint slot has been handed out by GetHint and that still live:
// lets IsHintOf tell a genuine hint from any other pointer without reading
// through it.
std::set<const StringBody *> &HintedBodies() {
  static std::set<const StringBody *> bodies;
  return bodies;
}
}  // namespace

void DeleteBody(StringBody *body) {
  if (!body) return;
  CountString(-1);
  HintedBodies().erase(body);
  delete body;
}

bool IsHintOf(const tjs_uint32 *hint, std::u16string_view text) {
  for (const StringBody *body : HintedBodies())
    if (&body->Hint == hint) return body->Text == text;
  return false;
}

std::string ToUtf8(const tTJSString &text) { return Utf8(TextOf(text)); }

}  // namespace standin

using namespace standin;

// ----- tTJSString (engine implementation) -----------------------------------
tTJSString::tTJSString() { Body(*this) = nullptr; }
tTJSString::tTJSString(const tTJSString &rhs) { Body(*this) = NewBody(TextOf(rhs)); }
tTJSString::tTJSString(const tjs_char *text) {
  Body(*this) = text ? NewBody(std::u16string_view(text)) : nullptr;
}
tTJSString::tTJSString(const tjs_char *text, int length) {
  Body(*this) = (text && length > 0) ? NewBody(std::u16string_view(text, static_cast<size_t>(length))) : nullptr;
}
tTJSString::tTJSString(const tjs_nchar *text) { Body(*this) = text ? NewBody(U16(text)) : nullptr; }
tTJSString::tTJSString(tjs_int number) { Body(*this) = NewBody(Decimal(number)); }
tTJSString::~tTJSString() { DeleteBody(Body(*this)); }

tTJSString &tTJSString::operator=(const tTJSString &rhs) {
  if (this != &rhs) {
    StringBody *fresh = NewBody(TextOf(rhs));
    DeleteBody(Body(*this));
    Body(*this) = fresh;
  }
  return *this;
}
tTJSString &tTJSString::operator=(const tjs_char *rhs) {
  StringBody *fresh = rhs ? NewBody(std::u16string_view(rhs)) : nullptr;
  DeleteBody(Body(*this));
  Body(*this) = fresh;
  return *this;
}
tTJSString &tTJSString::operator=(const tjs_nchar *rhs) {
  StringBody *fresh = rhs ? NewBody(U16(rhs)) : nullptr;
  DeleteBody(Body(*this));
  Body(*this) = fresh;
  return *this;
}
tTJSString tTJSString::operator+(const tTJSString &rhs) const {
  return tTJSString(FillTag{}, [&](tTJSString *r) { Body(*r) = NewBody(TextOf(*this) + TextOf(rhs)); });
}
tTJSString tTJSString::operator+(const tjs_char *rhs) const {
  return tTJSString(FillTag{}, [&](tTJSString *r) {
    Body(*r) = NewBody(TextOf(*this) + (rhs ? std::u16string(rhs) : std::u16string()));
  });
}
tTJSString operator+(const tjs_char *lhs, const tTJSString &rhs) {
  return tTJSString(tTJSString::FillTag{}, [&](tTJSString *r) {
    Body(*r) = NewBody((lhs ? std::u16string(lhs) : std::u16string()) + TextOf(rhs));
  });
}
void tTJSString::operator+=(const tjs_char *rhs) {
  if (!rhs || !*rhs) return;
  StringBody *fresh = NewBody(TextOf(*this) + rhs);
  DeleteBody(Body(*this));
  Body(*this) = fresh;
}
bool tTJSString::operator==(const tTJSString &rhs) const { return TextOf(*this) == TextOf(rhs); }
const tjs_char *tTJSString::c_str() const { return TextOf(*this).c_str(); }
bool tTJSString::IsEmpty() const { return TextOf(*this).empty(); }
void tTJSString::Clear() {
  DeleteBody(Body(*this));
  Body(*this) = nullptr;
}
void tTJSString::ToLowerCase() {
  if (StringBody *b = Body(*this)) {
    for (auto &c : b->Text) c = LowerAscii(c);
    b->Hint = 0;  // the hint cached the old text's hash
  }
}
tjs_uint32 *tTJSString::GetHint() {
  // An empty string gets a body of its own so that it has a slot to offer.
  if (!Body(*this)) {
    CountString(+1);
    Body(*this) = new StringBody{};
  }
  HintedBodies().insert(Body(*this));
  return &Body(*this)->Hint;
}

// ----- tTJSVariant (engine implementation) ----------------------------------
tTJSVariant::tTJSVariant() {
  Rep(*this).Type = tvtVoid;
  Rep(*this).Obj = {nullptr, nullptr};
}
tTJSVariant::tTJSVariant(const tTJSVariant &rhs) : tTJSVariant() { CopyRep(Rep(*this), Rep(rhs)); }
tTJSVariant::tTJSVariant(iTJSDispatch2 *object) : tTJSVariant(object, nullptr) {}
tTJSVariant::tTJSVariant(iTJSDispatch2 *object, iTJSDispatch2 *objthis) {
  VariantRep &r = Rep(*this);
  r.Type = tvtObject;
  r.Obj = {object, objthis};
  if (object) object->AddRef();
  if (objthis) objthis->AddRef();
}
tTJSVariant::~tTJSVariant() { ReleaseRep(Rep(*this)); }

tTJSVariant &tTJSVariant::operator=(const tTJSVariant &rhs) {
  if (this != &rhs) CopyRep(Rep(*this), Rep(rhs));
  return *this;
}
tTJSVariant &tTJSVariant::operator=(bool value) { return *this = static_cast<tTVInteger>(value ? 1 : 0); }
tTJSVariant &tTJSVariant::operator=(tjs_real value) {
  ReleaseRep(Rep(*this));
  Rep(*this).Type = tvtReal;
  Rep(*this).Real = value;
  return *this;
}
tTJSVariant &tTJSVariant::operator=(tjs_int32 value) { return *this = static_cast<tTVInteger>(value); }
tTJSVariant &tTJSVariant::operator=(const tTVInteger value) {
  ReleaseRep(Rep(*this));
  Rep(*this).Type = tvtInteger;
  Rep(*this).Integer = value;
  return *this;
}
void tTJSVariant::Clear() { ReleaseRep(Rep(*this)); }
void tTJSVariant::CopyRef(const tTJSVariant &rhs) { *this = rhs; }
tTJSVariantType tTJSVariant::Type() { return Rep(*this).Type; }
iTJSDispatch2 *tTJSVariant::AsObjectNoAddRef() const {
  return Rep(*this).Type == tvtObject ? Rep(*this).Obj.Object : nullptr;
}
const tjs_char *tTJSVariant::GetString() const {
  const VariantRep &r = Rep(*this);
  if (r.Type != tvtString) return nullptr;
  return r.String ? r.String->Text.c_str() : kEmpty.c_str();
}
tTVReal tTJSVariant::AsReal() const {
  const VariantRep &r = Rep(*this);
  switch (r.Type) {
    case tvtVoid: return 0;
    case tvtInteger: return static_cast<tTVReal>(r.Integer);
    case tvtReal: return r.Real;
    case tvtString: return r.String ? StringToReal(r.String->Text) : 0;
    default: Raise(u"Cannot convert the value to a number");
  }
}
tTVInteger tTJSVariant::AsInteger() const {
  const VariantRep &r = Rep(*this);
  switch (r.Type) {
    case tvtVoid: return 0;
    case tvtInteger: return r.Integer;
    case tvtReal: return SaturatingInteger(r.Real);
    case tvtString: return r.String ? SaturatingInteger(StringToReal(r.String->Text)) : 0;
    default: Raise(u"Cannot convert the value to a number");
  }
}
tTJSVariant::operator bool() const {
  const VariantRep &r = Rep(*this);
  switch (r.Type) {
    case tvtVoid: return false;
    case tvtObject: return r.Obj.Object != nullptr;
    case tvtString: return r.String != nullptr && !r.String->Text.empty();
    case tvtInteger: return r.Integer != 0;
    case tvtReal: return r.Real != 0;
    default: return false;
  }
}
tTJSVariant::operator tjs_int() const { return static_cast<tjs_int>(static_cast<tjs_uint32>(AsInteger())); }

namespace standin {

tTJSVariant VariantOf(tTVInteger value) {
  tTJSVariant v;
  v = value;
  return v;
}
tTJSVariant VariantOf(double value) {
  tTJSVariant v;
  v = value;
  return v;
}
tTJSVariant VariantOf(bool value) {
  tTJSVariant v;
  v = value;
  return v;
}
tTJSVariant VariantOf(std::string_view utf8) {
  tTJSVariant v;
  Rep(v).Type = tvtString;
  Rep(v).String = NewBody(U16(utf8));
  return v;
}
tTJSVariant VariantOf(const char *utf8) { return VariantOf(std::string_view(utf8 ? utf8 : "")); }
tTJSVariant VariantOfString(const tTJSString &text) {
  tTJSVariant v;
  Rep(v).Type = tvtString;
  Rep(v).String = NewBody(TextOf(text));
  return v;
}
tTJSVariantType TypeOf(const tTJSVariant &value) { return Rep(value).Type; }
iTJSDispatch2 *ClosureThisOf(const tTJSVariant &value) {
  return Rep(value).Type == tvtObject ? Rep(value).Obj.ObjThis : nullptr;
}

std::string ToUtf8(const tTJSVariant &value) {
  const VariantRep &r = Rep(value);
  switch (r.Type) {
    case tvtString: return r.String ? Utf8(r.String->Text) : std::string();
    case tvtInteger: return std::to_string(r.Integer);
    case tvtReal: return Utf8(RealText(r.Real));
    case tvtObject: return r.Obj.Object ? "(object)" : "(null)";
    default: return std::string();
  }
}

}  // namespace standin

// ----- value services ---------------------------------------------------------
// Operator codes of TJSDoVariantOperation (the target is changed in place):
//   1 bitwise and, 2 bitwise or, 3 bitwise xor, 4 subtract, 5 add (strings
//   concatenate when either side is a string), 6 integer remainder,
//   7 real division, 8 integer division, 9 multiply, 10 logical or,
//   11 logical and, 12 arithmetic shift right, 13 shift left,
//   14 logical shift right, 15 increment, 16 decrement.
// Integers stay integers except for 7; a real operand makes 4, 5 and 9 real.
// Integer division or remainder by zero raises "Divide by zero.".
void TJSDoVariantOperation(tjs_int op, tTJSVariant &target, const tTJSVariant *operand) {
  if ((op != 15 && op != 16) && operand == nullptr) throw EngineError(u"Missing operand.");
  const VariantRep &a = Rep(target);
  const bool realMath = a.Type == tvtReal || (operand && Rep(*operand).Type == tvtReal);
  auto ai = [&] { return target.AsInteger(); };
  auto bi = [&] { return operand->AsInteger(); };
  auto ar = [&] { return target.AsReal(); };
  auto br = [&] { return operand->AsReal(); };
  auto shiftCount = [&] { return static_cast<int>(bi() & 63); };
  switch (op) {
    case 1: target = static_cast<tTVInteger>(ai() & bi()); break;
    case 2: target = static_cast<tTVInteger>(ai() | bi()); break;
    case 3: target = static_cast<tTVInteger>(ai() ^ bi()); break;
    case 4:
      if (realMath) target = ar() - br();
      else target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) - static_cast<tjs_uint64>(bi()));
      break;
    case 5:
      if (a.Type == tvtString || Rep(*operand).Type == tvtString) {
        std::u16string s = U16(ToUtf8(target)) + U16(ToUtf8(*operand));
        target.Clear();
        Rep(target).Type = tvtString;
        Rep(target).String = NewBody(s);
      } else if (realMath) {
        target = ar() + br();
      } else {
        target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) + static_cast<tjs_uint64>(bi()));
      }
      break;
    case 6: {
      tTVInteger d = bi();
      if (d == 0) throw EngineError(u"Divide by zero.");
      target = (d == -1) ? tTVInteger(0) : ai() % d;
      break;
    }
    case 7: target = ar() / br(); break;
    case 8: {
      tTVInteger d = bi(), n = ai();
      if (d == 0) throw EngineError(u"Divide by zero.");
      target = (d == -1) ? static_cast<tTVInteger>(0 - static_cast<tjs_uint64>(n)) : n / d;
      break;
    }
    case 9:
      if (realMath) target = ar() * br();
      else target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) * static_cast<tjs_uint64>(bi()));
      break;
    case 10: target = static_cast<bool>(target) || static_cast<bool>(*operand); break;
    case 11: target = static_cast<bool>(target) && static_cast<bool>(*operand); break;
    case 12: target = static_cast<tTVInteger>(ai() >> shiftCount()); break;
    case 13: target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) << shiftCount()); break;
    case 14: target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) >> shiftCount()); break;
    case 15:
      if (a.Type == tvtReal) target = ar() + 1;
      else target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) + 1);
      break;
    case 16:
      if (a.Type == tvtReal) target = ar() - 1;
      else target = static_cast<tTVInteger>(static_cast<tjs_uint64>(ai()) - 1);
      break;
    default: throw EngineError(u"Invalid operator code.");
  }
}

tjs_char *TJS_int_to_str(tjs_int value, tjs_char *buffer) {
  std::u16string text = Decimal(value);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return buffer;
}

tjs_int TJS_stricmp(const tjs_char *a, const tjs_char *b) {
  if (!a) a = u"";
  if (!b) b = u"";
  for (;; ++a, ++b) {
    tjs_char ca = LowerAscii(*a), cb = LowerAscii(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}
