// The `interface` value on a 32-bit build: the filter's address read as a
// signed 32-bit integer and widened to the 64-bit script integer with sign
// extension, so an address at or above 2 GiB comes out negative.
#include <gtest/gtest.h>

#include <cstdint>

#include "test_support.h"
#include "wavefilter/basic_wave_filter.h"

namespace {

static_assert(sizeof(void *) == 4, "the Windows deliverables are 32-bit");

const void *Address(std::uint32_t value) { return reinterpret_cast<const void *>(std::uintptr_t{value}); }

TEST(InterfaceValue, IsTheAddressAsASignExtendedInt32) {
  const struct {
    std::uint32_t Address;
    tTVInteger Value;
  } cases[] = {
      {0x00000000u, 0},
      {0x00401000u, 0x00401000},
      {0x7fffffffu, 2147483647},
      {0x80000000u, -2147483647 - 1},  // the first address above 2 GiB
      {0xfffe0010u, -131056},
      {0xffffffffu, -1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(InterfaceValue(Address(c.Address)), c.Value) << std::hex << c.Address;
  }
}

using FilterInterface = testing_support::EngineTest;

TEST_F(FilterInterface, GetterYieldsTheFiltersOwnAddressSignExtended) {
  tTVPBasicWaveFilter filter;
  tTJSVariant value;
  ASSERT_EQ(filter.GetInterface(&value), TJS_S_OK);
  const auto address = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(filter.InterfaceAddress()));
  EXPECT_EQ(value.AsInteger(), tTVInteger{address});
  // The stand-in engine is the current generation: the address is the filter itself.
  EXPECT_EQ(filter.InterfaceAddress(), static_cast<const iTVPBasicWaveFilter *>(&filter));
}

}  // namespace
