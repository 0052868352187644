// relaystore_fixture.h — a stand-in engine with the real relaystore plug-in
// loaded, and the small helpers its tests share.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "storage.h"
#include "test_support.h"

namespace relaystore_test {

constexpr const char16_t *kMapName = u"ProxyStorageMap";

// A folder of real files, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    static int serial = 0;
    Path_ = std::filesystem::temp_directory_path() /
            ("relaystore_test_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
             std::to_string(++serial));
    std::filesystem::create_directories(Path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path_, ignored);
  }
  // Writes `bytes` to the relative `name`; returns the file's full storage name.
  std::string Write(const std::string &name, const std::string &bytes) const {
    const auto file = Path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return standin::FileStorageName(file.string());
  }
  std::string LocalPath(const std::string &name) const { return (Path_ / name).string(); }

 private:
  std::filesystem::path Path_;
};

class RelayStoreTest : public testing_support::EngineTest {
 protected:
  // The media must be gone before the module is unloaded: when the plug-in
  // refuses, the engine withdraws it so that it never calls unloaded code.
  ~RelayStoreTest() override {
    if (Unlink() == TJS_HR_S_OK) return;
    ADD_FAILURE() << "relaystore refused to unlink at the end of the test";
    if (iTVPStorageMedia *media = Proxy()) TVPUnregisterStorageMedia(media);
  }

  tjs_hresult Link() { return Plugin.Link(E()); }
  tjs_hresult Unlink() { return Plugin.Unlink(); }

  // The global "ProxyStorageMap", borrowed; null when there is none.
  standin::ScriptObject *Map() {
    const auto *member = Global()->Find(kMapName);
    if (!member) return nullptr;
    return static_cast<standin::ScriptObject *>(member->Value.AsObjectNoAddRef());
  }
  // The registered "proxy" media, borrowed; null when there is none.
  iTVPStorageMedia *Proxy() { return standin::FindStorageMedia("proxy"); }

  // A script's assignment ProxyStorageMap[key] = value.
  void Assign(std::u16string_view key, const tTJSVariant &value) {
    standin::ScriptObject *map = Map();
    ASSERT_NE(map, nullptr);
    const std::u16string name(key);
    ASSERT_GE(map->SetMember(TJS_MEMBERENSURE, name.c_str(), nullptr, &value, map), 0);
  }
  void Assign(std::u16string_view key, const std::string &target) { Assign(key, standin::VariantOf(target)); }

  standin::PluginModule Plugin{RELAYSTORE_PATH};
};

}  // namespace relaystore_test
