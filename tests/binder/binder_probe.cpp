// binder_probe.cpp — a test-only plug-in built from the binder: small test
// classes of every member shape, declared under WaveSoundBuffer by its link
// step, and control entries that let tests drive the binder from inside a
// plug-in (see binder_probe_api.h).
#include <cstring>

#include "binder_probe_api.h"
#include "hostlink.h"
#include "simple_binder.h"

#include "probe_export.h"

namespace {

using SimpleBinder::BindUtil;

int g_live = 0;  // test class objects alive
BinderProbeCall g_call = {};

void Record(const char *member, const void *native, const void *result, tjs_int numparams = -1,
            const void *params = nullptr, const void *arg0 = nullptr, const void *arg1 = nullptr) {
  ++g_call.Calls;
  std::strncpy(g_call.Member, member, sizeof g_call.Member - 1);
  g_call.Member[sizeof g_call.Member - 1] = 0;
  g_call.Native = native;
  g_call.Result = result;
  g_call.NumParams = numparams;
  g_call.Params = params;
  g_call.Arg0 = arg0;
  g_call.Arg1 = arg1;
}

// The common base of the test classes; its getter is bound for two classes.
class ProbeBase {
 public:
  explicit ProbeBase(tTVInteger level) : Level(level) { ++g_live; }
  virtual ~ProbeBase() { --g_live; }
  ProbeBase(const ProbeBase &) = delete;
  ProbeBase &operator=(const ProbeBase &) = delete;

  // result = the class's kind number.
  tjs_error GetKind(tTJSVariant *result) const {
    Record("kind", this, result);
    if (result) *result = Kind();
    return TJS_S_OK;
  }

 protected:
  virtual tTVInteger Kind() const = 0;
  tTVInteger Level;
};

// Applies the factory arguments shared by the test classes: args[0] the
// initial level, args[1] the factory's result code.
template <class T>
tjs_error MakeProbe(T *&out, tjs_int numparams, tTJSVariant **params) {
  out = new T(numparams > 0 ? params[0]->AsInteger() : 0);
  Record("factory", out, nullptr, numparams, params);
  return numparams > 1 ? static_cast<tjs_error>(params[1]->AsInteger()) : TJS_S_OK;
}

class Shapes : public ProbeBase {
 public:
  using ProbeBase::ProbeBase;

  // result = a0
  tjs_error Echo(tTJSVariant *result, tTJSVariant *a0) {
    Record("echo", this, result, -1, nullptr, a0);
    if (result) *result = *a0;
    return TJS_S_OK;
  }
  // result = a1 (a0 only recorded)
  tjs_error Pair(tTJSVariant *result, tTJSVariant *a0, tTJSVariant *a1) {
    Record("pair", this, result, -1, nullptr, a0, a1);
    if (result) *result = *a1;
    return TJS_S_OK;
  }
  // result = the argument count
  tjs_error Count(tTJSVariant *result, tjs_int numparams, tTJSVariant **params) {
    Record("count", this, result, numparams, params);
    if (result) *result = static_cast<tTVInteger>(numparams);
    return TJS_S_OK;
  }
  // returns a0 as its result code
  tjs_error Code(tTJSVariant *result, tTJSVariant *a0) {
    Record("code", this, result, -1, nullptr, a0);
    return static_cast<tjs_error>(a0->AsInteger());
  }
  // raises an engine exception
  tjs_error Raise(tTJSVariant *result, tjs_int numparams, tTJSVariant **params) {
    Record("raise", this, result, numparams, params);
    TVPThrowExceptionMessage(u"probe raised");
  }
  tjs_error GetValue(tTJSVariant *result) const {
    Record("value", this, result);
    // Wraps around rather than overflowing: scripts may set any level.
    if (result) *result = static_cast<tTVInteger>(static_cast<tjs_uint64>(Level) * 10u);
    return TJS_S_OK;
  }
  tjs_error GetLevel(tTJSVariant *result) {
    Record("level", this, result);
    if (result) *result = Level;
    return TJS_S_OK;
  }
  tjs_error SetLevel(const tTJSVariant *value) {
    Record("level=", this, nullptr, -1, nullptr, value);
    Level = value->AsInteger();
    return TJS_S_OK;
  }
  tjs_error SetSink(const tTJSVariant *value) {
    Record("sink=", this, nullptr, -1, nullptr, value);
    // Wraps around for the most negative value rather than overflowing.
    Level = static_cast<tTVInteger>(0u - static_cast<tjs_uint64>(value->AsInteger()));
    return TJS_S_OK;
  }

 protected:
  tTVInteger Kind() const override { return 1; }
};

class Other : public ProbeBase {
 public:
  using ProbeBase::ProbeBase;

  tjs_error Echo(tTJSVariant *result, tTJSVariant *a0) {
    Record("other.echo", this, result, -1, nullptr, a0);
    if (result) *result = *a0;
    return TJS_S_OK;
  }
  tjs_error GetValue(tTJSVariant *result) const {
    Record("other.value", this, result);
    if (result) *result = Level;
    return TJS_S_OK;
  }

 protected:
  tTVInteger Kind() const override { return 2; }
};

class Hollow : public ProbeBase {
 public:
  using ProbeBase::ProbeBase;

  tjs_error Echo(tTJSVariant *result, tTJSVariant *a0) {
    Record("hollow.echo", this, result, -1, nullptr, a0);
    return TJS_S_OK;
  }

 protected:
  tTVInteger Kind() const override { return 3; }
};

// Succeeds without making an object.
tjs_error MakeNothing(Hollow *&out, tjs_int numparams, tTJSVariant **params) {
  Record("factory", out, nullptr, numparams, params);
  return TJS_S_OK;
}

bool DeclareShapes(const ttstr &parent, bool link) {
  BindUtil bind(parent, link);
  bind.Class(u"BinderShapes", &MakeProbe<Shapes>)
      .Function(u"echo", &Shapes::Echo)
      .Function(u"pair", &Shapes::Pair)
      .Function(u"count", &Shapes::Count)
      .Function(u"code", &Shapes::Code)
      .Function(u"raise", &Shapes::Raise)
      .Property(u"value", &Shapes::GetValue, nullptr)
      .Property(u"level", &Shapes::GetLevel, &Shapes::SetLevel)
      .Property(u"sink", nullptr, &Shapes::SetSink)
      .Property<Shapes>(u"kind", &ProbeBase::GetKind, nullptr);
  return !bind.IsFailed();
}

bool DeclareOther(const ttstr &parent, bool link) {
  BindUtil bind(parent, link);
  bind.Class(u"BinderOther", &MakeProbe<Other>)
      .Function(u"echo", &Other::Echo)
      .Property(u"value", &Other::GetValue, nullptr)
      .Property<Other>(u"kind", &ProbeBase::GetKind, nullptr);
  return !bind.IsFailed();
}

bool DeclareHollow(const ttstr &parent, bool link) {
  BindUtil bind(parent, link);
  bind.Class(u"BinderHollow", &MakeNothing).Function(u"echo", &Hollow::Echo);
  return !bind.IsFailed();
}

bool DeclareAll(bool link) {
  const ttstr parent(u"WaveSoundBuffer");
  return DeclareShapes(parent, link) && DeclareOther(parent, link) && DeclareHollow(parent, link);
}

}  // namespace

bool PluginLink() { return DeclareAll(true); }

bool PluginUnlink() { return DeclareAll(false); }

PROBE_EXPORT tjs_int32 BinderProbeRefTotal() { return PluginRefTotal; }
PROBE_EXPORT tjs_int32 BinderProbeLive() { return g_live; }
PROBE_EXPORT const BinderProbeCall *BinderProbeLastCall() { return &g_call; }
PROBE_EXPORT iTJSDispatch2 *BinderProbeResolvePath(const tjs_char *path, iTJSDispatch2 *root) {
  return SimpleBinder::Detail::ResolvePath(ttstr(path), root);
}
PROBE_EXPORT bool BinderProbeUnbind(iTJSDispatch2 *target, const tjs_char *name) {
  return SimpleBinder::Detail::Unbind(target, ttstr(name));
}
PROBE_EXPORT bool BinderProbeDeclare(int which, const tjs_char *parent, bool link) {
  const ttstr path(parent);
  switch (which) {
    case kProbeShapes: return !DeclareShapes(path, link);
    case kProbeOther: return !DeclareOther(path, link);
    default: return !DeclareHollow(path, link);
  }
}
PROBE_EXPORT bool BinderProbeStoreAlive(int which) {
  using SimpleBinder::Detail::ClassStore;
  switch (which) {
    case kProbeShapes: return ClassStore<Shapes>::Instance != nullptr;
    case kProbeOther: return ClassStore<Other>::Instance != nullptr;
    default: return ClassStore<Hollow>::Instance != nullptr;
  }
}
