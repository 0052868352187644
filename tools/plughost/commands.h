// commands.h — plughost's commands. Each returns the process exit status and
// raises Failure (or an engine error) for anything to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio_out.h"

namespace plughost {

// Limits of a render.
// --block: a million frames (4 MiB per channel of floats) is far beyond any
// block an engine pulls; larger blocks only cost memory (2^31 frames took
// 8 GB before ending in std::bad_alloc).
constexpr unsigned kMostBlockFrames = 1u << 20;
// The sample rates taken to be what the engine plays: telephone 8 kHz up to
// 384 kHz masters. A header claiming more (2 GHz, say) would make the tails
// billions of frames long; one claiming less is no real sound file.
constexpr unsigned kLowestRate = 8000;  // Hz
constexpr unsigned kHighestRate = 384000;
// The tail rendered after the input ends, at most, by default: ten minutes
// (a tail of -1 ms, read as 2^32-1 ms, is 50 days of sound);
// --max-tail raises it up to a day.
constexpr double kDefaultMaxTailSeconds = 600;
constexpr double kMostTailSeconds = 86400;

struct RenderOptions {
  std::string In;                    // empty: the built-in demo signal
  std::string Out = "plughost.wav";  // the file written (format by extension), "-" standard output
  std::string Format;                // s16, s24, s32, f32; empty: the input's sample depth
  unsigned Block = 4096;             // frames pulled per Decode, 1..kMostBlockFrames
  double GainDb = 0;                 // applied after the chain
  double MaxTailSeconds = kDefaultMaxTailSeconds;
  bool Legacy = false;               // run the engine as the legacy generation
  bool Log = false;                  // print the engine's log
  std::vector<std::string> Effects;  // effect expressions, in chain order
  std::string Plugin;                // the sonafilter file
};
int Render(const RenderOptions &options);
// Raises Failure for a block size, gain or tail cap out of range, and when
// the output is the input file.
void CheckRenderOptions(const RenderOptions &options);

// Samples beyond full scale in a render.
struct ClipReport {
  uint64_t Clipped = 0;    // finite samples with magnitude above 1.0
  uint64_t NonFinite = 0;
  float Peak = 0;          // largest finite magnitude
};
ClipReport MeasureClipping(const float *samples, size_t count, ClipReport so_far);
std::string DescribeClipping(const ClipReport &report);

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
  std::string Out;                        // the PNG or SVG file
  std::string Plugin;                     // the sonafilter file
};
int Response(const ResponseOptions &options);

struct ImpulseOptions {
  unsigned Rate = 44100;             // Hz
  std::string Out;                   // the PNG or SVG file; its data beside it (Out + ".dat")
  std::vector<std::string> Effects;  // effect expressions, in chain order
  double MaxSeconds = 30;            // the response is rendered for at most this long
  std::string Plugin;                // the sonafilter file
};
int Impulse(const ImpulseOptions &options);

// The time at which a decay curve (energy in dB, one value per frame at
// `rate`, 0 dB at the start) first falls to -60 dB; negative when it never does.
double TimeToFall60Db(const std::vector<double> &decayDb, unsigned rate);
// The energy left after each frame, in dB against the whole (backward
// integration of the squared samples, summed over channels).
std::vector<double> EnergyDecayDb(const std::vector<float> &samples, unsigned channels);

struct ListOptions {
  std::string Class;   // empty: every class
  std::string Plugin;  // the sonafilter file
};
int List(const ListOptions &options);

// The plot terminal for an --out file: "pngcairo" or "svg"; raises Failure
// for any other extension.
std::string PlotTerminal(const std::string &out);
// `text` as a gnuplot string literal.
std::string GnuplotQuoted(const std::string &text);
// Runs gnuplot on `script`; raises Failure when it fails to draw `out`.
void RunGnuplot(const std::string &script, const std::string &out);

}  // namespace plughost
