// Pulling sound through the plug-in's effects allocates nothing once the
// sources' buffers have grown, also through the legacy adapters. The test
// executable replaces the global operator new to count every allocation;
// with ELF shared objects that replacement serves the loaded plug-in too. A
// Windows DLL keeps the runtime's own operator new, so there the plug-in's
// and the C++ runtime's allocations are counted through their imports of
// the C runtime's heap functions (dll_allocations_windows.h).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "counting_new.h"
#include "dll_allocations_windows.h"

#include "sonafilter_fixture.h"
#include "wavefilter/basic_wave_filter.h"

namespace {
using testing_support::g_allocations;

#if defined(_WIN32)
// The modules whose heap allocations count on Windows: the plug-in and the
// MinGW runtime that allocates for it.
const std::vector<std::string> kCountedModules = {"sonafilter.dll", "libstdc++-6.dll", "libgcc_s_dw2-1.dll",
                                                  "libwinpthread-1.dll"};
#endif
}  // namespace

namespace {

using namespace sonafilter_test;

struct EffectCase {
  const char *Name;
  std::u16string Class;
  std::vector<tTJSVariant> Arguments;
};
void PrintTo(const EffectCase &c, std::ostream *os) { *os << c.Name; }

class NoAllocationScriptTest : public SonafilterTest, public ::testing::WithParamInterface<EffectCase> {};

TEST_P(NoAllocationScriptTest, LegacyDecodeAllocatesNothingOnceTheBuffersHaveGrown) {
  Start(Generation::Legacy);
  ObjectRef effect = New(GetParam().Class, GetParam().Arguments);
  auto *adapter = static_cast<tTVPBasicWaveFilter::LegacyFilterAdapter *>(
      reinterpret_cast<void *>(static_cast<std::intptr_t>(Interface(effect.Get()))));
  ASSERT_TRUE(FreshlyDecided());
  // Mono 16-bit: the conversion and the channel paths both run.
  standin::MemorySource input = standin::MemorySource::OfInt16(44100, 1, std::vector<int16_t>(6000, 1200));
  standin::LegacySourceWrapper upstream(&input);
  tTVPLegacySampleSource *output = adapter->Entries->AttachSource(adapter, &upstream);
  std::vector<float> dest(2 * 1024);
  tTVPWaveLabels labels;
  labels.Items.reserve(4);
  tjs_uint32 rendered = 0;
  output->Entries->Decode(output, dest.data(), 1024, &rendered, &labels);  // the buffers grow

#if defined(_WIN32)
  testing_support::DllAllocationCounter dll(kCountedModules);
  ASSERT_TRUE(dll.Missing().empty()) << dll.Missing().front() << " is not loaded";
#endif
  const long before = g_allocations;
  for (int block = 0; block < 60; ++block)  // the input, then into the tail
    output->Entries->Decode(output, dest.data(), 1024, &rendered, &labels);
  EXPECT_EQ(g_allocations - before, 0);
#if defined(_WIN32)
  EXPECT_EQ(dll.Count(), 0) << "allocations by the plug-in or the C++ runtime";
#endif
  adapter->Entries->DetachSource(adapter);
}

#if defined(_WIN32)
// The counter reaches the plug-in's own allocations: making an effect
// object allocates its filter inside the DLL.
TEST_P(NoAllocationScriptTest, TheWindowsCounterSeesThePluginsAllocations) {
  Start();
  testing_support::DllAllocationCounter dll(kCountedModules);
  ASSERT_TRUE(dll.Missing().empty()) << dll.Missing().front() << " is not loaded";
  EXPECT_GT(dll.PatchedImports(), 0);
  {
    ObjectRef effect = New(GetParam().Class, GetParam().Arguments);
    EXPECT_NE(effect.Get(), nullptr);
  }
  EXPECT_GT(dll.Count(), 0);
}
#endif

INSTANTIATE_TEST_SUITE_P(
    Effects, NoAllocationScriptTest,
    ::testing::Values(EffectCase{"Reverb", u"StkFreeVerb", {}},
                      EffectCase{"Equalizer", u"GraphicEqualizer", {Real(2.0), Real(0.5), Real(1.5)}},
                      EffectCase{"Delay", u"DelayEffect", {Integer(30), Real(0.5), Real(0.5)}}),
    CaseName());

}  // namespace
