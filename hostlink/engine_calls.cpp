// engine_calls.cpp — the plug-in side of tTJSString, tTJSVariant and the
// engine's script services: each forwards to the engine function found by
// its signature string (resolved on first use, see hostlink.h).
#include <cstdlib>

#include "hostlink.h"

namespace {

template <class Fn>
Fn Engine(HostFn id) {
  return HostCall<Fn>(id);
}

// A [[noreturn]] engine call that came back: the engine broke its contract.
[[noreturn]] void EngineReturnedFromThrow() { std::abort(); }

}  // namespace

#define ENGINE(Id, ...) Engine<__VA_ARGS__>(HostFn::Id)

// ----- tTJSString ----------------------------------------------------------
tTJSString::tTJSString() { ENGINE(String_ctor, void(TJS_ENGINE_CALL *)(tTJSString *))(this); }
tTJSString::tTJSString(const tTJSString &rhs) {
  ENGINE(String_ctor_copy, void(TJS_ENGINE_CALL *)(tTJSString *, const tTJSString &))(this, rhs);
}
tTJSString::tTJSString(const tjs_char *text) {
  ENGINE(String_ctor_wide, void(TJS_ENGINE_CALL *)(tTJSString *, const tjs_char *))(this, text);
}
tTJSString::tTJSString(const tjs_char *text, int length) {
  ENGINE(String_ctor_wide_len, void(TJS_ENGINE_CALL *)(tTJSString *, const tjs_char *, int))(this, text, length);
}
tTJSString::tTJSString(const tjs_nchar *text) {
  ENGINE(String_ctor_narrow, void(TJS_ENGINE_CALL *)(tTJSString *, const tjs_nchar *))(this, text);
}
tTJSString::tTJSString(tjs_int number) {
  ENGINE(String_ctor_int, void(TJS_ENGINE_CALL *)(tTJSString *, tjs_int))(this, number);
}
// The destructors never let an engine error out (see
// KeepEngineErrorFromDestructor); their engine functions are resolved at
// link, so only an error the engine raises itself can reach them.
tTJSString::~tTJSString() {
  try {
    ENGINE(String_dtor, void(TJS_ENGINE_CALL *)(tTJSString *))(this);
  } catch (...) {
    KeepEngineErrorFromDestructor();
  }
}

tTJSString &tTJSString::operator=(const tTJSString &rhs) {
  return *ENGINE(String_assign, tTJSString *(TJS_ENGINE_CALL *)(tTJSString *, const tTJSString &))(this, rhs);
}
tTJSString &tTJSString::operator=(const tjs_char *rhs) {
  return *ENGINE(String_assign_wide, tTJSString *(TJS_ENGINE_CALL *)(tTJSString *, const tjs_char *))(this, rhs);
}
tTJSString &tTJSString::operator=(const tjs_nchar *rhs) {
  return *ENGINE(String_assign_narrow, tTJSString *(TJS_ENGINE_CALL *)(tTJSString *, const tjs_nchar *))(this,
                                                                                                        rhs);
}

tTJSString tTJSString::operator+(const tTJSString &rhs) const {
  auto fn = ENGINE(String_plus, void(TJS_ENGINE_CALL *)(tTJSString *, const tTJSString *, const tTJSString &));
  return tTJSString(FillTag{}, [&](tTJSString *result) { fn(result, this, rhs); });
}
tTJSString tTJSString::operator+(const tjs_char *rhs) const {
  auto fn = ENGINE(String_plus_wide, void(TJS_ENGINE_CALL *)(tTJSString *, const tTJSString *, const tjs_char *));
  return tTJSString(FillTag{}, [&](tTJSString *result) { fn(result, this, rhs); });
}
tTJSString operator+(const tjs_char *lhs, const tTJSString &rhs) {
  auto fn = ENGINE(String_wide_plus, void(TJS_ENGINE_CALL *)(tTJSString *, const tjs_char *, const tTJSString &));
  return tTJSString(tTJSString::FillTag{}, [&](tTJSString *result) { fn(result, lhs, rhs); });
}
void tTJSString::operator+=(const tjs_char *rhs) {
  ENGINE(String_append_wide, void(TJS_ENGINE_CALL *)(tTJSString *, const tjs_char *))(this, rhs);
}
bool tTJSString::operator==(const tTJSString &rhs) const {
  return ENGINE(String_equal, bool(TJS_ENGINE_CALL *)(const tTJSString *, const tTJSString &))(this, rhs);
}
const tjs_char *tTJSString::c_str() const {
  return ENGINE(String_c_str, const tjs_char *(TJS_ENGINE_CALL *)(const tTJSString *))(this);
}
bool tTJSString::IsEmpty() const {
  return ENGINE(String_IsEmpty, bool(TJS_ENGINE_CALL *)(const tTJSString *))(this);
}
void tTJSString::Clear() { ENGINE(String_Clear, void(TJS_ENGINE_CALL *)(tTJSString *))(this); }
void tTJSString::ToLowerCase() { ENGINE(String_ToLowerCase, void(TJS_ENGINE_CALL *)(tTJSString *))(this); }
tjs_uint32 *tTJSString::GetHint() {
  return ENGINE(String_GetHint, tjs_uint32 *(TJS_ENGINE_CALL *)(tTJSString *))(this);
}

// ----- tTJSVariant ---------------------------------------------------------
tTJSVariant::tTJSVariant() { ENGINE(Variant_ctor, void(TJS_ENGINE_CALL *)(tTJSVariant *))(this); }
tTJSVariant::tTJSVariant(const tTJSVariant &rhs) : tTJSVariant() { *this = rhs; }
tTJSVariant::tTJSVariant(iTJSDispatch2 *object) {
  ENGINE(Variant_ctor_object, void(TJS_ENGINE_CALL *)(tTJSVariant *, iTJSDispatch2 *))(this, object);
}
tTJSVariant::tTJSVariant(iTJSDispatch2 *object, iTJSDispatch2 *objthis) {
  ENGINE(Variant_ctor_closure, void(TJS_ENGINE_CALL *)(tTJSVariant *, iTJSDispatch2 *, iTJSDispatch2 *))(
      this, object, objthis);
}
tTJSVariant::~tTJSVariant() {
  try {
    ENGINE(Variant_dtor, void(TJS_ENGINE_CALL *)(tTJSVariant *))(this);
  } catch (...) {
    KeepEngineErrorFromDestructor();
  }
}

tTJSVariant &tTJSVariant::operator=(const tTJSVariant &rhs) {
  return *ENGINE(Variant_assign, tTJSVariant *(TJS_ENGINE_CALL *)(tTJSVariant *, const tTJSVariant &))(this, rhs);
}
tTJSVariant &tTJSVariant::operator=(bool value) {
  return *ENGINE(Variant_assign_bool, tTJSVariant *(TJS_ENGINE_CALL *)(tTJSVariant *, bool))(this, value);
}
tTJSVariant &tTJSVariant::operator=(tjs_real value) {
  return *ENGINE(Variant_assign_real, tTJSVariant *(TJS_ENGINE_CALL *)(tTJSVariant *, tjs_real))(this, value);
}
tTJSVariant &tTJSVariant::operator=(tjs_int32 value) {
  return *ENGINE(Variant_assign_int32, tTJSVariant *(TJS_ENGINE_CALL *)(tTJSVariant *, tjs_int32))(this, value);
}
tTJSVariant &tTJSVariant::operator=(const tTVInteger value) {
  return *ENGINE(Variant_assign_integer, tTJSVariant *(TJS_ENGINE_CALL *)(tTJSVariant *, tTVInteger))(this,
                                                                                                     value);
}
void tTJSVariant::Clear() { ENGINE(Variant_Clear, void(TJS_ENGINE_CALL *)(tTJSVariant *))(this); }
void tTJSVariant::CopyRef(const tTJSVariant &rhs) {
  ENGINE(Variant_CopyRef, void(TJS_ENGINE_CALL *)(tTJSVariant *, const tTJSVariant &))(this, rhs);
}
tTJSVariantType tTJSVariant::Type() {
  return ENGINE(Variant_Type, tTJSVariantType(TJS_ENGINE_CALL *)(tTJSVariant *))(this);
}
iTJSDispatch2 *tTJSVariant::AsObjectNoAddRef() const {
  return ENGINE(Variant_AsObjectNoAddRef, iTJSDispatch2 *(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}
const tjs_char *tTJSVariant::GetString() const {
  return ENGINE(Variant_GetString, const tjs_char *(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}
tTVReal tTJSVariant::AsReal() const {
  return ENGINE(Variant_AsReal, tTVReal(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}
tTVInteger tTJSVariant::AsInteger() const {
  return ENGINE(Variant_AsInteger, tTVInteger(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}
tTJSVariant::operator bool() const {
  return ENGINE(Variant_to_bool, bool(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}
tTJSVariant::operator tjs_int() const {
  return ENGINE(Variant_to_int, tjs_int(TJS_ENGINE_CALL *)(const tTJSVariant *))(this);
}

// ----- script services -----------------------------------------------------
void TJSDoVariantOperation(tjs_int op, tTJSVariant &target, const tTJSVariant *operand) {
  ENGINE(TJSDoVariantOperation, void(TJS_ENGINE_CALL *)(tjs_int, tTJSVariant &, const tTJSVariant *))(op, target,
                                                                                                       operand);
}
tjs_char *TJS_int_to_str(tjs_int value, tjs_char *buffer) {
  return ENGINE(TJS_int_to_str, tjs_char *(TJS_ENGINE_CALL *)(tjs_int, tjs_char *))(value, buffer);
}
tjs_int TJS_stricmp(const tjs_char *a, const tjs_char *b) {
  return ENGINE(TJS_stricmp, tjs_int(TJS_ENGINE_CALL *)(const tjs_char *, const tjs_char *))(a, b);
}
iTJSDispatch2 *TVPGetScriptDispatch() {
  return ENGINE(TVPGetScriptDispatch, iTJSDispatch2 *(TJS_ENGINE_CALL *)())();
}
iTJSDispatch2 *TJSCreateDictionaryObject(iTJSDispatch2 **classout) {
  return ENGINE(TJSCreateDictionaryObject, iTJSDispatch2 *(TJS_ENGINE_CALL *)(iTJSDispatch2 **))(classout);
}
bool TVPRegisterGlobalObject(const tjs_char *name, iTJSDispatch2 *object) {
  return ENGINE(TVPRegisterGlobalObject, bool(TJS_ENGINE_CALL *)(const tjs_char *, iTJSDispatch2 *))(name, object);
}
bool TVPRemoveGlobalObject(const tjs_char *name) {
  return ENGINE(TVPRemoveGlobalObject, bool(TJS_ENGINE_CALL *)(const tjs_char *))(name);
}
void TVPAddImportantLog(const ttstr &line) {
  ENGINE(TVPAddImportantLog, void(TJS_ENGINE_CALL *)(const ttstr &))(line);
}
void TVPThrowExceptionMessage(const tjs_char *message) {
  ENGINE(TVPThrowExceptionMessage, void(TJS_ENGINE_CALL *)(const tjs_char *))(message);
  EngineReturnedFromThrow();
}
void TVPThrowExceptionMessage(const tjs_char *message, const ttstr &arg) {
  ENGINE(TVPThrowExceptionMessage_arg, void(TJS_ENGINE_CALL *)(const tjs_char *, const ttstr &))(message, arg);
  EngineReturnedFromThrow();
}

// ----- native classes ------------------------------------------------------
tTJSNativeClassForPlugin *TJSCreateNativeClassForPlugin(const ttstr &name, tTJSCreateNativeInstance factory) {
  return ENGINE(TJSCreateNativeClassForPlugin,
                tTJSNativeClassForPlugin *(TJS_ENGINE_CALL *)(const ttstr &, tTJSCreateNativeInstance))(name,
                                                                                                       factory);
}
tjs_int32 TJSRegisterNativeClass(const tjs_char *name) {
  return ENGINE(TJSRegisterNativeClass, tjs_int32(TJS_ENGINE_CALL *)(const tjs_char *))(name);
}
void TJSNativeClassSetClassID(tTJSNativeClass *cls, tjs_int32 classid) {
  ENGINE(TJSNativeClassSetClassID, void(TJS_ENGINE_CALL *)(tTJSNativeClass *, tjs_int32))(cls, classid);
}
tjs_int32 TJSFindNativeClassID(const tjs_char *name) {
  return ENGINE(TJSFindNativeClassID, tjs_int32(TJS_ENGINE_CALL *)(const tjs_char *))(name);
}
tTJSNativeClassMethod *TJSCreateNativeClassMethod(tTJSNativeClassMethodCallback callback) {
  return ENGINE(TJSCreateNativeClassMethod,
                tTJSNativeClassMethod *(TJS_ENGINE_CALL *)(tTJSNativeClassMethodCallback))(callback);
}
tTJSNativeClassMethod *TJSCreateNativeClassConstructor(tTJSNativeClassMethodCallback callback) {
  return ENGINE(TJSCreateNativeClassConstructor,
                tTJSNativeClassMethod *(TJS_ENGINE_CALL *)(tTJSNativeClassMethodCallback))(callback);
}
void TJSNativeClassRegisterNCM(tTJSNativeClass *cls, const tjs_char *name, iTJSDispatch2 *member,
                               const tjs_char *classname, tTJSNativeInstanceType type, tjs_uint32 flags) {
  ENGINE(TJSNativeClassRegisterNCM,
         void(TJS_ENGINE_CALL *)(tTJSNativeClass *, const tjs_char *, iTJSDispatch2 *, const tjs_char *,
                                 tTJSNativeInstanceType, tjs_uint32))(cls, name, member, classname, type, flags);
}
