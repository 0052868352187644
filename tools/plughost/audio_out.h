// audio_out.h — the demo signal and WAV output of plughost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

// Sample format of a written WAV file.
enum class SampleFormat { S16, S24, F32 };

// Parses "s16", "s24" or "f32"; false for anything else.
bool ParseSampleFormat(const std::string &text, SampleFormat &out);

// The built-in demo: 4 seconds at 44100 Hz, stereo, signed 16-bit, frames
// interleaved. A plucked arpeggio (C4 E4 G4 C5, a note every half second,
// each a decaying tone with three harmonics, panned left to right) over a
// soft percussive noise burst on every beat, then a second of silence so that
// echoes and reverb tails are heard on their own.
constexpr unsigned kDemoRate = 44100;
constexpr unsigned kDemoChannels = 2;
std::vector<int16_t> MakeDemoSignal();

// Writes interleaved float frames (1.0 = full scale) as a WAV file. Samples
// beyond full scale are clipped for the integer formats. Raises
// std::runtime_error naming the file when it cannot be written.
void WriteWav(const std::string &path, const std::vector<float> &frames, unsigned channels, unsigned rate,
              SampleFormat format);

}  // namespace plughost
