// binder_probe_api.h — the control entries of the test-only binder probe
// plug-in (tests/binder/binder_probe.cpp), looked up with PluginModule::Symbol.
//
// The probe declares three test classes under WaveSoundBuffer with the
// binder, in this order, stopping at the first failed chain (link and unlink
// alike):
//   BinderShapes  members echo (one argument), pair (two), count (raw),
//                 code (one; returns its argument as result code), raise
//                 (raw; raises "probe raised"), value (const getter only),
//                 level (getter and setter), sink (setter only), kind (a
//                 const getter of the test classes' common base class)
//   BinderOther   echo, value, kind
//   BinderHollow  echo; its factory succeeds without making an object
// Factories of BinderShapes and BinderOther take optional arguments: the
// first, when given, is the initial level; a second one is returned as the
// factory's result code (after the object was made and stored).
#pragma once

#include "hostengine.h"

// What the last bound member function or factory received.
struct BinderProbeCall {
  int Calls;               // calls of bound member functions and factories so far
  char Member[24];         // "echo", "pair", "count", ..., "factory"
  tjs_int NumParams;       // count received by a raw method or a factory (-1 otherwise)
  const void *Params;      // array received by a raw method or a factory
  const void *Arg0;        // argument pointers received by a fixed-arity method
  const void *Arg1;
  const void *Result;      // result pointer received
  const void *Native;      // the native object the member ran on (the one made, for a factory)
};

enum BinderProbeClass : int { kProbeShapes = 0, kProbeOther = 1, kProbeHollow = 2 };

extern "C" {
typedef tjs_int32 (*BinderProbeIntFn)();
typedef const BinderProbeCall *(*BinderProbeCallFn)();
typedef iTJSDispatch2 *(*BinderProbeResolvePathFn)(const tjs_char *path, iTJSDispatch2 *root);
typedef bool (*BinderProbeUnbindFn)(iTJSDispatch2 *target, const tjs_char *name);
// Runs one class's declaration chain under `parent`; returns IsFailed.
typedef bool (*BinderProbeDeclareFn)(int which, const tjs_char *parent, bool link);
// Whether the class store of a test class is alive.
typedef bool (*BinderProbeStoreAliveFn)(int which);
}
