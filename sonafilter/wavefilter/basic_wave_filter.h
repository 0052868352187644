// basic_wave_filter.h — tTVPBasicWaveFilter, the base of every filter of
// sonafilter: a filter that passes sound through untouched.
//
// The base is where a filter object's engine-facing parts live; every field
// it gains (the adapters for the legacy engine generation) comes before the
// fields of the derived filters and is set up by its constructor, so derived
// filters construct it with no arguments.
#pragma once

#include "hostengine.h"

class tTVPBasicWaveFilter : public iTVPBasicWaveFilter {
 public:
  tTVPBasicWaveFilter();
  ~tTVPBasicWaveFilter() override;
  tTVPBasicWaveFilter(const tTVPBasicWaveFilter &) = delete;
  tTVPBasicWaveFilter &operator=(const tTVPBasicWaveFilter &) = delete;

  // Pass-through: the engine keeps reading from `source` itself.
  tTVPSampleAndLabelSource *TJS_INTF_METHOD AttachSource(tTVPSampleAndLabelSource *source) override;
  void TJS_INTF_METHOD DetachSource() override;
  void TJS_INTF_METHOD Refresh() override;
  void TJS_INTF_METHOD ResetState() override;
};
