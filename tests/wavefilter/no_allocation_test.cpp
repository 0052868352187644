// Decode allocates only while its buffers grow: once they have reached the
// largest block, pulling blocks allocates nothing. The test executable
// replaces the global operator new to count every allocation.
#include <cstdlib>
#include <new>

#include "counting_new.h"
#include <vector>

#include "sound.h"
#include "test_effects.h"
#include "test_support.h"
#include "wavefilter/simple_wave_filter.h"

namespace {
using testing_support::g_allocations;
}  // namespace

namespace {

using standin::MemorySource;
using test_effects::PassEffect;

// Pulls one block and returns the allocations it made.
long AllocationsOfDecode(tTVPSampleAndLabelSource &source, std::vector<float> &dest, tjs_uint32 frames) {
  tTVPWaveLabels labels;
  tjs_uint32 rendered = 0;
  const long before = g_allocations;
  source.Decode(dest.data(), frames, rendered, labels);
  return g_allocations - before;
}

struct StereoPass : PassEffect {
  static constexpr bool kForceStereo = true;
};

class NoAllocationTest : public testing_support::EngineTest {};

// Mono 16-bit into a forced-stereo effect uses both buffers, the engine's
// converter and the channel loop: the longest path through Decode.
TEST_F(NoAllocationTest, DecodeAllocatesOnlyWhenABlockLargerThanAnyBeforeArrives) {
  MemorySource upstream = MemorySource::OfInt16(44100, 1, std::vector<int16_t>(20000, 1000));
  SimpleWaveFilter<StereoPass> filter;
  filter.effect.Tail = 1000;
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  std::vector<float> dest(2 * 4096);

  EXPECT_GT(AllocationsOfDecode(*output, dest, 1024), 0) << "first block: the buffers grow";
  EXPECT_EQ(AllocationsOfDecode(*output, dest, 1024), 0);
  EXPECT_EQ(AllocationsOfDecode(*output, dest, 512), 0);
  EXPECT_GT(AllocationsOfDecode(*output, dest, 4096), 0) << "a larger block: they grow again";
  for (int i = 0; i < 10; ++i) EXPECT_EQ(AllocationsOfDecode(*output, dest, 4096), 0) << "block " << i;

  // The storage stays across detach; the tail blocks after the end allocate nothing either.
  filter.DetachSource();
  upstream.Rewind();
  output = filter.AttachSource(&upstream);
  EXPECT_EQ(AllocationsOfDecode(*output, dest, 4096), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(AllocationsOfDecode(*output, dest, 4096), 0) << "block " << i;
}

TEST_F(NoAllocationTest, TheCounterSeesAllocations) {
  const long before = g_allocations;
  void *volatile probe = ::operator new(16);
  ::operator delete(probe);
  EXPECT_EQ(g_allocations - before, 1);
}

}  // namespace
