// commands.h — plughost's commands. Each returns the process exit status and
// raises Failure (or an engine error) for anything to report.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "audio_out.h"

namespace plughost {

struct RenderOptions {
  std::string In;                    // empty: the built-in demo signal
  std::string Out = "plughost.wav";  // the WAV file written
  SampleFormat Format = SampleFormat::S16;
  unsigned Block = 4096;             // frames pulled per Decode
  bool Legacy = false;               // run the engine as the legacy generation
  bool Log = false;                  // print the engine's log
  std::vector<std::string> Effects;  // effect expressions, in chain order
  std::string Plugin;                // the sonafilter file
};
int Render(const RenderOptions &options);

struct StorageOptions {
  std::vector<std::pair<std::string, std::string>> Map;  // ProxyStorageMap entries
  std::string Action;                                      // exists, read, list or local
  std::string Name;                                        // a full storage name
  std::string Plugin;                                      // the relaystore file
};
int Storage(const StorageOptions &options);

struct ResponseOptions {
  unsigned Rate = 44100;                  // Hz
  std::vector<double> Gains = std::vector<double>(10, 1.0);  // linear, bands 0..9
  std::string Out;                        // the PNG file
  std::string Plugin;                     // the sonafilter file
};
int Response(const ResponseOptions &options);

}  // namespace plughost
