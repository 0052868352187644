// audio_out.cpp — demo signal and audio output (libsndfile).
#include "audio_out.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <random>
#include <stdexcept>

namespace plughost {

bool ParseSampleFormat(const std::string &text, SampleFormat &out) {
  if (text == "s16") out = SampleFormat::S16;
  else if (text == "s24") out = SampleFormat::S24;
  else if (text == "s32") out = SampleFormat::S32;
  else if (text == "f32") out = SampleFormat::F32;
  else return false;
  return true;
}

const char *SampleFormatName(SampleFormat format) {
  switch (format) {
    case SampleFormat::S16: return "s16";
    case SampleFormat::S24: return "s24";
    case SampleFormat::S32: return "s32";
    case SampleFormat::F32: return "f32";
  }
  return "?";
}

SampleFormat SampleFormatOf(const tTVPWaveFormat &input) {
  if (input.IsFloat) return SampleFormat::F32;
  if (input.BitsPerSample > 24) return SampleFormat::S32;
  if (input.BitsPerSample > 16) return SampleFormat::S24;
  return SampleFormat::S16;
}

unsigned BytesPerSample(SampleFormat format) {
  switch (format) {
    case SampleFormat::S16: return 2;
    case SampleFormat::S24: return 3;
    default: return 4;
  }
}

std::vector<int16_t> MakeDemoSignal() {
  constexpr double kPi = 3.141592653589793;
  constexpr unsigned kSeconds = 4;
  constexpr unsigned kFrames = kDemoRate * kSeconds;
  const double notes[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63};
  std::vector<double> left(kFrames, 0.0), right(kFrames, 0.0);
  std::mt19937 noise(12345);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const unsigned step = kDemoRate / 2;  // a note every half second
  for (unsigned n = 0; n < 6; ++n) {
    const unsigned start = n * step;
    const double pan = n / 5.0;  // 0 = left, 1 = right
    for (unsigned i = 0; i < step * 2 && start + i < kFrames - kDemoRate; ++i) {
      const double t = static_cast<double>(i) / kDemoRate;
      const double envelope = std::exp(-4.0 * t);
      const double w = 2 * kPi * notes[n] * t;
      const double tone = envelope * (0.5 * std::sin(w) + 0.25 * std::sin(2 * w) + 0.12 * std::sin(3 * w));
      const double click = (i < 2205) ? 0.15 * uniform(noise) * std::exp(-t * 60.0) : 0.0;
      left[start + i] += tone * (1.0 - pan) * 0.6 + click;
      right[start + i] += tone * pan * 0.6 + click;
    }
  }
  std::vector<int16_t> out(kFrames * kDemoChannels);
  for (unsigned i = 0; i < kFrames; ++i) {
    out[2 * i] = static_cast<int16_t>(std::lround(std::clamp(left[i], -1.0, 1.0) * 32767.0));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(std::clamp(right[i], -1.0, 1.0) * 32767.0));
  }
  return out;
}

namespace {

int PcmSubtype(SampleFormat format) {
  switch (format) {
    case SampleFormat::S16: return SF_FORMAT_PCM_16;
    case SampleFormat::S24: return SF_FORMAT_PCM_24;
    case SampleFormat::S32: return SF_FORMAT_PCM_32;
    case SampleFormat::F32: return SF_FORMAT_FLOAT;
  }
  return SF_FORMAT_PCM_16;
}

std::string LowerExtension(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

struct ContainerKind {
  const char *Extension;
  const char *Name;
  int Major;
  bool Classic;  // 32-bit size fields
};
constexpr ContainerKind kContainers[] = {
    {".wav", "WAV", SF_FORMAT_WAV, true},    {".flac", "FLAC", SF_FORMAT_FLAC, false},
    {".ogg", "OGG", SF_FORMAT_OGG, false},   {".aif", "AIFF", SF_FORMAT_AIFF, true},
    {".aiff", "AIFF", SF_FORMAT_AIFF, true}, {".au", "AU", SF_FORMAT_AU, true},
    {".w64", "W64", SF_FORMAT_W64, false},   {".rf64", "RF64", SF_FORMAT_RF64, false},
    {".caf", "CAF", SF_FORMAT_CAF, false},
};

std::string KnownExtensions() {
  std::string list;
  for (const ContainerKind &c : kContainers) list += (list.empty() ? "" : " ") + std::string(c.Extension);
  return list + " or - (standard output)";
}

bool Holds(int sndfileFormat) {
  SF_INFO info = {};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = sndfileFormat;
  return sf_format_check(&info) != 0;
}

void PutBigEndian(unsigned char *at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// The AU header of a stream of unknown length (28 bytes: the six fields and
// an empty annotation, which readers expect).
std::vector<unsigned char> AuStreamHeader(SampleFormat format, unsigned channels, unsigned rate) {
  const uint32_t encoding = format == SampleFormat::S16   ? 3
                            : format == SampleFormat::S24 ? 4
                            : format == SampleFormat::S32 ? 5
                                                          : 6;
  std::vector<unsigned char> header(28, 0);
  std::memcpy(header.data(), ".snd", 4);
  PutBigEndian(&header[4], 28);
  PutBigEndian(&header[8], 0xFFFFFFFFu);  // length unknown
  PutBigEndian(&header[12], encoding);
  PutBigEndian(&header[16], rate);
  PutBigEndian(&header[20], channels);
  return header;
}

std::string DirectoryOf(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OutputPlan PlanOutput(const std::string &path, SampleFormat format, bool formatGiven, uint64_t mostBytes) {
  OutputPlan plan;
  plan.Format = format;
  if (path == "-") {
    plan.Stream = true;
    plan.Container = "AU stream";
    plan.SndfileFormat = SF_FORMAT_AU | PcmSubtype(format);
    return plan;
  }
  const std::string ext = LowerExtension(path);
  const ContainerKind *kind = nullptr;
  for (const ContainerKind &c : kContainers)
    if (ext == c.Extension) kind = &c;
  if (!kind)
    throw std::runtime_error("cannot write " + path + ": unknown extension \"" + ext + "\" (use " +
                             KnownExtensions() + ")");
  plan.Container = kind->Name;
  if (kind->Major == SF_FORMAT_OGG) {
    // Lossy: the sample format does not apply.
    plan.SndfileFormat = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    return plan;
  }
  if (!Holds(kind->Major | PcmSubtype(format))) {
    if (formatGiven)
      throw std::runtime_error(std::string("cannot write ") + SampleFormatName(format) + " samples to " + kind->Name +
                               " (" + path + "); choose another --format");
    plan.Format = format == SampleFormat::F32 || format == SampleFormat::S32 ? SampleFormat::S24 : SampleFormat::S16;
  }
  plan.SndfileFormat = kind->Major | PcmSubtype(plan.Format);
  if (kind->Classic && mostBytes > kClassicContainerLimit) {
    if (kind->Major != SF_FORMAT_WAV)
      throw std::runtime_error("cannot write " + path + ": the render may exceed the 4 GiB that " + kind->Name +
                               " can hold (use .wav, .w64, .rf64, .caf or .flac)");
    plan.SndfileFormat = SF_FORMAT_RF64 | PcmSubtype(plan.Format);
    plan.AutoDowngrade = true;
  }
  return plan;
}

bool SameFile(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

AudioWriter::AudioWriter(const std::string &path, const OutputPlan &plan, unsigned channels, unsigned rate)
    : Path_(path), Channels_(channels) {
  SF_INFO info = {};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.format = plan.SndfileFormat;
  Stream_ = plan.Stream;
  Format_ = plan.Format;
  if (Stream_) {
    // Sent with the first samples: a reader that sniffs the type of a pipe
    // (SoX) may look at the first bytes only once, and must find more than
    // a lone header there.
    Bytes_ = AuStreamHeader(plan.Format, channels, rate);
    return;
  }
  // Through a symbolic link the file it names is replaced, not the link.
  if (char *resolved = ::realpath(path.c_str(), nullptr)) {
    Path_ = resolved;
    std::free(resolved);
  }
  // A hidden temporary file beside the target: the same file system, so
  // that the final rename replaces the target in one step.
  std::string pattern = DirectoryOf(Path_) + "/." + BaseNameOf(Path_) + ".XXXXXX";
  Fd_ = ::mkstemp(pattern.data());
  if (Fd_ < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  Temp_ = pattern;
  // The replaced file's permissions, or those of a plainly created file
  // (not mkstemp's 0600).
  struct stat existing;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(Fd_, ::stat(Path_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~mask));
  SNDFILE *file = sf_open_fd(Fd_, SFM_WRITE, &info, SF_FALSE);
  if (!file) {
    const std::string why = sf_strerror(nullptr);
    Discard();
    throw std::runtime_error("cannot write " + path + ": " + why);
  }
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  if (plan.AutoDowngrade) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  File_ = file;
}

AudioWriter::~AudioWriter() { Discard(); }

void AudioWriter::Discard() noexcept {
  if (File_) sf_close(static_cast<SNDFILE *>(File_));
  File_ = nullptr;
  if (Fd_ >= 0) ::close(Fd_);
  Fd_ = -1;
  if (!Temp_.empty()) ::unlink(Temp_.c_str());
  Temp_.clear();
}

namespace {

void PutSample(std::vector<unsigned char> &out, float x, SampleFormat format) {
  uint32_t bits = 0;
  unsigned bytes = 4;
  if (format == SampleFormat::F32) {
    std::memcpy(&bits, &x, sizeof bits);
  } else {
    // Full scale as libsndfile scales it; non-finite samples become silence.
    const double most = format == SampleFormat::S16 ? 32767.0 : format == SampleFormat::S24 ? 8388607.0 : 2147483647.0;
    const double clipped = std::isfinite(x) ? std::clamp(static_cast<double>(x), -1.0, 1.0) : 0.0;
    bits = static_cast<uint32_t>(static_cast<int32_t>(std::lrint(clipped * most)));
    bytes = BytesPerSample(format);
  }
  for (unsigned i = bytes; i-- > 0;) out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
}

}  // namespace

void AudioWriter::WriteStream(const float *samples, size_t count) {
  for (size_t i = 0; i < count; ++i) PutSample(Bytes_, samples[i], Format_);
  if (!Flushed_ && Bytes_.size() < kFirstStreamBytes) return;  // gather a first write
  FlushStream();
}

void AudioWriter::FlushStream() {
  size_t done = 0;
  while (done < Bytes_.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, Bytes_.data() + done, Bytes_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
    done += static_cast<size_t>(n);
  }
  Bytes_.clear();
  Flushed_ = true;
}

void AudioWriter::Write(const float *samples, tjs_uint32 frames) {
  if (frames == 0) return;
  if (Stream_) {
    WriteStream(samples, static_cast<size_t>(frames) * Channels_);
    Frames_ += frames;
    return;
  }
  SNDFILE *file = static_cast<SNDFILE *>(File_);
  const sf_count_t written = sf_writef_float(file, samples, frames);
  if (written != static_cast<sf_count_t>(frames))
    throw std::runtime_error("cannot write " + Path_ + ": " + sf_strerror(file));
  Frames_ += frames;
}

void AudioWriter::Commit() {
  if (Stream_) {
    if (!Bytes_.empty()) FlushStream();  // the header and what was gathered
    return;
  }
  if (!File_) throw std::runtime_error("cannot write " + Path_ + ": already closed");
  SNDFILE *file = static_cast<SNDFILE *>(File_);
  sf_write_sync(file);
  const int error = sf_error(file);
  const std::string why = sf_strerror(file);
  const int closed = sf_close(file);
  File_ = nullptr;
  if (error != SF_ERR_NO_ERROR || closed != 0) throw std::runtime_error("cannot write " + Path_ + ": " + why);
  const int fd = Fd_;
  Fd_ = -1;
  if (::fsync(fd) != 0 || ::close(fd) != 0)
    throw std::runtime_error("cannot write " + Path_ + ": " + std::strerror(errno));
  if (::rename(Temp_.c_str(), Path_.c_str()) != 0)
    throw std::runtime_error("cannot write " + Path_ + ": " + std::strerror(errno));
  Temp_.clear();
}

}  // namespace plughost
