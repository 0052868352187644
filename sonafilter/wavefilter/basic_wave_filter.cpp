// basic_wave_filter.cpp — the pass-through defaults of every filter, its
// legacy adapters, and the once-per-module engine generation check.
#include "basic_wave_filter.h"

#include <cstdint>

namespace {

using LegacyFilterAdapter = tTVPBasicWaveFilter::LegacyFilterAdapter;
using LegacySourceAdapter = tTVPBasicWaveFilter::LegacySourceAdapter;

// The format an adapter reports when it stands for no source.
const tTVPWaveFormat kNoFormat{};

// ----- ToK2WaveFilter: the filter, called by a legacy engine ---------------------
tTVPBasicWaveFilter &OwnerOf(tTVPLegacyWaveFilter *self) { return *static_cast<LegacyFilterAdapter *>(self)->Owner; }

// Attaches the filter to `upstream` through the FromK2 adapter and
// returns what the filter hands back. When the filter refuses with an
// engine error while the adapter still stands for an earlier upstream (a
// second buffer offered a filter already playing: "Cannot connect multiple
// wave sound buffer at once."), the adapter is pointed back at that earlier
// upstream before the error goes on, so the buffer already playing keeps
// reading its own sound: a refused attach changes nothing.
tTVPSampleAndLabelSource *AttachThroughAdapter(tTVPBasicWaveFilter &filter, tTVPLegacySampleSource *upstream) {
  tTVPBasicWaveFilter::NativeSourceAdapter &adapter = filter.FromK2SampleAndLabelSource;
  tTVPLegacySampleSource *const earlier = adapter.Legacy;
  adapter.Legacy = upstream;
  try {
    return filter.AttachSource(&adapter);
  } catch (...) {
    if (earlier) adapter.Legacy = earlier;
    throw;
  }
}

// A pass-through filter hands back the adapter it was given: the legacy
// engine then reads its own upstream directly.
tTVPLegacySampleSource *TJS_LEGACY_CALL LegacyAttachSource(tTVPLegacyWaveFilter *self,
                                                           tTVPLegacySampleSource *upstream) {
  tTVPBasicWaveFilter &filter = OwnerOf(self);
  tTVPSampleAndLabelSource *source = AttachThroughAdapter(filter, upstream);
  if (source == &filter.FromK2SampleAndLabelSource) return upstream;
  filter.ToK2SampleAndLabelSource.Native = source;
  return &filter.ToK2SampleAndLabelSource;
}

// The adapters forget both sources, so that neither keeps a pointer the
// engine may free, then the filter lets go of its upstream. In that order:
// a filter whose script object is gone ends its life in DetachSource, and
// nothing of it may be touched after that.
void TJS_LEGACY_CALL LegacyDetachSource(tTVPLegacyWaveFilter *self) {
  tTVPBasicWaveFilter &filter = OwnerOf(self);
  filter.FromK2SampleAndLabelSource.Legacy = nullptr;
  filter.ToK2SampleAndLabelSource.Native = nullptr;
  filter.DetachSource();
}

void TJS_LEGACY_CALL LegacyRefresh(tTVPLegacyWaveFilter *self) { OwnerOf(self).Refresh(); }
void TJS_LEGACY_CALL LegacyResetState(tTVPLegacyWaveFilter *self) { OwnerOf(self).ResetState(); }

const tTVPLegacyWaveFilterEntries kFilterEntries = {&LegacyAttachSource, &LegacyDetachSource, &LegacyRefresh,
                                                     &LegacyResetState};

// ----- ToK2SampleAndLabelSource: the filter's source, read by a legacy engine ------
tTVPSampleAndLabelSource *NativeOf(tTVPLegacySampleSource *self) {
  return static_cast<LegacySourceAdapter *>(self)->Native;
}

// Without a source to read (no legacy attach yet, or detached), or without
// the engine's count and label arguments, no frames are produced.
void TJS_LEGACY_CALL LegacyDecode(tTVPLegacySampleSource *self, void *dest, tjs_uint32 frames, tjs_uint32 *rendered,
                                  tTVPWaveLabels *labels) {
  tTVPSampleAndLabelSource *source = NativeOf(self);
  tjs_uint32 count = 0;
  if (source && labels) source->Decode(dest, frames, count, *labels);
  if (rendered) *rendered = count;
}

const tTVPWaveFormat *TJS_LEGACY_CALL LegacyGetFormat(tTVPLegacySampleSource *self) {
  tTVPSampleAndLabelSource *source = NativeOf(self);
  return source ? &source->GetFormat() : &kNoFormat;
}

void TJS_LEGACY_CALL LegacyNothing(tTVPLegacySampleSource *) {}

const tTVPLegacySampleSourceEntries kSourceEntries = {&LegacyDecode, &LegacyGetFormat, &LegacyNothing,
                                                      &LegacyNothing};

// ----- the engine generation ----------------------------------------------------------
// Module-wide: 0 not decided yet, 1 legacy engine, -1 current engine. Set
// once, never reset (not by unlink either): every decision would come out
// the same, since the class ids do not change while the engine runs.
tjs_int32 HostGeneration = 0;

struct GenerationProbe {
  const tjs_nchar *Prefix;  // the class is Prefix + "SoundBuffer"
  tjs_int32 ExpectedId;     // its id on a legacy engine
};
const GenerationProbe kProbes[] = {{"CDDA", TVP_LEGACY_CDDA_CLASSID}, {"MIDI", TVP_LEGACY_MIDI_CLASSID}};

// Whether the engine's class of the probe has the legacy id. A missing class
// answers false silently, a class with another id costs one log line.
bool ProbeMatches(const GenerationProbe &probe) {
  ttstr name(probe.Prefix);
  name += u"SoundBuffer";
  const tjs_int32 found = TJSFindNativeClassID(name.c_str());
  if (found < 0) return false;
  if (found == probe.ExpectedId) return true;
  TVPAddImportantLog(name + u" ClassID mismatched: " + ttstr(found) + u" != " + ttstr(probe.ExpectedId));
  return false;
}

// Script thread only, like the script objects whose end changes it; the
// engine detaches filters on that thread too.
tjs_int32 AwaitingDetach = 0;

}  // namespace

tjs_int32 FiltersAwaitingDetach() { return AwaitingDetach; }
void NoteFilterAwaitingDetach(tjs_int32 delta) { AwaitingDetach += delta; }

bool HostGenerationCheck() {
  if (HostGeneration != 0) return HostGeneration > 0;
  tjs_int32 decided = 1;
  for (const GenerationProbe &probe : kProbes) {
    if (!ProbeMatches(probe)) {
      decided = -1;
      break;
    }
  }
  HostGeneration = decided;
  return decided > 0;
}

// intptr_t is as wide as a pointer: on 32-bit builds the conversion to the
// 64-bit script integer sign-extends, on 64-bit builds it keeps every bit.
tTVInteger InterfaceValue(const void *address) {
  return static_cast<tTVInteger>(reinterpret_cast<std::intptr_t>(address));
}

// ----- the filter ------------------------------------------------------------------------
tTVPBasicWaveFilter::tTVPBasicWaveFilter()
    : ToK2WaveFilter{{&kFilterEntries}, this}, ToK2SampleAndLabelSource{{&kSourceEntries}, nullptr} {}

tTVPBasicWaveFilter::~tTVPBasicWaveFilter() = default;

tTVPSampleAndLabelSource *TJS_INTF_METHOD tTVPBasicWaveFilter::AttachSource(tTVPSampleAndLabelSource *source) {
  return source;
}

void TJS_INTF_METHOD tTVPBasicWaveFilter::DetachSource() {}
void TJS_INTF_METHOD tTVPBasicWaveFilter::Refresh() {}
void TJS_INTF_METHOD tTVPBasicWaveFilter::ResetState() {}

const void *tTVPBasicWaveFilter::InterfaceAddress() const {
  if (HostGenerationCheck()) return static_cast<const tTVPLegacyWaveFilter *>(&ToK2WaveFilter);
  return static_cast<const iTVPBasicWaveFilter *>(this);
}

tjs_error tTVPBasicWaveFilter::GetInterface(tTJSVariant *result) const {
  if (result) *result = InterfaceValue(InterfaceAddress());
  return TJS_S_OK;
}

// ----- FromK2SampleAndLabelSource: a legacy upstream, read natively --------------------
void TJS_INTF_METHOD tTVPBasicWaveFilter::NativeSourceAdapter::Decode(void *dest, tjs_uint32 frames,
                                                                      tjs_uint32 &rendered, tTVPWaveLabels &labels) {
  rendered = 0;
  if (Legacy) Legacy->Entries->Decode(Legacy, dest, frames, &rendered, &labels);
}

const tTVPWaveFormat &TJS_INTF_METHOD tTVPBasicWaveFilter::NativeSourceAdapter::GetFormat() {
  const tTVPWaveFormat *format = Legacy ? Legacy->Entries->GetFormat(Legacy) : nullptr;
  return format ? *format : kNoFormat;
}

void TJS_INTF_METHOD tTVPBasicWaveFilter::NativeSourceAdapter::Notify() {}
