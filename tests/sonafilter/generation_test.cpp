// The engine generation: decided once per loaded copy of the plug-in from
// two class ids, with a mismatch logged at most once; on a legacy engine the
// filters are reached through their legacy adapters, and sound the same.
//
// Each test loads a fresh copy of the plug-in and checks that the copy made
// its own decision (the generation is never reset within one copy).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "sonafilter_fixture.h"
#include "wavefilter/basic_wave_filter.h"

namespace {

using namespace sonafilter_test;

using LegacyFilterAdapter = tTVPBasicWaveFilter::LegacyFilterAdapter;

const std::u16string kEffectClasses[] = {u"StkFreeVerb", u"GraphicEqualizer", u"DelayEffect"};

// The address an interface value carries (the pointer-sized integer, as the
// engine converts it back).
void *AddressOf(tTVInteger value) { return reinterpret_cast<void *>(static_cast<std::intptr_t>(value)); }
// The filter object behind an interface value of the current generation:
// the value is the filter's own address.
tTVPBasicWaveFilter *CurrentFilterAt(tTVInteger value) {
  return static_cast<tTVPBasicWaveFilter *>(static_cast<iTVPBasicWaveFilter *>(AddressOf(value)));
}
// The legacy filter adapter behind an interface value of the legacy generation.
LegacyFilterAdapter *LegacyAdapterAt(tTVInteger value) { return static_cast<LegacyFilterAdapter *>(AddressOf(value)); }

struct GenerationCase {
  const char *Name;
  std::vector<std::pair<std::u16string, tjs_int32>> ClassIds;  // registered before the link
  std::vector<std::string> Probes;                              // names the plug-in looks up
  std::vector<std::string> Mismatches;                          // log lines
  bool Legacy;
};
void PrintTo(const GenerationCase &c, std::ostream *os) { *os << c.Name; }

class GenerationTest : public SonafilterTest, public ::testing::WithParamInterface<GenerationCase> {
 protected:
  std::vector<std::string> MismatchLines() {
    std::vector<std::string> lines;
    for (const std::string &line : E().Log())
      if (line.find("ClassID mismatched") != std::string::npos) lines.push_back(line);
    return lines;
  }
  // Checks that `value` is the address the generation hands out.
  void ExpectAddressOfGeneration(tTVInteger value, bool legacy) {
    if (legacy) {
      LegacyFilterAdapter *adapter = LegacyAdapterAt(value);
      EXPECT_NE(static_cast<void *>(adapter->Owner), static_cast<void *>(adapter)) << "not the filter itself";
      EXPECT_EQ(&adapter->Owner->ToK2WaveFilter, adapter) << "the filter's legacy filter adapter";
    } else {
      tTVPBasicWaveFilter *filter = CurrentFilterAt(value);
      EXPECT_EQ(filter->ToK2WaveFilter.Owner, filter) << "the filter itself";
    }
  }
};

TEST_P(GenerationTest, IsDecidedOnceFromTheClassIdsAndLogsAMismatchOnce) {
  const GenerationCase &c = GetParam();
  for (const auto &id : c.ClassIds) ASSERT_TRUE(standin::PreRegisterNativeClass(id.first, id.second));
  Start();
  EXPECT_TRUE(Probes().empty()) << "nothing is probed at link time";

  std::vector<tTVInteger> values;
  {
    std::vector<ObjectRef> effects;
    for (const std::u16string &cls : kEffectClasses) effects.push_back(New(cls));
    for (ObjectRef &effect : effects) {
      values.push_back(Interface(effect.Get()));
      ASSERT_TRUE(FreshlyDecided()) << "this copy of the plug-in was loaded with its generation decided";
      EXPECT_EQ(Interface(effect.Get()), values.back());
    }
  }
  // A new link of the same copy keeps the decision.
  ASSERT_EQ(Unlink(), kOk);
  ASSERT_EQ(Link(), kOk);
  ObjectRef later = New(u"DelayEffect");
  values.push_back(Interface(later.Get()));

  EXPECT_EQ(Probes(), c.Probes);
  EXPECT_EQ(MismatchLines(), c.Mismatches);
  ExpectAddressOfGeneration(values.back(), c.Legacy);
}

INSTANTIATE_TEST_SUITE_P(
    ClassIds, GenerationTest,
    ::testing::Values(
        GenerationCase{"NoCdda", {}, {"CDDASoundBuffer"}, {}, false},
        GenerationCase{"Legacy", {{u"CDDASoundBuffer", 9}, {u"MIDISoundBuffer", 10}},
                       {"CDDASoundBuffer", "MIDISoundBuffer"}, {}, true},
        GenerationCase{"CddaMismatch", {{u"CDDASoundBuffer", 12}}, {"CDDASoundBuffer"},
                       {"CDDASoundBuffer ClassID mismatched: 12 != 9"}, false},
        GenerationCase{"MidiMismatch", {{u"CDDASoundBuffer", 9}, {u"MIDISoundBuffer", 11}},
                       {"CDDASoundBuffer", "MIDISoundBuffer"}, {"MIDISoundBuffer ClassID mismatched: 11 != 10"},
                       false},
        GenerationCase{"NoMidi", {{u"CDDASoundBuffer", 9}}, {"CDDASoundBuffer", "MIDISoundBuffer"}, {}, false}),
    CaseName());

// The script integer of an address: the signed pointer-sized value, so a
// 32-bit build gives the address as a sign-extended 32-bit integer and a
// 64-bit build the whole address; either way it converts back exactly.
TEST(InterfaceValue, IsTheAddressAsASignedPointerSizedInteger) {
  const std::uintptr_t high = ~std::uintptr_t{0} - 15;  // 0xFFFFFFF0 on 32 bits
  const void *address = reinterpret_cast<const void *>(high);
  const tTVInteger value = InterfaceValue(address);
  if (sizeof(void *) == 4) {
    EXPECT_EQ(value, -16);
  } else {
    EXPECT_EQ(static_cast<std::uint64_t>(value), static_cast<std::uint64_t>(high));
  }
  EXPECT_EQ(AddressOf(value), address);
  int local = 0;
  EXPECT_EQ(AddressOf(InterfaceValue(&local)), &local);
}

// ----- the legacy engine -----------------------------------------------------------------
class LegacyEngineTest : public SonafilterTest {};

TEST_F(LegacyEngineTest, AnEffectAttachedThroughItsAdapterReturnsItsSourceAdapter) {
  Start(Generation::Legacy);
  ObjectRef delay = New(u"DelayEffect", {Integer(2), Real(0.5), Real(1.0), Integer(1)});
  LegacyFilterAdapter *adapter = LegacyAdapterAt(Interface(delay.Get()));
  ASSERT_TRUE(FreshlyDecided());
  tTVPBasicWaveFilter *filter = adapter->Owner;
  standin::MemorySource input = standin::MemorySource::OfFloats(1000, 1, Impulses(4, {0}));  // 1 ms per frame
  standin::LegacySourceWrapper upstream(&input);

  tTVPLegacySampleSource *output = adapter->Entries->AttachSource(adapter, &upstream);

  EXPECT_EQ(output, &filter->ToK2SampleAndLabelSource);
  EXPECT_EQ(filter->FromK2SampleAndLabelSource.Legacy, &upstream);
  EXPECT_EQ(output->Entries->GetFormat(output)->IsFloat, 1);
  std::vector<float> block(8, -1.0f);
  tTVPWaveLabels labels;
  tjs_uint32 rendered = 0;
  output->Entries->Decode(output, block.data(), 8, &rendered, &labels);
  EXPECT_EQ(rendered, 5u) << "4 frames and a tail of 1 ms";
  EXPECT_EQ(block, (std::vector<float>{1, 0, 0.5f, 0, 0.25f, 0, 0.125f, 0}));
  adapter->Entries->DetachSource(adapter);
  EXPECT_EQ(filter->FromK2SampleAndLabelSource.Legacy, nullptr);
}

TEST_F(LegacyEngineTest, APassThroughFilterHandsBackTheLegacyUpstreamItself) {
  tTVPBasicWaveFilter passThrough;
  standin::MemorySource input = standin::MemorySource::OfFloats(1000, 1, {0.5f});
  standin::LegacySourceWrapper upstream(&input);
  tTVPLegacyWaveFilter *legacy = &passThrough.ToK2WaveFilter;
  EXPECT_EQ(legacy->Entries->AttachSource(legacy, &upstream), &upstream);
  legacy->Entries->DetachSource(legacy);
}

TEST_F(LegacyEngineTest, APassThroughFilterInALegacyChainLeavesTheSoundAlone) {
  Start(Generation::Legacy);
  ObjectRef eq = New(u"GraphicEqualizer", {Real(2.0), Real(0.5)});
  const std::vector<float> in = effects_test::Noise(2 * 3000, 0.5f, 23);
  const std::vector<float> alone = Render(44100, 2, in, {eq.Get()});

  tTVPBasicWaveFilter before, after;
  standin::MemorySource source = standin::MemorySource::OfFloats(44100, 2, in);
  standin::SoundBuffer buffer(source);
  buffer.AddLegacyFilter(&before.ToK2WaveFilter);
  buffer.AddFilterByInterface(Interface(eq.Get()));
  buffer.AddLegacyFilter(&after.ToK2WaveFilter);
  EXPECT_EQ(buffer.Play(1024).Floats(), alone);
}

// One effect offered to a second buffer while a first one plays it: the
// second attach is refused and changes nothing, on either engine: the first
// buffer goes on hearing its own input and nothing of the second's.
class SecondBufferTest : public SonafilterTest, public ::testing::WithParamInterface<Generation> {};

TEST_P(SecondBufferTest, ARefusedSecondAttachLeavesTheFirstBufferPlayingItsOwnInput) {
  Start(GetParam());
  ObjectRef eq = New(u"GraphicEqualizer");  // all gains 1: passes its input through
  const tTVInteger value = Interface(eq.Get());
  ASSERT_TRUE(FreshlyDecided());
  standin::MemorySource first = standin::MemorySource::OfFloats(8000, 1, {0.25f, 0.5f, 0.75f, 1.0f});
  standin::MemorySource second = standin::MemorySource::OfFloats(8000, 1, {-1.0f, -1.0f, -1.0f, -1.0f});
  standin::SoundBuffer a(first), b(second);
  a.AddFilterByInterface(value);
  b.AddFilterByInterface(value);
  a.Attach();
  ASSERT_EQ(a.PullBlock(2), 2u);
  EXPECT_EQ(testing_support::EngineErrorOf([&] { b.Attach(); }), "Cannot connect multiple wave sound buffer at once.");
  ASSERT_EQ(a.PullBlock(2), 2u);
  EXPECT_EQ(a.Played().Floats(), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
  EXPECT_EQ(second.Decodes(), 0) << "the refused buffer's input is never read";
  a.Detach();
}

INSTANTIATE_TEST_SUITE_P(Engines, SecondBufferTest, ::testing::Values(Generation::Current, Generation::Legacy),
                         [](const ::testing::TestParamInfo<Generation> &engine) {
                           return std::string(engine.param == Generation::Legacy ? "Legacy" : "Current");
                         });

// Each effect, made and set the same way, sounds the same on both engines.
struct EffectCase {
  const char *Name;
  std::u16string Class;
  std::vector<tTJSVariant> Arguments;
};
void PrintTo(const EffectCase &c, std::ostream *os) { *os << c.Name; }

class BothGenerationsTest : public SonafilterTest, public ::testing::WithParamInterface<EffectCase> {
 protected:
  std::vector<float> RenderOn(Generation generation) {
    Restart(generation);
    ObjectRef effect = New(GetParam().Class, GetParam().Arguments);
    const tTVInteger value = Interface(effect.Get());
    EXPECT_TRUE(FreshlyDecided()) << "a fresh copy of the plug-in for each engine";
    if (generation == Generation::Legacy) {
      EXPECT_NE(static_cast<void *>(LegacyAdapterAt(value)->Owner), AddressOf(value));
    }
    const std::vector<float> in = effects_test::Noise(2 * 5000, 0.6f, 29);
    return Render(44100, 2, in, {effect.Get()}, 700);
  }
};

TEST_P(BothGenerationsTest, RendersTheSameSamples) {
  const std::vector<float> current = RenderOn(Generation::Current);
  const std::vector<float> legacy = RenderOn(Generation::Legacy);
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(legacy, current);
}

INSTANTIATE_TEST_SUITE_P(
    Effects, BothGenerationsTest,
    ::testing::Values(EffectCase{"Reverb", u"StkFreeVerb", {Real(0.4), Real(0.8), Real(0.3), Real(0.9)}},
                      EffectCase{"Equalizer", u"GraphicEqualizer", {Real(1.5), Real(0.7), Real(1), Real(2.0)}},
                      EffectCase{"Delay", u"DelayEffect", {Integer(12), Real(0.6), Real(0.7), Integer(200)}}),
    CaseName());

}  // namespace
