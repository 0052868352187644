// basic_wave_filter.h — tTVPBasicWaveFilter, the base of every filter of
// sonafilter: a filter that passes sound through untouched, and that serves
// both engine generations (see "Legacy generation" in hostengine.h).
//
// The base is where a filter object's engine-facing parts live: its three
// legacy adapters are its only fields, come before the fields of the derived
// filters and are set up by its constructor, so derived filters construct it
// with no arguments.
//
//   ToK2WaveFilter            the filter as a legacy filter object: the
//                             address a legacy engine is given. Its entries
//                             call the filter's own (virtual) operations.
//   FromK2SampleAndLabelSource  the legacy upstream as a current-generation
//                             source: what the filter's AttachSource receives
//                             when a legacy engine attaches it.
//   ToK2SampleAndLabelSource  the source the filter returned, as a legacy
//                             source: what a legacy engine then reads from.
//
// The adapters hold one upstream and one returned source at a time, as a
// filter attaches to one upstream at a time.
//
// Which address a script hands the engine (`interface`) is decided once per
// module, on the first InterfaceAddress, by HostGenerationCheck.
#pragma once

#include "hostengine.h"

class tTVPBasicWaveFilter : public iTVPBasicWaveFilter {
 public:
  // The filter as a legacy filter object; Owner is the filter itself.
  struct LegacyFilterAdapter : tTVPLegacyWaveFilter {
    tTVPBasicWaveFilter *Owner;
  };
  // A current-generation source as a legacy source; Native is null until a
  // legacy attach returned a source other than the upstream itself.
  struct LegacySourceAdapter : tTVPLegacySampleSource {
    tTVPSampleAndLabelSource *Native;
  };
  // A legacy source as a current-generation source; Legacy is null until a
  // legacy attach. Without one it reports no frames and an all-zero format.
  class NativeSourceAdapter final : public tTVPSampleAndLabelSource {
   public:
    NativeSourceAdapter() : Legacy(nullptr) {}
    ~NativeSourceAdapter() = default;
    void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered,
                                tTVPWaveLabels &labels) override;
    const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override;
    void TJS_INTF_METHOD Notify() override;

    tTVPLegacySampleSource *Legacy;  // borrowed from the legacy engine
  };

  tTVPBasicWaveFilter();
  ~tTVPBasicWaveFilter() override;
  tTVPBasicWaveFilter(const tTVPBasicWaveFilter &) = delete;
  tTVPBasicWaveFilter &operator=(const tTVPBasicWaveFilter &) = delete;

  // Pass-through: the engine keeps reading from `source` itself.
  tTVPSampleAndLabelSource *TJS_INTF_METHOD AttachSource(tTVPSampleAndLabelSource *source) override;
  void TJS_INTF_METHOD DetachSource() override;
  void TJS_INTF_METHOD Refresh() override;
  void TJS_INTF_METHOD ResetState() override;

  // The address through which the engine is to call this filter: the
  // legacy filter adapter on a legacy engine, the filter itself (as an
  // iTVPBasicWaveFilter) otherwise.
  const void *InterfaceAddress() const;
  // The `interface` property's getter, shared by every filter class:
  // stores InterfaceAddress as a script integer (see hostengine.h) in
  // `result`; a null `result` is left alone. Always 0.
  tjs_error GetInterface(tTJSVariant *result) const;

  LegacyFilterAdapter ToK2WaveFilter;
  LegacySourceAdapter ToK2SampleAndLabelSource;
  NativeSourceAdapter FromK2SampleAndLabelSource;
};

// Filters whose script object has gone while a sound buffer still held them
// (see SimpleWaveFilter::Dispose): each lives on until its DetachSource.
// While any does, the engine can still reach this module's code, so the
// plug-in refuses to be unlinked.
tjs_int32 FiltersAwaitingDetach();
// Counts one more (+1) or one fewer (-1) such filter.
void NoteFilterAwaitingDetach(tjs_int32 delta);

// Whether this module runs in a legacy engine. Decided on the first call by
// probing the engine's native class ids (a mismatching id is logged once)
// and kept for the life of the module, across unlink and relink.
bool HostGenerationCheck();

// `address` as the engine's script integer: the pointer-sized signed value,
// sign-extended to 64 bits (the exact 32-bit value on 32-bit builds).
tTVInteger InterfaceValue(const void *address);
