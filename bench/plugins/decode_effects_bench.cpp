// Decode throughput of each effect through SimpleWaveFilter<E>: stereo float,
// stereo 16-bit and mono 16-bit input, blocks of 256 and 4096 frames; and,
// for comparison, the same effect's Process called directly on float blocks
// (the framework's own cost is the difference, stereo float input).
//
// BM_Plugin/<class>: every effect of the plug-in's effect table, made in the
// really loaded plug-in from the table's example expression and pulled
// through its `interface` as the engine does; a new effect is measured here
// with no edit.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <random>
#include <type_traits>
#include <vector>

#include "effects/delay.h"
#include "effects/freeverb.h"
#include "effects/graphic_eq.h"
#include "effects/effect_table.h"
#include "engine.h"
#include "session.h"
#include "sound.h"
#include "wavefilter/denormals.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

constexpr tjs_uint32 kRate = 44100;

// An endless source: hands out the same noise block again and again, at the
// cost of one copy (any engine source copies at least that much).
class LoopSource final : public tTVPSampleAndLabelSource {
 public:
  LoopSource(const tTVPWaveFormat &format, tjs_uint32 maxFrames) : Format_(format) {
    const tjs_uint32 frameBytes = standin::FrameBytes(format);
    Bytes_.resize(static_cast<size_t>(maxFrames) * frameBytes);
    std::mt19937 random(7);
    if (format.IsFloat) {
      std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
      auto *f = reinterpret_cast<float *>(Bytes_.data());
      for (size_t i = 0; i < Bytes_.size() / 4; ++i) f[i] = noise(random);
    } else {
      std::uniform_int_distribution<int> noise(-16000, 16000);
      auto *s = reinterpret_cast<int16_t *>(Bytes_.data());
      for (size_t i = 0; i < Bytes_.size() / 2; ++i) s[i] = static_cast<int16_t>(noise(random));
    }
  }
  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) override {
    std::memcpy(dest, Bytes_.data(), static_cast<size_t>(frames) * standin::FrameBytes(Format_));
    rendered = frames;
  }
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format_; }
  void TJS_INTF_METHOD Notify() override {}

 private:
  tTVPWaveFormat Format_;
  std::vector<uint8_t> Bytes_;
};

enum Input { StereoFloat, StereoInt16, MonoInt16 };

tTVPWaveFormat FormatOf(Input input) {
  switch (input) {
    case StereoFloat: return standin::WaveFormat(kRate, 2, 32, 4, true);
    case StereoInt16: return standin::WaveFormat(kRate, 2, 16, 2);
    case MonoInt16: return standin::WaveFormat(kRate, 1, 16, 2);
  }
  return {};
}

void Configure(EffectDelay &e) { e.Init(120, 0.5f, 0.8f); }
void Configure(EffectGEQ &e) {
  for (int band = 0; band < 10; ++band) e.SetGain(band, band % 2 ? 1.5f : 0.75f);
}
void Configure(EffectFreeVerb &e) { e.SetEffectMix(0.5); }

// Pulls one block of `frames` frames from `output` per iteration.
void PullBlocks(benchmark::State &state, tTVPSampleAndLabelSource *output, tjs_uint32 frames) {
  std::vector<float> dest(static_cast<size_t>(frames) * output->GetFormat().Channels);
  tTVPWaveLabels labels;
  for (auto _ : state) {
    tjs_uint32 rendered = 0;
    output->Decode(dest.data(), frames, rendered, labels);
    benchmark::DoNotOptimize(dest.data());
  }
}

template <class E>
void BM_Decode(benchmark::State &state) {
  standin::Engine engine;
  const auto input = static_cast<Input>(state.range(0));
  const auto frames = static_cast<tjs_uint32>(state.range(1));
  LoopSource source(FormatOf(input), frames);
  SimpleWaveFilter<E> filter;
  Configure(filter.effect);
  tTVPSampleAndLabelSource *output = filter.AttachSource(&source);
  PullBlocks(state, output, frames);
  filter.DetachSource();
  state.SetItemsProcessed(state.iterations() * frames);
}

// The effect's Process called directly on stereo float blocks fetched from
// the same source (so both sides pay the source's copy), with the same
// flush-to-zero guard per block: what Decode adds to this is the framework's
// own cost.
template <class E>
void BM_ProcessDirect(benchmark::State &state) {
  const auto frames = static_cast<tjs_uint32>(state.range(1));
  LoopSource source(FormatOf(StereoFloat), frames);
  E effect;
  Configure(effect);
  if constexpr (!std::is_same_v<E, EffectFreeVerb>) effect.Setup(kRate, 2);
  std::vector<float> in(static_cast<size_t>(frames) * 2), out(in.size());
  tTVPWaveLabels labels;
  for (auto _ : state) {
    ScopedFlushDenormals guard;
    tjs_uint32 rendered = 0;
    source.Decode(in.data(), frames, rendered, labels);
    effect.Process(out.data(), in.data(), frames, 2);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
}

// One table entry, made from its example in the loaded plug-in.
void BM_Plugin(benchmark::State &state, const effects::EffectDescription *effect) {
  const auto input = static_cast<Input>(state.range(0));
  const auto frames = static_cast<tjs_uint32>(state.range(1));
  plughost::Session session(plughost::DefaultPluginPath("sonafilter"), false, false);
  const tTVInteger address = session.InterfaceOf(session.CreateEffect(plughost::ParseEffect(effect->Example)));
  auto *filter = reinterpret_cast<iTVPBasicWaveFilter *>(static_cast<std::intptr_t>(address));
  LoopSource source(FormatOf(input), frames);
  tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
  PullBlocks(state, output, frames);
  filter->DetachSource();
  session.Close();
  state.SetItemsProcessed(state.iterations() * frames);
}

void Inputs(benchmark::internal::Benchmark *b) {
  b->ArgNames({"input", "frames"});
  for (int input : {StereoFloat, StereoInt16, MonoInt16})
    for (int frames : {256, 4096}) b->Args({input, frames});
}
void Direct(benchmark::internal::Benchmark *b) {
  b->ArgNames({"input", "frames"});
  for (int frames : {256, 4096}) b->Args({StereoFloat, frames});
}

}  // namespace

bool RegisterTableBenchmarks() {
  for (const effects::EffectDescription &effect : effects::kEffectTable)
    benchmark::RegisterBenchmark((std::string("BM_Plugin/") + effect.ScriptClass).c_str(), BM_Plugin, &effect)
        ->Apply(Inputs);
  return true;
}
const bool kTableBenchmarksRegistered = RegisterTableBenchmarks();

// input: 0 stereo float, 1 stereo 16-bit, 2 mono 16-bit.
BENCHMARK_TEMPLATE(BM_Decode, EffectDelay)->Apply(Inputs);
BENCHMARK_TEMPLATE(BM_ProcessDirect, EffectDelay)->Apply(Direct);
BENCHMARK_TEMPLATE(BM_Decode, EffectGEQ)->Apply(Inputs);
BENCHMARK_TEMPLATE(BM_ProcessDirect, EffectGEQ)->Apply(Direct);
BENCHMARK_TEMPLATE(BM_Decode, EffectFreeVerb)->Apply(Inputs);
BENCHMARK_TEMPLATE(BM_ProcessDirect, EffectFreeVerb)->Apply(Direct);
