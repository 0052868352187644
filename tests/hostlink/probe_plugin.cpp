// probe_plugin.cpp — a test-only plug-in built from hostlink/: its link step
// can publish a tTJSDispatch object as the global "ProbeObject", and a few
// extra entries let tests drive the binding layer from inside a plug-in.
#include <cstring>

#include "dispatch.h"
#include "hostlink.h"
#include "probe_api.h"

#include "probe_export.h"

namespace {

bool g_linkResult = true;
bool g_publish = false;
ProbeRecord g_record = {};
tjs_error g_getAnswer = TJS_S_OK;
tjs_error g_setAnswer = TJS_S_OK;

void Record(const tjs_char *name, tjs_uint32 *hint) {
  size_t i = 0;
  for (; name && name[i] && i + 1 < sizeof g_record.LastName; ++i)
    g_record.LastName[i] = static_cast<char>(name[i]);
  g_record.LastName[i] = 0;
  g_record.HintWasNull = hint == nullptr;
}

// Records the by-name calls that reach it and answers as the test asks.
class Recorder : public tTJSDispatch {
 public:
  tjs_error TJS_INTF_METHOD GetMember(tjs_uint32, const tjs_char *name, tjs_uint32 *hint, tTJSVariant *result,
                                      iTJSDispatch2 *) override {
    ++g_record.GetCalls;
    Record(name, hint);
    if (TJS_SUCCEEDED(g_getAnswer) && result) *result = static_cast<tTVInteger>(41);
    return g_getAnswer;
  }
  tjs_error TJS_INTF_METHOD SetMember(tjs_uint32, const tjs_char *name, tjs_uint32 *hint, const tTJSVariant *,
                                      iTJSDispatch2 *) override {
    ++g_record.SetCalls;
    Record(name, hint);
    return g_setAnswer;
  }
};

// Takes one reference in its destruction hook, so it survives its first
// final Release.
class Reviver : public tTJSDispatch {
 public:
  void TJS_INTF_METHOD OnBeforeDestruction() override { AddRef(); }
};

}  // namespace

bool PluginLink() {
  if (g_publish) {
    iTJSDispatch2 *object = new tTJSDispatch();
    TVPRegisterGlobalObject(u"ProbeObject", object);
    object->Release();
  }
  return g_linkResult;
}

bool PluginUnlink() {
  if (g_publish) TVPRemoveGlobalObject(u"ProbeObject");
  return true;
}

PROBE_EXPORT void ProbeSetLinkResult(bool ok) { g_linkResult = ok; }
PROBE_EXPORT void ProbeSetPublish(bool publish) { g_publish = publish; }
PROBE_EXPORT tjs_int32 ProbeRefTotal() { return PluginRefTotal; }
PROBE_EXPORT tjs_int32 ProbeRefTotalAtLink() { return RefTotalAtLink; }
PROBE_EXPORT iTJSDispatch2 *ProbeNewDefault() { return new tTJSDispatch(); }
PROBE_EXPORT iTJSDispatch2 *ProbeNewRecorder() {
  g_record = {};
  return new Recorder();
}
PROBE_EXPORT iTJSDispatch2 *ProbeNewReviver() { return new Reviver(); }
PROBE_EXPORT const ProbeRecord *ProbeLastRecord() { return &g_record; }
PROBE_EXPORT void ProbeRecorderAnswers(tjs_error getAnswer, tjs_error setAnswer) {
  g_getAnswer = getAnswer;
  g_setAnswer = setAnswer;
}
// Two call sites of one engine function.
PROBE_EXPORT void ProbeLogA(const char *text) { TVPAddImportantLog(ttstr(text)); }
PROBE_EXPORT void ProbeLogB(const char *text) { TVPAddImportantLog(ttstr(u"B:") + ttstr(text)); }
PROBE_EXPORT bool ProbeMakeDictionary() {
  iTJSDispatch2 *dict = TJSCreateDictionaryObject(nullptr);
  if (!dict) return false;
  dict->Release();
  return true;
}
PROBE_EXPORT void ProbeRaise(const char *arg) { TVPThrowExceptionMessage(u"probe failed: %1", ttstr(arg)); }
PROBE_EXPORT const char *const *ProbeSignatures(unsigned *count) {
  *count = kHostFunctionCount;
  return HostFunctionSignatures;
}
