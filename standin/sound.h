// sound.h — the stand-in engine's sound side: its PCM converter (the
// engine function TVPConvertPCMToFloat, declared in hostengine.h), sample
// sources over memory and over audio files, and a sound buffer that pulls
// blocks through a chain of wave filters, for tests, tools and benchmarks.
//
// Sample formats the engine produces and converts (little-endian):
//   8 bits in 1 byte   unsigned, silence at 128
//   16 bits in 2 bytes signed
//   24 bits in 3 bytes signed
//   24 bits in 4 bytes signed 32-bit container holding the 24 significant
//                      bits in its high three bytes (the low byte is padding)
//   32 bits in 4 bytes signed
//   32-bit float       IEEE single, full scale at +-1.0 (float flag set)
// In general an integer sample of B bytes keeps its significant bits at the
// top of the container; the converter ignores the bits below them and divides
// the signed container value by 2^(8B-1), so every format maps full scale to
// [-1.0, 1.0) (8-bit: (v - 128) / 128; 16-bit: v / 32768; 24-bit: v / 2^23).
//
// Engine generations (see "Legacy generation" in hostengine.h). The engine
// is of the current generation unless EnableLegacyGeneration is called; a
// legacy engine registers the two class ids that mark it and takes the
// filters that scripts hand it (AddFilterByInterface) as legacy filter
// objects, which its sound buffers call only through their entry tables,
// with the buffer's own sources behind a legacy-convention wrapper.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calls.h"
#include "hostengine.h"

// The stand-in's label information for one block: labels a source reports
// with the frame (within the block) at which each falls. Filters pass it on
// untouched; the sound buffer collects it.
class tTVPWaveLabels {
 public:
  struct Label {
    tjs_uint32 Frame;  // offset within the block
    std::string Name;
  };
  std::vector<Label> Items;
};

namespace standin {

// A format record as the engine fills it: the named fields set, the opaque
// bytes zero.
tTVPWaveFormat WaveFormat(tjs_uint32 rate, tjs_uint32 channels, tjs_uint32 bits, tjs_uint32 bytes,
                          bool isFloat = false);
tjs_uint32 FrameBytes(const tTVPWaveFormat &format);  // channels x bytes per sample

// Calls of TVPConvertPCMToFloat since the process started.
long PcmConversions();

// ----- engine generations ----------------------------------------------------
// Makes the current engine a legacy one: pre-registers "CDDASoundBuffer" as 9
// and "MIDISoundBuffer" as 10 (call it before any plug-in links) and makes
// AddFilterByInterface take legacy filter objects. False, with the
// generation unchanged, when those names or ids are taken already.
bool EnableLegacyGeneration();
// Whether the current engine is a legacy one; false without an engine.
bool IsLegacyGeneration();

// A current-generation source (borrowed) behind the legacy convention: the
// legacy source a legacy engine hands a filter. Entries is its first field.
class LegacySourceWrapper final : public tTVPLegacySampleSource {
 public:
  explicit LegacySourceWrapper(tTVPSampleAndLabelSource *source);
  tTVPSampleAndLabelSource *Source() const { return Source_; }

 private:
  tTVPSampleAndLabelSource *Source_;
};

// A legacy source (borrowed; may be null, then no frames and an all-zero
// format) read through its entry table, as a current-generation source.
class NativeSourceWrapper final : public tTVPSampleAndLabelSource {
 public:
  explicit NativeSourceWrapper(tTVPLegacySampleSource *source) : Source_(source) {}
  ~NativeSourceWrapper() = default;
  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels) override;
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override;
  void TJS_INTF_METHOD Notify() override {}
  tTVPLegacySampleSource *Source() const { return Source_; }

 private:
  tTVPLegacySampleSource *Source_;
};

// ----- sources -------------------------------------------------------------
// A source over bytes in memory: each Decode hands out the next frames; the
// block that reaches the end is short.
class MemorySource final : public tTVPSampleAndLabelSource {
 public:
  MemorySource(const tTVPWaveFormat &format, std::vector<uint8_t> bytes);
  ~MemorySource();
  // Float or signed 16-bit samples, interleaved.
  static MemorySource OfFloats(tjs_uint32 rate, tjs_uint32 channels, const std::vector<float> &samples);
  static MemorySource OfInt16(tjs_uint32 rate, tjs_uint32 channels, const std::vector<int16_t> &samples);
  MemorySource(MemorySource &&) = default;

  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels) override;
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override {
    STANDIN_ENGINE_CALL("Source.GetFormat");
    return Format_;
  }
  void TJS_INTF_METHOD Notify() override {
    STANDIN_ENGINE_CALL("Source.Notify");
    ++Notifies_;
  }

  // Reports `name` in the block that contains frame `frame`.
  void AddLabel(tjs_uint64 frame, std::string name);
  void Rewind() { Position_ = 0; }
  tjs_uint64 Position() const { return Position_; }  // frames handed out
  int Decodes() const { return Decodes_; }
  int Notifies() const { return Notifies_; }
  const void *LastDest() const { return LastDest_; }  // buffer of the last Decode
  const tTVPWaveLabels *LastLabels() const { return LastLabels_; }

 private:
  tTVPWaveFormat Format_;
  std::vector<uint8_t> Bytes_;
  std::vector<std::pair<tjs_uint64, std::string>> Labels_;
  tjs_uint64 Position_ = 0;
  int Decodes_ = 0;
  int Notifies_ = 0;
  const void *LastDest_ = nullptr;
  const tTVPWaveLabels *LastLabels_ = nullptr;
};

#if defined(STANDIN_HAVE_SNDFILE)
// A source over an audio file read with libsndfile. The format record holds
// the file's rate and channels; the samples keep the file's precision:
// 8-bit files give unsigned 8-bit samples, 16-bit ones 16-bit, 24-bit ones
// 24 bits in 3 bytes, 32-bit ones 32-bit; float, double and compressed files
// give 32-bit floats. Raises EngineError when the file cannot be opened.
class FileSource final : public tTVPSampleAndLabelSource {
 public:
  explicit FileSource(const std::string &path);
  ~FileSource();
  FileSource(const FileSource &) = delete;
  FileSource &operator=(const FileSource &) = delete;

  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels) override;
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format_; }
  void TJS_INTF_METHOD Notify() override {}

  tjs_uint64 TotalFrames() const { return TotalFrames_; }

 private:
  struct File;
  std::unique_ptr<File> File_;
  tTVPWaveFormat Format_;
  tjs_uint64 TotalFrames_ = 0;
  std::vector<int32_t> Scratch_;  // integer samples as libsndfile delivers them
};
#endif  // STANDIN_HAVE_SNDFILE

// ----- sound buffer ----------------------------------------------------------
// What a sound buffer played: the output of its last source.
struct PlayedSound {
  tTVPWaveFormat Format{};          // the format of the chain's output
  std::vector<uint8_t> Bytes;       // every rendered frame, in Format
  std::vector<tjs_uint32> Blocks;   // the rendered count of each pulled block
  std::vector<tTVPWaveLabels::Label> Labels;  // labels, Frame counted from the start of the output
  tjs_uint64 Frames() const;
  std::vector<float> Floats() const;  // Bytes converted with TVPConvertPCMToFloat
};

// A sound buffer: reads from a source through a chain of wave filters, as the
// engine does. Filters and the source are borrowed; the chain is attached on
// Attach (each filter's AttachSource receives the previous output) and
// detached, last filter first, on Detach or destruction.
//
// A chain may hold filters of both conventions. A legacy filter is called
// only through its entry table: its upstream reaches it as a legacy source
// (the buffer's source, or a current-generation filter's output, behind a
// LegacySourceWrapper; a legacy filter's own output as it is), and the
// legacy source it returns is read through its entries (a wrapper the buffer
// made is unwrapped again, so a pass-through leaves the upstream in place).
// The buffer owns the wrappers it makes; they go at Detach.
class SoundBuffer {
 public:
  explicit SoundBuffer(tTVPSampleAndLabelSource &source);
  ~SoundBuffer();
  SoundBuffer(const SoundBuffer &) = delete;
  SoundBuffer &operator=(const SoundBuffer &) = delete;

  // Appends a filter called through its virtual operations (before Attach).
  void AddFilter(iTVPBasicWaveFilter *filter);
  // Appends a legacy filter object, called through its entry table.
  void AddLegacyFilter(tTVPLegacyWaveFilter *filter);
  // Appends the filter a script hands the engine: `value` is an effect's
  // `interface`, the address of a legacy filter object on a legacy engine
  // and of an iTVPBasicWaveFilter otherwise. The value is the address as a
  // signed pointer-sized integer widened to 64 bits; converting it back to
  // that integer restores the address (on 32-bit builds the sign-extended
  // value truncates to the exact 32-bit address).
  void AddFilterByInterface(tTVInteger value);

  // Attaches the chain. An engine exception from a filter's AttachSource
  // passes on after the filters attached before it have been detached again;
  // the failing filter itself is left as its AttachSource left it.
  void Attach();
  // ResetState on every filter, first to last.
  void ResetState();
  // Pulls one block of `frames` frames from the chain's output, appends the
  // rendered frames to Played() (unless KeepPlayed(false)) and returns how
  // many were rendered; LastBlock() holds them until the next pull.
  tjs_uint32 PullBlock(tjs_uint32 frames);
  // Whether PullBlock keeps what it played in Played() (true by default);
  // a streaming reader turns it off and takes each block from LastBlock().
  void KeepPlayed(bool keep) { KeepPlayed_ = keep; }
  // The rendered frames of the last pull, in OutputFormat().
  const uint8_t *LastBlock() const { return Block_.data(); }
  // The format of the chain's output (valid once attached).
  const tTVPWaveFormat &OutputFormat() const { return Played_.Format; }
  // DetachSource on every attached filter, last to first.
  void Detach();

  // Attach, pull blocks of `blockFrames` until the first short one (at most
  // `maxBlocks`), Detach; returns everything played (also on failure the
  // chain is detached before the exception passes on).
  PlayedSound Play(tjs_uint32 blockFrames, size_t maxBlocks = 1u << 20);

  tTVPSampleAndLabelSource *Output() const { return Output_; }  // null until attached
  const PlayedSound &Played() const { return Played_; }

 private:
  // One filter of the chain: exactly one of the two is set.
  struct ChainFilter {
    iTVPBasicWaveFilter *Native;
    tTVPLegacyWaveFilter *Legacy;
  };
  // Attaches a legacy filter to `input` and returns its output as a
  // current-generation source.
  tTVPSampleAndLabelSource *AttachLegacy(tTVPLegacyWaveFilter *filter, tTVPSampleAndLabelSource *input);
  tTVPLegacySampleSource *LegacyFaceOf(tTVPSampleAndLabelSource *source);
  tTVPSampleAndLabelSource *NativeFaceOf(tTVPLegacySampleSource *source);

  tTVPSampleAndLabelSource &Source_;
  std::vector<ChainFilter> Filters_;
  size_t Attached_ = 0;  // filters whose AttachSource succeeded
  std::vector<std::unique_ptr<LegacySourceWrapper>> LegacyWrappers_;  // made by Attach
  std::vector<std::unique_ptr<NativeSourceWrapper>> NativeWrappers_;  // made by Attach
  tTVPSampleAndLabelSource *Output_ = nullptr;
  std::vector<uint8_t> Block_;
  tTVPWaveLabels Labels_;
  PlayedSound Played_;
  bool KeepPlayed_ = true;
};

}  // namespace standin
