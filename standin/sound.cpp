// sound.cpp — the stand-in engine's sound side: the PCM converter it exports,
// sample sources over memory and files, and the sound buffer.
#include "sound.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "calls.h"
#include "engine.h"
#include "native_class.h"

#if defined(STANDIN_HAVE_SNDFILE)
#include <sndfile.h>
#endif

namespace {

long g_conversions = 0;

// The signed value of a little-endian integer sample of `bytes` bytes, in the
// top of a 32-bit container, with the bits below the `bits` significant ones
// cleared. 8-bit samples are unsigned with silence at 128.
int32_t ContainerValue(const uint8_t *sample, tjs_uint32 bits, tjs_uint32 bytes) {
  uint32_t raw = 0;
  for (tjs_uint32 i = 0; i < bytes; ++i) raw |= static_cast<uint32_t>(sample[i]) << (8 * (i + 4 - bytes));
  if (bytes == 1) raw ^= 0x80000000u;  // offset binary to two's complement
  const uint32_t significant = bits >= 32 ? 0xffffffffu : ~(0xffffffffu >> bits);
  return static_cast<int32_t>(raw & significant);
}

bool CanConvert(const tTVPWaveFormat &f) {
  if (f.IsFloat) return f.BytesPerSample == 4 && f.BitsPerSample == 32;
  return f.BytesPerSample >= 1 && f.BytesPerSample <= 4 && f.BitsPerSample >= 1 &&
         f.BitsPerSample <= 8 * f.BytesPerSample;
}

}  // namespace

// The engine's converter. Every integer format divides its signed 32-bit
// container value by 2^31, which is the same as dividing the sample by
// 2^(8B-1) for B storage bytes (see sound.h).
void TVPConvertPCMToFloat(float *dest, const void *src, const tTVPWaveFormat &format, tjs_int frames) {
  ++g_conversions;
  if (!CanConvert(format)) TVPThrowExceptionMessage(u"unsupported PCM format");
  if (frames <= 0) return;
  const size_t samples = static_cast<size_t>(frames) * format.Channels;
  if (format.IsFloat) {
    std::memcpy(dest, src, samples * sizeof(float));
    return;
  }
  const auto *in = static_cast<const uint8_t *>(src);
  const float scale = 1.0f / 2147483648.0f;
  for (size_t i = 0; i < samples; ++i, in += format.BytesPerSample)
    dest[i] = static_cast<float>(ContainerValue(in, format.BitsPerSample, format.BytesPerSample)) * scale;
}

namespace {

void TJS_ENGINE_CALL F_ConvertPCMToFloat(float *dest, const void *src, const tTVPWaveFormat &format,
                                         tjs_int frames) {
  STANDIN_ENGINE_CALL("F_ConvertPCMToFloat");
  TVPConvertPCMToFloat(dest, src, format, frames);
}

}  // namespace

namespace standin {

void RegisterSoundFunctions(Exporter &x) {
  x.Add("void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)",
        reinterpret_cast<void *>(&F_ConvertPCMToFloat));
}

long PcmConversions() { return g_conversions; }

// ----- engine generations --------------------------------------------------------------
namespace {

struct SoundState : Engine::ModuleState {
  static const char Key;
  bool Legacy = false;  // a legacy engine
};
const char SoundState::Key = 0;

// The class carries the id already, or gets it now.
bool RegisterMarkerClass(std::u16string_view name, tjs_int32 classid) {
  return PreRegisterNativeClass(name, classid) || TJSFindNativeClassID(std::u16string(name).c_str()) == classid;
}

const tTVPWaveFormat kNoFormat{};

// The entries of a LegacySourceWrapper: the wrapped source's operations.
void TJS_LEGACY_CALL WrapperDecode(tTVPLegacySampleSource *self, void *dest, tjs_uint32 frames,
                                   tjs_uint32 *rendered, tTVPWaveLabels *labels) {
  STANDIN_ENGINE_CALL("LegacySource.Decode");
  tTVPSampleAndLabelSource *source = static_cast<LegacySourceWrapper *>(self)->Source();
  tTVPWaveLabels unused;
  tjs_uint32 count = 0;
  source->Decode(dest, frames, count, labels ? *labels : unused);
  if (rendered) *rendered = count;
}
const tTVPWaveFormat *TJS_LEGACY_CALL WrapperGetFormat(tTVPLegacySampleSource *self) {
  STANDIN_ENGINE_CALL("LegacySource.GetFormat");
  return &static_cast<LegacySourceWrapper *>(self)->Source()->GetFormat();
}
void TJS_LEGACY_CALL WrapperNothing(tTVPLegacySampleSource *) {}

const tTVPLegacySampleSourceEntries kWrapperEntries = {&WrapperDecode, &WrapperGetFormat, &WrapperNothing,
                                                       &WrapperNothing};

}  // namespace

// Both names are registered first, so a failure at the second leaves the
// first registered: an engine with only CDDASoundBuffer at 9 is a current one.
bool EnableLegacyGeneration() {
  const bool marked = RegisterMarkerClass(u"CDDASoundBuffer", TVP_LEGACY_CDDA_CLASSID) &&
                      RegisterMarkerClass(u"MIDISoundBuffer", TVP_LEGACY_MIDI_CLASSID);
  if (marked) Engine::Current().State<SoundState>().Legacy = true;
  return marked;
}

bool IsLegacyGeneration() { return Engine::Exists() && Engine::Current().State<SoundState>().Legacy; }

LegacySourceWrapper::LegacySourceWrapper(tTVPSampleAndLabelSource *source)
    : tTVPLegacySampleSource{&kWrapperEntries}, Source_(source) {}

void TJS_INTF_METHOD NativeSourceWrapper::Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered,
                                                 tTVPWaveLabels &labels) {
  rendered = 0;
  if (Source_) Source_->Entries->Decode(Source_, dest, frames, &rendered, &labels);
}

const tTVPWaveFormat &TJS_INTF_METHOD NativeSourceWrapper::GetFormat() {
  const tTVPWaveFormat *format = Source_ ? Source_->Entries->GetFormat(Source_) : nullptr;
  return format ? *format : kNoFormat;
}

tTVPWaveFormat WaveFormat(tjs_uint32 rate, tjs_uint32 channels, tjs_uint32 bits, tjs_uint32 bytes, bool isFloat) {
  tTVPWaveFormat format{};
  format.SamplesPerSec = rate;
  format.Channels = channels;
  format.BitsPerSample = bits;
  format.BytesPerSample = bytes;
  format.IsFloat = isFloat ? 1 : 0;
  return format;
}

tjs_uint32 FrameBytes(const tTVPWaveFormat &format) { return format.Channels * format.BytesPerSample; }

// ----- MemorySource ----------------------------------------------------------------
MemorySource::MemorySource(const tTVPWaveFormat &format, std::vector<uint8_t> bytes)
    : Format_(format), Bytes_(std::move(bytes)) {}
MemorySource::~MemorySource() = default;

MemorySource MemorySource::OfFloats(tjs_uint32 rate, tjs_uint32 channels, const std::vector<float> &samples) {
  std::vector<uint8_t> bytes(samples.size() * sizeof(float));
  if (!bytes.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
  return MemorySource(WaveFormat(rate, channels, 32, 4, true), std::move(bytes));
}

MemorySource MemorySource::OfInt16(tjs_uint32 rate, tjs_uint32 channels, const std::vector<int16_t> &samples) {
  std::vector<uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (int16_t s : samples) {
    const auto u = static_cast<uint16_t>(s);
    bytes.push_back(static_cast<uint8_t>(u & 0xff));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  return MemorySource(WaveFormat(rate, channels, 16, 2), std::move(bytes));
}

void MemorySource::AddLabel(tjs_uint64 frame, std::string name) { Labels_.emplace_back(frame, std::move(name)); }

void TJS_INTF_METHOD MemorySource::Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered,
                                          tTVPWaveLabels &labels) {
  STANDIN_ENGINE_CALL("Source.Decode");
  ++Decodes_;
  LastDest_ = dest;
  LastLabels_ = &labels;
  const tjs_uint32 frameBytes = FrameBytes(Format_);
  const tjs_uint64 total = frameBytes ? Bytes_.size() / frameBytes : 0;
  const tjs_uint64 left = total - std::min(Position_, total);
  rendered = static_cast<tjs_uint32>(std::min<tjs_uint64>(left, frames));
  if (rendered) std::memcpy(dest, Bytes_.data() + Position_ * frameBytes, static_cast<size_t>(rendered) * frameBytes);
  for (const auto &label : Labels_)
    if (label.first >= Position_ && label.first < Position_ + rendered)
      labels.Items.push_back({static_cast<tjs_uint32>(label.first - Position_), label.second});
  Position_ += rendered;
}

// ----- FileSource ----------------------------------------------------------------------
#if defined(STANDIN_HAVE_SNDFILE)
struct FileSource::File {
  SNDFILE *Handle = nullptr;
  ~File() {
    if (Handle) sf_close(Handle);
  }
};

FileSource::FileSource(const std::string &path) : File_(std::make_unique<File>()), Format_() {
  SF_INFO info{};
  File_->Handle = sf_open(path.c_str(), SFM_READ, &info);
  if (!File_->Handle) throw EngineError(U16("cannot open sound file: " + path + " (" + sf_strerror(nullptr) + ")"));
  TotalFrames_ = static_cast<tjs_uint64>(info.frames);
  tjs_uint32 bits = 32, bytes = 4;
  bool isFloat = false;
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: bits = 8; bytes = 1; break;
    case SF_FORMAT_PCM_16: bits = 16; bytes = 2; break;
    case SF_FORMAT_PCM_24: bits = 24; bytes = 3; break;
    case SF_FORMAT_PCM_32: break;
    default: isFloat = true; break;
  }
  Format_ = WaveFormat(static_cast<tjs_uint32>(info.samplerate), static_cast<tjs_uint32>(info.channels), bits, bytes,
                       isFloat);
}

FileSource::~FileSource() = default;

// libsndfile hands integer samples out at the top of a 32-bit value; the
// engine's format keeps the top BytesPerSample bytes of each.
namespace {
const bool kLittleEndian = [] {
  const uint16_t probe = 1;
  return *reinterpret_cast<const uint8_t *>(&probe) == 1;
}();
}  // namespace

void TJS_INTF_METHOD FileSource::Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) {
  if (Format_.IsFloat) {
    rendered = static_cast<tjs_uint32>(sf_readf_float(File_->Handle, static_cast<float *>(dest), frames));
    return;
  }
  // 16-bit and 32-bit samples are libsndfile's own on a little-endian host:
  // read them straight into the engine's buffer.
  if (Format_.BytesPerSample == 2 && kLittleEndian) {
    rendered = static_cast<tjs_uint32>(sf_readf_short(File_->Handle, static_cast<short *>(dest), frames));
    return;
  }
  if (Format_.BytesPerSample == 4 && kLittleEndian) {
    rendered = static_cast<tjs_uint32>(sf_readf_int(File_->Handle, static_cast<int *>(dest), frames));
    return;
  }
  Scratch_.resize(static_cast<size_t>(frames) * Format_.Channels);
  rendered = static_cast<tjs_uint32>(sf_readf_int(File_->Handle, Scratch_.data(), frames));
  const tjs_uint32 bytes = Format_.BytesPerSample;
  auto *out = static_cast<uint8_t *>(dest);
  const size_t samples = static_cast<size_t>(rendered) * Format_.Channels;
  for (size_t i = 0; i < samples; ++i) {
    uint32_t value = static_cast<uint32_t>(Scratch_[i]);
    if (bytes == 1) value ^= 0x80000000u;  // two's complement to offset binary
    for (tjs_uint32 b = 0; b < bytes; ++b) *out++ = static_cast<uint8_t>(value >> (8 * (b + 4 - bytes)));
  }
}

#endif  // STANDIN_HAVE_SNDFILE

// ----- PlayedSound ------------------------------------------------------------------------
tjs_uint64 PlayedSound::Frames() const {
  const tjs_uint32 frameBytes = FrameBytes(Format);
  return frameBytes ? Bytes.size() / frameBytes : 0;
}

std::vector<float> PlayedSound::Floats() const {
  std::vector<float> out(static_cast<size_t>(Frames()) * Format.Channels);
  if (!out.empty()) TVPConvertPCMToFloat(out.data(), Bytes.data(), Format, static_cast<tjs_int>(Frames()));
  return out;
}

// ----- SoundBuffer --------------------------------------------------------------------------
SoundBuffer::SoundBuffer(tTVPSampleAndLabelSource &source) : Source_(source) {}

SoundBuffer::~SoundBuffer() { Detach(); }

void SoundBuffer::AddFilter(iTVPBasicWaveFilter *filter) { Filters_.push_back({filter, nullptr}); }

void SoundBuffer::AddLegacyFilter(tTVPLegacyWaveFilter *filter) { Filters_.push_back({nullptr, filter}); }

void SoundBuffer::AddFilterByInterface(tTVInteger value) {
  void *address = reinterpret_cast<void *>(static_cast<std::intptr_t>(value));
  if (!address) TVPThrowExceptionMessage(u"not a wave filter: 0");
  if (IsLegacyGeneration())
    AddLegacyFilter(static_cast<tTVPLegacyWaveFilter *>(address));
  else
    AddFilter(static_cast<iTVPBasicWaveFilter *>(address));
}

void SoundBuffer::Attach() {
  Detach();
  tTVPSampleAndLabelSource *output = &Source_;
  try {
    for (ChainFilter &filter : Filters_) {
      output = filter.Legacy ? AttachLegacy(filter.Legacy, output) : filter.Native->AttachSource(output);
      ++Attached_;
    }
  } catch (...) {
    Detach();
    throw;
  }
  Output_ = output;
  Played_ = PlayedSound();
  Played_.Format = Output_->GetFormat();
}

tTVPSampleAndLabelSource *SoundBuffer::AttachLegacy(tTVPLegacyWaveFilter *filter, tTVPSampleAndLabelSource *input) {
  tTVPLegacySampleSource *upstream = LegacyFaceOf(input);
  return NativeFaceOf(filter->Entries->AttachSource(filter, upstream));
}

tTVPLegacySampleSource *SoundBuffer::LegacyFaceOf(tTVPSampleAndLabelSource *source) {
  for (auto &wrapper : NativeWrappers_)
    if (wrapper.get() == source) return wrapper->Source();
  LegacyWrappers_.push_back(std::make_unique<LegacySourceWrapper>(source));
  return LegacyWrappers_.back().get();
}

tTVPSampleAndLabelSource *SoundBuffer::NativeFaceOf(tTVPLegacySampleSource *source) {
  for (auto &wrapper : LegacyWrappers_)
    if (wrapper.get() == source) return wrapper->Source();
  NativeWrappers_.push_back(std::make_unique<NativeSourceWrapper>(source));
  return NativeWrappers_.back().get();
}

void SoundBuffer::ResetState() {
  for (ChainFilter &filter : Filters_) {
    if (filter.Legacy)
      filter.Legacy->Entries->ResetState(filter.Legacy);
    else
      filter.Native->ResetState();
  }
}

tjs_uint32 SoundBuffer::PullBlock(tjs_uint32 frames) {
  if (!Output_) throw std::logic_error("SoundBuffer::PullBlock before Attach");
  const tjs_uint32 frameBytes = FrameBytes(Played_.Format);
  Block_.resize(static_cast<size_t>(frames) * frameBytes);
  Labels_.Items.clear();
  tjs_uint32 rendered = 0;
  Output_->Decode(Block_.data(), frames, rendered, Labels_);
  rendered = std::min(rendered, frames);
  if (!KeepPlayed_) return rendered;
  const tjs_uint64 start = Played_.Frames();
  Played_.Bytes.insert(Played_.Bytes.end(), Block_.begin(), Block_.begin() + static_cast<size_t>(rendered) * frameBytes);
  Played_.Blocks.push_back(rendered);
  for (const auto &label : Labels_.Items)
    Played_.Labels.push_back({static_cast<tjs_uint32>(start + label.Frame), label.Name});
  return rendered;
}

void SoundBuffer::Detach() {
  while (Attached_ > 0) {
    ChainFilter &filter = Filters_[--Attached_];
    if (filter.Legacy)
      filter.Legacy->Entries->DetachSource(filter.Legacy);
    else
      filter.Native->DetachSource();
  }
  Output_ = nullptr;
  LegacyWrappers_.clear();
  NativeWrappers_.clear();
}

PlayedSound SoundBuffer::Play(tjs_uint32 blockFrames, size_t maxBlocks) {
  Attach();
  try {
    for (size_t i = 0; i < maxBlocks; ++i)
      if (PullBlock(blockFrames) < blockFrames) break;
  } catch (...) {
    Detach();
    throw;
  }
  Detach();
  return Played_;
}

}  // namespace standin
