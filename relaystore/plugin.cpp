// plugin.cpp — relaystore's link and unlink steps: one ProxyStorage, its
// "ProxyStorageMap" published before the "proxy" media is registered, and the
// media withdrawn before the map's global name goes.
#include "hostlink.h"
#include "proxy_storage.h"

namespace {

// The linked media, holding the creator's reference; null while not linked.
ProxyStorage *Instance = nullptr;

// Registers the media. When the engine refuses with an error, the link is
// undone (map withdrawn, instance cleared) before the error goes on, so that
// a later V2Link can try again.
void RegisterOrRollBack() {
  try {
    TVPRegisterStorageMedia(Instance);
  } catch (...) {
    ProxyStorage *storage = Instance;
    Instance = nullptr;
    storage->Release();
    throw;
  }
}

}  // namespace

// Refuses a second link while linked. Also refuses when the engine gives no
// dictionary for the map: a media without its map could never find anything,
// so nothing is registered or published and V2Link answers E_FAIL.
bool PluginLink() {
  if (Instance) return false;
  auto *storage = new ProxyStorage();
  if (!storage->HasMap()) {
    storage->Release();
    return false;
  }
  Instance = storage;
  RegisterOrRollBack();
  return true;
}

// Always completes; does nothing when not linked. The map and its global
// name go with the media's last reference (here, unless the engine still
// holds the media).
bool PluginUnlink() {
  if (!Instance) return true;
  TVPUnregisterStorageMedia(Instance);
  Instance->Release();
  Instance = nullptr;
  return true;
}
