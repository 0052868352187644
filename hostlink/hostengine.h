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
//     first (see the section "Legacy generation" at the end).
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
  [[maybe_unused]] void *Storage_;  // engine-owned representation (plug-ins never read it)
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
  [[maybe_unused]] alignas(8) unsigned char Storage_[TJS_VARIANT_STORAGE];
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

// ---------------------------------------------------------------------------
// Storage
// ---------------------------------------------------------------------------
// A storage media serves the storages under one media name. The engine hands
// a media names relative to its prefix (what follows "MEDIA://" in the
// stand-in engine); TVPExtractStoragePath and TVPExtractStorageName split any
// such name at its last '/' (the folder part keeps the '/').

// The engine's stream object. Opaque to plug-ins: they only pass it on. A
// stream returned to the engine is owned by the engine.
class tTJSBinaryStream;

// Access flags of TVPCreateIStream and iTVPStorageMedia::OpenStream.
constexpr tjs_uint32 TJS_BS_READ = 0;
constexpr tjs_uint32 TJS_BS_WRITE = 1;
constexpr tjs_uint32 TJS_BS_APPEND = 2;
constexpr tjs_uint32 TJS_BS_UPDATE = 3;
constexpr tjs_uint32 TJS_BS_ACCESS_MASK = 0x0f;

#if defined(_WIN32)
#include <objidl.h>  // the platform's COM IStream
typedef IID tTVPInterfaceId;
#else
// The COM-style stream the engine hands out, as far as the plug-ins and the
// stand-in engine use it: the three reference operations, then Read, Write
// and Seek, in the order of the platform's IStream (its table starts the
// same way). Results are COM result codes: 0 (S_OK) succeeds, 1 (S_FALSE)
// succeeds partly, negative values fail.
struct tTVPInterfaceId {
  tjs_uint32 Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
class IStream {
 public:
  // Stores this object, with a reference, in *object when it implements
  // `iid`; otherwise stores null and answers E_NOINTERFACE.
  virtual tjs_hresult TJS_INTF_METHOD QueryInterface(const tTVPInterfaceId &iid, void **object) = 0;
  virtual tjs_uint32 TJS_INTF_METHOD AddRef() = 0;   // returns the new count
  virtual tjs_uint32 TJS_INTF_METHOD Release() = 0;  // returns the new count
  // Reads up to `size` bytes; *done (may be null) receives the count read.
  virtual tjs_hresult TJS_INTF_METHOD Read(void *buffer, tjs_uint32 size, tjs_uint32 *done) = 0;
  virtual tjs_hresult TJS_INTF_METHOD Write(const void *buffer, tjs_uint32 size, tjs_uint32 *done) = 0;
  // origin: 0 from the start, 1 from the current position, 2 from the end;
  // *position (may be null) receives the new position.
  virtual tjs_hresult TJS_INTF_METHOD Seek(tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position) = 0;

 protected:
  ~IStream() = default;  // streams die through Release
};
#endif

// The engine's receiver of folder entries (iTVPStorageMedia::ListFolder).
// Not reference-counted: it lives for the one listing call.
class iTVPStorageLister {
 public:
  virtual void TJS_INTF_METHOD AddEntry(const ttstr &name) = 0;  // a file name, without folder

 protected:
  ~iTVPStorageLister() = default;
};

// A storage media, registered with TVPRegisterStorageMedia. Names are those
// the engine hands over (see above). The engine holds a reference while the
// media is registered.
class iTVPStorageMedia {
 public:
  virtual void TJS_INTF_METHOD AddRef() = 0;
  virtual void TJS_INTF_METHOD Release() = 0;
  virtual void TJS_INTF_METHOD GetMediaName(ttstr &name) = 0;  // out: the prefix, e.g. "proxy"
  virtual void TJS_INTF_METHOD NormalizeDomain(ttstr &name) = 0;  // in/out
  virtual void TJS_INTF_METHOD NormalizePath(ttstr &name) = 0;    // in/out
  virtual bool TJS_INTF_METHOD StorageExists(const ttstr &name) = 0;
  // A new stream the caller owns; raises an engine error when it cannot open.
  virtual tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &name, tjs_uint32 flags) = 0;
  // Calls lister->AddEntry once per storage in the folder `name`.
  virtual void TJS_INTF_METHOD ListFolder(const ttstr &name, iTVPStorageLister *lister) = 0;
  // Rewrites `name` as a local file name, or as "" when there is none.
  virtual void TJS_INTF_METHOD ToLocalName(ttstr &name) = 0;
  virtual ~iTVPStorageMedia() = default;
};

// What TVPDoTryBlock tells its catch step about the engine error it caught.
struct tTVPExceptionDesc {
  const tjs_char *Message;  // the error's message; borrowed, valid during the catch call
};
// The steps of TVPDoTryBlock; each gets the data pointer given to it.
typedef void(TJS_ENGINE_CALL *tTVPTryBlockFunction)(void *data);
// Answers true to let the error go on, false to end it there.
typedef bool(TJS_ENGINE_CALL *tTVPCatchBlockFunction)(void *data, const tTVPExceptionDesc &error);
typedef void(TJS_ENGINE_CALL *tTVPFinallyBlockFunction)(void *data);

// The engine holds a reference to a registered media until it is unregistered.
void TVPRegisterStorageMedia(iTVPStorageMedia *media);
void TVPUnregisterStorageMedia(iTVPStorageMedia *media);
ttstr TVPExtractStorageName(const ttstr &name);  // the part after the last '/'
ttstr TVPExtractStoragePath(const ttstr &name);  // up to and including the last '/'
// Rewrites a full storage name as a local file name; raises when there is none.
void TVPGetLocalName(ttstr &name);
// Opens a full storage name; a new stream with one reference for the caller,
// or null. Errors of the media pass as engine errors.
IStream *TVPCreateIStream(const ttstr &name, tjs_uint32 flags);
// Wraps `stream` (taking its own reference) as an engine stream the caller
// owns, or null.
tTJSBinaryStream *TVPCreateBinaryStreamAdapter(IStream *stream);
// Runs try_(data); on an engine error runs catch_(data, error) (null: the
// error goes on) and lets the error go on when it answers true; then runs
// finally_(data) (may be null) on every exit.
void TVPDoTryBlock(tTVPTryBlockFunction try_, tTVPCatchBlockFunction catch_, tTVPFinallyBlockFunction finally_,
                   void *data);

// ---------------------------------------------------------------------------
// Sound: the wave format record, the wave filter and sample source interfaces
// through which the engine's sound buffers pull sample blocks, and the
// engine's PCM converter. (How the legacy generation calls filters and
// sources: section "Legacy generation" below.)
// ---------------------------------------------------------------------------

// The engine's format record: 40 bytes, little-endian, copied as a whole.
// Only the named fields are interpreted; the opaque bytes are the engine's
// and are carried along unchanged by every copy.
struct tTVPWaveFormat {
  tjs_uint32 SamplesPerSec;    // frames per second
  tjs_uint32 Channels;         // samples per frame, interleaved
  tjs_uint32 BitsPerSample;    // significant bits of a sample
  tjs_uint32 BytesPerSample;   // storage bytes of a sample
  unsigned char Opaque1[20];   // the engine's; not interpreted
  unsigned char IsFloat;       // non-zero: samples are 32-bit IEEE floats
  unsigned char Opaque2[3];    // the engine's; not interpreted
};
static_assert(sizeof(tTVPWaveFormat) == 40, "tTVPWaveFormat is 40 bytes");
static_assert(offsetof(tTVPWaveFormat, SamplesPerSec) == 0, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, Channels) == 4, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, BitsPerSample) == 8, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, BytesPerSample) == 12, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, Opaque1) == 16, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, IsFloat) == 36, "tTVPWaveFormat layout");
static_assert(offsetof(tTVPWaveFormat, Opaque2) == 37, "tTVPWaveFormat layout");

// The engine's label information for a block. Opaque to the plug-ins: they
// receive it by reference and pass it on to their upstream untouched.
class tTVPWaveLabels;

// A sample source: what a sound buffer (or a filter) pulls blocks from.
// Three operations in this order; the engine never deletes a source through
// this interface.
class tTVPSampleAndLabelSource {
 public:
  // Writes up to `frames` frames in this source's own format to `dest` and
  // sets `rendered` to the frames produced (fewer than asked: the stream ended).
  virtual void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered,
                                      tTVPWaveLabels &labels) = 0;
  // The format of the frames Decode produces; valid while the source lives.
  virtual const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() = 0;
  // The engine's notification; no arguments, no result.
  virtual void TJS_INTF_METHOD Notify() = 0;

 protected:
  ~tTVPSampleAndLabelSource() = default;
};

// A wave filter: inserted by the engine into a sound buffer's source chain.
class iTVPBasicWaveFilter {
 public:
  // Takes the upstream (borrowed) and returns the source the engine is to
  // read from from now on.
  virtual tTVPSampleAndLabelSource *TJS_INTF_METHOD AttachSource(tTVPSampleAndLabelSource *source) = 0;
  virtual void TJS_INTF_METHOD DetachSource() = 0;  // forget the upstream
  virtual void TJS_INTF_METHOD Refresh() = 0;       // the engine's; filters may ignore it
  virtual void TJS_INTF_METHOD ResetState() = 0;    // drop all signal memory
  virtual ~iTVPBasicWaveFilter() = default;         // slot 5: destroys the filter
};

// Converts `frames` frames of `src` in `format` (integer PCM or float) to
// interleaved 32-bit floats in `dest` (format.Channels per frame), full scale
// at +-1.0. Raises an engine exception for a format it cannot convert.
void TVPConvertPCMToFloat(float *dest, const void *src, const tTVPWaveFormat &format, tjs_int frames);

// ---------------------------------------------------------------------------
// Legacy generation
// ---------------------------------------------------------------------------
// The engine exists in two generations. The current one calls filters and
// sources through the virtual operations above. The legacy one makes no
// virtual calls on them; it uses this binary convention instead:
//
//   * A legacy object is a plain struct whose first field points to a table
//     of functions declared with TJS_LEGACY_CALL. Every entry takes the
//     object itself first, then the arguments of the current generation's
//     operation of the same slot, in the same order; an argument passed by
//     reference there travels as a pointer here, and a reference result comes
//     back as a pointer.
//   * A filter's table has four entries: AttachSource, DetachSource, Refresh,
//     ResetState (the slots of iTVPBasicWaveFilter without its destructor:
//     the engine never destroys a filter).
//   * A source's table has four entries: Decode, GetFormat and two entries
//     without arguments that do nothing.
//   * The engine never frees a legacy object and never copies its table.
//
// Which generation a module runs in is told by two native class ids the
// legacy engine registers before any plug-in links: "CDDASoundBuffer" has
// id 9 and "MIDISoundBuffer" id 10. An engine without "CDDASoundBuffer", or
// with other ids, is the current generation.
//
// A script hands a filter to the engine as the integer value of the effect
// object's `interface` property: the address of the filter as an
// iTVPBasicWaveFilter (current generation) or of its legacy filter object
// (legacy generation), as a signed pointer-sized integer widened to 64 bits.
// On 64-bit builds that is the whole address; on 32-bit builds it is the
// address read as a signed 32-bit integer and sign-extended, so addresses at
// or above 2 GiB give negative values, and converting the value back to a
// pointer-sized integer restores the address exactly.

struct tTVPLegacySampleSource;
struct tTVPLegacyWaveFilter;

struct tTVPLegacySampleSourceEntries {
  // Decode(self, dest, frames, &rendered, &labels): as tTVPSampleAndLabelSource::Decode.
  void(TJS_LEGACY_CALL *Decode)(tTVPLegacySampleSource *self, void *dest, tjs_uint32 frames, tjs_uint32 *rendered,
                                tTVPWaveLabels *labels);
  // GetFormat(self): the source's format record, valid while the source lives.
  const tTVPWaveFormat *(TJS_LEGACY_CALL *GetFormat)(tTVPLegacySampleSource *self);
  void(TJS_LEGACY_CALL *Spare3)(tTVPLegacySampleSource *self);  // does nothing
  void(TJS_LEGACY_CALL *Spare4)(tTVPLegacySampleSource *self);  // does nothing
};

// A legacy sample source; implementations put their own fields after Entries.
struct tTVPLegacySampleSource {
  const tTVPLegacySampleSourceEntries *Entries;
};

struct tTVPLegacyWaveFilterEntries {
  // AttachSource(self, upstream): the source the engine reads from from now on.
  tTVPLegacySampleSource *(TJS_LEGACY_CALL *AttachSource)(tTVPLegacyWaveFilter *self,
                                                          tTVPLegacySampleSource *upstream);
  void(TJS_LEGACY_CALL *DetachSource)(tTVPLegacyWaveFilter *self);
  void(TJS_LEGACY_CALL *Refresh)(tTVPLegacyWaveFilter *self);
  void(TJS_LEGACY_CALL *ResetState)(tTVPLegacyWaveFilter *self);
};

// A legacy wave filter; implementations put their own fields after Entries.
struct tTVPLegacyWaveFilter {
  const tTVPLegacyWaveFilterEntries *Entries;
};

// Native class ids by which a legacy engine is recognised.
constexpr tjs_int32 TVP_LEGACY_CDDA_CLASSID = 9;   // "CDDASoundBuffer"
constexpr tjs_int32 TVP_LEGACY_MIDI_CLASSID = 10;  // "MIDISoundBuffer"
