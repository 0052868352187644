// graphic_eq.cpp — EffectGEQ: band design (at Setup) and the per-sample
// parallel sum of the ten bands.
#include "effects/graphic_eq.h"

#include <algorithm>
#include <cmath>

#include "effects/finite_samples.h"

const float EffectGEQ::kBandFrequencies[EffectGEQ::kBandCount] = {31.5f, 63.0f,   125.0f,  250.0f,  500.0f,
                                                                  1000.0f, 2000.0f, 4000.0f, 8000.0f, 16000.0f};

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kLowShelf = 0;
constexpr int kHighShelf = EffectGEQ::kBandCount - 1;

bool IsShelf(int band) { return band == kLowShelf || band == kHighShelf; }

// The gain a band is designed with. The allpass formulas are meant for
// positive gains: 0 puts a pole on the unit circle and some negative gains
// zero a denominator, so a gain of 0 or less is designed as
// kGainForNonPositive, -80 dB, as close to "band off" as the formulas stay
// well away from instability. A gain that is not a number has no meaning and
// leaves the band flat. Every positive gain is designed as given; the result
// is then checked for stability and finite coefficients (see DesignBand).
double DesignGain(float gain) {
  if (std::isnan(gain)) return 1.0;
  if (gain <= 0.0f) return EffectGEQ::kGainForNonPositive;
  return gain;
}

// A band can be realised at this rate only while its tangent frequency (the
// shelf frequency, or the width 2f/3 of a peak band) lies below half the
// rate: from there up the allpass coefficient reaches magnitude 1 and the
// section never settles. A peak band whose centre lies at or above half the
// rate (the 8 kHz band at 11025 Hz) is still realisable: it acts at the
// frequency its centre folds to.
bool Realisable(int band, double frequency, double sampleRate) {
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return false;
  const double tangentFrequency = IsShelf(band) ? frequency : frequency * 2.0 / 3.0;
  return tangentFrequency < sampleRate / 2.0;
}

// Whether coefficients are finite and keep the band's allpass strictly
// stable, every pole inside the unit circle (first order: |c| < 1; second
// order, denominator 1 + d z^-1 - c z^-2: |c| < 1 and |d| < 1 - c).
bool Stable(int band, double c, double d, double h) {
  if (!std::isfinite(h) || !std::isfinite(d)) return false;
  if (!(std::fabs(c) < 1.0)) return false;
  return IsShelf(band) || std::fabs(d) < 1.0 - c;
}

// A fed-back value with the floor applied: 0 below kSilenceFloor.
inline float FlushTiny(float v) { return std::fabs(v) < EffectGEQ::kSilenceFloor ? 0.0f : v; }

// First-order allpass section of a shelf: returns its output, updates S.
inline float ShelfAllpass(float x, float c, BandState &s) {
  const float t = x - c * s.S;
  const float a = c * t + s.S;
  s.S = t;
  return a;
}

}  // namespace

EffectGEQ::EffectGEQ() { std::fill(std::begin(Gains), std::end(Gains), 1.0f); }

void EffectGEQ::SetGain(tjs_int index, float gain) {
  if (static_cast<tjs_uint>(index) >= kBandCount) return;
  Gains[index] = gain;
}

float EffectGEQ::Gain(tjs_int index) const {
  if (static_cast<tjs_uint>(index) >= kBandCount) return 0.0f;
  return Gains[index];
}

// A band that cannot be realised at this rate, or whose rounded coefficients
// would not be finite and strictly stable, gets all-zero coefficients: H = 0 leaves the
// signal as it is, and the output stays finite for every finite input.
BandCoef EffectGEQ::DesignBand(int band, float gain, float sampleRate) {
  const double fs = sampleRate;
  const double f = kBandFrequencies[band];
  if (!Realisable(band, f, fs)) return {};
  const double g = DesignGain(gain);
  const double tangentFrequency = IsShelf(band) ? f : f * 2.0 / 3.0;
  const double k = static_cast<float>(std::tan(kPi * tangentFrequency / fs));
  double c;
  if (g > 1.0)
    c = (k - 1.0) / (k + 1.0);
  else if (band == kHighShelf)
    c = (g * k - 1.0) / (g * k + 1.0);
  else
    c = (k - g) / (k + g);
  const double d = IsShelf(band) ? 0.0 : -(1.0 - c) * std::cos(2.0 * kPi * f / fs);
  const double h = (g - 1.0) * 0.5;
  // Both the exact design and its rounding must be stable: a peak band
  // centred at half the rate has its pole on the unit circle (at z = -1),
  // which rounding may move a hair inside.
  if (!Stable(band, c, d, h)) return {};
  const BandCoef coef{static_cast<float>(c), static_cast<float>(d), static_cast<float>(h)};
  return Stable(band, coef.C, coef.D, coef.H) ? coef : BandCoef{};
}

void EffectGEQ::Setup(float sampleRate, int channels) {
  States.assign(static_cast<size_t>(std::max(channels, 0)), ChannelState{});
  for (int band = 0; band < kBandCount; ++band) Bands[band] = DesignBand(band, Gains[band], sampleRate);
  FramesToFloor = kFloorInterval;
}

void EffectGEQ::Reset() {
  std::fill(States.begin(), States.end(), ChannelState{});
  FramesToFloor = kFloorInterval;
}

// The block is checked once: the common case, every sample within the
// sections' input ceiling, runs the loop without an input guard. The output
// is then held within the float range in one pass.
tjs_int32 EffectGEQ::Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
  const size_t samples = static_cast<size_t>(frames) * channels;
  const bool ordinaryInput = finite_samples::AllWithin(in, samples, kSectionInputCeiling);
  tjs_uint32 framesToFloor = FramesToFloor;
  for (tjs_uint32 ch = 0; ch < channels; ++ch) {
    if (ch < States.size()) {
      framesToFloor = ordinaryInput ? EqualizeChannel<false>(States[ch], out, in, frames, channels, ch)
                                    : EqualizeChannel<true>(States[ch], out, in, frames, channels, ch);
      continue;
    }
    for (size_t j = 0; j < frames; ++j) out[j * channels + ch] = finite_samples::Input(in[j * channels + ch]);
  }
  FramesToFloor = framesToFloor;
  finite_samples::HoldOutputs(out, samples);
  return static_cast<tjs_int32>(frames);
}

// The eight peak bands run side by side, four to a vector register (GCC and
// Clang vector extensions; SSE2 on x86): each has the same second-order
// section and no band depends on another within a sample. Only the order of
// the final sum (input, low shelf, peaks 1 to 8, high shelf) ties them
// together, and it is kept.
typedef float FourBands __attribute__((vector_size(16)));
typedef int FourMasks __attribute__((vector_size(16)));

namespace {

// FlushTiny for four bands at once.
inline FourBands FlushTiny(FourBands v) {
  const FourBands floor = {EffectGEQ::kSilenceFloor, EffectGEQ::kSilenceFloor, EffectGEQ::kSilenceFloor,
                           EffectGEQ::kSilenceFloor};
  const FourMasks tiny = (v < floor) & (v > -floor);
  return (FourBands)((FourMasks)v & ~tiny);
}

}  // namespace

struct PeakQuad {
  FourBands C, D, H, X1, X2, Y1, Y2;
};

namespace {

// The floor on every fed-back value of one channel (see kFloorInterval).
void FloorFedBackValues(PeakQuad (&quads)[2], BandState &low, BandState &high) {
  for (PeakQuad &q : quads) {
    q.Y1 = FlushTiny(q.Y1);
    q.Y2 = FlushTiny(q.Y2);
  }
  low.S = FlushTiny(low.S);
  high.S = FlushTiny(high.S);
}

}  // namespace

// The memory is worked on in local copies: the compiler cannot know that the
// output samples do not alias it, and would otherwise store and reload every
// state value at every sample. A band whose H is 0 adds exactly nothing
// (H x (x - a) is 0 for every finite a), so every band runs unconditionally.
//
// Input guard (kGuardInput, for blocks with samples beyond the ceiling): a
// sample that is not finite is taken as 0, and the sections see the input
// held within +-kSectionInputCeiling. Held within the ceiling, the sections' memory stays finite:
// a strictly stable section amplifies its input by at most about 1e15 even
// at the highest rate a stream can have, so its values stay below 1e35. The
// dry terms take the input as it is, so with a gain of 1.0 on every band any
// finite input comes out unchanged; below the ceiling (every sample a sound
// can sensibly hold) the two are the same. Only the output sum can then
// leave the float range (huge gains on huge input); Process holds it within.
//
// The floor runs on the stream's clock, not the block's: the frames are
// taken in runs that end where the countdown to the next floor ends.
template <bool kGuardInput>
tjs_uint32 EffectGEQ::EqualizeChannel(ChannelState &state, float *out, const float *in, tjs_uint32 frames,
                                      tjs_uint32 channels, tjs_uint32 channel) const {
  static_assert(EffectGEQ::kBandCount - 2 == 8, "two quads hold the eight peak bands");
  PeakQuad quads[2] = {};
  for (int k = 0; k < 8; ++k) {
    PeakQuad &q = quads[k / 4];
    const int lane = k % 4;
    const BandCoef &coef = Bands[k + 1];
    const BandState &band = state.Bands[k + 1];
    q.C[lane] = coef.C;
    q.D[lane] = coef.D;
    q.H[lane] = coef.H;
    q.X1[lane] = band.X1;
    q.X2[lane] = band.X2;
    q.Y1[lane] = band.Y1;
    q.Y2[lane] = band.Y2;
  }
  const BandCoef low = Bands[kLowShelf];
  const BandCoef high = Bands[kHighShelf];
  BandState lowState = state.Bands[kLowShelf];
  BandState highState = state.Bands[kHighShelf];
  tjs_uint32 framesToFloor = FramesToFloor;
  for (size_t j = 0; j < frames;) {
    const size_t runEnd = j + std::min<size_t>(frames - j, framesToFloor);
    framesToFloor -= static_cast<tjs_uint32>(runEnd - j);
    for (; j < runEnd; ++j) {
      const size_t index = j * channels + channel;
      float x = in[index];
      float xs = x;
      if constexpr (kGuardInput) {
        x = finite_samples::Input(x);
        xs = std::clamp(x, -kSectionInputCeiling, kSectionInputCeiling);
      }
      FourBands contribution[2];
      for (int h = 0; h < 2; ++h) {
        PeakQuad &q = quads[h];
        const FourBands a = -q.C * xs + q.D * q.X1 + q.X2 - q.D * q.Y1 + q.C * q.Y2;
        q.X2 = q.X1;
        q.X1 = FourBands{xs, xs, xs, xs};
        q.Y2 = q.Y1;
        q.Y1 = a;
        contribution[h] = q.H * (x - a);
      }
      float y = x + low.H * (x + ShelfAllpass(xs, low.C, lowState));
      for (int h = 0; h < 2; ++h)
        for (int lane = 0; lane < 4; ++lane) y += contribution[h][lane];
      y += high.H * (x - ShelfAllpass(xs, high.C, highState));
      out[index] = y;
    }
    if (framesToFloor == 0) {
      FloorFedBackValues(quads, lowState, highState);
      framesToFloor = kFloorInterval;
    }
  }
  for (int k = 0; k < 8; ++k) {
    const PeakQuad &q = quads[k / 4];
    const int lane = k % 4;
    BandState &band = state.Bands[k + 1];
    band.X1 = q.X1[lane];
    band.X2 = q.X2[lane];
    band.Y1 = q.Y1[lane];
    band.Y2 = q.Y2[lane];
  }
  state.Bands[kLowShelf] = lowState;
  state.Bands[kHighShelf] = highState;
  return framesToFloor;
}
