// engine.cpp — the stand-in engine: its state, function exporter, log,
// exceptions, global object and the core engine functions it exports.
#include "calls.h"
#include "engine.h"

#include <new>
#include <stdexcept>

#include "objects.h"
#include "value_rep.h"

namespace standin {

namespace {
Engine *g_current = nullptr;
LiveCounts g_live;
}  // namespace

// ----- text ------------------------------------------------------------------
std::u16string U16(std::string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c >> 5) == 6) { cp = c & 0x1f; extra = 1; }
    else if ((c >> 4) == 14) { cp = c & 0x0f; extra = 2; }
    else if ((c >> 3) == 30) { cp = c & 0x07; extra = 3; }
    else { out.push_back(0xfffd); ++i; continue; }
    bool bad = false;
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) >> 6) != 2) { bad = true; break; }
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
    }
    if (bad) { out.push_back(0xfffd); ++i; continue; }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xd800 && cp < 0xdc00 && i + 1 < s.size() && s[i + 1] >= 0xdc00 && s[i + 1] < 0xe000) {
      cp = 0x10000 + ((cp - 0xd800) << 10) + (s[i + 1] - 0xdc00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
  }
  return out;
}

std::string Utf8(const tjs_char *text) { return text ? Utf8(std::u16string_view(text)) : std::string(); }

// ----- errors and counts -----------------------------------------------------
EngineError::EngineError(std::u16string message) : std::runtime_error(Utf8(message)), Message_(std::move(message)) {}

LiveCounts Live() { return g_live; }
void CountObject(int delta) { g_live.Objects += delta; }
void CountString(int delta) { g_live.Strings += delta; }

// ----- exporter ----------------------------------------------------------------
Exporter::Exporter() = default;

bool TJS_INTF_METHOD Exporter::LookUpByNames(const tjs_char **names, void **functions, tjs_uint count) {
  std::vector<std::string> narrow;
  std::vector<const tjs_nchar *> pointers;
  for (tjs_uint i = 0; i < count; ++i) narrow.push_back(Utf8(names[i]));
  for (auto &n : narrow) pointers.push_back(n.c_str());
  return LookUpByNarrowNames(pointers.data(), functions, count);
}

bool TJS_INTF_METHOD Exporter::LookUpByNarrowNames(const tjs_nchar **names, void **functions, tjs_uint count) {
  bool all = true;
  for (tjs_uint i = 0; i < count; ++i) {
    const std::string name = names[i] ? names[i] : "";
    if (++LookUps_[name] == 1) LookUpOrder_.push_back(name);
    auto it = Functions_.find(name);
    if (it == Functions_.end() || Withheld_.count(name)) {
      functions[i] = nullptr;
      all = false;
    } else {
      functions[i] = it->second;
    }
  }
  return all;
}

void Exporter::Add(const std::string &signature, void *function) { Functions_[signature] = function; }
void Exporter::Withhold(const std::string &signature, bool withheld) {
  if (withheld) Withheld_.insert(signature);
  else Withheld_.erase(signature);
}
int Exporter::LookUps(const std::string &signature) const {
  auto it = LookUps_.find(signature);
  return it == LookUps_.end() ? 0 : it->second;
}
int Exporter::TotalLookUps() const {
  int total = 0;
  for (auto &e : LookUps_) total += e.second;
  return total;
}
std::vector<std::string> Exporter::Signatures() const {
  std::vector<std::string> out;
  for (auto &e : Functions_) out.push_back(e.first);
  return out;
}

// ----- engine --------------------------------------------------------------------
Engine::Engine() {
  if (g_current) throw std::logic_error("only one stand-in engine may exist at a time");
  g_current = this;
  Global_ = new ScriptObject();
  RegisterCoreFunctions(Exporter_);
  RegisterNativeClassFunctions(Exporter_);
  RegisterStorageFunctions(Exporter_);
  RegisterSoundFunctions(Exporter_);
}

Engine::~Engine() {
  // Module state (storage media, classes, ...) may hold engine objects; the
  // order of it and the globals is a reading of the contract (HostReadings).
  if (Readings_.GlobalsBeforeMedia) ReleaseGlobal();
  States_.clear();
  ReleaseGlobal();
  g_current = nullptr;
}

void Engine::ReleaseGlobal() {
  iTJSDispatch2 *global = Global_;
  Global_ = nullptr;
  if (global) global->Release();
}

tjs_uint32 MemberNameHash(const tjs_char *name) {
  tjs_uint32 hash = 2166136261u;
  for (const tjs_char *c = name; c && *c; ++c) hash = (hash ^ *c) * 16777619u;
  return hash ? hash : 1;
}

Engine &Engine::Current() {
  if (!g_current) throw std::logic_error("no stand-in engine exists");
  return *g_current;
}
bool Engine::Exists() { return g_current != nullptr; }

void Engine::AddLog(const std::string &line) {
  Log_.push_back(line);
  if (Echo_) *Echo_ << line << '\n' << std::flush;
}

}  // namespace standin

using namespace standin;

// ----- engine free functions -------------------------------------------------------
iTJSDispatch2 *TVPGetScriptDispatch() {
  iTJSDispatch2 *global = Engine::Current().Global();
  if (global) global->AddRef();
  return global;
}

iTJSDispatch2 *TJSCreateDictionaryObject(iTJSDispatch2 **classout) {
  if (classout) *classout = nullptr;
  return NewDictionary();
}

bool TVPRegisterGlobalObject(const tjs_char *name, iTJSDispatch2 *object) {
  if (!name) return false;
  tTJSVariant value(object);
  iTJSDispatch2 *global = Engine::Current().Global();
  if (!global) return false;  // the engine is tearing down
  return TJS_SUCCEEDED(global->SetMember(TJS_MEMBERENSURE | TJS_IGNOREPROP, name, nullptr, &value, global));
}

bool TVPRemoveGlobalObject(const tjs_char *name) {
  if (!name) return false;
  iTJSDispatch2 *global = Engine::Current().Global();
  if (!global) return false;  // the engine is tearing down: the globals are gone already
  const bool removed = TJS_SUCCEEDED(global->RemoveMember(0, name, nullptr, global));
  return removed && Engine::Current().Readings().RemoveGlobalAnswersTrue;
}

void TVPAddImportantLog(const ttstr &line) { Engine::Current().AddLog(ToUtf8(line)); }

void TVPThrowExceptionMessage(const tjs_char *message) {
  throw EngineError(message ? std::u16string(message) : std::u16string());
}

void TVPThrowExceptionMessage(const tjs_char *message, const ttstr &arg) {
  std::u16string text = message ? std::u16string(message) : std::u16string();
  const std::u16string &value = TextOf(arg);
  for (size_t at = text.find(u"%1"); at != std::u16string::npos; at = text.find(u"%1", at + value.size()))
    text.replace(at, 2, value);
  throw EngineError(text);
}

void TVPThrowPluginUnboundFunctionError(const char *signature) {
  throw EngineError(u"Plug-in function not bound: " + U16(signature ? signature : ""));
}

// ----- exported forms of the core functions ------------------------------------------
// Member functions take their object first; a ttstr result is constructed in
// the storage given first (see hostengine.h).
namespace {

#define EX static TJS_ENGINE_CALL

EX void S_ctor(tTJSString *s) { STANDIN_ENGINE_CALL("S_ctor"); new (s) tTJSString(); }
EX void S_ctor_copy(tTJSString *s, const tTJSString &r) { STANDIN_ENGINE_CALL("S_ctor_copy"); new (s) tTJSString(r); }
EX void S_ctor_wide(tTJSString *s, const tjs_char *t) { STANDIN_ENGINE_CALL("S_ctor_wide"); new (s) tTJSString(t); }
EX void S_ctor_wide_len(tTJSString *s, const tjs_char *t, int n) { STANDIN_ENGINE_CALL("S_ctor_wide_len"); new (s) tTJSString(t, n); }
EX void S_ctor_narrow(tTJSString *s, const tjs_nchar *t) { STANDIN_ENGINE_CALL("S_ctor_narrow"); new (s) tTJSString(t); }
EX void S_ctor_int(tTJSString *s, tjs_int n) { STANDIN_ENGINE_CALL("S_ctor_int"); new (s) tTJSString(n); }
EX void S_dtor(tTJSString *s) { STANDIN_SAFE_ENGINE_CALL("S_dtor"); s->~tTJSString(); }
EX tTJSString *S_assign(tTJSString *s, const tTJSString &r) { STANDIN_ENGINE_CALL("S_assign"); return &(*s = r); }
EX tTJSString *S_assign_wide(tTJSString *s, const tjs_char *r) { STANDIN_ENGINE_CALL("S_assign_wide"); return &(*s = r); }
EX tTJSString *S_assign_narrow(tTJSString *s, const tjs_nchar *r) { STANDIN_ENGINE_CALL("S_assign_narrow"); return &(*s = r); }
EX void S_plus(tTJSString *out, const tTJSString *s, const tTJSString &r) { STANDIN_ENGINE_CALL("S_plus"); new (out) tTJSString(*s + r); }
EX void S_plus_wide(tTJSString *out, const tTJSString *s, const tjs_char *r) { STANDIN_ENGINE_CALL("S_plus_wide"); new (out) tTJSString(*s + r); }
EX void S_wide_plus(tTJSString *out, const tjs_char *l, const tTJSString &r) { STANDIN_ENGINE_CALL("S_wide_plus"); new (out) tTJSString(l + r); }
EX void S_append_wide(tTJSString *s, const tjs_char *r) { STANDIN_ENGINE_CALL("S_append_wide"); *s += r; }
EX bool S_equal(const tTJSString *s, const tTJSString &r) { STANDIN_SAFE_ENGINE_CALL("S_equal"); return *s == r; }
EX const tjs_char *S_c_str(const tTJSString *s) { STANDIN_SAFE_ENGINE_CALL("S_c_str"); return s->c_str(); }
EX bool S_IsEmpty(const tTJSString *s) { STANDIN_SAFE_ENGINE_CALL("S_IsEmpty"); return s->IsEmpty(); }
EX void S_Clear(tTJSString *s) { STANDIN_SAFE_ENGINE_CALL("S_Clear"); s->Clear(); }
EX void S_ToLowerCase(tTJSString *s) { STANDIN_ENGINE_CALL("S_ToLowerCase"); s->ToLowerCase(); }
EX tjs_uint32 *S_GetHint(tTJSString *s) { STANDIN_ENGINE_CALL("S_GetHint"); return s->GetHint(); }

EX void V_ctor(tTJSVariant *v) { STANDIN_ENGINE_CALL("V_ctor"); new (v) tTJSVariant(); }
EX void V_ctor_object(tTJSVariant *v, iTJSDispatch2 *o) { STANDIN_ENGINE_CALL("V_ctor_object"); new (v) tTJSVariant(o); }
EX void V_ctor_closure(tTJSVariant *v, iTJSDispatch2 *o, iTJSDispatch2 *t) { STANDIN_ENGINE_CALL("V_ctor_closure"); new (v) tTJSVariant(o, t); }
EX void V_dtor(tTJSVariant *v) { STANDIN_SAFE_ENGINE_CALL("V_dtor"); v->~tTJSVariant(); }
EX void V_Clear(tTJSVariant *v) { STANDIN_SAFE_ENGINE_CALL("V_Clear"); v->Clear(); }
EX void V_CopyRef(tTJSVariant *v, const tTJSVariant &r) { STANDIN_ENGINE_CALL("V_CopyRef"); v->CopyRef(r); }
EX tTJSVariant *V_assign(tTJSVariant *v, const tTJSVariant &r) { STANDIN_ENGINE_CALL("V_assign"); return &(*v = r); }
EX tTJSVariant *V_assign_bool(tTJSVariant *v, bool r) { STANDIN_ENGINE_CALL("V_assign_bool"); return &(*v = r); }
EX tTJSVariant *V_assign_real(tTJSVariant *v, tjs_real r) { STANDIN_ENGINE_CALL("V_assign_real"); return &(*v = r); }
EX tTJSVariant *V_assign_int32(tTJSVariant *v, tjs_int32 r) { STANDIN_ENGINE_CALL("V_assign_int32"); return &(*v = r); }
EX tTJSVariant *V_assign_integer(tTJSVariant *v, tTVInteger r) { STANDIN_ENGINE_CALL("V_assign_integer"); return &(*v = r); }
EX tTJSVariantType V_Type(tTJSVariant *v) { STANDIN_SAFE_ENGINE_CALL("V_Type"); return v->Type(); }
EX iTJSDispatch2 *V_AsObjectNoAddRef(const tTJSVariant *v) { STANDIN_SAFE_ENGINE_CALL("V_AsObjectNoAddRef"); return v->AsObjectNoAddRef(); }
EX const tjs_char *V_GetString(const tTJSVariant *v) { STANDIN_SAFE_ENGINE_CALL("V_GetString"); return v->GetString(); }
EX tTVReal V_AsReal(const tTJSVariant *v) { STANDIN_ENGINE_CALL("V_AsReal"); return v->AsReal(); }
EX tTVInteger V_AsInteger(const tTJSVariant *v) { STANDIN_ENGINE_CALL("V_AsInteger"); return v->AsInteger(); }
EX bool V_to_bool(const tTJSVariant *v) { STANDIN_ENGINE_CALL("V_to_bool"); return static_cast<bool>(*v); }
EX tjs_int V_to_int(const tTJSVariant *v) { STANDIN_ENGINE_CALL("V_to_int"); return static_cast<tjs_int>(*v); }

EX void F_DoVariantOperation(tjs_int op, tTJSVariant &t, const tTJSVariant *o) { STANDIN_ENGINE_CALL("F_DoVariantOperation"); TJSDoVariantOperation(op, t, o); }
EX tjs_char *F_int_to_str(tjs_int v, tjs_char *b) { STANDIN_ENGINE_CALL("F_int_to_str"); return TJS_int_to_str(v, b); }
EX tjs_int F_stricmp(const tjs_char *a, const tjs_char *b) { STANDIN_ENGINE_CALL("F_stricmp"); return TJS_stricmp(a, b); }
EX iTJSDispatch2 *F_GetScriptDispatch() { STANDIN_ENGINE_CALL("F_GetScriptDispatch"); return TVPGetScriptDispatch(); }
EX iTJSDispatch2 *F_CreateDictionaryObject(iTJSDispatch2 **c) { STANDIN_ENGINE_CALL("F_CreateDictionaryObject"); return TJSCreateDictionaryObject(c); }
EX bool F_RegisterGlobalObject(const tjs_char *n, iTJSDispatch2 *o) { STANDIN_ENGINE_CALL("F_RegisterGlobalObject"); return TVPRegisterGlobalObject(n, o); }
EX bool F_RemoveGlobalObject(const tjs_char *n) { STANDIN_ENGINE_CALL("F_RemoveGlobalObject"); return TVPRemoveGlobalObject(n); }
EX void F_AddImportantLog(const ttstr &l) { STANDIN_ENGINE_CALL("F_AddImportantLog"); TVPAddImportantLog(l); }
EX void F_ThrowExceptionMessage(const tjs_char *m) { STANDIN_ENGINE_CALL("F_ThrowExceptionMessage"); TVPThrowExceptionMessage(m); }
EX void F_ThrowExceptionMessageArg(const tjs_char *m, const ttstr &a) { STANDIN_ENGINE_CALL("F_ThrowExceptionMessageArg"); TVPThrowExceptionMessage(m, a); }
EX void F_ThrowUnbound(const char *s) { STANDIN_ENGINE_CALL("F_ThrowUnbound"); TVPThrowPluginUnboundFunctionError(s); }

#undef EX

}  // namespace

namespace standin {

void RegisterCoreFunctions(Exporter &x) {
  x.Add("tTJSString::tTJSString()", &S_ctor);
  x.Add("tTJSString::tTJSString(const tTJSString &)", &S_ctor_copy);
  x.Add("tTJSString::tTJSString(const tjs_char *)", &S_ctor_wide);
  x.Add("tTJSString::tTJSString(const tjs_char *,int)", &S_ctor_wide_len);
  x.Add("tTJSString::tTJSString(const tjs_nchar *)", &S_ctor_narrow);
  x.Add("tTJSString::tTJSString(tjs_int)", &S_ctor_int);
  x.Add("tTJSString::~ tTJSString()", &S_dtor);
  x.Add("tTJSString & tTJSString::operator =(const tTJSString &)", &S_assign);
  x.Add("tTJSString & tTJSString::operator =(const tjs_char *)", &S_assign_wide);
  x.Add("tTJSString & tTJSString::operator =(const tjs_nchar *)", &S_assign_narrow);
  x.Add("tTJSString tTJSString::operator +(const tTJSString &) const", &S_plus);
  x.Add("tTJSString tTJSString::operator +(const tjs_char *) const", &S_plus_wide);
  x.Add("tTJSString ::operator +(const tjs_char *,const tTJSString &)", &S_wide_plus);
  x.Add("void tTJSString::operator +=(const tjs_char *)", &S_append_wide);
  x.Add("bool tTJSString::operator ==(const tTJSString &) const", &S_equal);
  x.Add("const tjs_char * tTJSString::c_str() const", &S_c_str);
  x.Add("bool tTJSString::IsEmpty() const", &S_IsEmpty);
  x.Add("void tTJSString::Clear()", &S_Clear);
  x.Add("void tTJSString::ToLowerCase()", &S_ToLowerCase);
  x.Add("tjs_uint32 * tTJSString::GetHint()", &S_GetHint);

  x.Add("tTJSVariant::tTJSVariant()", &V_ctor);
  x.Add("tTJSVariant::tTJSVariant(iTJSDispatch2 *)", &V_ctor_object);
  x.Add("tTJSVariant::tTJSVariant(iTJSDispatch2 *,iTJSDispatch2 *)", &V_ctor_closure);
  x.Add("tTJSVariant::~ tTJSVariant()", &V_dtor);
  x.Add("void tTJSVariant::Clear()", &V_Clear);
  x.Add("void tTJSVariant::CopyRef(const tTJSVariant &)", &V_CopyRef);
  x.Add("tTJSVariant & tTJSVariant::operator =(const tTJSVariant &)", &V_assign);
  x.Add("tTJSVariant & tTJSVariant::operator =(bool)", &V_assign_bool);
  x.Add("tTJSVariant & tTJSVariant::operator =(tjs_real)", &V_assign_real);
  x.Add("tTJSVariant & tTJSVariant::operator =(tjs_int32)", &V_assign_int32);
  x.Add("tTJSVariant & tTJSVariant::operator =(const tTVInteger)", &V_assign_integer);
  x.Add("tTJSVariantType tTJSVariant::Type()", &V_Type);
  x.Add("iTJSDispatch2 * tTJSVariant::AsObjectNoAddRef() const", &V_AsObjectNoAddRef);
  x.Add("const tjs_char * tTJSVariant::GetString() const", &V_GetString);
  x.Add("tTVReal tTJSVariant::AsReal() const", &V_AsReal);
  x.Add("tTVInteger tTJSVariant::AsInteger() const", &V_AsInteger);
  x.Add("tTJSVariant::operator bool() const", &V_to_bool);
  x.Add("tTJSVariant::operator tjs_int() const", &V_to_int);

  x.Add("void ::TJSDoVariantOperation(tjs_int,tTJSVariant &,const tTJSVariant *)", &F_DoVariantOperation);
  x.Add("tjs_char * ::TJS_int_to_str(tjs_int,tjs_char *)", &F_int_to_str);
  x.Add("tjs_int ::TJS_stricmp(const tjs_char *,const tjs_char *)", &F_stricmp);
  x.Add("iTJSDispatch2 * ::TVPGetScriptDispatch()", &F_GetScriptDispatch);
  x.Add("iTJSDispatch2 * ::TJSCreateDictionaryObject(iTJSDispatch2 * *)", &F_CreateDictionaryObject);
  x.Add("bool ::TVPRegisterGlobalObject(const tjs_char *,iTJSDispatch2 *)", &F_RegisterGlobalObject);
  x.Add("bool ::TVPRemoveGlobalObject(const tjs_char *)", &F_RemoveGlobalObject);
  x.Add("void ::TVPAddImportantLog(const ttstr &)", &F_AddImportantLog);
  x.Add("void ::TVPThrowExceptionMessage(const tjs_char *)", &F_ThrowExceptionMessage);
  x.Add("void ::TVPThrowExceptionMessage(const tjs_char *,const ttstr &)", &F_ThrowExceptionMessageArg);
  x.Add("void ::TVPThrowPluginUnboundFunctionError(const char *)", &F_ThrowUnbound);
}

}  // namespace standin
