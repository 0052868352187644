// float_source.cpp — SimpleFloatSource: pull, convert, adapt channels, pad,
// extend and process one block per Decode.
#include "float_source.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "denormals.h"

namespace {

constexpr tjs_uint32 kMaxChannels = 2;
constexpr tjs_uint32 kFloatBytes = 4;
constexpr tjs_uint32 kFloatBits = 32;

const tjs_char kInvalidChannels[] = u"invalid channels.";
const tjs_char kHiResNotSupported[] = u"HiRes format not supported.";
const tjs_char kAlreadyConnected[] = u"Cannot connect multiple wave sound buffer at once.";

bool IsFloat32(const tTVPWaveFormat &format) {
  return format.BitsPerSample == kFloatBits && format.BytesPerSample == kFloatBytes && format.IsFloat != 0;
}

// Copies samples through to the engine; a sample that is not finite (only a
// float upstream can deliver one) goes out as silence, as the effects take it.
void CopySamplesThrough(float *to, const float *from, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) to[i] = std::isfinite(from[i]) ? from[i] : 0.0f;
}

void ZeroSamples(float *to, std::size_t count) {
  if (count != 0) std::memset(to, 0, count * sizeof(float));
}

// Writes `frames` frames with `outChannels` samples from frames with
// `inChannels` samples: mono is duplicated into both channels, stereo is
// averaged into one.
void AdaptChannels(float *to, const float *from, tjs_uint32 frames, tjs_uint32 inChannels, tjs_uint32 outChannels) {
  if (inChannels == 1 && outChannels == 2) {
    for (tjs_uint32 i = 0; i < frames; ++i) to[2 * i] = to[2 * i + 1] = from[i];
  } else if (inChannels == 2 && outChannels == 1) {
    for (tjs_uint32 i = 0; i < frames; ++i) to[i] = (from[2 * i] + from[2 * i + 1]) * 0.5f;
  }
}

}  // namespace

// ----- WorkBuffer ------------------------------------------------------------
void WorkBuffer::GrowToFrames(tjs_uint32 frames) {
  const std::uint64_t wanted = static_cast<std::uint64_t>(frames) * kMaxChannels;
  if (wanted > Samples_.max_size()) throw std::bad_alloc();
  const auto samples = static_cast<std::size_t>(wanted);
  if (samples > Samples_.size()) Samples_.resize(samples);  // the new floats are zero
}

// ----- SimpleFloatSource: connection -------------------------------------------
SimpleFloatSource::SimpleFloatSource()
    : context(nullptr),
      processRoutine(nullptr),
      conversionMode(kDirectFloat),
      tailMs(0),
      tailFrames(0),
      upstream(nullptr),
      inFormat(),
      outFormat() {}

SimpleFloatSource::~SimpleFloatSource() = default;

void SimpleFloatSource::SetProcessor(void *routineContext, tTVPProcessRoutine routine) {
  context = routineContext;
  processRoutine = routine;
}

// A null `source` is taken as a stream without channels: it is not stored, so
// the source stays detached, and the channel check raises "invalid channels.".
const tTVPWaveFormat &SimpleFloatSource::Connect(tTVPSampleAndLabelSource *source, tjs_uint32 tailLength) {
  if (upstream) TVPThrowExceptionMessage(kAlreadyConnected);
  upstream = source;
  inFormat = source ? source->GetFormat() : tTVPWaveFormat();
  if (inFormat.BitsPerSample > kFloatBits || inFormat.BytesPerSample > kFloatBytes)
    TVPThrowExceptionMessage(kHiResNotSupported);
  outFormat = inFormat;
  outFormat.BitsPerSample = kFloatBits;
  outFormat.BytesPerSample = kFloatBytes;
  outFormat.IsFloat = 1;
  if (tailLength != 0) {
    tailMs = tailLength;
    tailFrames = TailBudget(outFormat.SamplesPerSec, tailMs);
  }
  SetChannels(inFormat.Channels);
  return outFormat;
}

void SimpleFloatSource::SetChannels(tjs_uint32 channels) {
  if (channels == 0 || channels > kMaxChannels) TVPThrowExceptionMessage(kInvalidChannels);
  outFormat.Channels = channels;
  UpdateConversionMode();
}

void SimpleFloatSource::ForceStereo() {
  outFormat.Channels = 2;
  UpdateConversionMode();
}

void SimpleFloatSource::RearmTail() {
  if (tailMs != 0) tailFrames = TailBudget(outFormat.SamplesPerSec, tailMs);
}

void SimpleFloatSource::Disconnect() {
  inFormat = tTVPWaveFormat();
  outFormat = tTVPWaveFormat();
  upstream = nullptr;
  conversionMode = kDirectFloat;
  tailFrames = 0;
  readBuffer.Clear();
  convertBuffer.Clear();
}

// The exact budget of a very long tail (over 2^32 frames, about 27 hours at
// 44.1 kHz) does not fit the 32-bit counter; it saturates rather than wrapping
// to a shorter tail.
tjs_uint32 SimpleFloatSource::TailBudget(tjs_uint32 rate, tjs_uint32 tailLengthMs) {
  const std::uint64_t frames = static_cast<std::uint64_t>(rate) * tailLengthMs / 1000u;
  const std::uint64_t most = std::numeric_limits<tjs_uint32>::max();
  return static_cast<tjs_uint32>(frames < most ? frames : most);
}

void SimpleFloatSource::UpdateConversionMode() {
  if (outFormat.Channels != inFormat.Channels)
    conversionMode = kAdaptChannels;
  else
    conversionMode = IsFloat32(inFormat) ? kDirectFloat : kConvert;
}

// A source whose Connect failed on the format keeps its upstream until
// Disconnect, but its formats may describe frames larger than the buffers
// hold (too many channels or bytes): such a source reads nothing.
bool SimpleFloatSource::IsStreaming() const {
  return upstream != nullptr && outFormat.Channels >= 1 && outFormat.Channels <= kMaxChannels &&
         outFormat.BytesPerSample == kFloatBytes && inFormat.Channels >= 1 && inFormat.Channels <= kMaxChannels;
}

// ----- SimpleFloatSource: the sample path ------------------------------------------
// A detached source (or one left over from a failed Connect) reports no
// frames, writes nothing to `dest` and does not run the effect.
void TJS_INTF_METHOD SimpleFloatSource::Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered,
                                               tTVPWaveLabels &labels) {
  if (!IsStreaming()) {
    rendered = 0;
    return;
  }
  float *block = ReadBlock(frames, rendered, labels);
  PadAndExtend(block, frames, rendered);
  ProcessInto(static_cast<float *>(dest), block, frames);
}

float *SimpleFloatSource::ReadBlock(tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &labels) {
  readBuffer.GrowToFrames(frames);
  rendered = 0;
  upstream->Decode(readBuffer.Bytes(), frames, rendered, labels);
  if (rendered > frames) rendered = frames;  // an upstream that overstates never drives the loops past the block
  if (conversionMode == kDirectFloat) return readBuffer.Floats();

  convertBuffer.GrowToFrames(frames);
  float *floats = readBuffer.Floats();
  float *spare = convertBuffer.Floats();
  if (inFormat.IsFloat == 0) {
    TVPConvertPCMToFloat(convertBuffer.Floats(), readBuffer.Bytes(), inFormat, static_cast<tjs_int>(rendered));
    floats = convertBuffer.Floats();
    spare = readBuffer.Floats();
  }
  if (conversionMode == kConvert) return floats;
  AdaptChannels(spare, floats, rendered, inFormat.Channels, outFormat.Channels);
  return spare;
}

void SimpleFloatSource::PadAndExtend(float *block, tjs_uint32 frames, tjs_uint32 &rendered) {
  if (rendered >= frames) return;
  const std::size_t channels = outFormat.Channels;
  ZeroSamples(block + rendered * channels, (frames - rendered) * channels);
  if (tailFrames == 0) return;
  // 64 bits: a budget near the 32-bit maximum plus a partial block must not wrap.
  const std::uint64_t total = static_cast<std::uint64_t>(tailFrames) + rendered;
  if (total <= frames) {
    rendered = static_cast<tjs_uint32>(total);
    tailFrames = 0;
  } else {
    tailFrames = static_cast<tjs_uint32>(total - frames);
    rendered = frames;
  }
}

// A routine that reports a negative count wrote nothing usable: the whole
// block then passes through, so the engine never plays stale buffer content.
void SimpleFloatSource::ProcessInto(float *out, const float *block, tjs_uint32 frames) {
  const tjs_uint32 channels = outFormat.Channels;
  const tjs_int32 written = RunProcessRoutine(out, block, frames, channels);
  const tjs_uint32 done = written < 0 ? 0u : static_cast<tjs_uint32>(written);
  if (done >= frames) return;
  CopySamplesThrough(out + static_cast<std::size_t>(done) * channels,
                     block + static_cast<std::size_t>(done) * channels,
                     static_cast<std::size_t>(frames - done) * channels);
}

// Flush-to-zero and denormals-are-zero hold only while the effect runs: the
// upstream's Decode and the engine's converter, which run before, see the
// caller's floating-point mode, and it is back before Decode returns.
tjs_int32 SimpleFloatSource::RunProcessRoutine(float *out, const float *block, tjs_uint32 frames,
                                               tjs_uint32 channels) {
  if (!processRoutine) return 0;
  ScopedFlushDenormals flushDenormals;
  return processRoutine(context, block, out, frames, channels);
}

const tTVPWaveFormat &TJS_INTF_METHOD SimpleFloatSource::GetFormat() { return outFormat; }

void TJS_INTF_METHOD SimpleFloatSource::Notify() {}
