// basic_wave_filter.cpp — the pass-through defaults of every filter.
#include "basic_wave_filter.h"

tTVPBasicWaveFilter::tTVPBasicWaveFilter() = default;
tTVPBasicWaveFilter::~tTVPBasicWaveFilter() = default;

tTVPSampleAndLabelSource *TJS_INTF_METHOD tTVPBasicWaveFilter::AttachSource(tTVPSampleAndLabelSource *source) {
  return source;
}

void TJS_INTF_METHOD tTVPBasicWaveFilter::DetachSource() {}
void TJS_INTF_METHOD tTVPBasicWaveFilter::Refresh() {}
void TJS_INTF_METHOD tTVPBasicWaveFilter::ResetState() {}
