// probe_plugin.cpp — a test-only plug-in built from the wave filter
// framework with the test effects: its filters reach the engine's converter
// and exceptions through the function exporter, as sonafilter's do.
#include "hostlink.h"
#include "test_effects.h"
#include "wavefilter/simple_wave_filter.h"

#include "probe_export.h"

bool PluginLink() { return true; }
bool PluginUnlink() { return true; }

namespace {
struct ProbeStereoGain : test_effects::Recorder {
  static constexpr bool kForceStereo = true;
};
}  // namespace

// A filter with a forced-stereo gain effect; destroyed with WaveProbeDelete.
PROBE_EXPORT iTVPBasicWaveFilter *WaveProbeNewStereoGain(float gain) {
  auto *filter = new SimpleWaveFilter<ProbeStereoGain>();
  filter->effect.Gain = gain;
  return filter;
}

// Deletes a filter through its virtual destructor (slot 5).
PROBE_EXPORT void WaveProbeDelete(iTVPBasicWaveFilter *filter) { delete filter; }
