// engine.h — the stand-in host engine: a small engine written from what the
// plug-ins expect of the real one, for tests, tools and benchmarks.
//
// The plug-ins never link against this library; they reach it only through
// the function exporter handed to V2Link. Code that links it (tests, tools)
// uses the engine types of hostlink/hostengine.h directly, with the engine's
// own implementations, plus the helpers below.
//
// One Engine exists at a time; the engine's free functions work on it.
// Nothing is synchronised.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hostengine.h"

namespace standin {

// ----- text ----------------------------------------------------------------
std::u16string U16(std::string_view utf8);
std::string Utf8(std::u16string_view text);
std::string Utf8(const tjs_char *text);  // null gives ""

// ----- engine exceptions ---------------------------------------------------
// Raised by TVPThrowExceptionMessage and every other engine error; it unwinds
// through plug-in frames to whoever called into the engine or the plug-in.
class EngineError : public std::runtime_error {
 public:
  explicit EngineError(std::u16string message);
  const std::u16string &Message() const { return Message_; }

 private:
  std::u16string Message_;
};

// ----- live engine objects -------------------------------------------------
// Counts of engine-made objects and string bodies alive right now, so tests
// can prove that a scenario released everything it took.
struct LiveCounts {
  long Objects = 0;  // engine dispatch objects (dictionaries, classes, ...)
  long Strings = 0;  // string bodies
  bool operator==(const LiveCounts &o) const { return Objects == o.Objects && Strings == o.Strings; }
};
LiveCounts Live();
void CountObject(int delta);  // for engine object classes
void CountString(int delta);

// ----- values ----------------------------------------------------------------
tTJSVariant VariantOf(tTVInteger value);
tTJSVariant VariantOf(double value);
tTJSVariant VariantOf(bool value);
tTJSVariant VariantOf(std::string_view utf8);  // a string value
tTJSVariant VariantOfString(const tTJSString &text);
tTJSVariant VariantOf(const char *utf8);
std::string ToUtf8(const tTJSString &text);
// Engine text of any value: strings as they are, numbers in decimal, void "".
std::string ToUtf8(const tTJSVariant &value);
tTJSVariantType TypeOf(const tTJSVariant &value);
// The closure context (objthis) a variant carries, null for none.
iTJSDispatch2 *ClosureThisOf(const tTJSVariant &value);

// ----- function exporter -----------------------------------------------------
class Exporter : public iTVPFunctionExporter {
 public:
  Exporter();
  virtual ~Exporter() = default;
  bool TJS_INTF_METHOD LookUpByNames(const tjs_char **names, void **functions, tjs_uint count) override;
  bool TJS_INTF_METHOD LookUpByNarrowNames(const tjs_nchar **names, void **functions, tjs_uint count) override;

  void Add(const std::string &signature, void *function);
  // Adds an engine function (a plain TJS_ENGINE_CALL function) under its signature.
  template <class Function>
  void Add(const std::string &signature, Function *function) {
    Add(signature, reinterpret_cast<void *>(function));
  }
  bool Has(const std::string &signature) const { return Functions_.count(signature) != 0; }
  // A withheld signature is answered as unknown until allowed again.
  void Withhold(const std::string &signature, bool withheld = true);
  // Look-ups of `signature` since construction (found or not).
  int LookUps(const std::string &signature) const;
  int TotalLookUps() const;
  // Every signature looked up since construction, once, in the order first asked for.
  const std::vector<std::string> &LookUpOrder() const { return LookUpOrder_; }
  std::vector<std::string> Signatures() const;

 private:
  std::map<std::string, void *> Functions_;
  std::map<std::string, int> LookUps_;
  std::vector<std::string> LookUpOrder_;
  std::set<std::string> Withheld_;
};

// Registration of each engine module's functions with the exporter.
void RegisterCoreFunctions(Exporter &exporter);
void RegisterNativeClassFunctions(Exporter &exporter);
void RegisterStorageFunctions(Exporter &exporter);
void RegisterSoundFunctions(Exporter &exporter);

// ----- readings of the contract ----------------------------------------------
// Where the engine's contract leaves a behaviour open, the stand-in takes by
// default the reading that is harder on a plug-in; a test may select the
// other one on the engine it made (Engine::Readings()).
struct HostReadings {
  // EnumerateMembers holds its own reference on the callback's object and
  // context for the walk (false: it uses them borrowed).
  bool ReferenceEnumerationCallback = true;
  // EnumerateMembers goes on only while the callback answers true; a void
  // answer stops it (false: void means "go on").
  bool EnumerationNeedsTrue = true;
  // At engine teardown the global object (and every global name) goes before
  // the registered storage media are released, so a media's last release
  // meets an engine without globals (false: media first).
  bool GlobalsBeforeMedia = true;
  // TVPRemoveGlobalObject answers true when it removed the name (false: it
  // always answers false).
  bool RemoveGlobalAnswersTrue = true;
};

// The hash this engine stores in a member-name hint (never 0).
tjs_uint32 MemberNameHash(const tjs_char *name);

// ----- the engine --------------------------------------------------------------
class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // The live engine; raises std::logic_error when there is none.
  static Engine &Current();
  static bool Exists();

  Exporter &GetExporter() { return Exporter_; }
  HostReadings &Readings() { return Readings_; }
  // The global object, borrowed (no reference).
  iTJSDispatch2 *Global() const { return Global_; }

  // The important log: one entry per TVPAddImportantLog call, as UTF-8.
  const std::vector<std::string> &Log() const { return Log_; }
  void ClearLog() { Log_.clear(); }
  void AddLog(const std::string &line);
  // Echo every new log line to `out` (null: stop echoing).
  void EchoLog(std::ostream *out) { Echo_ = out; }

  // Per-module engine state; each module keeps its own under a key.
  struct ModuleState {
    virtual ~ModuleState() = default;
  };
  template <class T>
  T &State() {
    auto &slot = States_[&T::Key];
    if (!slot) slot = std::make_unique<T>();
    return static_cast<T &>(*slot);
  }

 private:
  void ReleaseGlobal();

  Exporter Exporter_;
  HostReadings Readings_;
  iTJSDispatch2 *Global_ = nullptr;
  std::vector<std::string> Log_;
  std::ostream *Echo_ = nullptr;
  std::map<const void *, std::unique_ptr<ModuleState>> States_;
};

// ----- plug-in loader --------------------------------------------------------
// Opens a plug-in file (dlopen / LoadLibrary) and calls its entries.
class PluginModule {
 public:
  explicit PluginModule(const std::string &path);  // raises std::runtime_error
  ~PluginModule();
  PluginModule(const PluginModule &) = delete;
  PluginModule &operator=(const PluginModule &) = delete;

  tjs_hresult Link(Engine &engine);  // V2Link with the engine's exporter
  tjs_hresult Unlink();              // V2Unlink
  void *Symbol(const char *name) const;  // null when not exported
  const std::string &Path() const { return Path_; }

 private:
  std::string Path_;
  void *Handle_ = nullptr;
  tTVPV2LinkProc Link_ = nullptr;
  tTVPV2UnlinkProc Unlink_ = nullptr;
};

}  // namespace standin
