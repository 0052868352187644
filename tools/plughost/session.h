// session.h — one run of plughost: a stand-in engine with one plug-in loaded
// and linked, driven as scripts would drive it, and torn down in order.
#pragma once

#include <iosfwd>
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

// A render stopped by SIGINT, SIGTERM or SIGHUP (exit status 130).
class Interrupted : public Failure {
 public:
  using Failure::Failure;
};

// Where the plug-in files are: beside the build's tools, unless overridden.
std::string DefaultPluginPath(const std::string &name);

class Session {
 public:
  // Makes the engine (as the legacy generation when `legacy`), installs its
  // WaveSoundBuffer class, loads `pluginPath` and links it. With `echoLog`
  // the engine's log goes to `logTo`.
  Session(const std::string &pluginPath, bool legacy, bool echoLog, std::ostream *logTo = nullptr);
  // Invalidates the objects made, unlinks and unloads; see Close.
  ~Session();

  // Creates the object an effect expression describes ("new WaveSoundBuffer.X(args)"
  // followed by its method calls and assignments). Raises Failure for an
  // unknown class or member (with a "did you mean"), bad arguments and
  // refused operations.
  iTJSDispatch2 *CreateEffect(const EffectExpression &expression);
  // The script classes declared under WaveSoundBuffer, in declaration order.
  std::vector<std::string> DeclaredClasses() const;
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
