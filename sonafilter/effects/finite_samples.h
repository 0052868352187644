// finite_samples.h — how the effects keep every sample and parameter they
// use within the float range.
//
// The engine may hand an effect anything a float can hold, scripts may pass
// any double. The effects promise: a sample that is not a number or infinite
// is taken as silence (0) and affects no other sample; no output sample and
// no value kept in an effect's memory is ever infinite or not a number; no
// double is converted to a float it does not fit (which C++ leaves
// undefined). Within the float range nothing here changes a value.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

namespace finite_samples {

constexpr float kFloatMax = std::numeric_limits<float>::max();

// An input sample as the effects take it: NaN and infinities become silence.
inline float Input(float x) { return std::isfinite(x) ? x : 0.0f; }

// A double parameter as a float: values beyond the float range (finite or
// infinite) become the largest float of their sign; NaN stays NaN, for the
// effect to decide what it means. Within the range: the plain conversion.
inline float Parameter(double v) {
  if (v > kFloatMax) return kFloatMax;
  if (v < -kFloatMax) return -kFloatMax;
  return static_cast<float>(v);
}

// A result that left the float range: overflow is held at the largest float
// of its sign; NaN (only reachable as infinity minus infinity after an
// overflow) becomes silence.
inline float Saturated(double y) {
  if (std::isnan(y)) return 0.0f;
  return y > 0.0 ? kFloatMax : -kFloatMax;
}

// An output sample: unchanged within the float range, else Saturated. The
// test is one compare that the processor predicts right every time.
inline float Output(float y) { return std::fabs(y) <= kFloatMax ? y : Saturated(y); }
inline float Output(double y) { return std::fabs(y) <= kFloatMax ? static_cast<float>(y) : Saturated(y); }

// Whether every one of `count` samples has a magnitude of at most `limit`
// (NaN has none). One pass the compiler vectorizes, so that a block can be
// checked once and the per-sample loops stay free of guards.
inline bool AllWithin(const float *samples, std::size_t count, float limit) {
  int outside = 0;  // an int, not a bool: so the loop vectorizes
  for (std::size_t i = 0; i < count; ++i) outside |= !(std::fabs(samples[i]) <= limit);
  return outside == 0;
}

// Output applied to `count` samples in place; a pass of checks when all are
// within the float range already.
inline void HoldOutputs(float *samples, std::size_t count) {
  if (AllWithin(samples, count, kFloatMax)) return;
  for (std::size_t i = 0; i < count; ++i) samples[i] = Output(samples[i]);
}

}  // namespace finite_samples
