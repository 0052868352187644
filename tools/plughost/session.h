// session.h — one run of plughost: a stand-in engine with one plug-in loaded
// and linked, driven as scripts would drive it, and torn down in order.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine.h"
#include "expression.h"
#include "native_class.h"

namespace plughost {

// A failure to report on one line of standard error (exit status 1).
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the plug-in files are: beside the build's tools, unless overridden.
std::string DefaultPluginPath(const std::string &name);

class Session {
 public:
  // Makes the engine (as the legacy generation when `legacy`), installs its
  // WaveSoundBuffer class, loads `pluginPath` and links it.
  Session(const std::string &pluginPath, bool legacy, bool echoLog);
  // Invalidates the objects made, unlinks and unloads; see Close.
  ~Session();

  // Creates the object an effect expression describes ("new WaveSoundBuffer.X(args)"
  // followed by its method calls and assignments). Raises Failure for an
  // unknown class or member, bad arguments and refused operations.
  iTJSDispatch2 *CreateEffect(const EffectExpression &expression);
  // The object's `interface` value.
  tTVInteger InterfaceOf(iTJSDispatch2 *effect);

  // Invalidates every object made, unlinks; raises Failure if the plug-in
  // refuses to unlink. Safe to call twice.
  void Close();

 private:
  std::unique_ptr<standin::Engine> Engine_;
  std::unique_ptr<standin::PluginModule> Plugin_;
  std::vector<standin::ObjectRef> Objects_;
  bool Linked_ = false;
};

// Converts an expression value to a script value.
tTJSVariant ToVariant(const Value &value);

}  // namespace plughost
