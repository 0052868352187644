// list_cmd.cpp — `plughost list [CLASS]`: the effect classes the loaded
// plug-in declares, described from the plug-in's effect table
// (sonafilter/effects/effect_table.h, compiled into plughost as plain data).
#include <iomanip>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "effects/effect_table.h"
#include "session.h"
#include "suggest.h"

namespace plughost {

namespace {

using effects::EffectDescription;
using effects::MemberDescription;
using effects::MemberKind;
using effects::ParameterDescription;
using effects::ValueType;

const char *TypeName(ValueType type) {
  switch (type) {
    case ValueType::Integer: return "integer";
    case ValueType::Real: return "real";
    case ValueType::Boolean: return "truth value";
  }
  return "";
}

std::string Number(ValueType type, double value) {
  if (type == ValueType::Boolean) return value != 0 ? "true" : "false";
  std::ostringstream text;
  text << std::setprecision(6) << value;
  std::string s = text.str();
  if (type == ValueType::Real && s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

// "gain: real (linear gain), default 1.0, useful 0.25 to 4.0 - 1.0 flat, ..."
std::string DescribeParameter(const ParameterDescription &p) {
  std::ostringstream text;
  text << p.Name << ": " << TypeName(p.Type) << (*p.Unit ? std::string(" (") + p.Unit + ")" : "") << ", default "
       << Number(p.Type, p.Default) << ", useful " << Number(p.Type, p.UsefulMin) << " to "
       << Number(p.Type, p.UsefulMax) << " - " << p.Meaning;
  return text.str();
}

const char *KindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::ReadOnlyProperty: return "read-only property";
    case MemberKind::Property: return "property";
    case MemberKind::Method: return "method";
    case MemberKind::QueryMethod: return "method";
  }
  return "";
}

void PrintSummary(const EffectDescription &e) {
  std::cout << e.Constructor << "\n    " << e.Summary << "\n    members:";
  for (const MemberDescription &m : e.Members) std::cout << ' ' << m.Signature;
  std::cout << '\n';
}

void PrintDetails(const EffectDescription &e) {
  std::cout << e.ScriptClass << " - " << e.Summary << '\n'
            << "  native class " << e.NativeClass << ", output " << (e.StereoOutput ? "always stereo" : "as the input")
            << ", tail " << e.DefaultTailMs << " ms by default\n\n"
            << "constructor: new WaveSoundBuffer." << e.Constructor << '\n';
  std::string previous;
  for (const ParameterDescription &p : e.ConstructorParameters) {
    const std::string line = DescribeParameter(p);
    if (line != previous) std::cout << "  " << line << '\n';  // repeated parameters once
    previous = line;
  }
  std::cout << "\nmembers, in declaration order:\n";
  for (const MemberDescription &m : e.Members) {
    std::cout << "  " << m.Signature << "  [" << KindName(m.Kind) << "] " << m.Meaning << '\n';
    for (const ParameterDescription &p : m.Parameters) std::cout << "      " << DescribeParameter(p) << '\n';
  }
  std::cout << "\nexample:\n  plughost render '" << e.Example << "'\n";
}

}  // namespace

int List(const ListOptions &o) {
  // The classes the plug-in really declares; the table describes them.
  Session session(o.Plugin, false, false);
  const std::vector<std::string> declared = session.DeclaredClasses();
  session.Close();
  if (!o.Class.empty()) {
    bool found = false;
    for (const std::string &name : declared) found |= name == o.Class;
    if (!found) throw Failure("unknown class: " + o.Class + DidYouMean(o.Class, declared));
    const EffectDescription *e = effects::FindEffect(o.Class.c_str());
    if (!e) throw Failure(o.Class + " is declared by the plug-in but not described in its effect table");
    PrintDetails(*e);
    return 0;
  }
  for (const std::string &name : declared) {
    if (const EffectDescription *e = effects::FindEffect(name.c_str())) PrintSummary(*e);
    else std::cout << name << "\n    (not described in the effect table)\n";
  }
  std::cout << "\n`plughost list CLASS` describes one class with its parameters.\n";
  return 0;
}

}  // namespace plughost
