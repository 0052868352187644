// audio_out.cpp — demo signal and WAV output (libsndfile).
#include "audio_out.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace plughost {

bool ParseSampleFormat(const std::string &text, SampleFormat &out) {
  if (text == "s16") out = SampleFormat::S16;
  else if (text == "s24") out = SampleFormat::S24;
  else if (text == "f32") out = SampleFormat::F32;
  else return false;
  return true;
}

std::vector<int16_t> MakeDemoSignal() {
  constexpr double kPi = 3.141592653589793;
  constexpr unsigned kSeconds = 4;
  constexpr unsigned kFrames = kDemoRate * kSeconds;
  const double notes[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63};
  std::vector<double> left(kFrames, 0.0), right(kFrames, 0.0);
  std::mt19937 noise(12345);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const unsigned step = kDemoRate / 2;  // a note every half second
  for (unsigned n = 0; n < 6; ++n) {
    const unsigned start = n * step;
    const double pan = n / 5.0;  // 0 = left, 1 = right
    for (unsigned i = 0; i < step * 2 && start + i < kFrames - kDemoRate; ++i) {
      const double t = static_cast<double>(i) / kDemoRate;
      const double envelope = std::exp(-4.0 * t);
      const double w = 2 * kPi * notes[n] * t;
      const double tone = envelope * (0.5 * std::sin(w) + 0.25 * std::sin(2 * w) + 0.12 * std::sin(3 * w));
      const double click = (i < 2205) ? 0.15 * uniform(noise) * std::exp(-t * 60.0) : 0.0;
      left[start + i] += tone * (1.0 - pan) * 0.6 + click;
      right[start + i] += tone * pan * 0.6 + click;
    }
  }
  std::vector<int16_t> out(kFrames * kDemoChannels);
  for (unsigned i = 0; i < kFrames; ++i) {
    out[2 * i] = static_cast<int16_t>(std::lround(std::clamp(left[i], -1.0, 1.0) * 32767.0));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(std::clamp(right[i], -1.0, 1.0) * 32767.0));
  }
  return out;
}

WavWriter::WavWriter(const std::string &path, unsigned channels, unsigned rate, SampleFormat format)
    : Path_(path), Channels_(channels) {
  SF_INFO info = {};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.format = SF_FORMAT_WAV | (format == SampleFormat::S16   ? SF_FORMAT_PCM_16
                                 : format == SampleFormat::S24 ? SF_FORMAT_PCM_24
                                                               : SF_FORMAT_FLOAT);
  SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  File_ = file;
}

WavWriter::~WavWriter() {
  if (File_) sf_close(static_cast<SNDFILE *>(File_));
}

void WavWriter::Write(const void *samples, tjs_uint32 frames, const tTVPWaveFormat &format) {
  if (frames == 0) return;
  if (format.Channels != Channels_) throw std::runtime_error("channel count changed while writing " + Path_);
  const float *floats = static_cast<const float *>(samples);
  if (!(format.IsFloat && format.BytesPerSample == 4)) {
    Scratch_.resize(static_cast<size_t>(frames) * Channels_);
    TVPConvertPCMToFloat(Scratch_.data(), samples, format, static_cast<tjs_int>(frames));
    floats = Scratch_.data();
  }
  const sf_count_t written = sf_writef_float(static_cast<SNDFILE *>(File_), floats, frames);
  if (written != static_cast<sf_count_t>(frames)) throw std::runtime_error("cannot write " + Path_ + ": write failed");
  Frames_ += frames;
}

void WavWriter::Close() {
  if (!File_) return;
  const int closed = sf_close(static_cast<SNDFILE *>(File_));
  File_ = nullptr;
  if (closed != 0) throw std::runtime_error("cannot write " + Path_ + ": close failed");
}

}  // namespace plughost
