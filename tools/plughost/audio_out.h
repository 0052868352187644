// audio_out.h — the demo signal and WAV output of plughost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostengine.h"

namespace plughost {

// Sample format of a written WAV file.
enum class SampleFormat { S16, S24, F32 };

// Parses "s16", "s24" or "f32"; false for anything else.
bool ParseSampleFormat(const std::string &text, SampleFormat &out);

// The built-in demo: 4 seconds at 44100 Hz, stereo, signed 16-bit, frames
// interleaved. A plucked arpeggio (C4 E4 G4 C5 G4 E4, a note every half
// second, each a decaying tone with three harmonics, panned left to right)
// with a soft noise click on each note, then a second of silence so that
// echoes and reverb tails are heard on their own.
constexpr unsigned kDemoRate = 44100;
constexpr unsigned kDemoChannels = 2;
std::vector<int16_t> MakeDemoSignal();

// A WAV file written block by block. Samples beyond full scale are clipped
// for the integer formats. Raises std::runtime_error naming the file when it
// cannot be written.
class WavWriter {
 public:
  WavWriter(const std::string &path, unsigned channels, unsigned rate, SampleFormat format);
  ~WavWriter();
  WavWriter(const WavWriter &) = delete;
  WavWriter &operator=(const WavWriter &) = delete;

  // Appends `frames` frames of samples in `format` (engine format record),
  // converted to float with the engine's converter first when needed.
  void Write(const void *samples, tjs_uint32 frames, const tTVPWaveFormat &format);
  // Finishes the file; raises when it could not be completed.
  void Close();
  uint64_t Frames() const { return Frames_; }

 private:
  std::string Path_;
  void *File_ = nullptr;  // SNDFILE
  unsigned Channels_;
  std::vector<float> Scratch_;
  uint64_t Frames_ = 0;
};

}  // namespace plughost
