// probe_api.h — the control entries of the test-only probe plug-in
// (tests/hostlink/probe_plugin.cpp), looked up with PluginModule::Symbol.
#pragma once

#include "hostengine.h"

extern "C" {
typedef void (*ProbeSetLinkResultFn)(bool ok);
typedef void (*ProbeSetPublishFn)(bool publish);
typedef tjs_int32 (*ProbeIntFn)();
typedef iTJSDispatch2 *(*ProbeNewObjectFn)();
typedef void (*ProbeLogFn)(const char *text);
typedef const char *const *(*ProbeSignaturesFn)(unsigned *count);
typedef void (*ProbeRaiseFn)(const char *arg);
typedef bool (*ProbeDictionaryFn)();
// Last by-name call seen by a recorder object.
struct ProbeRecord {
  int GetCalls;
  int SetCalls;
  bool HintWasNull;
  char LastName[64];
};
typedef const ProbeRecord *(*ProbeRecordFn)();
typedef void (*ProbeRecorderAnswersFn)(tjs_error getAnswer, tjs_error setAnswer);
}
