// session.cpp — plughost's engine session.
#include "session.h"

#include <iostream>

#include "effects/effect_table.h"
#include "sound.h"
#include "suggest.h"

namespace plughost {

namespace {

std::u16string Wide(const std::string &text) { return standin::U16(text); }

std::string CodeText(tjs_error code) {
  switch (code) {
    case TJS_E_MEMBERNOTFOUND: return "no such member";
    case TJS_E_NOTIMPL: return "not implemented";
    case TJS_E_INVALIDPARAM: return "invalid argument";
    case TJS_E_BADPARAMCOUNT: return "too few arguments";
    case TJS_E_ACCESSDENYED: return "access denied (read-only)";
    case TJS_E_NATIVECLASSCRASH: return "no native object";
    default: return "error code " + std::to_string(code);
  }
}

// The members a script can name on an object of `className`: the table's,
// and "finalize", which every class has.
std::vector<std::string> MembersOf(const std::string &className) {
  std::vector<std::string> names = {"finalize"};
  if (const effects::EffectDescription *effect = effects::FindEffect(className.c_str()))
    for (const auto &member : effect->Members) names.push_back(member.Name);
  return names;
}

standin::Arguments ToArguments(const std::vector<Value> &values) {
  standin::Arguments args;
  for (const auto &v : values) args.push_back(ToVariant(v));
  return args;
}

}  // namespace

std::string DefaultPluginPath(const std::string &name) {
  return std::string(PLUGHOST_PLUGIN_ROOT) + "/" + name + "/" + name + PLUGHOST_PLUGIN_SUFFIX;
}

tTJSVariant ToVariant(const Value &value) {
  switch (value.Type) {
    case Value::Integer: return standin::VariantOf(value.IntegerValue);
    case Value::Real: return standin::VariantOf(value.RealValue);
    case Value::Boolean: return standin::VariantOf(value.BooleanValue);
    case Value::String: return standin::VariantOf(std::string_view(value.StringValue));
  }
  return tTJSVariant();
}

Session::Session(const std::string &pluginPath, bool legacy, bool echoLog, std::ostream *logTo) {
  Engine_ = std::make_unique<standin::Engine>();
  if (echoLog) Engine_->EchoLog(logTo ? logTo : &std::cout);
  if (legacy) standin::EnableLegacyGeneration();
  standin::InstallWaveSoundBufferClass();
  try {
    Plugin_ = std::make_unique<standin::PluginModule>(pluginPath);
  } catch (const std::exception &e) {
    throw Failure(e.what());
  }
  if (Plugin_->Link(*Engine_) != TJS_HR_S_OK) throw Failure("the plug-in refused to link: " + pluginPath);
  Linked_ = true;
}

Session::~Session() {
  try {
    Close();
  } catch (const std::exception &e) {
    std::cerr << "plughost: " << e.what() << '\n';
  }
}

void Session::Close() {
  for (auto &object : Objects_) standin::ScriptInvalidate(object.Get());
  Objects_.clear();
  if (Linked_) {
    Linked_ = false;
    if (Plugin_->Unlink() != TJS_HR_S_OK) throw Failure("the plug-in refused to unlink");
  }
}

iTJSDispatch2 *Session::CreateEffect(const EffectExpression &e) {
  iTJSDispatch2 *cls = standin::ObjectAt(u"WaveSoundBuffer." + Wide(e.ClassName));
  if (!cls) throw Failure("unknown class: " + e.ClassName + DidYouMean(e.ClassName, DeclaredClasses()));
  standin::ObjectRef object;
  const tjs_error made = standin::ScriptNew(cls, ToArguments(e.ConstructorArguments), object);
  if (TJS_FAILED(made) || !object) throw Failure("cannot construct " + e.ClassName + ": " + CodeText(made));
  Objects_.push_back(std::move(object));
  iTJSDispatch2 *effect = Objects_.back().Get();
  for (const auto &step : e.Steps) {
    const std::string where = e.ClassName + "." + step.Name;
    tTJSVariant current;
    const tjs_error exists = standin::ScriptGet(effect, Wide(step.Name), &current);
    if (exists == TJS_E_MEMBERNOTFOUND) throw Failure("unknown member: " + where + DidYouMean(step.Name, MembersOf(e.ClassName)));
    tjs_error code;
    if (step.Type == Step::Call) {
      if (standin::TypeOf(current) != tvtObject) throw Failure(where + " is not a method");
      code = standin::ScriptCall(effect, Wide(step.Name), ToArguments(step.Arguments));
    } else {
      if (standin::TypeOf(current) == tvtObject) throw Failure(where + " is a method, not a property");
      code = standin::ScriptSet(effect, Wide(step.Name), ToVariant(step.Arguments[0]));
    }
    if (TJS_FAILED(code)) throw Failure(where + ": " + CodeText(code));
  }
  return effect;
}

std::vector<std::string> Session::DeclaredClasses() const {
  std::vector<std::string> names;
  standin::NativeClassObject *parent = standin::AsNativeClass(standin::ObjectAt(u"WaveSoundBuffer"));
  if (!parent) return names;
  for (const auto &member : parent->Members()) names.push_back(standin::Utf8(member.Name));
  return names;
}

tTVInteger Session::InterfaceOf(iTJSDispatch2 *effect) {
  tTJSVariant value;
  const tjs_error code = standin::ScriptGet(effect, u"interface", &value);
  if (TJS_FAILED(code)) throw Failure("cannot read interface: " + CodeText(code));
  return value.AsInteger();
}

}  // namespace plughost
