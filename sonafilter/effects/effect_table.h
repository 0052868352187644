// effect_table.h — the one list of sonafilter's effects: for each script
// class its name, native class, constructor and members (methods with their
// arguments, properties with their types), each parameter's default, unit
// and useful range, and a one-line example.
//
// The plug-in's link step declares the classes in this order through each
// entry's Declare hook; plughost's `list`, the validator sweep, the decode
// fuzz target and the benchmarks read the descriptions. Adding an effect
// takes one DSP unit, one script-class unit (with its Declare hook) and one
// entry in effect_table.cpp.
//
// Everything here is plain data: no engine type and no engine call, so that
// tools and tests link the table without the plug-in. Only the plug-in's own
// build of effect_table.cpp (SONAFILTER_DECLARES_EFFECTS) fills the Declare
// hooks; elsewhere they are null.
#pragma once

#include <cstddef>

#include "binder/bind_util_fwd.h"

namespace effects {

// A read-only view of a constant array.
template <class T>
struct List {
  const T *Items = nullptr;
  size_t Count = 0;
  constexpr List() = default;
  template <size_t N>
  constexpr List(const T (&items)[N]) : Items(items), Count(N) {}
  constexpr const T *begin() const { return Items; }
  constexpr const T *end() const { return Items + Count; }
  constexpr bool empty() const { return Count == 0; }
};

enum class ValueType { Integer, Real, Boolean };

// What a parameter means to the framework around the effect.
enum class ParameterRole {
  Plain,   // an effect setting
  TailMs,  // the tail length in milliseconds, read at the next attach
  Index,   // selects which of several settings a call addresses
};

struct ParameterDescription {
  const char *Name;
  ValueType Type;
  double Default;
  const char *Unit;        // "ms", "linear gain", ... ("" when none)
  double UsefulMin;        // the range where the effect sounds as meant
  double UsefulMax;
  const char *Meaning;     // one line
  ParameterRole Role = ParameterRole::Plain;
  // Values outside the useful range that a script can still pass and that
  // the effect must survive (the validator sweep tries them). All finite.
  List<double> Outside = {};
};

enum class MemberKind {
  ReadOnlyProperty,  // a getter only
  Property,          // read and written; Parameters holds the one value
  Method,            // called with Parameters; changes the effect
  QueryMethod,       // called with Parameters; answers, changes nothing
};

struct MemberDescription {
  const char *Name;
  MemberKind Kind;
  const char *Signature;   // as a script writes it: "setGain(band, gain)"
  const char *Meaning;     // one line
  List<ParameterDescription> Parameters = {};
  size_t Required = 0;     // arguments below which a method does nothing or fails
};

// Binds the class and its members on a binder whose target is the parent
// class (the plug-in's link step owns the binder and reads its verdict).
using DeclareHook = void (*)(SimpleBinder::BindUtil &bind);

struct EffectDescription {
  const char *ScriptClass;   // the member name under WaveSoundBuffer
  const char *NativeClass;   // the C++ class behind it
  const char *Summary;       // one line
  const char *Constructor;   // as a script writes it, optional arguments in []
  List<ParameterDescription> ConstructorParameters;  // in argument order
  List<MemberDescription> Members;                   // in declaration order
  unsigned DefaultTailMs;    // tail of a new object
  bool StereoOutput;         // true: the output is stereo whatever the input
  const char *Example;       // one effect expression, e.g. for plughost render
  DeclareHook Declare;       // null outside the plug-in
};

// The effects in declaration order.
extern const List<EffectDescription> kEffectTable;

// The entry whose script class is `name`, or null.
const EffectDescription *FindEffect(const char *name);
// The member of `effect` called `name`, or null.
const MemberDescription *FindMember(const EffectDescription &effect, const char *name);

}  // namespace effects
