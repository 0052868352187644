// The validator sweep: every effect of the plug-in's effect table, in the
// really loaded sonafilter plug-in,
// driven through its `interface` as the engine drives a filter, at every
// sample rate, in every input format, mono and stereo, with random
// parameters inside and outside their useful ranges.
//
//   BlockSizes   with parameters held fixed, blocks of 1, 2, 17, 441, 512,
//                1024, 4096 and 16384 frames and a random size on every call
//                all give the same output, bit for bit; the output is finite
//                and never subnormal; the engine hears the input and then the
//                tail, exactly as long as the tail length set (rate x ms / 1000).
//   ResetState   after ResetState in the middle of a stream the same input
//                gives the same output as a freshly attached filter.
//   MidStream    random parameter changes between blocks, random block
//                sizes, ResetState, detach and re-attach in the middle of a
//                stream: the output stays finite and never subnormal, and
//                Decode allocates nothing once it has served one block of the
//                largest size.
// Each case is one effect at one rate; it runs all six formats, mono and
// stereo. Settings come from a generator seeded by the case, so a failure
// reproduces; the failing settings are printed as script steps.
#include <gtest/gtest.h>

#include "counting_new.h"

#include <iterator>
#include <sstream>

#include "validator.h"

namespace {

using namespace validator;
using sonafilter_test::ObjectRef;

struct SweepCase {
  Effect Kind;
  tjs_uint32 Rate;
};

std::string NameOf(const SweepCase &c) { return std::string(EffectName(c.Kind)) + "_" + std::to_string(c.Rate); }
std::string CaseName(const ::testing::TestParamInfo<SweepCase> &info) { return NameOf(info.param); }
void PrintTo(const SweepCase &c, std::ostream *os) { *os << NameOf(c); }

std::vector<SweepCase> AllCases() {
  std::vector<SweepCase> cases;
  for (const effects::EffectDescription &effect : effects::kEffectTable)
    for (tjs_uint32 rate : kRates) cases.push_back({&effect, rate});
  return cases;
}

// One stream configuration of a case.
struct Stream {
  const SampleFormat *Format;
  tjs_uint32 Channels;
  std::string Name() const { return std::string(Format->Name) + (Channels == 1 ? " mono" : " stereo"); }
};

std::vector<Stream> AllStreams() {
  std::vector<Stream> streams;
  for (const SampleFormat &format : kFormats)
    for (tjs_uint32 channels : {1u, 2u}) streams.push_back({&format, channels});
  return streams;
}

class Sweep : public ValidatorTest, public ::testing::WithParamInterface<SweepCase> {
 protected:
  Effect Kind() const { return GetParam().Kind; }
  tjs_uint32 Rate() const { return GetParam().Rate; }
  // A generator seeded by the case and `salt`.
  std::mt19937 Generator(unsigned salt) const {
    const auto position = static_cast<unsigned>(Kind() - effects::kEffectTable.begin());
    return std::mt19937(position * 1000003u + Rate() * 31u + salt);
  }

  // A new effect object with `settings` applied.
  ObjectRef NewEffect(const std::vector<ScriptStep> &settings) {
    ObjectRef effect = New(ClassName(Kind()));
    Apply(effect.Get(), settings);
    return effect;
  }

  // Attaches `filter` to a source over `bytes`, pulls until the first short
  // block and detaches.
  Pulled Render(iTVPBasicWaveFilter *filter, const tTVPWaveFormat &format, const std::vector<uint8_t> &bytes,
                BlockPolicy blocks, tjs_uint64 maxFrames) {
    standin::MemorySource source(format, bytes);
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    Pulled pulled = PullUntilShort(*output, blocks, maxFrames);
    filter->DetachSource();
    return pulled;
  }
};

// ----- block sizes, finiteness, tail length --------------------------------------------------

TEST_P(Sweep, BlockSizes) {
  std::mt19937 rng = Generator(1);
  for (const Stream &stream : AllStreams()) {
    const std::vector<ScriptStep> settings = RandomSettings(Kind(), rng);
    SCOPED_TRACE(stream.Name() + ", settings " + Describe(settings));
    const size_t frames = 3000 + rng() % 3000;
    const std::vector<uint8_t> bytes = Encode(TestSignal(rng, frames, stream.Channels, Rate()), *stream.Format);
    const tTVPWaveFormat format = FormatOf(*stream.Format, Rate(), stream.Channels);
    const tjs_uint64 expectedFrames = frames + TailFrames(Rate(), TailMsOf(Kind(), settings));
    const tjs_uint32 outChannels = Kind()->StereoOutput ? 2 : stream.Channels;

    // A new object for each render: the reverb, which has no Setup, keeps its
    // memory from one attachment to the next.
    ObjectRef first = NewEffect(settings);
    const Pulled reference = Render(Filter(first.Get()), format, bytes, BlockPolicy(1024, 0), expectedFrames + 1);
    EXPECT_EQ(reference.Channels, outChannels);
    EXPECT_EQ(reference.Frames, expectedFrames) << "the input, then the tail";
    EXPECT_EQ(FirstNonFiniteOrSubnormal(reference.Samples.data(), reference.Samples.size()), "");

    std::vector<tjs_uint32> sizes(std::begin(kBlockSizes), std::end(kBlockSizes));
    sizes.push_back(kRandomBlocks);
    for (tjs_uint32 size : sizes) {
      if (size == 1024) continue;  // the reference
      BlockPolicy blocks(size, static_cast<unsigned>(rng()));
      SCOPED_TRACE("blocks of " + blocks.Name());
      ObjectRef effect = NewEffect(settings);
      const Pulled pulled = Render(Filter(effect.Get()), format, bytes, blocks, expectedFrames + 1);
      EXPECT_EQ(pulled.Frames, expectedFrames);
      EXPECT_EQ(FirstDifference(reference.Samples, pulled.Samples), "");
    }
  }
}

// ----- ResetState against a fresh filter ----------------------------------------------------

TEST_P(Sweep, ResetState) {
  std::mt19937 rng = Generator(2);
  for (const Stream &stream : AllStreams()) {
    const std::vector<ScriptStep> settings = RandomSettings(Kind(), rng);
    SCOPED_TRACE(stream.Name() + ", settings " + Describe(settings));
    // A stream of a warm-up part (whole blocks) and then the part compared.
    const tjs_uint32 block = 512;
    const size_t warmUpFrames = block * (2 + rng() % 6);
    const size_t frames = 2000 + rng() % 2000;
    const std::vector<float> warmUp = TestSignal(rng, warmUpFrames, stream.Channels, Rate());
    const std::vector<float> compared = TestSignal(rng, frames, stream.Channels, Rate());
    std::vector<float> whole = warmUp;
    whole.insert(whole.end(), compared.begin(), compared.end());
    const tTVPWaveFormat format = FormatOf(*stream.Format, Rate(), stream.Channels);
    const tjs_uint64 most = frames + TailFrames(Rate(), TailMsOf(Kind(), settings)) + 1;

    ObjectRef fresh = NewEffect(settings);
    const Pulled expected =
        Render(Filter(fresh.Get()), format, Encode(compared, *stream.Format), BlockPolicy(block, 0), most);

    ObjectRef reset = NewEffect(settings);
    iTVPBasicWaveFilter *filter = Filter(reset.Get());
    standin::MemorySource source(format, Encode(whole, *stream.Format));
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    BlockPolicy warmUpBlocks(block, 0);
    const Pulled warm = PullUntilShort(*output, warmUpBlocks, warmUpFrames);
    ASSERT_EQ(warm.Frames, warmUpFrames);
    filter->ResetState();
    BlockPolicy blocks(block, 0);
    const Pulled actual = PullUntilShort(*output, blocks, most);
    filter->DetachSource();

    EXPECT_EQ(actual.Frames, expected.Frames) << "ResetState re-arms the whole tail";
    EXPECT_EQ(FirstDifference(expected.Samples, actual.Samples), "");
  }
}

// ----- parameter changes, re-attachment and allocation in the middle of a stream ------------

// Everything that may happen between two blocks.
enum class Between { Nothing, NewSettings, Reset, Reattach, DetachThenReset };

TEST_P(Sweep, MidStream) {
  std::mt19937 rng = Generator(3);
  for (const Stream &stream : AllStreams()) {
    SCOPED_TRACE(stream.Name());
    const size_t frames = 20000 + rng() % 20000;
    const std::vector<uint8_t> bytes = Encode(TestSignal(rng, frames, stream.Channels, Rate()), *stream.Format);
    const tTVPWaveFormat format = FormatOf(*stream.Format, Rate(), stream.Channels);
    standin::MemorySource source(format, bytes);

    std::vector<ScriptStep> settings = RandomSettings(Kind(), rng);
    ObjectRef effect = NewEffect(settings);
    iTVPBasicWaveFilter *filter = Filter(effect.Get());
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    std::vector<float> dest(2 * static_cast<size_t>(kLargestBlock));
    tTVPWaveLabels labels;
    labels.Items.reserve(16);
    tjs_uint32 rendered = 0;
    output->Decode(dest.data(), kLargestBlock, rendered, labels);  // the buffers reach their largest size

    std::ostringstream history;  // what happened so far, for the failure message
    history << "settings " << Describe(settings);
    long allocationsInDecode = 0;
    for (int call = 0; call < 120; ++call) {
      const tjs_uint32 size = call % 7 == 0 ? kBlockSizes[rng() % std::size(kBlockSizes)]
                                            : std::uniform_int_distribution<tjs_uint32>(1, 1024)(rng);
      labels.Items.clear();
      const long before = testing_support::Allocations();
      output->Decode(dest.data(), size, rendered, labels);
      allocationsInDecode += testing_support::Allocations() - before;
      ASSERT_LE(rendered, size) << history.str();
      const tjs_uint32 channels = output->GetFormat().Channels;
      const std::string bad = FirstNonFiniteOrSubnormal(dest.data(), static_cast<size_t>(size) * channels);
      ASSERT_EQ(bad, "") << "block " << call << " of " << size << " frames, after " << history.str();

      switch (static_cast<Between>(rng() % 8 < 3 ? rng() % 5 : 0)) {
        case Between::Nothing: break;
        case Between::NewSettings:
          settings = RandomSettings(Kind(), rng);
          Apply(effect.Get(), settings);
          history << "; settings " << Describe(settings);
          break;
        case Between::Reset:
          filter->ResetState();
          history << "; ResetState";
          break;
        case Between::Reattach:
          filter->DetachSource();
          if (rng() % 2) source.Rewind();
          output = filter->AttachSource(&source);
          history << "; re-attached";
          break;
        case Between::DetachThenReset:
          filter->DetachSource();
          filter->ResetState();
          output = filter->AttachSource(&source);
          history << "; detached, ResetState, re-attached";
          break;
      }
    }
    filter->DetachSource();
    EXPECT_EQ(allocationsInDecode, 0) << "allocations inside Decode after a block of the largest size, "
                                      << history.str();
  }
}

INSTANTIATE_TEST_SUITE_P(Effects, Sweep, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
