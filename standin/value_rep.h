// value_rep.h — how the stand-in engine lays out tTJSString and tTJSVariant
// storage. Engine-internal: plug-ins never see this.
#pragma once

#include <new>
#include <string>

#include "hostengine.h"

namespace standin {

// A string body: the text and its hash-hint slot. A string whose storage
// slot is null is empty and owns nothing.
struct StringBody {
  std::u16string Text;
  tjs_uint32 Hint = 0;
};

struct VariantRep {
  tTJSVariantType Type;
  union {
    struct {
      iTJSDispatch2 *Object;   // holds a reference
      iTJSDispatch2 *ObjThis;  // closure context, holds a reference, may be null
    } Obj;
    tTVInteger Integer;
    tTVReal Real;
    StringBody *String;  // owned, may be null for the empty string
  };
};
static_assert(sizeof(VariantRep) <= sizeof(tTJSVariant), "variant storage too small");
static_assert(sizeof(StringBody *) == sizeof(tTJSString), "string storage is one slot");

inline VariantRep &Rep(tTJSVariant &v) { return *reinterpret_cast<VariantRep *>(&v); }
inline const VariantRep &Rep(const tTJSVariant &v) { return *reinterpret_cast<const VariantRep *>(&v); }
inline StringBody *&Body(tTJSString &s) { return *reinterpret_cast<StringBody **>(&s); }
inline StringBody *Body(const tTJSString &s) { return *reinterpret_cast<StringBody *const *>(&s); }

// Text of a string storage slot ("" for the empty string).
const std::u16string &TextOf(const tTJSString &s);
// A new body holding `text`, or null for empty text.
StringBody *NewBody(std::u16string_view text);
void DeleteBody(StringBody *body);
// Whether `hint` is the hint slot GetHint handed out for a live string body
// holding exactly `text`. Never reads through a pointer it does not know.
bool IsHintOf(const tjs_uint32 *hint, std::u16string_view text);

}  // namespace standin
