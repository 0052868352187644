// Decode throughput of SimpleWaveFilter<E> with a pass-through effect, against
// a plain memcpy of the same block.
//
// In mode 0 (stereo 32-bit float input) Decode runs no conversion pass: the
// upstream writes into the source's read buffer and the effect copies it
// straight into the engine's buffer, so a pass-through Decode costs about one
// memcpy of the block plus a constant. The mode 1 and mode -1 runs (16-bit
// input, converted by the engine; mono duplicated to stereo) show what those
// extra passes cost. The counter "conversions" is the number of engine
// conversion calls per Decode.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine.h"
#include "sound.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

// An endless upstream that reports every frame it is asked for without
// touching the buffer, so the measurement is the filter's own work.
class EndlessSource final : public tTVPSampleAndLabelSource {
 public:
  explicit EndlessSource(const tTVPWaveFormat &format) : Format_(format) {}
  void TJS_INTF_METHOD Decode(void *, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) override {
    rendered = frames;
  }
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format_; }
  void TJS_INTF_METHOD Notify() override {}

 private:
  tTVPWaveFormat Format_;
};

// Writes every input frame to the output unchanged.
struct CopyEffect {
  tjs_uint32 TailMs() const { return 0; }
  void Reset() {}
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
    std::memcpy(out, in, static_cast<size_t>(frames) * channels * sizeof(float));
    return static_cast<tjs_int32>(frames);
  }
};

struct StereoCopyEffect : CopyEffect {
  static constexpr bool kForceStereo = true;
};

template <class E>
void DecodeLoop(benchmark::State &state, const tTVPWaveFormat &format) {
  standin::Engine engine;
  const auto frames = static_cast<tjs_uint32>(state.range(0));
  EndlessSource upstream(format);
  SimpleWaveFilter<E> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  std::vector<float> dest(static_cast<size_t>(frames) * 2);
  tTVPWaveLabels labels;
  tjs_uint32 rendered = 0;
  output->Decode(dest.data(), frames, rendered, labels);  // grow the buffers once
  const long conversions = standin::PcmConversions();
  for (auto _ : state) {
    output->Decode(dest.data(), frames, rendered, labels);
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frames * 8);
  state.counters["conversions"] = benchmark::Counter(
      static_cast<double>(standin::PcmConversions() - conversions) / static_cast<double>(state.iterations()));
}

void BM_Memcpy(benchmark::State &state) {
  const auto frames = static_cast<size_t>(state.range(0));
  std::vector<float> from(frames * 2, 0.25f), to(frames * 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), frames * 8);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frames * 8);
}

void BM_DecodeStereoFloat_Mode0(benchmark::State &state) {
  DecodeLoop<CopyEffect>(state, standin::WaveFormat(44100, 2, 32, 4, true));
}

void BM_DecodeStereoInt16_Mode1(benchmark::State &state) {
  DecodeLoop<CopyEffect>(state, standin::WaveFormat(44100, 2, 16, 2));
}

void BM_DecodeMonoInt16ToStereo_ModeMinus1(benchmark::State &state) {
  DecodeLoop<StereoCopyEffect>(state, standin::WaveFormat(44100, 1, 16, 2));
}

}  // namespace

BENCHMARK(BM_Memcpy)->RangeMultiplier(4)->Range(256, 4096);
BENCHMARK(BM_DecodeStereoFloat_Mode0)->RangeMultiplier(4)->Range(256, 4096);
BENCHMARK(BM_DecodeStereoInt16_Mode1)->RangeMultiplier(4)->Range(256, 4096);
BENCHMARK(BM_DecodeMonoInt16ToStereo_ModeMinus1)->RangeMultiplier(4)->Range(256, 4096);
