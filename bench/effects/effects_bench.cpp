// effects_bench.cpp — what the effects cost per block of 1024 stereo frames:
//   * each effect on noise and on silence after a loud signal, with the
//     flush-to-zero / denormals-are-zero mode that the wave filter sets around
//     every effect's processing ("ftz") and without it ("noftz"); the goal is silence at
//     most 1.3 times the cost of noise;
//   * the reverb against driving stk::FreeVerb directly with the same samples
//     (goal: at most 1.1 times), and both on a tail left to decay for minutes,
//     where STK alone sinks into the subnormal range.
// Compare items_per_second (frames per second) within each group.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "effects/delay.h"
#include "effects/freeverb.h"
#include "effects/graphic_eq.h"

namespace {

constexpr tjs_uint32 kRate = 44100;
constexpr tjs_uint32 kChannels = 2;
constexpr tjs_uint32 kBlock = 1024;
constexpr size_t kBlockSamples = size_t{kBlock} * kChannels;
constexpr size_t kNoiseBlocks = 64;

// MXCSR bit 15 (flush-to-zero) and bit 6 (denormals-are-zero), set for the
// scope as the wave filter does around Decode, or explicitly cleared.
class ScopedMxcsr {
 public:
  explicit ScopedMxcsr(bool flush) : Saved(_mm_getcsr()) {
    const unsigned bits = 0x8000u | 0x0040u;
    _mm_setcsr(flush ? (Saved | bits) : (Saved & ~bits));
  }
  ~ScopedMxcsr() { _mm_setcsr(Saved); }
  ScopedMxcsr(const ScopedMxcsr &) = delete;
  ScopedMxcsr &operator=(const ScopedMxcsr &) = delete;

 private:
  unsigned Saved;
};

const std::vector<float> &NoiseBlocks() {
  static const std::vector<float> noise = [] {
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> dist(-0.9f, 0.9f);
    std::vector<float> v(kNoiseBlocks * kBlockSamples);
    for (float &s : v) s = dist(gen);
    return v;
  }();
  return noise;
}

const float *NoiseBlock(size_t i) { return NoiseBlocks().data() + (i % kNoiseBlocks) * kBlockSamples; }

EffectDelay MakeDelay() {
  EffectDelay delay;
  delay.Init(120, 0.9f, 0.7f);
  delay.Setup(kRate, kChannels);
  return delay;
}

EffectGEQ MakeEq() {
  EffectGEQ eq;
  const float gains[EffectGEQ::kBandCount] = {3.0f, 2.0f, 0.5f, 1.5f, 0.25f, 4.0f, 0.7f, 2.5f, 0.1f, 3.0f};
  for (int band = 0; band < EffectGEQ::kBandCount; ++band) eq.SetGain(band, gains[band]);
  eq.Setup(static_cast<float>(kRate), kChannels);
  return eq;
}

EffectFreeVerb MakeReverb() { return EffectFreeVerb(); }

enum class Input { Noise, SilenceAfterLoud };

// One block per iteration. Silence after loud: two seconds of noise first
// (not timed), then every timed block is silent, so the timed run covers the
// whole decay of the effect's memory and whatever it settles to.
template <typename E>
void ProcessBlocks(benchmark::State &state, E (*make)(), Input input, bool flush) {
  ScopedMxcsr mode(flush);
  E effect = make();
  std::vector<float> out(kBlockSamples);
  const std::vector<float> silence(kBlockSamples, 0.0f);
  if (input == Input::SilenceAfterLoud)
    for (size_t i = 0; i < 2 * kRate / kBlock; ++i) effect.Process(out.data(), NoiseBlock(i), kBlock, kChannels);
  size_t i = 0;
  for (auto _ : state) {
    const float *in = input == Input::Noise ? NoiseBlock(i++) : silence.data();
    effect.Process(out.data(), in, kBlock, kChannels);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

// STK alone, fed exactly as EffectFreeVerb feeds it.
void DirectStkBlock(stk::FreeVerb &verb, float *out, const float *in) {
  const stk::StkFrames &last = verb.lastFrame();
  for (size_t j = 0; j < kBlock; ++j) {
    out[2 * j] = static_cast<float>(verb.tick(in[2 * j], in[2 * j + 1], 0));
    out[2 * j + 1] = static_cast<float>(last[1]);
  }
}

void DirectStkNoise(benchmark::State &state) {
  ScopedMxcsr mode(true);
  stk::FreeVerb verb;
  std::vector<float> out(kBlockSamples);
  size_t i = 0;
  for (auto _ : state) {
    DirectStkBlock(verb, out.data(), NoiseBlock(i++));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

// Seconds of silence after two seconds of noise at which the tail window
// starts: STK alone, left to decay without flush-to-zero, has its memory in
// the subnormal range from about 200 to 280 seconds (measured on x86-64).
constexpr size_t kTailStartSeconds = 220;
constexpr size_t kTailWindowBlocks = 256;  // about six seconds

// The reverb as it stands kTailStartSeconds into the silence, decayed once
// without flush-to-zero: STK alone is then in the subnormal range;
// EffectFreeVerb has emptied itself long before.
template <typename V>
const V &DecayedPrototype(void (*block)(V &, float *, const float *)) {
  static const V prototype = [block] {
    ScopedMxcsr mode(false);
    V verb;
    std::vector<float> out(kBlockSamples);
    const std::vector<float> silence(kBlockSamples, 0.0f);
    for (size_t i = 0; i < 2 * kRate / kBlock; ++i) block(verb, out.data(), NoiseBlock(i));
    for (size_t i = 0; i < kTailStartSeconds * kRate / kBlock; ++i) block(verb, out.data(), silence.data());
    return verb;
  }();
  return prototype;
}

void EffectBlock(EffectFreeVerb &verb, float *out, const float *in) { verb.Process(out, in, kBlock, kChannels); }

// One iteration: a window of silent blocks from a fresh copy of the decayed
// reverb (the copy is not timed).
template <typename V>
void DecayedTail(benchmark::State &state, void (*block)(V &, float *, const float *), bool flush) {
  const V &prototype = DecayedPrototype<V>(block);
  ScopedMxcsr mode(flush);
  std::vector<float> out(kBlockSamples);
  const std::vector<float> silence(kBlockSamples, 0.0f);
  for (auto _ : state) {
    state.PauseTiming();
    V verb = prototype;
    state.ResumeTiming();
    for (size_t i = 0; i < kTailWindowBlocks; ++i) block(verb, out.data(), silence.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kTailWindowBlocks) * kBlock);
}

template <typename E>
void RegisterEffect(const std::string &name, E (*make)()) {
  for (bool flush : {true, false}) {
    const std::string mode = flush ? "/ftz" : "/noftz";
    benchmark::RegisterBenchmark((name + "/noise" + mode).c_str(), [make, flush](benchmark::State &state) {
      ProcessBlocks(state, make, Input::Noise, flush);
    });
    benchmark::RegisterBenchmark((name + "/silence_after_loud" + mode).c_str(), [make, flush](benchmark::State &state) {
      ProcessBlocks(state, make, Input::SilenceAfterLoud, flush);
    });
  }
}

}  // namespace

int main(int argc, char **argv) {
  RegisterEffect("Delay", &MakeDelay);
  RegisterEffect("GraphicEq", &MakeEq);
  RegisterEffect("FreeVerb", &MakeReverb);
  benchmark::RegisterBenchmark("StkFreeVerbDirect/noise/ftz", DirectStkNoise);
  for (bool flush : {true, false}) {
    const std::string mode = flush ? "/ftz" : "/noftz";
    benchmark::RegisterBenchmark(("FreeVerb/tail_at_220s" + mode).c_str(), [flush](benchmark::State &state) {
      DecayedTail<EffectFreeVerb>(state, &EffectBlock, flush);
    });
    benchmark::RegisterBenchmark(("StkFreeVerbDirect/tail_at_220s" + mode).c_str(),
                                 [flush](benchmark::State &state) {
                                   DecayedTail<stk::FreeVerb>(state, &DirectStkBlock, flush);
                                 });
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
