// float_source.h — SimpleFloatSource: the source a filter hands back to the
// engine. Each Decode pulls a block from the upstream, turns it into
// interleaved 32-bit floats with the output's channel count, pads a short
// block with silence, keeps reporting sound for a tail after the upstream has
// ended, and runs the block through the filter's processing routine straight
// into the engine's buffer.
//
// One upstream at a time: Connect on an attached source raises; Disconnect
// detaches. Decode takes no locks and allocates only when a block larger than
// any before arrives (its two buffers grow to frames x 8 bytes and keep their
// storage, also across Disconnect).
#pragma once

#include <cstddef>
#include <vector>

#include "hostengine.h"

// The processing routine a filter installs: reads `frames` frames of
// `channels` interleaved floats from `in`, writes its result to `out` from the
// first frame on and returns how many frames it wrote. `in` and `out` never
// overlap. `context` is the value given with SetProcessor (the filter).
typedef tjs_int32 (*tTVPProcessRoutine)(void *context, const float *in, float *out, tjs_uint32 frames,
                                        tjs_uint32 channels);

// A contiguous block of float storage that only grows: room for two samples
// of four bytes per frame, the largest frame a source admits. Clear empties
// it but keeps the storage.
class WorkBuffer {
 public:
  // Makes room for `frames` frames of up to 8 bytes; new room is zeroed.
  // Allocates only when more storage is needed than ever before.
  void GrowToFrames(tjs_uint32 frames);
  // Empties the buffer; its storage stays allocated.
  void Clear() { Samples_.clear(); }
  float *Floats() { return Samples_.data(); }
  void *Bytes() { return Samples_.data(); }
  std::size_t Size() const { return Samples_.size(); }          // in floats
  std::size_t Capacity() const { return Samples_.capacity(); }  // in floats

 private:
  std::vector<float> Samples_;
};

class SimpleFloatSource final : public tTVPSampleAndLabelSource {
 public:
  // Conversion modes (see UpdateConversionMode).
  static constexpr tjs_int32 kDirectFloat = 0;      // upstream already delivers the output's floats
  static constexpr tjs_int32 kConvert = 1;          // same channel count, samples need converting
  static constexpr tjs_int32 kAdaptChannels = -1;   // the channel counts differ

  SimpleFloatSource();
  ~SimpleFloatSource();
  SimpleFloatSource(const SimpleFloatSource &) = delete;
  SimpleFloatSource &operator=(const SimpleFloatSource &) = delete;

  // Installs the processing routine and its first argument. Without a routine
  // every block passes through unprocessed.
  void SetProcessor(void *routineContext, tTVPProcessRoutine routine);

  // Attaches `source` (borrowed) and returns the output format. `tailLength`
  // in milliseconds; 0 keeps the earlier tail length. Raises "Cannot connect
  // multiple wave sound buffer at once.", "HiRes format not supported." or
  // "invalid channels." (the last two leave the source attached).
  const tTVPWaveFormat &Connect(tTVPSampleAndLabelSource *source, tjs_uint32 tailLength);
  // Sets the output's channel count (1 or 2, else raises "invalid channels.").
  void SetChannels(tjs_uint32 channels);
  // Makes the output stereo whatever the input, without the range test.
  void ForceStereo();
  // Re-arms the tail budget from the stored tail length (if it is not 0).
  void RearmTail();
  // Forgets the upstream and both formats; the tail length stays.
  void Disconnect();

  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels) override;
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override;
  void TJS_INTF_METHOD Notify() override;

  // Read-only views of the state, for the filter and for tests.
  tjs_int32 ConversionMode() const { return conversionMode; }
  tjs_uint32 TailMs() const { return tailMs; }          // tail length, milliseconds
  tjs_uint32 TailFrames() const { return tailFrames; }  // tail budget still to report, frames
  tTVPSampleAndLabelSource *Upstream() const { return upstream; }
  const tTVPWaveFormat &InFormat() const { return inFormat; }
  const tTVPWaveFormat &OutFormat() const { return outFormat; }
  const WorkBuffer &ReadBuffer() const { return readBuffer; }
  const WorkBuffer &ConvertBuffer() const { return convertBuffer; }

  // Tail budget in frames of `tailMs` milliseconds at `rate` frames per
  // second: computed in 64 bits, truncated, saturated at the 32-bit maximum.
  static tjs_uint32 TailBudget(tjs_uint32 rate, tjs_uint32 tailMs);

 private:
  void UpdateConversionMode();
  // True when the upstream is attached and its format was accepted in full.
  bool IsStreaming() const;
  // Pulls one block and returns it as floats with the output's channel count.
  float *ReadBlock(tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels);
  // Zero-fills the frames after `rendered` and spends the tail budget on them.
  void PadAndExtend(float *block, tjs_uint32 frames, tjs_uint32 &rendered);
  // Runs the processing routine; frames it did not write are copied through.
  void ProcessInto(float *out, const float *block, tjs_uint32 frames);
  // The processing routine's result for one block, run with flush-to-zero
  // and denormals-are-zero set (0 without a routine).
  tjs_int32 RunProcessRoutine(float *out, const float *block, tjs_uint32 frames, tjs_uint32 channels);

  void *context;                      // first argument of processRoutine (the filter); not owned
  tTVPProcessRoutine processRoutine;  // null: blocks pass through
  tjs_int32 conversionMode;           // kDirectFloat, kConvert or kAdaptChannels
  tjs_uint32 tailMs;                  // tail length, milliseconds
  tjs_uint32 tailFrames;              // tail budget still to report, frames
  tTVPSampleAndLabelSource *upstream;  // null when detached; not owned
  tTVPWaveFormat inFormat;            // copy of the upstream's format
  tTVPWaveFormat outFormat;           // the format this source produces
  WorkBuffer readBuffer;              // the upstream's raw block
  WorkBuffer convertBuffer;           // second working buffer
};
