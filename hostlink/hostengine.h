// hostengine.h — the host engine's types and interfaces, as both plug-ins and
// the stand-in engine see them.
//
// This is the one header that fixes the binary contract between the engine and
// a plug-in. Every choice the engine leaves open is made here, once:
//
// Calling conventions
//   * Interface operations (iTJSDispatch2, iTVPFunctionExporter, the native
//     instance, storage media and wave filter interfaces) are C++ virtual
//     member functions declared with TJS_INTF_METHOD: __stdcall on 32-bit
//     Windows, the platform's default member convention elsewhere.
//   * Engine functions handed out by the function exporter are plain
//     functions declared with TJS_ENGINE_CALL (__stdcall on 32-bit Windows,
//     the default elsewhere).
//   * An engine *member* function is exported as a plain function whose first
//     argument is the object (`const T *` for a const member, `T *` otherwise),
//     followed by the member's own arguments. A member returning a reference
//     to its object (the assignment operators) returns that object's address.
//   * An engine function returning a ttstr by value is exported as a plain
//     function whose very first argument is a pointer to *uninitialised*
//     storage of one ttstr; the engine constructs the result there (the
//     object, for a member, comes second). The caller owns the result and
//     later destroys it with "tTJSString::~ tTJSString()".
//   * The legacy engine generation calls wave filters and sources through
//     tables of plain functions declared with TJS_LEGACY_CALL (__cdecl on
//     32-bit Windows, the default elsewhere), each taking its table's owner
//     first (see the sound section).
//
// Value storage
//   * tTJSString holds one pointer-sized slot; tTJSVariant holds
//     TJS_VARIANT_STORAGE bytes (16 on 32-bit targets, 24 on 64-bit ones),
//     8-byte aligned. Only engine functions read or write that storage; the
//     plug-ins treat it as opaque bytes.
//   * The member functions of tTJSString and tTJSVariant and the engine's free
//     functions are declared here once and defined twice: by the stand-in
//     engine (the real implementation) and by hostlink/ (a forwarder that
//     resolves the engine function by its signature string on first use).
//
// Characters
//   * tjs_char is 16 bits on every platform (UTF-16 code units); tjs_nchar is
//     narrow text (UTF-8 in the stand-in engine).
//
// Threads: nothing here is synchronised; see each interface.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Calling conventions and export markers
// ---------------------------------------------------------------------------
#if defined(_WIN32) && !defined(_WIN64)
#define TJS_INTF_METHOD __stdcall
#define TJS_ENGINE_CALL __stdcall
#define TJS_LEGACY_CALL __cdecl
#else
#define TJS_INTF_METHOD
#define TJS_ENGINE_CALL
#define TJS_LEGACY_CALL
#endif

// ---------------------------------------------------------------------------
// Integer and character types
// ---------------------------------------------------------------------------
typedef int32_t tjs_int32;
typedef uint32_t tjs_uint32;
typedef int64_t tjs_int64;
typedef uint64_t tjs_uint64;
typedef int32_t tjs_int;   // the engine's plain int: 32 bits everywhere
typedef uint32_t tjs_uint;
typedef char16_t tjs_char;  // one UTF-16 code unit
typedef char tjs_nchar;     // narrow (8-bit) text
typedef double tjs_real;
typedef int64_t tTVInteger;  // script integer
typedef double tTVReal;      // script real
typedef int32_t tjs_error;   // result code of an object operation
typedef int32_t tjs_hresult; // result of V2Link / V2Unlink (S_OK / E_FAIL)

static_assert(sizeof(tjs_char) == 2, "tjs_char is 16 bits on every platform");

// Result codes of object operations: 0 and above succeed.
enum : tjs_error {
  TJS_S_OK = 0,
  TJS_S_TRUE = 1,
  TJS_S_FALSE = 2,
  TJS_E_MEMBERNOTFOUND = -1001,
  TJS_E_NOTIMPL = -1002,
  TJS_E_INVALIDPARAM = -1003,
  TJS_E_BADPARAMCOUNT = -1004,
  TJS_E_ACCESSDENYED = -1007,
  TJS_E_NATIVECLASSCRASH = -1008,
  TJS_E_FAIL = -1,
};
inline bool TJS_SUCCEEDED(tjs_error e) { return e >= 0; }
inline bool TJS_FAILED(tjs_error e) { return e < 0; }

// Results of the exported link entries.
constexpr tjs_hresult TJS_HR_S_OK = 0;
constexpr tjs_hresult TJS_HR_E_FAIL = static_cast<tjs_hresult>(0x80004005u);

// Script value type codes (tTJSVariant::Type).
enum tTJSVariantType : tjs_int32 {
  tvtVoid = 0,
  tvtObject = 1,
  tvtString = 2,
  tvtOctet = 3,
  tvtInteger = 4,
  tvtReal = 5,
};

class iTJSDispatch2;
class iTJSNativeInstance;
class tTJSString;
class tTJSVariant;
typedef tTJSString ttstr;

// ---------------------------------------------------------------------------
// tTJSString: engine string of tjs_char units. Opaque to plug-ins.
// ---------------------------------------------------------------------------
class tTJSString {
 public:
  tTJSString();
  tTJSString(const tTJSString &rhs);
  tTJSString(const tjs_char *text);            // null gives an empty string
  tTJSString(const tjs_char *text, int length);  // the first `length` units
  tTJSString(const tjs_nchar *text);           // narrow (UTF-8) text
  explicit tTJSString(tjs_int number);         // decimal text of the number
  ~tTJSString();

  tTJSString &operator=(const tTJSString &rhs);
  tTJSString &operator=(const tjs_char *rhs);
  tTJSString &operator=(const tjs_nchar *rhs);

  tTJSString operator+(const tTJSString &rhs) const;
  tTJSString operator+(const tjs_char *rhs) const;
  friend tTJSString operator+(const tjs_char *lhs, const tTJSString &rhs);
  void operator+=(const tjs_char *rhs);
  bool operator==(const tTJSString &rhs) const;

  const tjs_char *c_str() const;  // never null; valid until the string changes
  bool IsEmpty() const;
  void Clear();
  void ToLowerCase();   // in place, ASCII letters only
  tjs_uint32 *GetHint();  // the string's hash-hint slot for member lookups

  // Fill construction: `fill` is an engine function returning a ttstr by
  // value (see the header comment); it constructs this string in place.
  // Used only by the forwarders in hostlink/.
  struct FillTag {};
  template <class Fill>
  tTJSString(FillTag, Fill &&fill) { fill(this); }

 private:
  void *Storage_;  // engine-owned representation
};
static_assert(sizeof(tTJSString) == sizeof(void *), "tTJSString is one slot");

// ---------------------------------------------------------------------------
// tTJSVariant: engine script value. Opaque to plug-ins.
// ---------------------------------------------------------------------------
#define TJS_VARIANT_STORAGE (8 + 2 * sizeof(void *))

class tTJSVariant {
 public:
  tTJSVariant();                              // void
  tTJSVariant(const tTJSVariant &rhs);
  explicit tTJSVariant(iTJSDispatch2 *object);  // object, takes a reference
  // Closure of `object` with context `objthis`; takes a reference on each
  // non-null one.
  tTJSVariant(iTJSDispatch2 *object, iTJSDispatch2 *objthis);
  ~tTJSVariant();

  tTJSVariant &operator=(const tTJSVariant &rhs);
  tTJSVariant &operator=(bool value);
  tTJSVariant &operator=(tjs_real value);
  tTJSVariant &operator=(tjs_int32 value);
  tTJSVariant &operator=(const tTVInteger value);

  void Clear();                          // back to void
  void CopyRef(const tTJSVariant &rhs);  // refer to the same value as rhs
  tTJSVariantType Type();
  iTJSDispatch2 *AsObjectNoAddRef() const;  // null when no object is held
  const tjs_char *GetString() const;        // null unless a string is held
  tTVReal AsReal() const;        // engine conversion; raises on failure
  tTVInteger AsInteger() const;  // engine conversion; raises on failure
  operator bool() const;
  operator tjs_int() const;

 private:
  alignas(8) unsigned char Storage_[TJS_VARIANT_STORAGE];
};
static_assert(sizeof(tTJSVariant) == (sizeof(void *) == 4 ? 16 : 24),
              "tTJSVariant storage size");

// The object and context that a closure variant carries; passed by pointer to
// EnumerateMembers. Neither pointer holds a reference of its own.
struct tTJSVariantClosure {
  iTJSDispatch2 *Object;
  iTJSDispatch2 *ObjThis;
};

// ---------------------------------------------------------------------------
// iTJSDispatch2: the engine's object interface, 29 operations in this order.
// Every operation except AddRef/Release returns a tjs_error and never raises.
// `membername` null addresses the object itself; `hint` may be null;
// `objthis` is the object on whose behalf the operation runs.
// ---------------------------------------------------------------------------
class iTJSDispatch2 {
 public:
  virtual tjs_uint TJS_INTF_METHOD AddRef() = 0;   // returns the new count
  virtual tjs_uint TJS_INTF_METHOD Release() = 0;  // returns the new count
  virtual tjs_error TJS_INTF_METHOD CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                               tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                               iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CallMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                    tjs_int numparams, tTJSVariant **param,
                                                    iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD GetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                              tTJSVariant *result, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD GetMemberByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                   iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD SetMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                              const tTJSVariant *param, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD SetMemberByNum(tjs_uint32 flag, tjs_int num, const tTJSVariant *param,
                                                   iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CountMembers(tjs_int *result, const tjs_char *membername, tjs_uint32 *hint,
                                                 iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CountMembersByNum(tjs_int *result, tjs_int num, iTJSDispatch2 *objthis) = 0;
  // The engine's own; plug-ins neither call nor implement it.
  virtual tjs_error TJS_INTF_METHOD SetMemberByStringObject(tjs_uint32 flag, const tTJSString *membername,
                                                            const tTJSVariant *param, iTJSDispatch2 *objthis) = 0;
  // Calls callback->Object's CallMember once per member (see the engine).
  virtual tjs_error TJS_INTF_METHOD EnumerateMembers(tjs_uint32 flag, tTJSVariantClosure *callback,
                                                     iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD RemoveMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                                 iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD RemoveMemberByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD InvalidateMember(tjs_uint32 flag, const tjs_char *membername,
                                                     tjs_uint32 *hint, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD InvalidateMemberByNum(tjs_uint32 flag, tjs_int num,
                                                          iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CheckMemberValid(tjs_uint32 flag, const tjs_char *membername,
                                                     tjs_uint32 *hint, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CheckMemberValidByNum(tjs_uint32 flag, tjs_int num,
                                                          iTJSDispatch2 *objthis) = 0;
  // `result` receives a new object with one reference for the caller.
  virtual tjs_error TJS_INTF_METHOD CreateInstance(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                                   iTJSDispatch2 **result, tjs_int numparams,
                                                   tTJSVariant **param, iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CreateInstanceByNum(tjs_uint32 flag, tjs_int num, iTJSDispatch2 **result,
                                                        tjs_int numparams, tTJSVariant **param,
                                                        iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD SpareA() = 0;  // the engine's; unused
  // 1 (true) when the object is an instance of `classname`, 2 (false) if not.
  virtual tjs_error TJS_INTF_METHOD CheckInstanceOf(tjs_uint32 flag, const tjs_char *membername,
                                                    tjs_uint32 *hint, const tjs_char *classname,
                                                    iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD CheckInstanceOfByNum(tjs_uint32 flag, tjs_int num, const tjs_char *classname,
                                                         iTJSDispatch2 *objthis) = 0;
  // Read-modify-write with operator code (flag & 0x1f) and `param`.
  virtual tjs_error TJS_INTF_METHOD ApplyOperation(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                                   tTJSVariant *result, const tTJSVariant *param,
                                                   iTJSDispatch2 *objthis) = 0;
  virtual tjs_error TJS_INTF_METHOD ApplyOperationByNum(tjs_uint32 flag, tjs_int num, tTJSVariant *result,
                                                        const tTJSVariant *param, iTJSDispatch2 *objthis) = 0;
  // flag 2 (TJS_NIS_GETINSTANCE): read the native instance kept under
  // `classid` into *pointer; flag 1 (TJS_NIS_REGISTER): keep *pointer there.
  virtual tjs_error TJS_INTF_METHOD NativeInstanceAccess(tjs_uint32 flag, tjs_int32 classid,
                                                         iTJSNativeInstance **pointer) = 0;
  // The engine's own; plug-ins neither call nor implement them.
  virtual tjs_error TJS_INTF_METHOD ClassInstanceQuery(tjs_uint32 flag, const tjs_char *classname,
                                                       iTJSDispatch2 **result) = 0;
  virtual tjs_error TJS_INTF_METHOD SpareB() = 0;
  virtual tjs_error TJS_INTF_METHOD SpareC() = 0;

 protected:
  ~iTJSDispatch2() = default;  // objects die through Release
};

constexpr tjs_uint32 TJS_NIS_REGISTER = 1;
constexpr tjs_uint32 TJS_NIS_GETINSTANCE = 2;

// Member flags and enumeration flags that the plug-ins pass through.
constexpr tjs_uint32 TJS_MEMBERENSURE = 0x200;
constexpr tjs_uint32 TJS_IGNOREPROP = 0x800;
constexpr tjs_uint32 TJS_HIDDENMEMBER = 0x1000;
constexpr tjs_uint32 TJS_STATICMEMBER = 0x10000;
constexpr tjs_uint32 TJS_ENUM_NO_VALUE = 0x800;  // EnumerateMembers flag

// ---------------------------------------------------------------------------
// iTJSNativeInstance: the native data the engine keeps with a script object.
// ---------------------------------------------------------------------------
class iTJSNativeInstance {
 public:
  // Construction arguments of the script object; returns a result code.
  virtual tjs_error TJS_INTF_METHOD OnConstruct(tjs_int numparams, tTJSVariant **param,
                                                iTJSDispatch2 *objthis) = 0;
  virtual void TJS_INTF_METHOD OnInvalidate() = 0;  // the object is invalidated
  virtual void TJS_INTF_METHOD OnDestruct() = 0;    // the engine is done with it

 protected:
  ~iTJSNativeInstance() = default;
};

// ---------------------------------------------------------------------------
// Native classes. A class object made for a plug-in is at once a dispatch
// object (tTJSNativeClass derives from iTJSDispatch2) and a native class.
// ---------------------------------------------------------------------------
class tTJSNativeClass : public iTJSDispatch2 {
 protected:
  ~tTJSNativeClass() = default;
};
class tTJSNativeClassForPlugin : public tTJSNativeClass {
 protected:
  ~tTJSNativeClassForPlugin() = default;
};
class tTJSNativeClassMethod : public iTJSDispatch2 {
 protected:
  ~tTJSNativeClassMethod() = default;
};

// Factory of the native instance of each new script object of a class.
typedef iTJSNativeInstance *(TJS_ENGINE_CALL *tTJSCreateNativeInstance)();
// Native method: (result, numparams, param, objthis) -> result code.
typedef tjs_error(TJS_ENGINE_CALL *tTJSNativeClassMethodCallback)(tTJSVariant *result, tjs_int numparams,
                                                                 tTJSVariant **param, iTJSDispatch2 *objthis);
// Member kind passed to TJSNativeClassRegisterNCM (1: method).
typedef tjs_int32 tTJSNativeInstanceType;
constexpr tTJSNativeInstanceType nitMethod = 1;

// ---------------------------------------------------------------------------
// iTVPFunctionExporter: hands engine functions to a plug-in by signature.
// ---------------------------------------------------------------------------
class iTVPFunctionExporter {
 public:
  // The engine's; never called by the plug-ins (wide-character names).
  virtual bool TJS_INTF_METHOD LookUpByNames(const tjs_char **names, void **functions, tjs_uint count) = 0;
  // Fills functions[i] for the narrow signature names[i]; true when all found.
  virtual bool TJS_INTF_METHOD LookUpByNarrowNames(const tjs_nchar **names, void **functions,
                                                   tjs_uint count) = 0;

 protected:
  ~iTVPFunctionExporter() = default;
};

// Exported entries of a plug-in. The plug-in's own entries return S_OK (0)
// or E_FAIL (0x80004005).
extern "C" {
typedef tjs_hresult(TJS_ENGINE_CALL *tTVPV2LinkProc)(iTVPFunctionExporter *exporter);
typedef tjs_hresult(TJS_ENGINE_CALL *tTVPV2UnlinkProc)();
}

// ---------------------------------------------------------------------------
// Engine functions (free functions). Defined by the engine; forwarded by
// hostlink/ in the plug-ins. Each raises engine exceptions as the engine does.
// ---------------------------------------------------------------------------
tTJSString operator+(const tjs_char *lhs, const tTJSString &rhs);
// Applies operator `op` (1..16) to `target` with `operand` (null allowed for
// 15 and 16).
void TJSDoVariantOperation(tjs_int op, tTJSVariant &target, const tTJSVariant *operand);
tjs_char *TJS_int_to_str(tjs_int value, tjs_char *buffer);  // needs 34 units
tjs_int TJS_stricmp(const tjs_char *a, const tjs_char *b);  // 0: equal ignoring case
iTJSDispatch2 *TVPGetScriptDispatch();  // the global object, with a reference
// New dictionary with one reference for the caller; `classout` may be null.
iTJSDispatch2 *TJSCreateDictionaryObject(iTJSDispatch2 **classout);
bool TVPRegisterGlobalObject(const tjs_char *name, iTJSDispatch2 *object);
bool TVPRemoveGlobalObject(const tjs_char *name);
void TVPAddImportantLog(const ttstr &line);
[[noreturn]] void TVPThrowExceptionMessage(const tjs_char *message);
// Raises `message` with "%1" replaced by `arg`.
[[noreturn]] void TVPThrowExceptionMessage(const tjs_char *message, const ttstr &arg);
[[noreturn]] void TVPThrowPluginUnboundFunctionError(const char *signature);

tTJSNativeClassForPlugin *TJSCreateNativeClassForPlugin(const ttstr &name, tTJSCreateNativeInstance factory);
tjs_int32 TJSRegisterNativeClass(const tjs_char *name);
void TJSNativeClassSetClassID(tTJSNativeClass *cls, tjs_int32 classid);
tjs_int32 TJSFindNativeClassID(const tjs_char *name);  // negative: none
tTJSNativeClassMethod *TJSCreateNativeClassMethod(tTJSNativeClassMethodCallback callback);
tTJSNativeClassMethod *TJSCreateNativeClassConstructor(tTJSNativeClassMethodCallback callback);
void TJSNativeClassRegisterNCM(tTJSNativeClass *cls, const tjs_char *name, iTJSDispatch2 *member,
                               const tjs_char *classname, tTJSNativeInstanceType type, tjs_uint32 flags);
