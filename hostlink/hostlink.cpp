// hostlink.cpp — V2Link / V2Unlink and the engine function resolver.
#include "hostlink.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

// 32-bit Windows builds compute in SSE2 registers, not on the x87 stack (see
// cmake/toolchain-mingw-i686.cmake): same rounding as the 64-bit builds.
#if defined(_WIN32) && !defined(_WIN64) && defined(__GNUC__) && !defined(__SSE2_MATH__)
#error "32-bit Windows plug-ins are built with -msse2 -mfpmath=sse"
#endif

iTVPFunctionExporter *FunctionExporter = nullptr;
void *HostFunctionTable[kHostFunctionCount] = {};
const char *const HostFunctionSignatures[kHostFunctionCount] = {
#define HOST_FUNCTION(Id, Signature) Signature,
#include "host_functions.def"
#undef HOST_FUNCTION
};
tjs_int32 PluginRefTotal = 0;
tjs_int32 RefTotalAtLink = 0;

namespace {

constexpr const char *kUnboundFunctionError = "void ::TVPThrowPluginUnboundFunctionError(const char *)";

void *LookUp(const char *signature) {
  if (FunctionExporter == nullptr) return nullptr;
  const tjs_nchar *names[1] = {signature};
  void *functions[1] = {nullptr};
  if (!FunctionExporter->LookUpByNarrowNames(names, functions, 1)) return nullptr;
  return functions[0];
}

// Neither the function nor the engine's error for it exists: nothing sensible
// can follow, since every caller needs a usable pointer.
[[noreturn]] void AbortUnbound(const char *signature) {
  std::fprintf(stderr, "plug-in: the engine offers neither \"%s\" nor \"%s\"; stopping.\n", signature,
               kUnboundFunctionError);
  std::fflush(stderr);
  std::abort();
}

// The first engine error a destructor kept, until V2Unlink passes it on.
std::exception_ptr PendingEngineError;

// Fills the slots of the engine functions that destructors call.
void ResolveDestructorFunctions() {
  HostFunctionSlot(HostFn::String_dtor);
  HostFunctionSlot(HostFn::Variant_dtor);
}

}  // namespace

void KeepEngineErrorFromDestructor() noexcept {
  if (!PendingEngineError) PendingEngineError = std::current_exception();
}

void RaisePendingEngineError() {
  if (!PendingEngineError) return;
  std::exception_ptr error = PendingEngineError;
  PendingEngineError = nullptr;
  std::rethrow_exception(error);
}

void *ResolveHostFunction(const char *signature) {
  if (void *function = LookUp(signature)) return function;
  using RaiseFn = void(TJS_ENGINE_CALL *)(const char *);
  if (auto raise = reinterpret_cast<RaiseFn>(LookUp(kUnboundFunctionError))) raise(signature);
  AbortUnbound(signature);  // also reached if the engine's error returned
}

extern "C" tjs_hresult TJS_ENGINE_CALL V2Link(iTVPFunctionExporter *exporter) {
  FunctionExporter = exporter;
  ResolveDestructorFunctions();
  if (!PluginLink()) return TJS_HR_E_FAIL;
  RefTotalAtLink = PluginRefTotal;
  return TJS_HR_S_OK;
}

// An engine error a destructor kept before this call refuses the unlink
// with nothing touched; one kept during it passes on once the unlink step is
// over (done or refused), so that it never goes unseen.
extern "C" tjs_hresult TJS_ENGINE_CALL V2Unlink() {
  RaisePendingEngineError();
  if (PluginRefTotal > RefTotalAtLink) return TJS_HR_E_FAIL;
  const bool unlinked = PluginUnlink();
  RaisePendingEngineError();
  return unlinked ? TJS_HR_S_OK : TJS_HR_E_FAIL;
}
