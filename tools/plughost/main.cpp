// plughost — renders audio through the real plug-in files inside the
// stand-in engine, asks the storage system about proxy names, and plots the
// equalizer's response. See README.md for the commands.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "engine.h"
#include "session.h"

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

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"plughost: drives the sonafilter and relaystore plug-ins inside the stand-in engine"};
  app.require_subcommand(1);

  RenderOptions render;
  std::string format = "s16";
  render.Plugin = DefaultPluginPath("sonafilter");
  auto *r = app.add_subcommand("render", "render a file (or the built-in demo) through a chain of effects");
  r->add_option("--in", render.In, "input audio file (any format libsndfile reads); default: the demo signal");
  r->add_option("--out", render.Out, "output WAV file")->capture_default_str();
  r->add_option("--format", format, "output samples: s16, s24 or f32")->capture_default_str();
  r->add_option("--block", render.Block, "frames pulled per Decode")->capture_default_str();
  r->add_flag("--legacy", render.Legacy, "run the engine as the legacy generation");
  r->add_flag("--log", render.Log, "print the engine's log");
  r->add_option("--plugin", render.Plugin, "the sonafilter plug-in file")->capture_default_str();
  r->add_option("EFFECT", render.Effects, "e.g. \"DelayEffect(300, 0.5, 0.8)\"; several form a chain")->required();

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
  p->add_option("--out", response.Out, "the PNG file")->required();
  p->add_option("--plugin", response.Plugin, "the sonafilter plug-in file")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    std::cerr << "plughost: " << e.what() << " (see --help)\n";
    return 2;
  }

  try {
    if (r->parsed()) {
      if (!ParseSampleFormat(format, render.Format)) throw Failure("--format must be s16, s24 or f32");
      return Render(render);
    }
    if (s->parsed()) {
      for (const auto &entry : mapEntries) storage.Map.push_back(ParseMapEntry(entry));
      return Storage(storage);
    }
    if (!gains.empty()) response.Gains = ParseGains(gains);
    return Response(response);
  } catch (const standin::EngineError &e) {
    std::cerr << "plughost: engine error: " << e.what() << '\n';
  } catch (const ParseError &e) {
    std::cerr << "plughost: bad effect: " << e.what() << '\n';
  } catch (const std::exception &e) {
    std::cerr << "plughost: " << e.what() << '\n';
  }
  return 1;
}
