// validator.cpp — signals, encodings, random settings and the pull loop of
// the validator sweep.
#include "validator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>

namespace validator {

namespace {

constexpr double kPi = 3.141592653589793;

double Uniform(std::mt19937 &rng, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(rng);
}
tTVInteger UniformInteger(std::mt19937 &rng, tTVInteger low, tTVInteger high) {
  return std::uniform_int_distribution<tTVInteger>(low, high)(rng);
}
// True with probability `p`.
bool Chance(std::mt19937 &rng, double p) { return Uniform(rng, 0.0, 1.0) < p; }
template <class T>
T OneOf(std::mt19937 &rng, std::initializer_list<T> values) {
  return *(values.begin() + UniformInteger(rng, 0, static_cast<tTVInteger>(values.size()) - 1));
}

void PutLittleEndian(std::vector<uint8_t> &out, uint32_t value, tjs_uint32 bytes) {
  for (tjs_uint32 i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// An integer sample of `bits` bits for x in [-1, 1]: -1 is the most
// negative value, +1 the most positive.
int64_t Quantise(float x, tjs_uint32 bits) {
  const int64_t most = (int64_t{1} << (bits - 1)) - 1;
  if (x <= -1.0f) return -most - 1;
  return std::clamp<int64_t>(std::llround(static_cast<double>(x) * static_cast<double>(most)), -most - 1, most);
}

std::vector<ScriptStep> DelaySettings(std::mt19937 &rng) {
  tTVInteger delayMs;
  const double pick = Uniform(rng, 0.0, 1.0);
  if (pick < 0.6) delayMs = UniformInteger(rng, 1, 400);
  else if (pick < 0.7) delayMs = 0;
  else if (pick < 0.8) delayMs = -UniformInteger(rng, 1, 1000);
  else if (pick < 0.95) delayMs = UniformInteger(rng, 400, 2000);
  else delayMs = OneOf<tTVInteger>(rng, {70000, 100000});  // beyond 32 bits of ms x rate at every rate above 42 kHz
  double feedback;
  if (Chance(rng, 0.6)) feedback = Uniform(rng, -0.95, 0.95);
  else if (Chance(rng, 0.3)) feedback = OneOf(rng, {-1.0, 1.0});
  else feedback = OneOf(rng, {-1.0, 1.0}) * Uniform(rng, 1.0, 3.0);
  double wet;
  if (Chance(rng, 0.6)) wet = Uniform(rng, 0.0, 1.0);
  else if (Chance(rng, 0.5)) wet = Uniform(rng, -2.0, 2.0);
  else wet = OneOf(rng, {-10.0, 10.0, 1000.0});
  standin::Arguments args = {Integer(delayMs), Real(feedback), Real(wet)};
  if (Chance(rng, 0.9)) args.push_back(Integer(UniformInteger(rng, 0, 200)));
  return {{u"init", args, true}};
}

std::vector<ScriptStep> EqualizerSettings(std::mt19937 &rng) {
  std::vector<ScriptStep> steps;
  for (int band = 0; band < 10; ++band) {
    double gain;
    const double pick = Uniform(rng, 0.0, 1.0);
    if (pick < 0.4) gain = Uniform(rng, 0.25, 4.0);
    else if (pick < 0.6) gain = 1.0;
    else if (pick < 0.7) gain = 0.0;
    else if (pick < 0.8) gain = -Uniform(rng, 0.01, 10.0);
    else if (pick < 0.9) gain = 1e-9;
    else gain = OneOf(rng, {100.0, 1e6, 1e30});
    steps.push_back({u"setGain", {Integer(band), Real(gain)}, true});
  }
  steps.push_back({u"setGain", {Integer(OneOf<tTVInteger>(rng, {10, -1})), Real(1e9)}, true});
  return steps;
}

std::vector<ScriptStep> ReverbSettings(std::mt19937 &rng) {
  auto value = [&rng](std::initializer_list<double> outside) {
    return Chance(rng, 0.6) ? Uniform(rng, 0.0, 1.0) : OneOf(rng, outside);
  };
  std::vector<ScriptStep> steps = {
      {u"effectMix", {Real(value({-0.5, 1.5, 3.0}))}, false},
      {u"roomSize", {Real(value({-1.0, 1.2, 2.0, 10.0}))}, false},
      {u"damping", {Real(value({-1.0, 1.5, 5.0}))}, false},
      {u"width", {Real(value({-2.0, 3.0}))}, false},
      {u"mode", {Integer(Chance(rng, 0.15) ? 1 : 0)}, false},
  };
  if (Chance(rng, 0.9)) steps.push_back({u"extend", {Integer(UniformInteger(rng, 0, 200))}, false});
  std::shuffle(steps.begin(), steps.end(), rng);
  return steps;
}

}  // namespace

const char *EffectName(Effect effect) {
  switch (effect) {
    case Effect::Delay: return "Delay";
    case Effect::Equalizer: return "Equalizer";
    default: return "Reverb";
  }
}

const char16_t *ClassName(Effect effect) {
  switch (effect) {
    case Effect::Delay: return u"DelayEffect";
    case Effect::Equalizer: return u"GraphicEqualizer";
    default: return u"StkFreeVerb";
  }
}

std::vector<float> TestSignal(std::mt19937 &rng, size_t frames, tjs_uint32 channels, tjs_uint32 rate) {
  std::vector<float> out(frames * channels, 0.0f);
  const size_t sounding = frames - frames / 5;
  std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
  for (tjs_uint32 ch = 0; ch < channels; ++ch) {
    double phase = Uniform(rng, 0.0, 2 * kPi);
    for (size_t j = 0; j < sounding; ++j) {
      // The tone glides from 50 Hz to just below half the rate.
      const double frequency = 50.0 + (0.45 * rate - 50.0) * static_cast<double>(j) / static_cast<double>(sounding);
      phase += 2 * kPi * frequency / rate;
      const float x = static_cast<float>(0.5 * std::sin(phase)) + noise(rng);
      out[j * channels + ch] = std::clamp(x, -1.0f, 1.0f);
    }
    for (size_t j = 97 + ch; j < sounding; j += 1009) out[j * channels + ch] = (j / 1009) % 2 ? -1.0f : 1.0f;
  }
  return out;
}

std::vector<uint8_t> Encode(const std::vector<float> &samples, const SampleFormat &format) {
  std::vector<uint8_t> out;
  out.reserve(samples.size() * format.Bytes);
  for (float x : samples) {
    if (format.Float) {
      uint32_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      PutLittleEndian(out, bits, 4);
      continue;
    }
    const int64_t value = Quantise(x, format.Bits);
    if (format.Bytes == 1) {
      out.push_back(static_cast<uint8_t>(value + 128));
      continue;
    }
    // The significant bits sit at the top of the container.
    const uint32_t container = static_cast<uint32_t>(value) << (8 * format.Bytes - format.Bits);
    PutLittleEndian(out, container, format.Bytes);
  }
  return out;
}

tTVPWaveFormat FormatOf(const SampleFormat &format, tjs_uint32 rate, tjs_uint32 channels) {
  return standin::WaveFormat(rate, channels, format.Bits, format.Bytes, format.Float);
}

std::vector<ScriptStep> RandomSettings(Effect effect, std::mt19937 &rng) {
  switch (effect) {
    case Effect::Delay: return DelaySettings(rng);
    case Effect::Equalizer: return EqualizerSettings(rng);
    default: return ReverbSettings(rng);
  }
}

void Apply(iTJSDispatch2 *object, const std::vector<ScriptStep> &steps) {
  for (const ScriptStep &step : steps) {
    const tjs_error hr = step.IsCall ? standin::ScriptCall(object, step.Member, step.Arguments)
                                     : standin::ScriptSet(object, step.Member, step.Arguments.at(0));
    EXPECT_EQ(hr, TJS_S_OK) << standin::Utf8(step.Member);
  }
}

tjs_uint32 TailMsOf(Effect effect, const std::vector<ScriptStep> &steps) {
  if (effect == Effect::Equalizer) return 0;
  tjs_uint32 tail = 1000;  // the default of the delay and of the reverb
  for (const ScriptStep &step : steps) {
    if (effect == Effect::Delay && step.Member == u"init" && step.Arguments.size() > 3)
      tail = static_cast<tjs_uint32>(tTJSVariant(step.Arguments[3]).AsInteger());
    if (effect == Effect::Reverb && step.Member == u"extend")
      tail = static_cast<tjs_uint32>(tTJSVariant(step.Arguments[0]).AsInteger());
  }
  return tail;
}

tjs_uint64 TailFrames(tjs_uint32 rate, tjs_uint32 tailMs) {
  return std::min<tjs_uint64>(static_cast<tjs_uint64>(rate) * tailMs / 1000u, 0xffffffffu);
}

std::string Describe(const std::vector<ScriptStep> &steps) {
  std::ostringstream text;
  for (const ScriptStep &step : steps) {
    text << '.' << standin::Utf8(step.Member) << (step.IsCall ? "(" : "=");
    for (size_t i = 0; i < step.Arguments.size(); ++i)
      text << (i ? ", " : "") << standin::ToUtf8(step.Arguments[i]);
    text << (step.IsCall ? ")" : "");
  }
  return text.str();
}

Pulled PullUntilShort(tTVPSampleAndLabelSource &output, BlockPolicy &blocks, tjs_uint64 maxFrames) {
  Pulled pulled;
  pulled.Channels = output.GetFormat().Channels;
  std::vector<float> dest;
  tTVPWaveLabels labels;
  while (pulled.Frames < maxFrames) {
    const tjs_uint32 frames = blocks.Next();
    dest.assign(static_cast<size_t>(frames) * pulled.Channels, 0.0f);
    labels.Items.clear();
    tjs_uint32 rendered = 0;
    output.Decode(dest.data(), frames, rendered, labels);
    ++pulled.Calls;
    if (rendered > frames) {
      ADD_FAILURE() << "Decode reported " << rendered << " frames of a block of " << frames;
      break;
    }
    pulled.Samples.insert(pulled.Samples.end(), dest.begin(),
                          dest.begin() + static_cast<ptrdiff_t>(rendered) * pulled.Channels);
    pulled.Frames += rendered;
    if (rendered < frames) break;
  }
  return pulled;
}

iTVPBasicWaveFilter *FilterOf(tTVInteger interfaceValue) {
  return reinterpret_cast<iTVPBasicWaveFilter *>(static_cast<std::intptr_t>(interfaceValue));
}

std::string FirstNonFiniteOrSubnormal(const float *samples, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const int kind = std::fpclassify(samples[i]);
    if (kind == FP_NAN || kind == FP_INFINITE || kind == FP_SUBNORMAL) {
      std::ostringstream text;
      text << "sample " << i << " of " << count << " is " << samples[i]
           << (kind == FP_SUBNORMAL ? " (subnormal)" : " (not finite)");
      return text.str();
    }
  }
  return "";
}

std::string FirstDifference(const std::vector<float> &expected, const std::vector<float> &actual) {
  if (expected.size() != actual.size())
    return std::to_string(actual.size()) + " samples instead of " + std::to_string(expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0) {
      std::ostringstream text;
      text.precision(9);
      text << "sample " << i << ": " << actual[i] << " instead of " << expected[i];
      return text.str();
    }
  }
  return "";
}

}  // namespace validator
