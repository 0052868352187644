// hostlink.h — the binding layer shared by both plug-ins: the exported link
// entries, the lazily filled table of engine functions and the reference
// total that decides whether a plug-in may be unlinked.
//
// Every symbol here has hidden visibility: each plug-in has its own copy of
// all state. Nothing is synchronised (the engine links, unlinks and counts
// references on its script thread).
#pragma once

#include "hostengine.h"

// Identifiers of the engine functions, one per line of host_functions.def.
enum class HostFn : unsigned {
#define HOST_FUNCTION(Id, Signature) Id,
#include "host_functions.def"
#undef HOST_FUNCTION
  Count
};

constexpr unsigned kHostFunctionCount = static_cast<unsigned>(HostFn::Count);

// The exporter handed to the last V2Link; never cleared. Borrowed from the engine.
extern iTVPFunctionExporter *FunctionExporter;
// One slot per engine function, null until first used; never reset.
extern void *HostFunctionTable[kHostFunctionCount];
// Signature string of each slot, character for character as the engine publishes it.
extern const char *const HostFunctionSignatures[kHostFunctionCount];
// References held on this plug-in's tTJSDispatch objects (see tTJSDispatch).
extern tjs_int32 PluginRefTotal;
// PluginRefTotal as recorded at the end of the last successful V2Link.
extern tjs_int32 RefTotalAtLink;

// Looks the engine function up by signature. Never returns null: when the
// engine lacks it, the engine's unbound-function error is raised (an engine
// exception); when the engine lacks that too, the process stops with a
// message naming the signature.
void *ResolveHostFunction(const char *signature);

// The slot of `id`, resolved on first use. One load and one test once filled.
inline void *HostFunctionSlot(HostFn id) {
  void *&slot = HostFunctionTable[static_cast<unsigned>(id)];
  if (slot == nullptr) slot = ResolveHostFunction(HostFunctionSignatures[static_cast<unsigned>(id)]);
  return slot;
}

// Typed access to an engine function: HostCall<void (TJS_ENGINE_CALL *)(...)>(HostFn::X)(args).
template <class Fn>
inline Fn HostCall(HostFn id) {
  return reinterpret_cast<Fn>(HostFunctionSlot(id));
}

// Engine errors in destructors. A destructor must not let an engine error
// leave it (the process would end), yet the error must not vanish either:
// the destructor keeps it here (the first one while none is pending) and
// V2Unlink passes it on to the engine: one kept before the call refuses
// that unlink with nothing touched (a later V2Unlink tries again), one kept
// during the unlink step goes on once the step is over. Call from a catch
// block.
void KeepEngineErrorFromDestructor() noexcept;
// Raises the kept engine error, forgetting it; does nothing without one.
void RaisePendingEngineError();

// Supplied by each plug-in. PluginLink returns true when everything it offers
// is registered; PluginUnlink undoes it and returns false when a removal was
// refused (a plug-in whose unlink always completes returns true).
bool PluginLink();
bool PluginUnlink();

// V2Link resolves, before the plug-in's own link step, the engine functions
// that destructors call (the string and variant destructors), so that no
// destructor ever meets a missing engine function: an engine without them
// gets the unbound-function error from V2Link instead.
//
// The exported entries. On Windows the module-definition file
// cmake/plugin_exports.def exports each under its plain and its decorated
// name (V2Link and _V2Link@4, V2Unlink and _V2Unlink@0), both leading to the
// same code; no dllexport here, or the linker would add a third name.
extern "C" {
#if defined(_WIN32)
tjs_hresult TJS_ENGINE_CALL V2Link(iTVPFunctionExporter *exporter);
tjs_hresult TJS_ENGINE_CALL V2Unlink();
#else
__attribute__((visibility("default"))) tjs_hresult V2Link(iTVPFunctionExporter *exporter);
__attribute__((visibility("default"))) tjs_hresult V2Unlink();
#endif
}
