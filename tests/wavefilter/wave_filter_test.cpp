// SimpleWaveFilter<E> and its SimpleFloatSource, compiled into the test and
// driven the way the engine drives them: attach, decode blocks, reset, detach.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "sound.h"
#include "test_effects.h"
#include "test_support.h"
#include "wavefilter/denormals.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

using standin::MemorySource;
using standin::WaveFormat;
using test_effects::BareStereoEffect;
using test_effects::GainEffect;
using test_effects::PassEffect;
using test_effects::StereoEffect;
using testing_support::EngineErrorOf;

constexpr float kUnwritten = -99.0f;  // sentinel in the engine's buffer

// A source of `frames` frames of silence in `format`.
MemorySource SilenceOf(const tTVPWaveFormat &format, size_t frames) {
  return MemorySource(format, std::vector<uint8_t>(frames * standin::FrameBytes(format)));
}

struct Block {
  std::vector<float> Samples;
  tjs_uint32 Rendered = 0;
};

// One Decode of `frames` frames into a buffer of `channels` channels that
// starts out filled with kUnwritten.
Block DecodeOnce(tTVPSampleAndLabelSource &source, tjs_uint32 frames, tjs_uint32 channels) {
  Block block;
  block.Samples.assign(static_cast<size_t>(frames) * channels, kUnwritten);
  block.Rendered = 12345;
  tTVPWaveLabels labels;
  source.Decode(block.Samples.data(), frames, block.Rendered, labels);
  return block;
}

class WaveFilterTest : public testing_support::EngineTest {};

// ----- conversion modes ----------------------------------------------------
struct ModeCase {
  const char *Name;
  tTVPWaveFormat Format;
  bool ForceStereo;
  tjs_int32 Mode;
  tjs_uint32 OutChannels;
};
void PrintTo(const ModeCase &c, std::ostream *os) { *os << c.Name; }

class ConversionModeTest : public WaveFilterTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ConversionModeTest, FollowsTheFormatAndTheChannelRule) {
  const ModeCase &c = GetParam();
  MemorySource upstream = SilenceOf(c.Format, 16);
  SimpleWaveFilter<GainEffect> plain;
  SimpleWaveFilter<StereoEffect> stereo;
  tTVPBasicWaveFilter &filter = c.ForceStereo ? static_cast<tTVPBasicWaveFilter &>(stereo) : plain;
  const SimpleFloatSource &source = c.ForceStereo ? stereo.source : plain.source;

  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);

  EXPECT_EQ(output, &source);
  EXPECT_EQ(source.ConversionMode(), c.Mode);
  const tTVPWaveFormat &out = output->GetFormat();
  EXPECT_EQ(out.Channels, c.OutChannels);
  EXPECT_EQ(out.SamplesPerSec, c.Format.SamplesPerSec);
  EXPECT_EQ(out.BitsPerSample, 32u);
  EXPECT_EQ(out.BytesPerSample, 4u);
  EXPECT_NE(out.IsFloat, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ConversionModeTest,
    ::testing::Values(ModeCase{"StereoFloat", WaveFormat(44100, 2, 32, 4, true), false, 0, 2},
                      ModeCase{"MonoFloat", WaveFormat(44100, 1, 32, 4, true), false, 0, 1},
                      ModeCase{"StereoInt16", WaveFormat(22050, 2, 16, 2), false, 1, 2},
                      ModeCase{"MonoInt16", WaveFormat(8000, 1, 16, 2), false, 1, 1},
                      ModeCase{"Stereo24In4", WaveFormat(48000, 2, 24, 4), false, 1, 2},
                      ModeCase{"StereoInt32", WaveFormat(48000, 2, 32, 4), false, 1, 2},
                      ModeCase{"MonoUnsigned8", WaveFormat(11025, 1, 8, 1), false, 1, 1},
                      ModeCase{"MonoInt16ForcedStereo", WaveFormat(44100, 1, 16, 2), true, -1, 2},
                      ModeCase{"MonoFloatForcedStereo", WaveFormat(44100, 1, 32, 4, true), true, -1, 2},
                      ModeCase{"StereoInt16ForcedStereo", WaveFormat(44100, 2, 16, 2), true, 1, 2},
                      ModeCase{"StereoFloatForcedStereo", WaveFormat(44100, 2, 32, 4, true), true, 0, 2}),
    test_effects::CaseName());

TEST_F(WaveFilterTest, TheOpaqueBytesOfTheFormatAreCarriedThrough) {
  tTVPWaveFormat format = WaveFormat(44100, 2, 16, 2);
  for (size_t i = 0; i < sizeof format.Opaque1; ++i) format.Opaque1[i] = static_cast<unsigned char>(i + 1);
  format.Opaque2[2] = 0x5a;
  MemorySource upstream = SilenceOf(format, 4);
  SimpleWaveFilter<GainEffect> filter;
  const tTVPWaveFormat &out = filter.AttachSource(&upstream)->GetFormat();
  EXPECT_EQ(std::memcmp(out.Opaque1, format.Opaque1, sizeof format.Opaque1), 0);
  EXPECT_EQ(out.Opaque2[2], 0x5a);
  EXPECT_EQ(std::memcmp(&filter.source.InFormat(), &format, sizeof format), 0);
}

TEST_F(WaveFilterTest, ModeZeroHandsTheUpstreamBlockToTheEffectAndWritesIntoTheEnginesBuffer) {
  MemorySource upstream = MemorySource::OfFloats(44100, 2, {0.5f, -0.5f, 0.25f, -0.25f});
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Gain = 2.0f;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  const long conversions = standin::PcmConversions();

  std::vector<float> dest(4, kUnwritten);
  tjs_uint32 rendered = 0;
  tTVPWaveLabels labels;
  output->Decode(dest.data(), 2, rendered, labels);

  EXPECT_EQ(rendered, 2u);
  EXPECT_EQ(filter.effect.LastInPtr, upstream.LastDest()) << "the effect reads the upstream's block";
  EXPECT_EQ(filter.effect.LastOutPtr, dest.data()) << "the effect writes into the engine's buffer";
  EXPECT_EQ(standin::PcmConversions(), conversions) << "no conversion pass";
  EXPECT_EQ(dest, (std::vector<float>{1.0f, -1.0f, 0.5f, -0.5f}));
}

TEST_F(WaveFilterTest, ModeOneConvertsThroughTheEngineConverter) {
  MemorySource upstream = MemorySource::OfInt16(44100, 2, {16384, -32768, 8192, 0});
  SimpleWaveFilter<GainEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  const long conversions = standin::PcmConversions();

  Block block = DecodeOnce(*output, 2, 2);

  EXPECT_EQ(standin::PcmConversions(), conversions + 1);
  EXPECT_EQ(filter.effect.LastIn, (std::vector<float>{0.5f, -1.0f, 0.25f, 0.0f}));
  EXPECT_EQ(block.Samples, filter.effect.LastIn);
}

TEST_F(WaveFilterTest, ModeMinusOneDuplicatesConvertedMonoIntoBothChannels) {
  MemorySource upstream = MemorySource::OfInt16(44100, 1, {16384, -8192, 4096});
  SimpleWaveFilter<StereoEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  const long conversions = standin::PcmConversions();

  Block block = DecodeOnce(*output, 4, 2);

  EXPECT_EQ(standin::PcmConversions(), conversions + 1);
  EXPECT_EQ(block.Rendered, 3u);
  EXPECT_EQ(filter.effect.LastChannels, 2u);
  EXPECT_EQ(filter.effect.LastIn, (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f, 0.125f, 0.125f, 0.0f, 0.0f}));
  EXPECT_EQ(block.Samples, filter.effect.LastIn);
}

TEST_F(WaveFilterTest, ModeMinusOneWithFloatInputNeedsNoConverter) {
  MemorySource upstream = MemorySource::OfFloats(44100, 1, {0.75f, -0.125f});
  SimpleWaveFilter<BareStereoEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  const long conversions = standin::PcmConversions();

  Block block = DecodeOnce(*output, 2, 2);

  EXPECT_EQ(standin::PcmConversions(), conversions);
  EXPECT_EQ(block.Samples, (std::vector<float>{0.75f, 0.75f, -0.125f, -0.125f}));
}

TEST_F(WaveFilterTest, TwentyFourBitSamplesInFourByteContainersAreConverted) {
  // 24 significant bits in the high three bytes; the low byte is padding.
  std::vector<uint8_t> bytes = {0x00, 0x00, 0x00, 0x40, 0x7f, 0x00, 0x00, 0xe0};
  MemorySource upstream(WaveFormat(48000, 1, 24, 4), bytes);
  SimpleWaveFilter<GainEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);

  Block block = DecodeOnce(*output, 2, 1);

  EXPECT_EQ(filter.source.ConversionMode(), 1);
  EXPECT_EQ(block.Samples, (std::vector<float>{0.5f, -0.25f}));
}

TEST_F(WaveFilterTest, SetChannelsToMonoOnAStereoInputAveragesTheChannels) {
  MemorySource upstream = MemorySource::OfFloats(44100, 2, {0.5f, 0.25f, -1.0f, 0.0f});
  SimpleWaveFilter<GainEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  filter.source.SetChannels(1);

  Block block = DecodeOnce(*output, 2, 1);

  EXPECT_EQ(filter.source.ConversionMode(), -1);
  EXPECT_EQ(block.Samples, (std::vector<float>{0.375f, -0.5f}));
}

// ----- Setup and the channel rule ------------------------------------------------
TEST_F(WaveFilterTest, SetupReceivesRateAndChannelsInItsOwnParameterTypes) {
  MemorySource mono = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  SimpleWaveFilter<GainEffect> unsignedSetup;
  unsignedSetup.AttachSource(&mono);
  EXPECT_EQ(unsignedSetup.effect.Setups, 1);
  EXPECT_EQ(unsignedSetup.effect.SetupRate, 44100u);
  EXPECT_EQ(unsignedSetup.effect.SetupChannels, 1u);

  MemorySource other = SilenceOf(WaveFormat(22050, 1, 16, 2), 4);
  SimpleWaveFilter<StereoEffect> floatSetup;
  floatSetup.AttachSource(&other);
  EXPECT_EQ(floatSetup.effect.Setups, 1);
  EXPECT_EQ(floatSetup.effect.SetupRate, 22050.0f);
  EXPECT_EQ(floatSetup.effect.SetupChannels, 1) << "Setup sees the input's channels, before the forced stereo";
  EXPECT_EQ(floatSetup.source.OutFormat().Channels, 2u);
}

TEST_F(WaveFilterTest, SetupRunsAgainOnEveryAttach) {
  MemorySource first = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  MemorySource second = SilenceOf(WaveFormat(48000, 2, 16, 2), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.AttachSource(&first);
  filter.DetachSource();
  filter.AttachSource(&second);
  EXPECT_EQ(filter.effect.Setups, 2);
  EXPECT_EQ(filter.effect.SetupRate, 48000u);
  EXPECT_EQ(filter.effect.SetupChannels, 2u);
}

// ----- failures --------------------------------------------------------------------
struct FailureCase {
  const char *Name;
  tTVPWaveFormat Format;
  const char *Message;
};
void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.Name; }

class AttachFailureTest : public WaveFilterTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AttachFailureTest, RaisesAndLeavesTheSourceAttachedUntilDetach) {
  const FailureCase &c = GetParam();
  MemorySource bad = SilenceOf(c.Format, 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;

  EXPECT_EQ(EngineErrorOf([&] { filter.AttachSource(&bad); }), c.Message);

  const SimpleFloatSource &source = filter.source;
  EXPECT_EQ(source.Upstream(), &bad);
  EXPECT_EQ(std::memcmp(&source.InFormat(), &c.Format, sizeof c.Format), 0);
  EXPECT_EQ(source.ConversionMode(), 0);
  EXPECT_EQ(filter.effect.Setups, 0) << "Setup does not run";
  EXPECT_EQ(EngineErrorOf([&] { filter.AttachSource(&bad); }),
            "Cannot connect multiple wave sound buffer at once.");

  // A failed source reads nothing, writes nothing and reports nothing.
  Block block = DecodeOnce(filter.source, 8, 2);
  EXPECT_EQ(block.Rendered, 0u);
  EXPECT_EQ(block.Samples, std::vector<float>(16, kUnwritten));
  EXPECT_EQ(bad.Decodes(), 0);
  EXPECT_EQ(filter.effect.Calls, 0);

  filter.DetachSource();
  MemorySource good = SilenceOf(WaveFormat(44100, 2, 16, 2), 4);
  EXPECT_EQ(filter.AttachSource(&good), &filter.source);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AttachFailureTest,
    ::testing::Values(FailureCase{"EightBytesPerSample", WaveFormat(44100, 2, 32, 8), "HiRes format not supported."},
                      FailureCase{"SixtyFourBits", WaveFormat(44100, 2, 64, 4), "HiRes format not supported."},
                      FailureCase{"ThreeChannels", WaveFormat(44100, 3, 16, 2), "invalid channels."},
                      FailureCase{"ZeroChannels", WaveFormat(44100, 0, 16, 2), "invalid channels."}),
    test_effects::CaseName());

TEST_F(WaveFilterTest, HiResLeavesTheOutputFormatUntouched) {
  MemorySource bad = SilenceOf(WaveFormat(96000, 2, 64, 8), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  EngineErrorOf([&] { filter.AttachSource(&bad); });
  EXPECT_EQ(filter.source.OutFormat().Channels, 0u);
  EXPECT_EQ(filter.source.OutFormat().BytesPerSample, 0u);
  EXPECT_EQ(filter.source.TailMs(), 0u) << "the tail is not armed";
}

TEST_F(WaveFilterTest, InvalidChannelsStoresTheOutputFormatAndTheTail) {
  MemorySource bad = SilenceOf(WaveFormat(44100, 3, 16, 2), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  EngineErrorOf([&] { filter.AttachSource(&bad); });
  EXPECT_EQ(filter.source.OutFormat().Channels, 3u) << "the rejected count";
  EXPECT_EQ(filter.source.OutFormat().BitsPerSample, 32u);
  EXPECT_EQ(filter.source.TailMs(), 1000u);
  EXPECT_EQ(filter.source.TailFrames(), 44100u);
}

TEST_F(WaveFilterTest, ASecondAttachWithoutDetachRaisesAndChangesNothing) {
  MemorySource first = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  MemorySource second = SilenceOf(WaveFormat(48000, 2, 32, 4, true), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 500;
  filter.AttachSource(&first);
  filter.effect.Tail = 2000;

  EXPECT_EQ(EngineErrorOf([&] { filter.AttachSource(&second); }),
            "Cannot connect multiple wave sound buffer at once.");

  EXPECT_EQ(filter.source.Upstream(), &first);
  EXPECT_EQ(filter.source.InFormat().SamplesPerSec, 44100u);
  EXPECT_EQ(filter.source.OutFormat().Channels, 1u);
  EXPECT_EQ(filter.source.ConversionMode(), 1);
  EXPECT_EQ(filter.source.TailMs(), 500u);
  EXPECT_EQ(filter.effect.Setups, 1);

  filter.DetachSource();
  EXPECT_EQ(filter.AttachSource(&second), &filter.source);
  EXPECT_EQ(filter.source.Upstream(), &second);
}

TEST_F(WaveFilterTest, ANullUpstreamIsAStreamWithoutChannels) {
  SimpleWaveFilter<GainEffect> filter;
  EXPECT_EQ(EngineErrorOf([&] { filter.AttachSource(nullptr); }), "invalid channels.");
  EXPECT_EQ(filter.source.Upstream(), nullptr) << "still detached";
  MemorySource good = SilenceOf(WaveFormat(44100, 2, 16, 2), 4);
  EXPECT_EQ(filter.AttachSource(&good), &filter.source);
}

TEST_F(WaveFilterTest, SetChannelsRejectsZeroAndMoreThanTwo) {
  SimpleFloatSource source;
  EXPECT_EQ(EngineErrorOf([&] { source.SetChannels(0); }), "invalid channels.");
  EXPECT_EQ(EngineErrorOf([&] { source.SetChannels(3); }), "invalid channels.");
  EXPECT_EQ(source.OutFormat().Channels, 0u);
}

// ----- tail --------------------------------------------------------------------------
TEST_F(WaveFilterTest, TailBudgetArithmetic) {
  struct Case {
    tjs_uint32 Rate, Ms, Frames;
  };
  const tjs_uint32 kMax = std::numeric_limits<tjs_uint32>::max();
  for (const Case &c : {Case{44100, 1000, 44100}, Case{44100, 1, 44}, Case{48000, 10, 480}, Case{0, 1000, 0},
                        Case{1000, kMax, kMax}, Case{44100, 97391000, 4294943100u},
                        // beyond 32 bits: saturated, not wrapped to a shorter tail
                        Case{44100, 97392000, kMax}, Case{44100, kMax, kMax}, Case{kMax, kMax, kMax}})
    EXPECT_EQ(SimpleFloatSource::TailBudget(c.Rate, c.Ms), c.Frames) << c.Rate << " Hz, " << c.Ms << " ms";
}

TEST_F(WaveFilterTest, TheTailExtendsAShortStreamByItsBudget) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 2, 16, 2), 300);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  EXPECT_EQ(filter.source.TailFrames(), 44100u);

  EXPECT_EQ(DecodeOnce(*output, 1024, 2).Rendered, 1024u);
  EXPECT_EQ(filter.source.TailFrames(), 43376u);
  for (int i = 0; i < 42; ++i) ASSERT_EQ(DecodeOnce(*output, 1024, 2).Rendered, 1024u) << "block " << i;
  EXPECT_EQ(DecodeOnce(*output, 1024, 2).Rendered, 43376u - 42u * 1024u);
  EXPECT_EQ(filter.source.TailFrames(), 0u);
  EXPECT_EQ(DecodeOnce(*output, 1024, 2).Rendered, 0u) << "the next short block is reported short";
}

TEST_F(WaveFilterTest, FullBlocksDoNotSpendTheTail) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 4096);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 10;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  for (int i = 0; i < 4; ++i) DecodeOnce(*output, 1024, 1);
  EXPECT_EQ(filter.source.TailFrames(), 441u);
}

TEST_F(WaveFilterTest, AnAlmostFullBudgetDoesNotWrapWhenAPartialBlockIsAdded) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 300);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = std::numeric_limits<tjs_uint32>::max();
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  EXPECT_EQ(DecodeOnce(*output, 1024, 1).Rendered, 1024u);
  EXPECT_EQ(filter.source.TailFrames(), std::numeric_limits<tjs_uint32>::max() - 724u);
}

TEST_F(WaveFilterTest, WithoutATailAShortBlockIsReportedShortButProcessedWhole) {
  MemorySource upstream = MemorySource::OfFloats(44100, 1, {0.5f, 0.5f, 0.5f});
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Offset = 0.25f;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);

  Block block = DecodeOnce(*output, 6, 1);

  EXPECT_EQ(block.Rendered, 3u);
  EXPECT_EQ(filter.effect.LastFrames, 6u);
  EXPECT_EQ(filter.effect.LastIn, (std::vector<float>{0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(block.Samples, (std::vector<float>{0.75f, 0.75f, 0.75f, 0.25f, 0.25f, 0.25f}));
}

TEST_F(WaveFilterTest, TheTailLengthSurvivesDetachAndResetStateRearmsIt) {
  MemorySource first = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  MemorySource second = SilenceOf(WaveFormat(48000, 1, 16, 2), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  filter.AttachSource(&first);
  filter.DetachSource();
  EXPECT_EQ(filter.source.TailMs(), 1000u);
  EXPECT_EQ(filter.source.TailFrames(), 0u);

  filter.effect.Tail = 0;
  filter.AttachSource(&second);
  EXPECT_EQ(filter.source.TailFrames(), 0u) << "a tail length of 0 arms nothing";
  EXPECT_EQ(filter.source.TailMs(), 1000u) << "and keeps the earlier length";

  filter.ResetState();
  EXPECT_EQ(filter.effect.Resets, 1);
  EXPECT_EQ(filter.source.TailFrames(), 48000u);
}

TEST_F(WaveFilterTest, ResetStateOnADetachedSourceLeavesTheBudgetAtZero) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  filter.AttachSource(&upstream);
  filter.DetachSource();
  filter.ResetState();
  EXPECT_EQ(filter.effect.Resets, 1);
  EXPECT_EQ(filter.source.TailFrames(), 0u);
  EXPECT_EQ(filter.source.TailMs(), 1000u);
}

// ----- Decode ----------------------------------------------------------------------------
TEST_F(WaveFilterTest, DecodeWithoutUpstreamReportsNothingAndWritesNothing) {
  SimpleWaveFilter<GainEffect> filter;
  Block block = DecodeOnce(filter.source, 8, 2);
  EXPECT_EQ(block.Rendered, 0u);
  EXPECT_EQ(block.Samples, std::vector<float>(16, kUnwritten));
  EXPECT_EQ(filter.effect.Calls, 0);
}

TEST_F(WaveFilterTest, DecodeAfterDetachReportsNothing) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 2, 16, 2), 64);
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Tail = 1000;
  filter.AttachSource(&upstream);
  filter.DetachSource();
  EXPECT_EQ(DecodeOnce(filter.source, 8, 2).Rendered, 0u);
  EXPECT_EQ(upstream.Decodes(), 0);
}

struct WrittenCase {
  tjs_int32 Written;   // frames the effect reports
  size_t EffectFrames;  // frames whose output is the effect's
};
void PrintTo(const WrittenCase &c, std::ostream *os) { *os << "written " << c.Written; }

class CopyThroughTest : public WaveFilterTest, public ::testing::WithParamInterface<WrittenCase> {};

TEST_P(CopyThroughTest, FramesTheEffectDidNotWritePassThroughDry) {
  const WrittenCase &c = GetParam();
  MemorySource upstream = MemorySource::OfFloats(44100, 2, std::vector<float>(16, 0.5f));
  SimpleWaveFilter<GainEffect> filter;
  filter.effect.Gain = 0.0f;
  filter.effect.Offset = 7.0f;
  filter.effect.WriteAll = false;
  filter.effect.Written = c.Written;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);

  Block block = DecodeOnce(*output, 8, 2);

  for (size_t i = 0; i < block.Samples.size(); ++i)
    EXPECT_EQ(block.Samples[i], i / 2 < c.EffectFrames ? 7.0f : 0.5f) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Counts, CopyThroughTest,
                         ::testing::Values(WrittenCase{0, 0}, WrittenCase{3, 3}, WrittenCase{8, 8},
                                           WrittenCase{12, 8},
                                           // a negative count wrote nothing usable: all dry
                                           WrittenCase{-1, 0}));

TEST_F(WaveFilterTest, AProcessWithoutResultWritesEveryFrame) {
  MemorySource upstream = MemorySource::OfFloats(44100, 1, {0.1f, 0.2f, 0.3f});
  SimpleWaveFilter<PassEffect> filter;
  Block block = DecodeOnce(*filter.AttachSource(&upstream), 4, 1);
  EXPECT_EQ(block.Samples, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.0f}));
}

TEST_F(WaveFilterTest, LabelsReachTheUpstreamUnchangedAndNotifyIsNotForwarded) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 16);
  SimpleWaveFilter<GainEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  tTVPWaveLabels labels;
  labels.Items.push_back({3, "engine's"});
  std::vector<float> dest(8);
  tjs_uint32 rendered = 0;
  output->Decode(dest.data(), 8, rendered, labels);
  output->Notify();
  EXPECT_EQ(upstream.LastLabels(), &labels);
  ASSERT_EQ(labels.Items.size(), 1u);
  EXPECT_EQ(labels.Items[0].Name, "engine's");
  EXPECT_EQ(upstream.Notifies(), 0);
}

// An upstream that claims more frames than it was asked for.
class OverstatingSource final : public tTVPSampleAndLabelSource {
 public:
  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) override {
    std::memset(dest, 0, static_cast<size_t>(frames) * 2);
    rendered = frames * 4;
  }
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format; }
  void TJS_INTF_METHOD Notify() override {}
  tTVPWaveFormat Format = WaveFormat(44100, 1, 16, 2);
};

TEST_F(WaveFilterTest, AnUpstreamThatOverstatesIsHeldToTheBlock) {
  OverstatingSource upstream;
  SimpleWaveFilter<StereoEffect> filter;
  Block block = DecodeOnce(*filter.AttachSource(&upstream), 8, 2);
  EXPECT_EQ(block.Rendered, 8u);
  EXPECT_EQ(block.Samples, std::vector<float>(16, 0.0f));
}

// An effect that writes no frame: the source copies the whole block through.
struct WritesNothing {
  tjs_uint32 TailMs() const { return 0; }
  void Reset() {}
  tjs_int32 Process(float *, const float *, tjs_uint32, tjs_uint32) { return 0; }
};

// Frames copied through to the engine never carry a non-finite sample: a
// NaN or infinity from a float upstream goes out as silence.
TEST_F(WaveFilterTest, FramesCopiedThroughCarryNoNonFiniteSample) {
  const float inf = std::numeric_limits<float>::infinity();
  MemorySource upstream =
      MemorySource::OfFloats(44100, 2, {1.0f, std::numeric_limits<float>::quiet_NaN(), inf, -inf, -2.0f, 0.5f});
  SimpleWaveFilter<WritesNothing> filter;
  Block block = DecodeOnce(*filter.AttachSource(&upstream), 3, 2);
  EXPECT_EQ(block.Samples, (std::vector<float>{1.0f, 0.0f, 0.0f, 0.0f, -2.0f, 0.5f}));
}

TEST_F(WaveFilterTest, BuffersGrowToTheLargestBlockAndKeepTheirStorageAcrossDetach) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 4096);
  SimpleWaveFilter<StereoEffect> filter;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  DecodeOnce(*output, 1024, 2);
  DecodeOnce(*output, 256, 2);
  EXPECT_EQ(filter.source.ReadBuffer().Size(), 2048u) << "frames x 8 bytes, never shrunk";
  EXPECT_EQ(filter.source.ConvertBuffer().Size(), 2048u);
  const size_t capacity = filter.source.ReadBuffer().Capacity();

  filter.DetachSource();
  EXPECT_EQ(filter.source.ReadBuffer().Size(), 0u);
  EXPECT_EQ(filter.source.ReadBuffer().Capacity(), capacity);
}

#if SONAFILTER_HAS_MXCSR
// Multiplies a subnormal input by one: 0 under denormals-are-zero.
struct SubnormalProbe {
  float Seen = -1.0f;
  tjs_uint32 TailMs() const { return 0; }
  void Reset() {}
  tjs_int32 Process(float *out, const float *in, tjs_uint32 frames, tjs_uint32 channels) {
    volatile float tiny = std::numeric_limits<float>::denorm_min();
    volatile float one = 1.0f;
    Seen = tiny * one;
    return 0;
  }
};

TEST_F(WaveFilterTest, TheEffectRunsWithSubnormalsFlushedAndTheCallerGetsItsModeBack) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 8);
  SimpleWaveFilter<SubnormalProbe> filter;
  const unsigned before = _mm_getcsr();
  DecodeOnce(*filter.AttachSource(&upstream), 8, 1);
  EXPECT_EQ(filter.effect.Seen, 0.0f);
  EXPECT_EQ(_mm_getcsr(), before);
  volatile float tiny = std::numeric_limits<float>::denorm_min();
  volatile float one = 1.0f;
  EXPECT_GT(tiny * one, 0.0f) << "subnormals are back outside Decode";
}
#endif

// ----- base filter and chains ----------------------------------------------------------
TEST_F(WaveFilterTest, TheBaseFilterPassesTheSourceThrough) {
  MemorySource upstream = SilenceOf(WaveFormat(44100, 1, 16, 2), 4);
  tTVPBasicWaveFilter filter;
  EXPECT_EQ(filter.AttachSource(&upstream), &upstream);
  filter.ResetState();
  filter.Refresh();
  filter.DetachSource();
  EXPECT_EQ(upstream.Decodes(), 0);
}

TEST_F(WaveFilterTest, FiltersChainInASoundBuffer) {
  MemorySource upstream = MemorySource::OfInt16(44100, 1, {4096, -4096, 8192});
  tTVPBasicWaveFilter passThrough;
  SimpleWaveFilter<StereoEffect> first;
  SimpleWaveFilter<GainEffect> second;
  first.effect.Gain = 2.0f;
  second.effect.Gain = 3.0f;
  standin::SoundBuffer buffer(upstream);
  buffer.AddFilter(&passThrough);
  buffer.AddFilter(&first);
  buffer.AddFilter(&second);

  standin::PlayedSound played = buffer.Play(2);

  EXPECT_EQ(played.Format.Channels, 2u);
  EXPECT_EQ(played.Floats(), (std::vector<float>{0.75f, 0.75f, -0.75f, -0.75f, 1.5f, 1.5f}));
  EXPECT_EQ(second.effect.SetupChannels, 2u) << "the second filter reads the first one's stereo output";
  EXPECT_EQ(first.source.Upstream(), nullptr) << "detached at the end";
  EXPECT_EQ(second.source.Upstream(), nullptr);
}

}  // namespace
