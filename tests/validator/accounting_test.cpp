// Reference and leak accounting: every scenario ends with the plug-in's
// reference total exactly at its baseline (accounting.h), V2Unlink
// succeeding, and, once the engine is gone, no engine object or string alive
// (ValidatorTest, testing_support::EngineTest). The scenarios: plain use of
// each effect, and every engine exception path the plug-ins take: each fixed
// message, the engine's conversion errors inside init, setGain, getGain, the
// property setters and the constructors, and the unbound-function error.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "storage.h"
#include "validator.h"

namespace {

using namespace validator;
using sonafilter_test::ObjectRef;
using sonafilter_test::ObjectValue;
using testing_support::EngineErrorOf;

constexpr char kCannotConvert[] = "Cannot convert the value to a number";
constexpr char kUnbound[] = "Plug-in function not bound: ";

// ----- sonafilter ------------------------------------------------------------------------------

class SonafilterAccounting : public ValidatorTest {};

TEST_F(SonafilterAccounting, LinkAndUnlink) {}

TEST_F(SonafilterAccounting, EffectsMadeConfiguredPlayedAndReleased) {
  ObjectRef delay = New(u"DelayEffect", {Integer(20), Real(0.5), Real(0.5), Integer(50)});
  ObjectRef equalizer = New(u"GraphicEqualizer", {Real(2.0), Real(0.5)});
  ObjectRef reverb = New(u"StkFreeVerb", {Real(0.3), Real(0.9)});
  Call(delay.Get(), u"init", {Integer(10), Real(0.3), Real(0.7)});
  Call(equalizer.Get(), u"setGain", {Integer(5), Real(1.5)});
  EXPECT_EQ(Call(equalizer.Get(), u"getGain", {Integer(5)}).AsReal(), 1.5);
  Set(reverb.Get(), u"extend", Integer(100));
  std::mt19937 rng(7);
  standin::MemorySource source = standin::MemorySource::OfFloats(44100, 2, TestSignal(rng, 4000, 2, 44100));
  const standin::PlayedSound played = Play(source, {delay.Get(), equalizer.Get(), reverb.Get()});
  EXPECT_GT(played.Frames(), 4000u);
}

TEST_F(SonafilterAccounting, EffectsInvalidatedBeforeRelease) {
  for (const auto &entry : effects::kEffectTable) {
    ObjectRef effect = New(ClassName(&entry));
    EXPECT_EQ(standin::ScriptInvalidate(effect.Get()), TJS_S_OK);
  }
}

TEST_F(SonafilterAccounting, AnEffectStillHeldKeepsThePluginLinked) {
  ObjectRef effect = New(u"GraphicEqualizer");
  EXPECT_EQ(Unlink(), sonafilter_test::kFail);
  EXPECT_EQ(Call(effect.Get(), u"getGain", {Integer(0)}).AsReal(), 1.0) << "still usable after the refusal";
}

class SonafilterRaising;

// An engine exception path: what a script or the engine does, and the
// message that must reach it.
struct RaisingCase {
  const char *Name;
  std::function<void(SonafilterRaising &)> Action;
  std::string Message;
};
void PrintTo(const RaisingCase &c, std::ostream *os) { *os << c.Name; }

class SonafilterRaising : public SonafilterAccounting, public ::testing::WithParamInterface<RaisingCase> {
 public:
  using SonafilterAccounting::Call;
  using SonafilterAccounting::Filter;
  using SonafilterAccounting::New;
  using SonafilterAccounting::Set;

  // A script operation whose result code is not looked at (it raises).
  static void Script(iTJSDispatch2 *object, const std::u16string &member, const standin::Arguments &args) {
    standin::ScriptCall(object, member, args);
  }
  // new cls(args), which must raise.
  void Construct(const char16_t *cls, const standin::Arguments &args) {
    ObjectRef object;
    standin::ScriptNew(ClassObject(cls), args, object);
    ADD_FAILURE() << "the construction went through";
  }
  // Attaches each effect to a source of `format`; each attach must raise.
  void AttachEach(const tTVPWaveFormat &format) {
    for (const auto &entry : effects::kEffectTable) {
      ObjectRef effect = New(ClassName(&entry));
      standin::MemorySource source(format, std::vector<uint8_t>(64));
      iTVPBasicWaveFilter *filter = Filter(effect.Get());
      const std::string message = EngineErrorOf([&] { filter->AttachSource(&source); });
      filter->DetachSource();
      if (!message.empty()) throw standin::EngineError(standin::U16(message));
    }
  }
  void AttachTwice() {
    ObjectRef effect = New(u"StkFreeVerb");
    standin::MemorySource first = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(64));
    standin::MemorySource second = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(64));
    iTVPBasicWaveFilter *filter = Filter(effect.Get());
    filter->AttachSource(&first);
    const std::string message = EngineErrorOf([&] { filter->AttachSource(&second); });
    filter->DetachSource();
    if (!message.empty()) throw standin::EngineError(standin::U16(message));
  }
  // Withholds `signature` (not used by the plug-in so far), runs `action`
  // twice (the lookup is tried again each time: nothing is cached), then
  // offers the function again and runs `action` once more, which must
  // succeed; rethrows the first error.
  void WithoutFunction(const std::string &signature, const std::function<void()> &action) {
    E().GetExporter().Withhold(signature);
    const std::string first = EngineErrorOf(action);
    const int lookUps = E().GetExporter().LookUps(signature);
    EXPECT_EQ(EngineErrorOf(action), first);
    EXPECT_EQ(E().GetExporter().LookUps(signature), lookUps + 1) << "looked up again";
    E().GetExporter().Withhold(signature, false);
    EXPECT_EQ(EngineErrorOf(action), "") << "works once the engine offers it";
    if (!first.empty()) throw standin::EngineError(standin::U16(first));
  }
  void PullMono16(iTJSDispatch2 *effect) {
    standin::MemorySource source = standin::MemorySource::OfInt16(44100, 1, std::vector<int16_t>(512, 1000));
    iTVPBasicWaveFilter *filter = Filter(effect);
    tTVPSampleAndLabelSource *output = filter->AttachSource(&source);
    std::vector<float> dest(2 * 256);
    tTVPWaveLabels labels;
    tjs_uint32 rendered = 0;
    const std::string message = EngineErrorOf([&] { output->Decode(dest.data(), 256, rendered, labels); });
    filter->DetachSource();
    if (!message.empty()) throw standin::EngineError(standin::U16(message));
  }
};

TEST_P(SonafilterRaising, TheMessageReachesTheCallerAndNothingLeaks) {
  EXPECT_EQ(EngineErrorOf([this] { GetParam().Action(*this); }), GetParam().Message);
}

const std::string kAsReal = "tTVReal tTJSVariant::AsReal() const";
const std::string kConvert = "void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)";

INSTANTIATE_TEST_SUITE_P(
    Paths, SonafilterRaising,
    ::testing::Values(
        RaisingCase{"InvalidChannels",
                    [](SonafilterRaising &r) {
                      r.AttachEach(standin::WaveFormat(44100, 3, 16, 2));
                    },
                    "invalid channels."},
        RaisingCase{"NoChannels",
                    [](SonafilterRaising &r) {
                      r.AttachEach(standin::WaveFormat(44100, 0, 16, 2));
                    },
                    "invalid channels."},
        RaisingCase{"HiResBytes",
                    [](SonafilterRaising &r) {
                      r.AttachEach(standin::WaveFormat(44100, 2, 32, 8));
                    },
                    "HiRes format not supported."},
        RaisingCase{"HiResBits",
                    [](SonafilterRaising &r) {
                      r.AttachEach(standin::WaveFormat(44100, 2, 64, 4));
                    },
                    "HiRes format not supported."},
        RaisingCase{"SecondUpstream",
                    [](SonafilterRaising &r) { r.AttachTwice(); },
                    "Cannot connect multiple wave sound buffer at once."},
        RaisingCase{"InitDelay",
                    [](SonafilterRaising &r) {
                      ObjectRef delay = r.New(u"DelayEffect");
                      r.Script(delay.Get(), u"init", {ObjectValue(), Real(0.5), Real(0.5)});
                    },
                    kCannotConvert},
        RaisingCase{"InitWetLevel",
                    [](SonafilterRaising &r) {
                      ObjectRef delay = r.New(u"DelayEffect");
                      r.Script(delay.Get(), u"init", {Integer(10), Real(0.5), ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"InitTail",
                    [](SonafilterRaising &r) {
                      ObjectRef delay = r.New(u"DelayEffect");
                      r.Script(delay.Get(), u"init", {Integer(10), Real(0.5), Real(0.5), ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"DelayConstructor",
                    [](SonafilterRaising &r) {
                      r.Construct(u"DelayEffect",
                                                                    {Integer(10), ObjectValue(), Real(0.5)});
                    },
                    kCannotConvert},
        RaisingCase{"SetGainGain",
                    [](SonafilterRaising &r) {
                      ObjectRef equalizer = r.New(u"GraphicEqualizer");
                      r.Script(equalizer.Get(), u"setGain", {Integer(3), ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"SetGainIndex",
                    [](SonafilterRaising &r) {
                      ObjectRef equalizer = r.New(u"GraphicEqualizer");
                      r.Script(equalizer.Get(), u"setGain", {ObjectValue(), Real(2.0)});
                    },
                    kCannotConvert},
        RaisingCase{"GetGainIndex",
                    [](SonafilterRaising &r) {
                      ObjectRef equalizer = r.New(u"GraphicEqualizer");
                      r.Script(equalizer.Get(), u"getGain", {ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"EqualizerConstructor",
                    [](SonafilterRaising &r) {
                      r.Construct(u"GraphicEqualizer", {Real(2.0), ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"ReverbProperty",
                    [](SonafilterRaising &r) {
                      ObjectRef reverb = r.New(u"StkFreeVerb");
                      standin::ScriptSet(reverb.Get(), u"roomSize", ObjectValue());
                    },
                    kCannotConvert},
        RaisingCase{"ReverbConstructor",
                    [](SonafilterRaising &r) {
                      r.Construct(u"StkFreeVerb",
                                                                    {Real(0.3), Real(0.5), Real(0.5), ObjectValue()});
                    },
                    kCannotConvert},
        RaisingCase{"UnboundInSetGain",
                    [](SonafilterRaising &r) {
                      ObjectRef equalizer = r.New(u"GraphicEqualizer");
                      r.WithoutFunction(kAsReal,
                                        [&] { r.Script(equalizer.Get(), u"setGain", {Integer(1), Real(2.0)}); });
                    },
                    kUnbound + kAsReal},
        RaisingCase{"UnboundInDecode",
                    [](SonafilterRaising &r) {
                      ObjectRef delay = r.New(u"DelayEffect", {Integer(5), Real(0.5), Real(0.5)});
                      r.WithoutFunction(kConvert, [&] { r.PullMono16(delay.Get()); });
                    },
                    kUnbound + kConvert}),
    sonafilter_test::CaseName());

// ----- relaystore --------------------------------------------------------------------------------
// relaystore keeps no dispatch object between requests (its folder-listing
// callback lives for one listing), so its total is checked by V2Unlink alone.

class RelaystoreAccounting : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Plugin.Link(E()), TJS_HR_S_OK);
    Linked = true;
  }
  void TearDown() override {
    if (Linked) {
      EXPECT_EQ(Plugin.Unlink(), TJS_HR_S_OK);
    }
    EXPECT_EQ(standin::FindStorageMedia("proxy"), nullptr);
  }
  void Assign(const std::u16string &key, const tTJSVariant &value) {
    iTJSDispatch2 *map = standin::ObjectAt(u"ProxyStorageMap");
    ASSERT_NE(map, nullptr);
    ASSERT_GE(map->SetMember(TJS_MEMBERENSURE, key.c_str(), nullptr, &value, map), 0);
  }
  std::string OpenError(const std::string &name) {
    return EngineErrorOf([&] { standin::ReadStorage("proxy://" + name); });
  }

  standin::PluginModule Plugin{RELAYSTORE_PATH};
  bool Linked = false;
};

TEST_F(RelaystoreAccounting, RequestsThatSucceed) {
  Assign(u"bgm/a.ogg", VariantOf(standin::PutMemoryStorage("a.ogg", "bytes")));
  Assign(u"bgm/b.ogg", VariantOf("proxy://bgm/a.ogg"));
  EXPECT_EQ(standin::ReadStorage("proxy://BGM/B.ogg"), "bytes");
  EXPECT_EQ(standin::ListStorageFolder("proxy://bgm/").size(), 2u);
  EXPECT_TRUE(standin::StorageExists("proxy://bgm/a.ogg"));
  EXPECT_EQ(standin::LocalNameOf("proxy://bgm/a.ogg"), "");
}

TEST_F(RelaystoreAccounting, EveryOpeningFailure) {
  Assign(u"number", VariantOf(tTVInteger{5}));
  Assign(u"gone", VariantOf("mem://no/such/storage"));
  Assign(u"loop", VariantOf("proxy://loop"));
  Assign(u"fine", VariantOf(standin::PutMemoryStorage("fine", "bytes")));
  EXPECT_EQ(OpenError("Missing"), "cannot open proxyfile:Missing");
  EXPECT_EQ(OpenError("number"), "cannot open proxyfile:number");
  EXPECT_EQ(OpenError("gone"), "storage not found: mem://no/such/storage");
  EXPECT_EQ(OpenError("loop"), "cannot open proxyfile:loop");
  standin::RefuseBinaryStreamAdapters(true);
  EXPECT_EQ(OpenError("fine"), "cannot open proxyfile:fine");
  standin::RefuseBinaryStreamAdapters(false);
  EXPECT_EQ(EngineErrorOf([] { standin::ReadStorage("proxy://fine", TJS_BS_WRITE); }),
            "storage is read-only: mem://fine");
}

TEST_F(RelaystoreAccounting, TheUnboundFunctionError) {
  const std::string signature = "IStream * ::TVPCreateIStream(const ttstr &,tjs_uint32)";
  Assign(u"fine", VariantOf(standin::PutMemoryStorage("fine", "bytes")));
  E().GetExporter().Withhold(signature);
  EXPECT_EQ(OpenError("fine"), kUnbound + signature);
  EXPECT_EQ(OpenError("fine"), kUnbound + signature) << "looked up again, still missing";
  E().GetExporter().Withhold(signature, false);
  EXPECT_EQ(standin::ReadStorage("proxy://fine"), "bytes");
}

}  // namespace
