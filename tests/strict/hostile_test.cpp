// hostile_test.cpp — engine behaviour that is legal but hostile, against the
// real plug-ins. Every scenario ends the same way (Survive): the plug-in
// unlinks with its reference total exactly at the baseline, links again and
// works, unlinks, and once the engine is gone no engine object or string is
// left and no contract violation was recorded (EngineTest). The asan preset
// runs them under AddressSanitizer for out-of-bounds access.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "accounting.h"
#include "calls.h"
#include "native_class.h"
#include "sound.h"
#include "storage.h"
#include "test_support.h"

namespace {

using standin::Arguments;
using standin::ObjectRef;
using standin::VariantOf;

class Hostile : public testing_support::EngineTest {
 protected:
  void LinkPlugin(const char *path) {
    Plugin = std::make_unique<standin::PluginModule>(path);
    ASSERT_EQ(Plugin->Link(E()), TJS_HR_S_OK);
  }
  // One of the plug-in's dispatch objects while linked, borrowed; null when
  // the plug-in keeps none between requests.
  virtual iTJSDispatch2 *PluginObject() { return nullptr; }
  // The common ending: unlink with the reference total exactly at the
  // baseline, relink, `work` succeeds again, unlink.
  void Survive(const std::function<void()> &work) {
    if (iTJSDispatch2 *object = PluginObject()) {
      ASSERT_TRUE(validator::UnlinkAtExactBaseline([this] { return Plugin->Unlink(); }, object));
    } else {
      ASSERT_EQ(Plugin->Unlink(), TJS_HR_S_OK) << "unlink after the scenario";
    }
    ASSERT_EQ(Plugin->Link(E()), TJS_HR_S_OK) << "relink";
    work();
    EXPECT_EQ(Plugin->Unlink(), TJS_HR_S_OK) << "unlink after the relinked work";
  }
  std::unique_ptr<standin::PluginModule> Plugin;
};

// ===== sonafilter ==========================================================================
#if defined(SONAFILTER_PATH)

const char16_t *const kEffects[] = {u"DelayEffect", u"GraphicEqualizer", u"StkFreeVerb"};

ObjectRef NewEffect(const char16_t *cls) {
  ObjectRef object;
  EXPECT_EQ(standin::ScriptNew(standin::ObjectAt(std::u16string(u"WaveSoundBuffer.") + cls), {}, object), TJS_S_OK);
  return object;
}
tTVInteger InterfaceOf(iTJSDispatch2 *effect) {
  tTJSVariant value;
  EXPECT_EQ(standin::ScriptGet(effect, u"interface", &value), TJS_S_OK);
  return value.AsInteger();
}

// A source that answers every other pull with a short block (a third of
// what was asked, or nothing), and then goes on with full blocks.
class StutteringSource final : public tTVPSampleAndLabelSource {
 public:
  StutteringSource(tjs_uint32 rate, tjs_uint32 channels, tjs_uint64 frames)
      : Format_(standin::WaveFormat(rate, channels, 16, 2)), Left_(frames) {}
  void TJS_INTF_METHOD Decode(void *dest, tjs_uint32 frames, tjs_uint32 &rendered, tTVPWaveLabels &) override {
    ++Pulls_;
    tjs_uint32 give = frames;
    if (Pulls_ % 2 == 0) give = (Pulls_ % 4 == 0) ? 0 : frames / 3;
    if (give > Left_) give = static_cast<tjs_uint32>(Left_);
    auto *samples = static_cast<int16_t *>(dest);
    for (tjs_uint32 i = 0; i < give * Format_.Channels; ++i) samples[i] = static_cast<int16_t>((i * 977) % 20000 - 10000);
    Left_ -= give;
    rendered = give;
  }
  const tTVPWaveFormat &TJS_INTF_METHOD GetFormat() override { return Format_; }
  void TJS_INTF_METHOD Notify() override {}

 private:
  tTVPWaveFormat Format_;
  tjs_uint64 Left_;
  int Pulls_ = 0;
};

class HostileSound : public Hostile {
 protected:
  void SetUp() override {
    if (Legacy) {
      ASSERT_TRUE(standin::EnableLegacyGeneration());
    }
    ASSERT_NE(standin::InstallWaveSoundBufferClass(), nullptr);
    LinkPlugin(SONAFILTER_PATH);
  }
  // Every effect made, played briefly and released: the plug-in works.
  static void PlayEveryEffect() {
    for (const char16_t *cls : kEffects) {
      ObjectRef effect = NewEffect(cls);
      standin::MemorySource source = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(512, 0.25f));
      standin::SoundBuffer buffer(source);
      buffer.AddFilterByInterface(InterfaceOf(effect.Get()));
      EXPECT_GE(buffer.Play(256, 16).Frames(), 256u) << standin::Utf8(cls);
    }
  }
  // The function object of DelayEffect's `init`, from the class member.
  iTJSDispatch2 *PluginObject() override {
    iTJSDispatch2 *cls = standin::ObjectAt(u"WaveSoundBuffer.DelayEffect");
    tTJSVariant store;
    if (!cls || TJS_FAILED(cls->GetMember(TJS_IGNOREPROP, u"init", nullptr, &store, cls))) return nullptr;
    return store.AsObjectNoAddRef();
  }
  bool Legacy = false;  // the engine generation, set before SetUp
};

// The same scenarios where they differ by generation, on a legacy engine.
class HostileLegacySound : public HostileSound {
 protected:
  HostileLegacySound() { Legacy = true; }
};

// Short blocks in mid-stream, then more data: every block is pulled whole,
// and the output never holds a non-finite sample.
TEST_F(HostileSound, ShortBlocksInMidStreamThenMoreData) {
  for (const char16_t *cls : kEffects) {
    ObjectRef effect = NewEffect(cls);
    StutteringSource source(44100, 2, 5000);
    standin::SoundBuffer buffer(source);
    buffer.AddFilterByInterface(InterfaceOf(effect.Get()));
    buffer.Attach();
    for (int block = 0; block < 24; ++block) buffer.PullBlock(333);
    buffer.Detach();
    for (float sample : buffer.Played().Floats()) ASSERT_TRUE(std::isfinite(sample)) << standin::Utf8(cls);
  }
  Survive(PlayEveryEffect);
}

// The same filter attached to sources of other formats in turn.
TEST_F(HostileSound, FormatChangesBetweenAttaches) {
  for (const char16_t *cls : kEffects) {
    ObjectRef effect = NewEffect(cls);
    const tTVInteger iface = InterfaceOf(effect.Get());
    struct Format {
      tjs_uint32 Rate, Channels;
    };
    for (Format f : {Format{44100, 2}, Format{8000, 1}, Format{96000, 2}, Format{22050, 1}}) {
      StutteringSource source(f.Rate, f.Channels, 3000);
      standin::SoundBuffer buffer(source);
      buffer.AddFilterByInterface(iface);
      const standin::PlayedSound played = buffer.Play(512, 32);
      EXPECT_EQ(played.Format.SamplesPerSec, f.Rate) << standin::Utf8(cls);
    }
  }
  Survive(PlayEveryEffect);
}

// One filter offered to a second buffer while the first plays it: refused,
// and the first buffer's sound is exactly what it is without the offer.
void OfferOneFilterToASecondBuffer() {
  for (const char16_t *cls : kEffects) {
    auto play = [&](bool offerToSecond) {
      ObjectRef effect = NewEffect(cls);
      const tTVInteger iface = InterfaceOf(effect.Get());
      standin::MemorySource first = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(4096, 0.5f));
      standin::MemorySource second = standin::MemorySource::OfFloats(44100, 1, std::vector<float>(4096, -0.25f));
      standin::SoundBuffer a(first);
      a.AddFilterByInterface(iface);
      a.Attach();
      a.PullBlock(256);
      if (offerToSecond) {
        standin::SoundBuffer b(second);
        b.AddFilterByInterface(iface);
        EXPECT_EQ(testing_support::EngineErrorOf([&] { b.Attach(); }),
                  "Cannot connect multiple wave sound buffer at once.");
      }
      for (int i = 0; i < 8; ++i) a.PullBlock(256);
      a.Detach();
      return a.Played().Bytes;
    };
    EXPECT_EQ(play(true), play(false)) << standin::Utf8(cls);
  }
}

TEST_F(HostileSound, OneFilterOfferedToASecondBufferWhileAttached) {
  OfferOneFilterToASecondBuffer();
  Survive(PlayEveryEffect);
}

TEST_F(HostileLegacySound, OneFilterOfferedToASecondBufferWhileAttached) {
  OfferOneFilterToASecondBuffer();
  Survive(PlayEveryEffect);
}

// Unlink while script objects live is refused and changes nothing; once
// they are released it goes through.
TEST_F(HostileSound, UnlinkWithLiveObjectsThenCompleted) {
  {
    ObjectRef delay = NewEffect(u"DelayEffect");
    ObjectRef eq = NewEffect(u"GraphicEqualizer");
    EXPECT_EQ(Plugin->Unlink(), TJS_HR_E_FAIL);
    EXPECT_NE(standin::ObjectAt(u"WaveSoundBuffer.DelayEffect"), nullptr) << "a refused unlink removes nothing";
    tTJSVariant gain;
    EXPECT_EQ(standin::ScriptCall(eq.Get(), u"getGain", {VariantOf(tTVInteger{0})}, &gain), TJS_S_OK);
  }
  Survive(PlayEveryEffect);
}

// A script drops its last reference to an effect while a sound buffer still
// pulls the filter: the buffer goes on pulling safely, unlink waits for the
// detach.
TEST_F(HostileSound, EffectReleasedWhileAttached) {
  for (const char16_t *cls : kEffects) {
    ObjectRef effect = NewEffect(cls);
    standin::MemorySource source = standin::MemorySource::OfFloats(44100, 2, std::vector<float>(8192, 0.5f));
    standin::SoundBuffer buffer(source);
    buffer.AddFilterByInterface(InterfaceOf(effect.Get()));
    buffer.Attach();
    buffer.PullBlock(256);
    effect.Reset();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(buffer.PullBlock(256), 256u) << standin::Utf8(cls);
    EXPECT_EQ(Plugin->Unlink(), TJS_HR_E_FAIL) << "the filter still plays";
    buffer.Detach();
  }
  Survive(PlayEveryEffect);
}

// A script holds a class object beyond its WaveSoundBuffer member: unlink is
// refused (the class still reaches plug-in code) until the script lets go.
TEST_F(HostileSound, ClassObjectHeldAcrossUnlink) {
  {
    const tTJSVariant held(standin::ObjectAt(u"WaveSoundBuffer.DelayEffect"));
    EXPECT_EQ(Plugin->Unlink(), TJS_HR_E_FAIL);
    ObjectRef made;
    EXPECT_EQ(standin::ScriptNew(held.AsObjectNoAddRef(), {}, made), TJS_S_OK) << "the class still works";
  }
  Survive(PlayEveryEffect);
}

#endif  // SONAFILTER_PATH

// ===== relaystore =========================================================================
class HostileStorage : public Hostile {
 protected:
  void SetUp() override {
    LinkPlugin(RELAYSTORE_PATH);
    Fill();
  }
  static void Fill() {
    iTJSDispatch2 *map = standin::ObjectAt(u"ProxyStorageMap");
    ASSERT_NE(map, nullptr);
    const tTJSVariant target = VariantOf(standin::PutMemoryStorage("t/a.txt", "alpha"));
    ASSERT_GE(map->SetMember(TJS_MEMBERENSURE, u"a/a.txt", nullptr, &target, map), 0);
  }
  static void UseTheMedia() {
    Fill();
    EXPECT_EQ(standin::ReadStorage("proxy://a/a.txt"), "alpha");
    EXPECT_EQ(standin::ListStorageFolder("proxy://a/"), std::vector<std::string>{"a.txt"});
  }
  iTVPStorageMedia *Proxy() { return standin::FindStorageMedia("proxy"); }
};

TEST_F(HostileStorage, TheStreamAdapterRaises) {
  standin::RaiseFromBinaryStreamAdapters(true);
  EXPECT_EQ(testing_support::EngineErrorOf([] { standin::ReadStorage("proxy://a/a.txt"); }), "stream adapter failed");
  standin::RaiseFromBinaryStreamAdapters(false);
  Survive(UseTheMedia);
}

TEST_F(HostileStorage, CreateIStreamAnswersNull) {
  standin::RefuseIStreams(true);
  EXPECT_EQ(testing_support::EngineErrorOf([] { standin::ReadStorage("proxy://a/a.txt"); }),
            "cannot open proxyfile:a/a.txt");
  standin::RefuseIStreams(false);
  Survive(UseTheMedia);
}

// Names as an engine may hand them to the media: with embedded NULs, empty,
// and 64 KiB long. None exists, opens, lists or has a local name; nothing
// is read beyond the name.
TEST_F(HostileStorage, OddNamesAreAnsweredAsAbsent) {
  const std::u16string withNul(u"a/a.txt\0tail", 12);
  const std::u16string empty;
  const std::u16string huge(64 * 1024, u'x');
  for (const std::u16string &text : {withNul, empty, huge, huge + u"/"}) {
    const ttstr name(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(Proxy()->StorageExists(name), text == withNul) << text.size();
    ttstr local(name);
    Proxy()->ToLocalName(local);
    EXPECT_TRUE(local.IsEmpty());
    if (text != withNul) {
      EXPECT_NE(testing_support::EngineErrorOf([&] { delete Proxy()->OpenStream(name, TJS_BS_READ); }), "");
    }
  }
  EXPECT_TRUE(standin::ListStorageFolder("proxy://" + std::string(64 * 1024, 'x') + "/").empty());
  Survive(UseTheMedia);
}

}  // namespace
