// What the fuzz targets found, one focused test per finding (the inputs that
// found them are in the corpora and replayed too).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binder_probe_api.h"
#include "effects/delay.h"
#include "native_class.h"
#include "sound.h"
#include "storage.h"
#include "test_support.h"
#include "wavefilter/simple_wave_filter.h"

namespace {

using standin::VariantOf;
using testing_support::EngineErrorOf;

// ----- proxy: a chain of proxy names that comes back to itself ---------------------------------
// (proxy target "proxy://x" under the key "x": opening it or asking for its
// local name recursed through the engine until the stack overflowed)

class ProxyChains : public testing_support::EngineTest {
 protected:
  void SetUp() override { ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK); }
  void TearDown() override { EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK); }
  void Assign(const std::string &key, const std::string &target) {
    iTJSDispatch2 *map = standin::ObjectAt(u"ProxyStorageMap");
    ASSERT_NE(map, nullptr);
    const std::u16string name = standin::U16(key);
    const tTJSVariant value = VariantOf(target);
    ASSERT_GE(map->SetMember(TJS_MEMBERENSURE, name.c_str(), nullptr, &value, map), 0);
  }
  // Keys k0 .. k<n-1>, each naming the next, the last naming a memory storage.
  void Chain(int n) {
    for (int i = 0; i + 1 < n; ++i) Assign("k" + std::to_string(i), "proxy://k" + std::to_string(i + 1));
    Assign("k" + std::to_string(n - 1), standin::PutMemoryStorage("end", "bytes"));
  }
  standin::PluginModule Plugin{RELAYSTORE_PATH};
};

TEST_F(ProxyChains, ACycleCannotBeOpenedAndHasNoLocalName) {
  Assign("loop", "proxy://loop");
  Assign("a", "proxy://b");
  Assign("b", "proxy://A");
  for (const std::string name : {"loop", "a", "B"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(standin::StorageExists("proxy://" + name)) << "the key exists; its target is not looked at";
    EXPECT_EQ(EngineErrorOf([&] { standin::ReadStorage("proxy://" + name); }).rfind("cannot open proxyfile:", 0), 0u);
    EXPECT_EQ(standin::LocalNameOf("proxy://" + name), "");
  }
}

TEST_F(ProxyChains, ChainsOfUpTo32ProxiesResolve) {
  Chain(32);
  EXPECT_EQ(standin::ReadStorage("proxy://k0"), "bytes");
  EXPECT_EQ(standin::ReadStorage("proxy://k31"), "bytes");
}

TEST_F(ProxyChains, ALongerChainCountsAsUnresolvableAndLeavesLaterRequestsWhole) {
  Chain(33);
  EXPECT_EQ(EngineErrorOf([] { standin::ReadStorage("proxy://k0"); }), "cannot open proxyfile:k32");
  EXPECT_EQ(standin::ReadStorage("proxy://k1"), "bytes") << "the nesting count is back to zero after the error";
}

// ----- binder: a factory that raises after it has handed its object over ----------------------
// (the binder probe's factory makes the object, then converts its second
// argument, which may raise: the object leaked)

class FactoryRaising : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    standin::InstallWaveSoundBufferClass();
    ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
    EXPECT_EQ(Entry<BinderProbeIntFn>("BinderProbeRefTotal")(), 0);
    Engine.reset();  // before the plug-in is unloaded
  }
  template <class Fn>
  Fn Entry(const char *name) {
    return reinterpret_cast<Fn>(Plugin.Symbol(name));
  }
  standin::PluginModule Plugin{BINDER_PROBE_PATH};
};

TEST_F(FactoryRaising, TheObjectItMadeIsDeleted) {
  iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
  const standin::Arguments args = {VariantOf(tTVInteger{3}), tTJSVariant(dictionary)};
  dictionary->Release();
  standin::ObjectRef object;
  iTJSDispatch2 *cls = standin::ObjectAt(u"WaveSoundBuffer.BinderShapes");
  EXPECT_EQ(EngineErrorOf([&] { standin::ScriptNew(cls, args, object); }), "Cannot convert the value to a number");
  EXPECT_FALSE(object);
  EXPECT_EQ(Entry<BinderProbeIntFn>("BinderProbeLive")(), 0) << "no test class object left behind";
}

// ----- decode: an empty block on a dry delay ------------------------------------------------
// (a delay without echo copied the block with memcpy, which must not be
// given the null buffer an empty first block comes with: the source's
// buffers have not grown yet; the sanitizer suite reports it)

TEST(EmptyBlocks, PassThroughADryDelayWithoutTouchingAnything) {
  standin::MemorySource upstream = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(64, 0.5f));
  SimpleWaveFilter<EffectDelay> filter;  // delay 0: no echo
  tTVPSampleAndLabelSource *output = filter.AttachSource(&upstream);
  tTVPWaveLabels labels;
  std::vector<float> dest(2 * 16, -1.0f);
  tjs_uint32 rendered = 99;
  output->Decode(dest.data(), 0, rendered, labels);
  EXPECT_EQ(rendered, 0u);
  EXPECT_EQ(dest[0], -1.0f) << "nothing written";
  output->Decode(dest.data(), 16, rendered, labels);
  EXPECT_EQ(rendered, 16u);
  EXPECT_EQ(dest[31], 0.5f) << "the dry delay passes its input through";
  filter.DetachSource();
}

}  // namespace
