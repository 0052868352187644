// The Windows loader finds each entry of a plug-in DLL under both its plain
// and its decorated name, at one address; loading a DLL does no plug-in work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> Deliverables() {
  std::vector<std::string> paths = {RELAYSTORE_PATH};
#if defined(SONAFILTER_PATH)
  paths.push_back(SONAFILTER_PATH);
#endif
  return paths;
}

class Exports : public ::testing::TestWithParam<std::string> {};

TEST_P(Exports, BothNamesOfEachEntryLeadToTheSameCode) {
  standin::PluginModule plugin(GetParam());
  const struct {
    const char *Plain;
    const char *Decorated;
  } entries[] = {{"V2Link", "_V2Link@4"}, {"V2Unlink", "_V2Unlink@0"}};
  for (const auto &entry : entries) {
    void *plain = plugin.Symbol(entry.Plain);
    ASSERT_NE(plain, nullptr) << entry.Plain;
    EXPECT_EQ(plugin.Symbol(entry.Decorated), plain) << entry.Decorated;
  }
}

TEST_P(Exports, NoUndecoratedStdcallNameIsExported) {
  standin::PluginModule plugin(GetParam());
  // The compiler's own symbol names, which the definition file replaces.
  EXPECT_EQ(plugin.Symbol("V2Link@4"), nullptr);
  EXPECT_EQ(plugin.Symbol("V2Unlink@0"), nullptr);
}

class Loading : public testing_support::EngineTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Loading, LoadingAndUnloadingWithoutLinkTouchNothing) {
  // The DLL entry point runs on load and unload; all plug-in work waits for
  // V2Link, so the engine sees no look-up, log line or global name.
  const size_t globals = Global()->Members().size();
  { standin::PluginModule plugin(GetParam()); }
  EXPECT_EQ(E().GetExporter().TotalLookUps(), 0);
  EXPECT_TRUE(E().Log().empty());
  EXPECT_EQ(Global()->Members().size(), globals);
}

INSTANTIATE_TEST_SUITE_P(Deliverables, Loading, ::testing::ValuesIn(Deliverables()));
INSTANTIATE_TEST_SUITE_P(Deliverables, Exports, ::testing::ValuesIn(Deliverables()));

}  // namespace
