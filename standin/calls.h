// calls.h — what the stand-in engine knows about the calls plug-ins make.
//
// Every engine function handed out through the exporter and every operation
// of an engine object starts with STANDIN_ENGINE_CALL. It tells calls made
// from a loaded plug-in's code (by the return address, against the code
// ranges of the modules PluginModule loaded) from the engine's own calls and
// the tests' calls, which stand for script code. For plug-in calls only:
//   * they are counted, by name, in the order made;
//   * when a fault is planned, the k-th plug-in call that may raise raises
//     the injected engine error instead of doing its work;
//   * the strict argument checks of the engine apply (a plug-in fault is a
//     contract violation; a test's own call is script code, which the
//     engine answers as it would a script).
//
// Contract violations are recorded (and echoed to standard error) rather
// than only raised: a plug-in may swallow an engine error, never the record.
// testing_support::EngineTest fails every test that leaves one behind.
#pragma once

#include <string>
#include <vector>

namespace standin {

// ----- plug-in code ----------------------------------------------------------
// The code of the module loaded at `handle` counts as plug-in code until
// removed. `anyAddress` is an address inside the module (an entry point).
void AddPluginCode(const void *anyAddress);
void RemovePluginCode(const void *anyAddress);
bool IsPluginCode(const void *address);

// ----- counting and planned faults -------------------------------------------
// Whether an engine call may raise an engine error in this engine's contract.
// Calls that neither allocate, convert nor run script code never raise:
// destructors and Clear of strings and values, AddRef and Release (they run
// in the callers' destructors and while an error unwinds), and the plain
// accessors (c_str, IsEmpty, string ==, Type, AsObjectNoAddRef, GetString).
// Everything else may raise: constructors, assignments, conversions, member
// operations of engine objects, and every other engine function. Look-ups
// through the exporter fail by their answer only (the withheld signatures).
enum class CallKind { MayRaise, NeverRaises };

// Starts a fresh count of plug-in calls; ends any planned fault.
void StartCountingCalls();
void StopCountingCalls();
// Plug-in calls since StartCountingCalls, all kinds, and those that may raise.
long PluginCalls();
long RaisablePluginCalls();
// Names of the raisable plug-in calls, in order (the k-th is Names[k-1]).
const std::vector<std::string> &RaisableCallNames();
// From now on, the `k`-th raisable plug-in call (1-based, counted from the
// last StartCountingCalls) raises InjectedFaultMessage(k) instead of running.
void PlanFaultAt(long k);
// Whether the planned fault has been raised, and whether the engine caught
// it itself (in a try block it runs for the plug-in).
bool PlannedFaultRaised();
bool PlannedFaultCaughtByEngine();
// The text of the injected error for call k.
std::u16string InjectedFaultMessage(long k);
// Engine code that catches engine errors on a plug-in's behalf reports each
// caught message here, so that an injected error caught there counts as
// having reached its caller.
void NoteEngineCaughtError(const std::u16string &message);

// ----- contract violations ----------------------------------------------------
void ReportViolation(const std::string &message);
// Violations since the last call, oldest first; the record is emptied.
std::vector<std::string> TakeViolations();

// The entry check of an engine call; returns whether the call comes from a
// plug-in. Raises the injected engine error when this is the planned call.
bool EnterEngineCall(const void *returnAddress, const char *name, CallKind kind);

}  // namespace standin

#define STANDIN_ENGINE_CALL(name) \
  ::standin::EnterEngineCall(__builtin_return_address(0), name, ::standin::CallKind::MayRaise)
#define STANDIN_SAFE_ENGINE_CALL(name) \
  ::standin::EnterEngineCall(__builtin_return_address(0), name, ::standin::CallKind::NeverRaises)
