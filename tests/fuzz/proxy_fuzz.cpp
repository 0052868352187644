// proxy_fuzz.cpp — the relaystore plug-in's "proxy" media with arbitrary
// names and dictionary contents.
//
// The real plug-in file is loaded once; every input gets a fresh stand-in
// engine, links the plug-in, runs up to 32 operations (dictionary writes of
// any value type, hidden members, removals, replacing the global name, and
// every media request, through the engine's storage system and on the media
// directly with names that may hold NUL and lone surrogates), then unlinks.
//
// Properties, beyond the sanitizers' own: every request either answers or
// raises an engine error; the plug-in unlinks at the end, the "proxy" media is
// gone then, and once the engine is destroyed no engine object or string is
// left alive.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "fuzz_input.h"
#include "objects.h"
#include "storage.h"

namespace {

using fuzzing::FuzzInput;

constexpr std::u16string_view kNameAlphabet = u"abB/._:\u00e9\u0130 ";
constexpr const char16_t *kMapName = u"ProxyStorageMap";

standin::PluginModule &Relaystore() {
  static standin::PluginModule plugin(RELAYSTORE_PATH);
  return plugin;
}

// Collects nothing; listing only has to reach it.
class CountingLister final : public iTVPStorageLister {
 public:
  void TJS_INTF_METHOD AddEntry(const ttstr &) override { ++Entries; }
  long Entries = 0;
};

class ProxyScenario {
 public:
  explicit ProxyScenario(FuzzInput &in) : In(in) {}

  void Run() {
    standin::PutMemoryStorage("music/a.ogg", "a bytes");
    standin::PutMemoryStorage("B/c", "c bytes");
    FUZZ_CHECK(Relaystore().Link(standin::Engine::Current()) == TJS_HR_S_OK);
    Map = PublishedMap();
    FUZZ_CHECK(Map != nullptr);
    for (uint32_t steps = In.Below(33); steps > 0 && !In.Empty(); --steps) {
      try {
        Step();
      } catch (const standin::EngineError &) {
        // Engine errors are answers too: missing targets, refused access, ...
      }
    }
    FUZZ_CHECK(Relaystore().Unlink() == TJS_HR_S_OK);
    FUZZ_CHECK(standin::FindStorageMedia("proxy") == nullptr);
  }

 private:
  void Step() {
    switch (In.Below(10)) {
      case 0:
      case 1: Assign(0); break;
      case 2: Assign(TJS_HIDDENMEMBER); break;
      case 3: Remove(); break;
      case 4: standin::StorageExists(EngineName()); break;
      case 5: Read(); break;
      case 6: standin::ListStorageFolder(EngineName()); break;
      case 7: standin::LocalNameOf(EngineName()); break;
      case 8: AskTheMediaDirectly(); break;
      default: ReplaceGlobalName(); break;
    }
  }

  std::u16string Name() { return In.Text(12, kNameAlphabet); }
  // Opens a name for reading mostly; for writing and with an unknown access
  // too, which the targets refuse.
  void Read() {
    const std::string name = EngineName();
    const tjs_uint32 flags = In.Pick<tjs_uint32>({TJS_BS_READ, TJS_BS_READ, TJS_BS_WRITE, 0x13});
    standin::ReadStorage(name, flags);
  }
  std::string EngineName() { return "proxy://" + standin::Utf8(Name()); }
  ttstr RawName() {
    const std::u16string text = Name();
    return ttstr(text.data(), static_cast<int>(text.size()));
  }

  tTJSVariant Value() {
    switch (In.Below(8)) {
      case 0: return standin::VariantOf("mem://music/a.ogg");
      case 1: return standin::VariantOf("mem://missing");
      case 2: return standin::VariantOf("file:///dev/null");
      case 3: return standin::VariantOf("file:///no/such/file");
      case 4: return standin::VariantOf("proxy://" + standin::Utf8(Name()));
      case 5: return standin::VariantOf(standin::Utf8(Name()));
      case 6: return In.Bool() ? standin::VariantOf(static_cast<tTVInteger>(In.U32())) : tTJSVariant();
      default: {
        iTJSDispatch2 *other = TJSCreateDictionaryObject(nullptr);
        tTJSVariant value(other, other);
        other->Release();
        return value;
      }
    }
  }

  // The dictionary that linking published, borrowed from the global object.
  static iTJSDispatch2 *PublishedMap() {
    iTJSDispatch2 *global = standin::Engine::Current().Global();
    tTJSVariant value;
    if (TJS_FAILED(global->GetMember(TJS_IGNOREPROP, kMapName, nullptr, &value, global))) return nullptr;
    return value.AsObjectNoAddRef();
  }

  void Assign(tjs_uint32 flags) {
    const std::u16string key = Name();
    const tTJSVariant value = Value();
    Map->SetMember(TJS_MEMBERENSURE | flags, key.c_str(), nullptr, &value, Map);
  }

  void Remove() {
    const std::u16string key = Name();
    Map->RemoveMember(0, key.c_str(), nullptr, Map);
  }

  void AskTheMediaDirectly() {
    iTVPStorageMedia *media = standin::FindStorageMedia("proxy");
    FUZZ_CHECK(media != nullptr);
    ttstr name = RawName();
    switch (In.Below(4)) {
      case 0: media->StorageExists(name); break;
      case 1: delete media->OpenStream(name, TJS_BS_READ); break;
      case 2: {
        CountingLister lister;
        media->ListFolder(name, &lister);
        break;
      }
      default: media->ToLocalName(name); break;
    }
  }

  void ReplaceGlobalName() {
    iTJSDispatch2 *global = standin::Engine::Current().Global();
    const tTJSVariant value = Value();
    global->SetMember(TJS_MEMBERENSURE | TJS_IGNOREPROP, kMapName, nullptr, &value, global);
  }

 private:
  FuzzInput &In;
  // The dictionary the media reads, borrowed: the media holds it until the
  // unlink, even after a script replaced the global name.
  iTJSDispatch2 *Map = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const standin::LiveCounts before = standin::Live();
  {
    standin::Engine engine;
    FuzzInput in(data, size);
    ProxyScenario(in).Run();
  }
  FUZZ_CHECK(standin::Live() == before);
  return 0;
}
