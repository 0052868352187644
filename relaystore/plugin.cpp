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
    try {
      storage->Release();
    } catch (...) {
      // The registration's error is the one the engine gets.
    }
    throw;
  }
}

// Unlink and the media's last Release call these engine functions; they are
// resolved at link, so that an engine lacking one refuses the link with its
// unbound-function error (nothing registered yet) rather than failing at
// unlink, possibly in the engine's own Release of the media.
void ResolveTeardownFunctions() {
  HostFunctionSlot(HostFn::TVPUnregisterStorageMedia);
  HostFunctionSlot(HostFn::TVPRemoveGlobalObject);
  HostFunctionSlot(HostFn::Variant_AsObjectNoAddRef);  // HasMap, at link and in the destructor
}

}  // namespace

// Refuses a second link while linked. Also refuses when the engine gives no
// dictionary for the map: a media without its map could never find anything,
// so nothing is registered or published and V2Link answers E_FAIL.
bool PluginLink() {
  if (Instance) return false;
  ResolveTeardownFunctions();
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
// holds the media). An engine error from withdrawing the media leaves the
// plug-in linked as it was; one from withdrawing the global name passes on
// with the plug-in unlinked and the media freed.
bool PluginUnlink() {
  if (!Instance) return true;
  TVPUnregisterStorageMedia(Instance);
  ProxyStorage *storage = Instance;
  Instance = nullptr;
  storage->Release();
  return true;
}
