// proxy_storage.h — ProxyStorage, the "proxy" storage media.
//
// Every name under "proxy" is looked up, lower-cased, in the dictionary that
// ProxyStorage creates and publishes as the global "ProxyStorageMap". A
// member whose value is a string names the real storage (a full storage name
// the engine can open); the media forwards existence checks, opening and
// local names to it. Members with any other value count as absent, though
// folder listing still shows them. Keys holding upper-case letters are never
// found. Entries are read afresh on every request.
//
// One object per linked plug-in (see plugin.cpp). Script thread only.
#pragma once

#include "hostengine.h"

class ProxyStorage : public iTVPStorageMedia {
 public:
  // Creates the dictionary and publishes it as "ProxyStorageMap"; one
  // reference for the creator. When the engine gives no dictionary, the
  // object has no map (HasMap() is false), publishes nothing and finds
  // nothing.
  ProxyStorage();
  ProxyStorage(const ProxyStorage &) = delete;
  ProxyStorage &operator=(const ProxyStorage &) = delete;

  bool HasMap() const { return Map.AsObjectNoAddRef() != nullptr; }

  void TJS_INTF_METHOD AddRef() override;
  // The last one withdraws "ProxyStorageMap" (while it still names this
  // media's map) and destroys the object; an engine error from the
  // withdrawal passes on after the object is gone.
  void TJS_INTF_METHOD Release() override;
  void TJS_INTF_METHOD GetMediaName(ttstr &name) override;
  void TJS_INTF_METHOD NormalizeDomain(ttstr &name) override;  // leaves the name as it is
  void TJS_INTF_METHOD NormalizePath(ttstr &name) override;    // leaves the name as it is
  bool TJS_INTF_METHOD StorageExists(const ttstr &name) override;
  // Raises "cannot open proxyfile:%1" (with `name` as given) when the name
  // has no string entry or the engine yields no stream; the engine's own
  // errors from opening the target pass through. The caller owns the stream.
  tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &name, tjs_uint32 flags) override;
  // Lists the keys whose folder part equals the lower-cased folder name.
  void TJS_INTF_METHOD ListFolder(const ttstr &name, iTVPStorageLister *lister) override;
  // The target's local file name, or "" when there is no entry or the
  // target has no local file.
  void TJS_INTF_METHOD ToLocalName(ttstr &name) override;

 protected:
  // Drops the map; calls no engine function that could raise.
  ~ProxyStorage() override;

 private:
  // Withdraws "ProxyStorageMap" when this media published it and no later
  // media of this module has published its own map since.
  void WithdrawMapName();

  // True when the lower-cased `name` has a string entry; its text goes to
  // *target when given. `name` is the caller's copy.
  bool LookUpProxyTarget(ttstr name, ttstr *target) const;

  tTJSVariant Map;     // the dictionary, with a reference; never reassigned
  tjs_int32 RefCount;  // 1 after construction
};
