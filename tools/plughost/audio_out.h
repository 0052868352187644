// audio_out.h — the demo signal and plughost's audio output: the container
// chosen by the output's extension, written beside the target and renamed
// over it only once complete, or streamed to standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostengine.h"

namespace plughost {

// Sample format of a written file.
enum class SampleFormat { S16, S24, S32, F32 };

// Parses "s16", "s24", "s32" or "f32"; false for anything else.
bool ParseSampleFormat(const std::string &text, SampleFormat &out);
const char *SampleFormatName(SampleFormat format);
// The format that keeps an input's sample depth: float stays f32, integers
// of 24 and 32 bits stay s24 and s32, anything narrower becomes s16.
SampleFormat SampleFormatOf(const tTVPWaveFormat &input);
unsigned BytesPerSample(SampleFormat format);

// The built-in demo: 4 seconds at 44100 Hz, stereo, signed 16-bit, frames
// interleaved. A plucked arpeggio (C4 E4 G4 C5 G4 E4, a note every half
// second, each a decaying tone with three harmonics, panned left to right)
// with a soft noise click on each note, then a second of silence so that
// echoes and reverb tails are heard on their own.
constexpr unsigned kDemoRate = 44100;
constexpr unsigned kDemoChannels = 2;
std::vector<int16_t> MakeDemoSignal();

// Largest data size the 32-bit size fields of WAV, AIFF and AU can state,
// less room for their headers.
constexpr uint64_t kClassicContainerLimit = 0xFFFFFFFFull - 4096;

// How an output is written: the libsndfile format (container and sample
// encoding) and whether it streams to standard output.
struct OutputPlan {
  int SndfileFormat = 0;
  SampleFormat Format = SampleFormat::S16;
  bool Stream = false;           // "-": an AU stream on standard output
  bool AutoDowngrade = false;    // RF64 that libsndfile writes as plain WAV when it fits
  std::string Container;         // for messages: "WAV", "FLAC", ...
};

// Chooses the container by the extension of `path` (case-insensitive):
// .wav .flac .ogg .aif/.aiff .au .w64 .rf64 .caf; "-" streams AU. `format`
// is the requested sample format; when `formatGiven` is false and the
// container cannot hold it, the nearest it can is taken instead (FLAC: s24).
// `mostBytes` is an upper bound of the sample data: a WAV that may exceed
// kClassicContainerLimit is written as RF64 (plain WAV when it turns out to
// fit); AIFF and AU that may exceed it are refused. Raises
// std::runtime_error for an unknown extension or a format the container
// cannot hold.
OutputPlan PlanOutput(const std::string &path, SampleFormat format, bool formatGiven, uint64_t mostBytes);

// True when `a` and `b` name the same existing file (device and inode), by
// whatever spelling or link.
bool SameFile(const std::string &a, const std::string &b);

// An output written block by block. A file goes to a temporary file beside
// the target, which Commit renames over it; destroyed without Commit, the
// temporary file is removed and the target stays as it was. A stream is
// encoded here (big-endian, as AU wants) and written straight to standard
// output, which may be a pipe or a file. Samples beyond full scale are
// clipped for the integer formats. Raises std::runtime_error naming the file
// when it cannot be written.
class AudioWriter {
 public:
  AudioWriter(const std::string &path, const OutputPlan &plan, unsigned channels, unsigned rate);
  ~AudioWriter();
  AudioWriter(const AudioWriter &) = delete;
  AudioWriter &operator=(const AudioWriter &) = delete;

  // Appends `frames` interleaved frames.
  void Write(const float *samples, tjs_uint32 frames);
  // Finishes the file and puts it in place (a stream is flushed).
  void Commit();
  uint64_t Frames() const { return Frames_; }

 private:
  void Discard() noexcept;
  void WriteStream(const float *samples, size_t count);
  void FlushStream();
  // A stream's first write holds at least this much (header included).
  static constexpr size_t kFirstStreamBytes = 4096;

  std::string Path_;
  bool Stream_ = false;
  SampleFormat Format_ = SampleFormat::S16;
  std::vector<unsigned char> Bytes_;  // a stream's bytes not yet written
  bool Flushed_ = false;
  std::string Temp_;      // the file being written, beside Path_; empty for a stream
  int Fd_ = -1;           // the temporary file's descriptor
  void *File_ = nullptr;  // SNDFILE
  unsigned Channels_;
  uint64_t Frames_ = 0;
};

}  // namespace plughost
