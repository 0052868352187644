// denormals.h — a scoped switch of the floating-point unit to flush-to-zero
// and denormals-are-zero.
//
// Decaying signals (reverb and echo tails, filter memories) drift into the
// subnormal range, where every operation can cost a hundred times more on
// x86. Inside the guard tiny results become 0 and tiny inputs read as 0; the
// caller's mode comes back when the guard ends, also when an exception passes.
// On targets without an SSE control register the guard does nothing.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define SONAFILTER_HAS_MXCSR 1
#else
#define SONAFILTER_HAS_MXCSR 0
#endif

class ScopedFlushDenormals {
 public:
#if SONAFILTER_HAS_MXCSR
  ScopedFlushDenormals() : Saved_(_mm_getcsr()) { _mm_setcsr(Saved_ | kFlushToZero | kDenormalsAreZero); }
  ~ScopedFlushDenormals() { _mm_setcsr(Saved_); }
#else
  ScopedFlushDenormals() {}
#endif
  ScopedFlushDenormals(const ScopedFlushDenormals &) = delete;
  ScopedFlushDenormals &operator=(const ScopedFlushDenormals &) = delete;

#if SONAFILTER_HAS_MXCSR
 private:
  static constexpr unsigned kFlushToZero = 0x8000;       // MXCSR bit 15: subnormal results become 0
  static constexpr unsigned kDenormalsAreZero = 0x0040;  // MXCSR bit 6: subnormal inputs read as 0
  unsigned Saved_;                                       // the caller's MXCSR
#endif
};
