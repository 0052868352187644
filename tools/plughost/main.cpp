// plughost — renders audio through the real plug-in files inside the
// stand-in engine, lists the effect classes, asks the storage system about
// proxy names, and plots the equalizer's response and impulse responses.
// See README.md for the commands.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "engine.h"
#include "session.h"
#include "suggest.h"

namespace {

using namespace plughost;

std::vector<double> ParseGains(const std::string &text) {
  std::vector<double> gains;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, ',')) {
    try {
      size_t used = 0;
      gains.push_back(std::stod(item, &used));
      if (used != item.size()) throw std::invalid_argument(item);
    } catch (const std::exception &) {
      throw Failure("--gains: not a number: \"" + item + "\"");
    }
  }
  return gains;
}

std::pair<std::string, std::string> ParseMapEntry(const std::string &text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) throw Failure("--map wants KEY=TARGET, got \"" + text + "\"");
  return {text.substr(0, eq), text.substr(eq + 1)};
}

const std::vector<std::string> kCommands = {"render", "list", "impulse", "response", "storage"};

// An unknown command word (the first argument that is no option) gets a
// suggestion before the command line parser sees it.
bool RefuseUnknownCommand(int argc, char **argv) {
  if (argc < 2 || argv[1][0] == '-') return false;
  const std::string word = argv[1];
  for (const auto &c : kCommands)
    if (word == c) return false;
  std::cerr << "plughost: unknown command: " << word << DidYouMean(word, kCommands) << " (see --help)\n";
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"plughost: drives the sonafilter and relaystore plug-ins inside the stand-in engine"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("plughost ") + PLUGHOST_VERSION);
  if (RefuseUnknownCommand(argc, argv)) return 2;

  RenderOptions render;
  render.Plugin = DefaultPluginPath("sonafilter");
  auto *r = app.add_subcommand("render", "render a file (or the built-in demo) through a chain of effects");
  r->add_option("--in", render.In, "input audio file (any format libsndfile reads); default: the demo signal");
  r->add_option("--out", render.Out,
                "output file, format by extension (.wav .flac .ogg .aiff .au .w64 .rf64 .caf), - for standard output")
      ->capture_default_str();
  r->add_option("--format", render.Format, "output samples: s16, s24, s32 or f32 (default: the input's depth)");
  r->add_option("--block", render.Block, "frames pulled per Decode (1 to 1048576)")->capture_default_str();
  r->add_option("--gain", render.GainDb, "gain in dB applied after the chain")->capture_default_str();
  r->add_option("--max-tail", render.MaxTailSeconds, "seconds of tail rendered after the input ends, at most")
      ->capture_default_str();
  r->add_flag("--legacy", render.Legacy, "run the engine as the legacy generation");
  r->add_flag("--log", render.Log, "print the engine's log");
  r->add_option("--plugin", render.Plugin, "the sonafilter plug-in file")->capture_default_str();
  bool dry = false;
  r->add_flag("--dry", dry, "no effect: the input as the engine plays it (to compare with)");
  r->add_option("EFFECT", render.Effects, "e.g. \"DelayEffect(300, 0.5, 0.8)\"; several form a chain");

  ListOptions list;
  list.Plugin = DefaultPluginPath("sonafilter");
  auto *l = app.add_subcommand("list", "list the effect classes, or describe one with its parameters");
  l->add_option("CLASS", list.Class, "a class to describe, e.g. DelayEffect");
  l->add_option("--plugin", list.Plugin, "the sonafilter plug-in file")->capture_default_str();

  ImpulseOptions impulse;
  impulse.Plugin = DefaultPluginPath("sonafilter");
  auto *i = app.add_subcommand("impulse", "plot the impulse response of a chain of effects and its decay");
  i->add_option("--rate", impulse.Rate, "sample rate in Hz")->capture_default_str();
  i->add_option("--seconds", impulse.MaxSeconds, "the response is rendered for at most this long")
      ->capture_default_str();
  i->add_option("--out", impulse.Out, "the PNG or SVG file")->required();
  i->add_option("--plugin", impulse.Plugin, "the sonafilter plug-in file")->capture_default_str();
  i->add_option("EFFECT", impulse.Effects, "e.g. \"StkFreeVerb()\"; several form a chain")->required();

  StorageOptions storage;
  std::vector<std::string> mapEntries;
  storage.Plugin = DefaultPluginPath("relaystore");
  auto *s = app.add_subcommand("storage", "ask the storage system about a name, with ProxyStorageMap filled");
  s->add_option("--map", mapEntries, "a ProxyStorageMap entry KEY=TARGET (repeatable)");
  s->add_option("--plugin", storage.Plugin, "the relaystore plug-in file")->capture_default_str();
  s->add_option("ACTION", storage.Action, "exists, read, list or local")
      ->required()
      ->check(CLI::IsMember({"exists", "read", "list", "local"}));
  s->add_option("NAME", storage.Name, "a full storage name, e.g. proxy://bgm/title.ogg")->required();

  ResponseOptions response;
  std::string gains;
  response.Plugin = DefaultPluginPath("sonafilter");
  auto *p = app.add_subcommand("response", "plot the equalizer's measured and predicted magnitude response");
  p->add_option("--rate", response.Rate, "sample rate in Hz")->capture_default_str();
  p->add_option("--gains", gains, "ten linear band gains G0,...,G9 (default all 1.0)");
  p->add_option("--out", response.Out, "the PNG or SVG file")->required();
  p->add_option("--plugin", response.Plugin, "the sonafilter plug-in file")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    std::cerr << "plughost: " << e.what() << " (see --help)\n";
    return 2;
  }

  if (r->parsed() && render.Effects.empty() != dry) {
    std::cerr << "plughost: render takes an EFFECT chain or --dry, not " << (dry ? "both" : "neither")
              << " (see --help)\n";
    return 2;
  }

  try {
    if (r->parsed()) return Render(render);
    if (l->parsed()) return List(list);
    if (i->parsed()) return Impulse(impulse);
    if (s->parsed()) {
      for (const auto &entry : mapEntries) storage.Map.push_back(ParseMapEntry(entry));
      return Storage(storage);
    }
    if (!gains.empty()) response.Gains = ParseGains(gains);
    return Response(response);
  } catch (const Interrupted &e) {
    std::cerr << "plughost: " << e.what() << '\n';
    return 130;
  } catch (const standin::EngineError &e) {
    std::cerr << "plughost: engine error: " << e.what() << '\n';
  } catch (const ParseError &e) {
    std::cerr << "plughost: bad effect: " << e.what() << '\n';
  } catch (const std::exception &e) {
    std::cerr << "plughost: " << e.what() << '\n';
  }
  return 1;
}
