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

// The chance that a parameter with values outside its useful range gets one
// of them.
constexpr double kOutsideChance = 0.3;
// Tails the sweep sets stay short, so that a case pulls little beyond its input.
constexpr tTVInteger kMostSweptTailMs = 200;

tTJSVariant RandomValue(const effects::ParameterDescription &p, std::mt19937 &rng) {
  using effects::ValueType;
  if (p.Role == effects::ParameterRole::TailMs) return Integer(UniformInteger(rng, 0, kMostSweptTailMs));
  if (!p.Outside.empty() && Chance(rng, kOutsideChance)) {
    const double value = p.Outside.Items[UniformInteger(rng, 0, static_cast<tTVInteger>(p.Outside.Count) - 1)];
    return p.Type == ValueType::Real ? Real(value) : Integer(static_cast<tTVInteger>(value));
  }
  if (p.Type == ValueType::Real) return Real(Uniform(rng, p.UsefulMin, p.UsefulMax));
  return Integer(UniformInteger(rng, static_cast<tTVInteger>(p.UsefulMin), static_cast<tTVInteger>(p.UsefulMax)));
}

// The arguments of one call: the required ones always, each optional one
// most of the time; `index` (when not null) for the index parameter.
standin::Arguments RandomArguments(const effects::MemberDescription &m, const tTJSVariant *index,
                                   std::mt19937 &rng) {
  standin::Arguments args;
  for (size_t i = 0; i < m.Parameters.Count; ++i) {
    if (i >= m.Required && !Chance(rng, 0.9)) break;
    const effects::ParameterDescription &p = m.Parameters.Items[i];
    args.push_back(index && p.Role == effects::ParameterRole::Index ? *index : RandomValue(p, rng));
  }
  return args;
}

const effects::ParameterDescription *IndexOf(const effects::MemberDescription &m) {
  for (const auto &p : m.Parameters)
    if (p.Role == effects::ParameterRole::Index) return &p;
  return nullptr;
}

void AddMemberSteps(const effects::MemberDescription &m, std::mt19937 &rng, std::vector<ScriptStep> &steps) {
  const std::u16string name = standin::U16(m.Name);
  switch (m.Kind) {
    case effects::MemberKind::ReadOnlyProperty:
    case effects::MemberKind::QueryMethod: return;
    case effects::MemberKind::Property: {
      const effects::ParameterDescription &value = m.Parameters.Items[0];
      if (value.Role == effects::ParameterRole::TailMs && !Chance(rng, 0.9)) return;  // the default tail
      steps.push_back({name, {RandomValue(value, rng)}, false});
      return;
    }
    case effects::MemberKind::Method: {
      const effects::ParameterDescription *index = IndexOf(m);
      if (!index) {
        steps.push_back({name, RandomArguments(m, nullptr, rng), true});
        return;
      }
      for (auto i = static_cast<tTVInteger>(index->UsefulMin); i <= static_cast<tTVInteger>(index->UsefulMax); ++i) {
        const tTJSVariant at = Integer(i);
        steps.push_back({name, RandomArguments(m, &at, rng), true});
      }
      if (!index->Outside.empty()) {
        const tTJSVariant outside = Integer(static_cast<tTVInteger>(index->Outside.Items[rng() % index->Outside.Count]));
        steps.push_back({name, RandomArguments(m, &outside, rng), true});
      }
      return;
    }
  }
}

}  // namespace

const char *EffectName(Effect effect) { return effect->ScriptClass; }

std::u16string ClassName(Effect effect) { return standin::U16(effect->ScriptClass); }

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
  std::vector<ScriptStep> steps;
  for (const effects::MemberDescription &member : effect->Members) AddMemberSteps(member, rng, steps);
  std::shuffle(steps.begin(), steps.end(), rng);
  return steps;
}

void Apply(iTJSDispatch2 *object, const std::vector<ScriptStep> &steps) {
  for (const ScriptStep &step : steps) {
    const tjs_error hr = step.IsCall ? standin::ScriptCall(object, step.Member, step.Arguments)
                                     : standin::ScriptSet(object, step.Member, step.Arguments.at(0));
    EXPECT_EQ(hr, TJS_S_OK) << standin::Utf8(step.Member);
  }
}

// The last step that sets a tail-length parameter decides.
tjs_uint32 TailMsOf(Effect effect, const std::vector<ScriptStep> &steps) {
  tjs_uint32 tail = effect->DefaultTailMs;
  for (const ScriptStep &step : steps) {
    const effects::MemberDescription *member = effects::FindMember(*effect, standin::Utf8(step.Member).c_str());
    if (!member) continue;
    for (size_t i = 0; i < member->Parameters.Count && i < step.Arguments.size(); ++i)
      if (member->Parameters.Items[i].Role == effects::ParameterRole::TailMs)
        tail = static_cast<tjs_uint32>(tTJSVariant(step.Arguments[i]).AsInteger());
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
