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

}  // namespace finite_samples
