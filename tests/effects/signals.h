// signals.h — test signals and block helpers for the effect tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace effects_test {

constexpr double kPi = 3.141592653589793;

// Interleaved uniform noise in [-amplitude, amplitude], reproducible by seed.
inline std::vector<float> Noise(size_t samples, float amplitude = 1.0f, unsigned seed = 1) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> out(samples);
  for (float &s : out) s = dist(gen);
  return out;
}

// A mono sine of `frequency` Hz at `sampleRate`.
inline std::vector<float> Sine(size_t frames, double frequency, double sampleRate, float amplitude = 1.0f) {
  std::vector<float> out(frames);
  for (size_t j = 0; j < frames; ++j)
    out[j] = static_cast<float>(amplitude * std::sin(2.0 * kPi * frequency * static_cast<double>(j) / sampleRate));
  return out;
}

// Runs `effect` over interleaved `in` in blocks of at most `block` frames.
template <typename E>
std::vector<float> RunBlocks(E &effect, const std::vector<float> &in, uint32_t channels, size_t block = 1024) {
  std::vector<float> out(in.size());
  const size_t frames = in.size() / channels;
  for (size_t start = 0; start < frames; start += block) {
    const size_t n = std::min(block, frames - start);
    effect.Process(out.data() + start * channels, in.data() + start * channels, static_cast<uint32_t>(n), channels);
  }
  return out;
}

// Root mean square of samples [from, to).
inline double Rms(const std::vector<float> &v, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(v[i]) * v[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

// One channel of an interleaved block.
inline std::vector<float> Channel(const std::vector<float> &v, uint32_t channels, uint32_t channel) {
  std::vector<float> out;
  for (size_t i = channel; i < v.size(); i += channels) out.push_back(v[i]);
  return out;
}

}  // namespace effects_test
