// The stand-in engine's sound side: its PCM converter, its sources over
// memory and files, and its sound buffer.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound.h"
#include "test_effects.h"
#include "test_support.h"
#include "wavefilter/simple_wave_filter.h"

#if defined(STANDIN_HAVE_SNDFILE)
#include <sndfile.h>
#include <unistd.h>
#endif

namespace {

using standin::MemorySource;
using standin::SoundBuffer;
using standin::WaveFormat;
using testing_support::EngineErrorOf;

class StandinSoundTest : public testing_support::EngineTest {};

// ----- TVPConvertPCMToFloat --------------------------------------------------
struct ConversionCase {
  const char *Name;
  tTVPWaveFormat Format;
  std::vector<uint8_t> Bytes;  // little-endian samples
  std::vector<float> Expected;
};
void PrintTo(const ConversionCase &c, std::ostream *os) { *os << c.Name; }

std::vector<uint8_t> BytesOfFloats(std::initializer_list<float> values) {
  std::vector<uint8_t> bytes(values.size() * 4);
  std::memcpy(bytes.data(), values.begin(), bytes.size());
  return bytes;
}

class ConversionTest : public StandinSoundTest, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConversionTest, ScalesFullScaleToOne) {
  const ConversionCase &c = GetParam();
  std::vector<float> out(c.Expected.size() + 1, -99.0f);
  const tjs_int frames = static_cast<tjs_int>(c.Expected.size() / c.Format.Channels);
  TVPConvertPCMToFloat(out.data(), c.Bytes.data(), c.Format, frames);
  EXPECT_EQ(std::vector<float>(out.begin(), out.end() - 1), c.Expected);
  EXPECT_EQ(out.back(), -99.0f) << "nothing written past the frames";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ConversionTest,
    ::testing::Values(
        // unsigned, silence at 128, divided by 128
        ConversionCase{"Unsigned8", WaveFormat(8000, 1, 8, 1), {0x00, 0x80, 0xc0, 0xff},
                       {-1.0f, 0.0f, 0.5f, 127.0f / 128}},
        ConversionCase{"Signed16", WaveFormat(8000, 2, 16, 2), {0x00, 0x80, 0x00, 0x00, 0x00, 0x40, 0xff, 0x7f},
                       {-1.0f, 0.0f, 0.5f, 32767.0f / 32768}},
        ConversionCase{"Signed24In3", WaveFormat(8000, 1, 24, 3),
                       {0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0xe0, 0x01, 0x00, 0x00},
                       {-1.0f, 0.5f, -0.25f, 1.0f / 8388608}},
        // the significant bits in the high three bytes; the low byte is padding and ignored
        ConversionCase{"Signed24In4", WaveFormat(8000, 1, 24, 4),
                       {0x00, 0x00, 0x00, 0x80, 0xff, 0x00, 0x00, 0x40, 0x00, 0x01, 0x00, 0x00},
                       {-1.0f, 0.5f, 1.0f / 8388608}},
        ConversionCase{"Signed32", WaveFormat(8000, 1, 32, 4),
                       {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00, 0x00},
                       {-1.0f, 0.5f, 1.0f / 2147483648.0f}},
        ConversionCase{"TwelveBitsIn2", WaveFormat(8000, 1, 12, 2), {0x0f, 0x40}, {0.5f}},
        // floats pass unchanged, also beyond full scale
        ConversionCase{"Float", WaveFormat(8000, 2, 32, 4, true), BytesOfFloats({0.25f, -1.5f}), {0.25f, -1.5f}}),
    test_effects::CaseName());

TEST_F(StandinSoundTest, TheConverterRaisesForFormatsItCannotConvert) {
  float out[4] = {};
  const uint8_t in[16] = {};
  for (const tTVPWaveFormat &f : {WaveFormat(8000, 1, 0, 2), WaveFormat(8000, 1, 16, 0), WaveFormat(8000, 1, 24, 2),
                                  WaveFormat(8000, 1, 64, 8), WaveFormat(8000, 1, 16, 2, true)})
    EXPECT_EQ(EngineErrorOf([&] { TVPConvertPCMToFloat(out, in, f, 1); }), "unsupported PCM format")
        << f.BitsPerSample << " bits in " << f.BytesPerSample << " bytes";
}

TEST_F(StandinSoundTest, TheConverterIsExportedUnderItsSignature) {
  typedef void(TJS_ENGINE_CALL * Convert)(float *, const void *, const tTVPWaveFormat &, tjs_int);
  const tjs_nchar *name = "void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)";
  void *function = nullptr;
  ASSERT_TRUE(E().GetExporter().LookUpByNarrowNames(&name, &function, 1));
  const uint8_t in[2] = {0x00, 0x20};
  float out = 0;
  reinterpret_cast<Convert>(function)(&out, in, WaveFormat(8000, 1, 16, 2), 1);
  EXPECT_EQ(out, 0.25f);
}

// ----- sources ----------------------------------------------------------------
TEST_F(StandinSoundTest, AMemorySourceHandsOutItsFramesAndEndsWithAShortBlock) {
  MemorySource source = MemorySource::OfInt16(8000, 2, {1, 2, 3, 4, 5, 6});
  source.AddLabel(2, "end");
  int16_t dest[4] = {};
  tjs_uint32 rendered = 0;
  tTVPWaveLabels labels;
  source.Decode(dest, 2, rendered, labels);
  EXPECT_EQ(rendered, 2u);
  EXPECT_EQ(dest[3], 4);
  EXPECT_TRUE(labels.Items.empty());
  source.Decode(dest, 2, rendered, labels);
  EXPECT_EQ(rendered, 1u);
  EXPECT_EQ(dest[1], 6);
  ASSERT_EQ(labels.Items.size(), 1u);
  EXPECT_EQ(labels.Items[0].Frame, 0u);
  source.Decode(dest, 2, rendered, labels);
  EXPECT_EQ(rendered, 0u);
}

#if defined(STANDIN_HAVE_SNDFILE)
// A sound file written with libsndfile in a scratch folder, removed at the end.
class SoundFile {
 public:
  SoundFile(int format, int rate, int channels, const std::vector<double> &samples) {
    char pattern[] = "/tmp/wavefilter_testXXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    Path = pattern;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *file = sf_open(Path.c_str(), SFM_WRITE, &info);
    if (!file) return;
    sf_writef_double(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
    Written = true;
  }
  ~SoundFile() { std::remove(Path.c_str()); }
  std::string Path;
  bool Written = false;
};

struct FileCase {
  const char *Name;
  int SndFormat;
  tjs_uint32 Bits, Bytes;
  bool IsFloat;
  float Tolerance;
};
void PrintTo(const FileCase &c, std::ostream *os) { *os << c.Name; }

class FileSourceTest : public StandinSoundTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileSourceTest, FillsTheFormatAndKeepsTheFilesPrecision) {
  const FileCase &c = GetParam();
  const std::vector<double> samples = {0.0, 0.5, -0.5, 0.25, -1.0, 0.75};
  SoundFile file(SF_FORMAT_WAV | c.SndFormat, 22050, 2, samples);
  ASSERT_TRUE(file.Written);

  standin::FileSource source(file.Path);
  const tTVPWaveFormat &format = source.GetFormat();
  EXPECT_EQ(format.SamplesPerSec, 22050u);
  EXPECT_EQ(format.Channels, 2u);
  EXPECT_EQ(format.BitsPerSample, c.Bits);
  EXPECT_EQ(format.BytesPerSample, c.Bytes);
  EXPECT_EQ(format.IsFloat != 0, c.IsFloat);
  EXPECT_EQ(source.TotalFrames(), 3u);

  SoundBuffer buffer(source);
  std::vector<float> played = buffer.Play(2).Floats();
  ASSERT_EQ(played.size(), samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    EXPECT_NEAR(played[i], samples[i], c.Tolerance) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Formats, FileSourceTest,
                         ::testing::Values(FileCase{"Unsigned8", SF_FORMAT_PCM_U8, 8, 1, false, 2.0f / 128},
                                           FileCase{"Signed16", SF_FORMAT_PCM_16, 16, 2, false, 2.0f / 32768},
                                           FileCase{"Signed24", SF_FORMAT_PCM_24, 24, 3, false, 1e-6f},
                                           FileCase{"Signed32", SF_FORMAT_PCM_32, 32, 4, false, 1e-6f},
                                           FileCase{"Float", SF_FORMAT_FLOAT, 32, 4, true, 0.0f}),
                         test_effects::CaseName());

TEST_F(StandinSoundTest, AFileThatCannotBeOpenedRaises) {
  const std::string message = EngineErrorOf([] { standin::FileSource source("/nonexistent/sound.wav"); });
  EXPECT_NE(message.find("cannot open sound file: /nonexistent/sound.wav"), std::string::npos) << message;
}
#endif  // STANDIN_HAVE_SNDFILE

// ----- sound buffer ----------------------------------------------------------------
// A pass-through filter that records its calls in a shared journal.
class JournalFilter : public tTVPBasicWaveFilter {
 public:
  JournalFilter(std::string name, std::vector<std::string> &journal) : Name_(std::move(name)), Journal_(journal) {}
  tTVPSampleAndLabelSource *TJS_INTF_METHOD AttachSource(tTVPSampleAndLabelSource *source) override {
    Journal_.push_back("attach " + Name_);
    return source;
  }
  void TJS_INTF_METHOD DetachSource() override { Journal_.push_back("detach " + Name_); }
  void TJS_INTF_METHOD ResetState() override { Journal_.push_back("reset " + Name_); }

 private:
  std::string Name_;
  std::vector<std::string> &Journal_;
};

TEST_F(StandinSoundTest, PlayPullsBlocksUntilTheFirstShortOneAndDetachesLastFilterFirst) {
  MemorySource source = MemorySource::OfInt16(8000, 1, std::vector<int16_t>(10, 16384));
  source.AddLabel(7, "seven");
  std::vector<std::string> journal;
  JournalFilter a("a", journal), b("b", journal);
  SoundBuffer buffer(source);
  buffer.AddFilter(&a);
  buffer.AddFilter(&b);

  standin::PlayedSound played = buffer.Play(4);

  EXPECT_EQ(played.Blocks, (std::vector<tjs_uint32>{4, 4, 2}));
  EXPECT_EQ(played.Frames(), 10u);
  EXPECT_EQ(played.Floats(), std::vector<float>(10, 0.5f));
  ASSERT_EQ(played.Labels.size(), 1u);
  EXPECT_EQ(played.Labels[0].Frame, 7u);
  EXPECT_EQ(played.Labels[0].Name, "seven");
  EXPECT_EQ(journal, (std::vector<std::string>{"attach a", "attach b", "detach b", "detach a"}));
}

TEST_F(StandinSoundTest, PlayStopsAfterMaxBlocksOnAnEndlessTail) {
  MemorySource source = MemorySource::OfInt16(8000, 1, {1});
  SimpleWaveFilter<test_effects::GainEffect> filter;
  filter.effect.Tail = 1000;  // 8000 frames
  SoundBuffer buffer(source);
  buffer.AddFilter(&filter);
  EXPECT_EQ(buffer.Play(1000, 3).Blocks, (std::vector<tjs_uint32>{1000, 1000, 1000}));
  EXPECT_EQ(filter.source.Upstream(), nullptr);
}

TEST_F(StandinSoundTest, ResetStateReachesEveryFilterInOrder) {
  MemorySource source = MemorySource::OfInt16(8000, 1, {1});
  std::vector<std::string> journal;
  JournalFilter a("a", journal), b("b", journal);
  SoundBuffer buffer(source);
  buffer.AddFilter(&a);
  buffer.AddFilter(&b);
  buffer.ResetState();
  EXPECT_EQ(journal, (std::vector<std::string>{"reset a", "reset b"}));
}

struct AttachErrorCase {
  const char *Name;
  tTVPWaveFormat Format;
  const char *Message;
};
void PrintTo(const AttachErrorCase &c, std::ostream *os) { *os << c.Name; }

class SoundBufferAttachErrorTest : public StandinSoundTest, public ::testing::WithParamInterface<AttachErrorCase> {};

TEST_P(SoundBufferAttachErrorTest, ArrivesAsAnEngineExceptionAfterTheEarlierFiltersAreDetached) {
  const AttachErrorCase &c = GetParam();
  MemorySource source(c.Format, std::vector<uint8_t>(64));
  std::vector<std::string> journal;
  JournalFilter before("before", journal), after("after", journal);
  SimpleWaveFilter<test_effects::GainEffect> failing;
  SoundBuffer buffer(source);
  buffer.AddFilter(&before);
  buffer.AddFilter(&failing);
  buffer.AddFilter(&after);

  EXPECT_EQ(EngineErrorOf([&] { buffer.Play(16); }), c.Message);
  EXPECT_EQ(journal, (std::vector<std::string>{"attach before", "detach before"}));
  EXPECT_EQ(buffer.Output(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SoundBufferAttachErrorTest,
    ::testing::Values(AttachErrorCase{"HiRes", WaveFormat(44100, 2, 32, 8), "HiRes format not supported."},
                      AttachErrorCase{"Channels", WaveFormat(44100, 6, 16, 2), "invalid channels."}),
    test_effects::CaseName());

TEST_F(StandinSoundTest, OneFilterInTwoBuffersRaisesTheSecondConnection) {
  MemorySource first = MemorySource::OfInt16(8000, 1, {1, 2});
  MemorySource second = MemorySource::OfInt16(8000, 1, {1, 2});
  SimpleWaveFilter<test_effects::GainEffect> shared;
  SoundBuffer a(first), b(second);
  a.AddFilter(&shared);
  b.AddFilter(&shared);
  a.Attach();
  EXPECT_EQ(EngineErrorOf([&] { b.Attach(); }), "Cannot connect multiple wave sound buffer at once.");
  EXPECT_EQ(shared.source.Upstream(), &first);
}

}  // namespace
