// simple_wave_filter.h — SimpleWaveFilter<E>: a wave filter that owns one
// SimpleFloatSource and one effect of type E and wires them together.
//
// THE EFFECT CONCEPT: what SimpleWaveFilter<E> requires of an effect type E.
//
//   E()                          default constructible; built with the filter,
//                                after its source.
//
//   tjs_uint32 TailMs() const    tail length in milliseconds: how long the
//                                source keeps reporting sound after the
//                                upstream has ended. Read at every
//                                AttachSource; 0 keeps the tail length of the
//                                previous attach (none on a new filter).
//
//   tjs_int32 Process(float *out, const float *in, tjs_uint32 frames,
//                     tjs_uint32 channels)
//                                processes one block: `in` holds `frames`
//                                frames of `channels` interleaved floats (the
//                                zero-filled frames after the end of the
//                                stream included); the result goes to `out`
//                                from the first frame on. Returns the number of
//                                frames written; the source copies the frames
//                                after those from `in` to `out` unchanged (a
//                                negative result counts as 0). A Process that
//                                returns void writes every frame. `in` and
//                                `out` never overlap; with `frames` 0 either
//                                may be null. Called on the engine's
//                                sound thread: it must not allocate or lock.
//
//   void Reset()                 clears the effect's signal memory (called by
//                                ResetState; the parameters stay).
//
//   Setup(R rate, C channels)    OPTIONAL. Called at every AttachSource, once
//                                the format is known, with the stream's sample
//                                rate and channel count, each converted with
//                                static_cast to the parameter's type (e.g.
//                                (float, int) or (tjs_uint32, tjs_uint32)); its
//                                result is ignored. The channel count is the
//                                input's, also for a forced-stereo effect. It
//                                must be one plain member function (no
//                                overloads, no template), so its parameter
//                                types can be read. This is where an effect
//                                sizes its memory.
//
//   static constexpr bool kForceStereo
//                                OPTIONAL, false when absent. True: the output
//                                is always stereo; a mono stream reaches
//                                Process with each sample in both channels.
//                                False: the output has the input's channels.
//
// An effect reaches nothing of the filter; the filter's processing routine
// finds the effect through the source's `context` (the filter itself).
#pragma once

#include <type_traits>
#include <utility>

#include "basic_wave_filter.h"
#include "float_source.h"

namespace wavefilter_detail {

template <class E, class = void>
struct HasSetup : std::false_type {};
template <class E>
struct HasSetup<E, std::void_t<decltype(std::declval<E &>().Setup(tjs_uint32(), tjs_uint32()))>>
    : std::true_type {};

// The parameter types of E::Setup, read from its member function type.
template <class M>
struct SetupParameters;
template <class C, class R, class A, class B>
struct SetupParameters<R (C::*)(A, B)> {
  using Rate = A;
  using Channels = B;
};
template <class C, class R, class A, class B>
struct SetupParameters<R (C::*)(A, B) noexcept> : SetupParameters<R (C::*)(A, B)> {};

template <class E, class = void>
struct ForcesStereo : std::false_type {};
template <class E>
struct ForcesStereo<E, std::void_t<decltype(E::kForceStereo)>> : std::bool_constant<E::kForceStereo> {};

}  // namespace wavefilter_detail

template <class E>
class SimpleWaveFilter : public tTVPBasicWaveFilter {
 public:
  SimpleWaveFilter() : tTVPBasicWaveFilter(), source(), effect() {
    source.SetProcessor(this, &SimpleWaveFilter::ProcessBlock);
    source.Disconnect();
  }
  ~SimpleWaveFilter() override = default;

  // Connects the source to `upstream`, sets the effect up for its format and
  // returns the source. Raises the source's connection errors.
  tTVPSampleAndLabelSource *TJS_INTF_METHOD AttachSource(tTVPSampleAndLabelSource *upstream) override {
    const tTVPWaveFormat &format = source.Connect(upstream, effect.TailMs());
    const tjs_uint32 rate = format.SamplesPerSec;
    const tjs_uint32 channels = format.Channels;
    SetupEffect(rate, channels);
    ApplyChannelRule(channels);
    HandedOut = true;
    return &source;
  }

  // Lets go of the upstream. A filter whose script object has gone
  // meanwhile (see Dispose) ends here: nothing of it may be used after.
  void TJS_INTF_METHOD DetachSource() override {
    source.Disconnect();
    HandedOut = false;
    if (!DisposeOnDetach) return;
    NoteFilterAwaitingDetach(-1);
    delete this;
  }

  // Ends the filter as its script object goes (the binder's deleter). A
  // filter whose source a sound buffer is pulling (an AttachSource that
  // returned, not yet followed by DetachSource) lives on, unreachable from
  // scripts, until the buffer detaches it, and the plug-in refuses to unlink
  // until then. Any other filter is deleted at once: also one whose
  // AttachSource raised, since the engine then got no source to pull.
  void Dispose() {
    if (!HandedOut) {
      delete this;
      return;
    }
    DisposeOnDetach = true;
    NoteFilterAwaitingDetach(+1);
  }

  // Clears the effect's memory and re-arms the tail.
  void TJS_INTF_METHOD ResetState() override {
    effect.Reset();
    source.RearmTail();
  }

  SimpleFloatSource source;  // the source handed to the engine
  E effect;                  // the effect the source's blocks run through

 private:
  bool HandedOut = false;        // AttachSource returned the source; no DetachSource since
  bool DisposeOnDetach = false;  // the script object has gone; the next DetachSource ends the filter

  void SetupEffect(tjs_uint32 rate, tjs_uint32 channels) {
    if constexpr (wavefilter_detail::HasSetup<E>::value) {
      using Parameters = wavefilter_detail::SetupParameters<decltype(&E::Setup)>;
      effect.Setup(static_cast<typename Parameters::Rate>(rate), static_cast<typename Parameters::Channels>(channels));
    }
  }

  void ApplyChannelRule(tjs_uint32 channels) {
    if constexpr (wavefilter_detail::ForcesStereo<E>::value)
      source.ForceStereo();
    else
      source.SetChannels(channels);
  }

  static tjs_int32 ProcessBlock(void *context, const float *in, float *out, tjs_uint32 frames,
                                tjs_uint32 channels) {
    E &target = static_cast<SimpleWaveFilter *>(context)->effect;
    if constexpr (std::is_void_v<decltype(target.Process(out, in, frames, channels))>) {
      target.Process(out, in, frames, channels);
      return static_cast<tjs_int32>(frames);
    } else {
      return static_cast<tjs_int32>(target.Process(out, in, frames, channels));
    }
  }
};
