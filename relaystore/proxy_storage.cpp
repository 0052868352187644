// proxy_storage.cpp — ProxyStorage: the map, the name lookup and the nine
// media operations.
#include "proxy_storage.h"

#include <exception>

#include "dict_member_get_caller.h"
#include "hostlink.h"
#include "scoped_release.h"

namespace {

constexpr const tjs_char *kMapName = u"ProxyStorageMap";
constexpr const tjs_char *kCannotOpen = u"cannot open proxyfile:%1";

// The media whose map this module published last as "ProxyStorageMap",
// null when none (or when it has withdrawn the name). The engine offers
// relaystore no way to read a global, so this record stands for "the name
// still refers to that media's map": a media relinked while the engine still
// held the old one publishes a new map under the same name, and the old
// media, destroyed later, must not withdraw the new map's name.
const ProxyStorage *PublishedMapOwner = nullptr;

[[noreturn]] void RaiseCannotOpen(const ttstr &name) { TVPThrowExceptionMessage(kCannotOpen, name); }

// A target may itself be a proxy name, so opening a storage or asking for its
// local name comes back into this media through the engine. A key whose
// chain of targets leads back to itself would recurse without end and
// overflow the stack: a request that is already kMaxRedirections proxies
// deep is not followed further. It then counts as unresolvable: opening
// raises "cannot open proxyfile:%1", the local name is empty.
constexpr int kMaxRedirections = 32;
int g_redirections = 0;  // proxy requests in progress; script thread only

// One proxy request in progress, for the scope of the request (also when an
// engine error passes).
class Redirection {
 public:
  Redirection() { ++g_redirections; }
  ~Redirection() { --g_redirections; }
  Redirection(const Redirection &) = delete;
  Redirection &operator=(const Redirection &) = delete;
  bool TooDeep() const { return g_redirections > kMaxRedirections; }
};

// Wraps `stream` as an engine stream; the plug-in's own reference to the
// IStream goes whatever the adapter call does (the adapter keeps its own).
tTJSBinaryStream *AdaptDroppingStream(IStream *stream) {
  ScopedRelease<IStream> reference(stream);  // the adapter keeps its own
  return TVPCreateBinaryStreamAdapter(stream);
}

// TVPDoTryBlock steps of ToLocalName; `data` is the ttstr being rewritten.
void TJS_ENGINE_CALL RewriteAsLocalName(void *data) { TVPGetLocalName(*static_cast<ttstr *>(data)); }
bool TJS_ENGINE_CALL ForgetLocalName(void *data, const tTVPExceptionDesc &) {
  static_cast<ttstr *>(data)->Clear();
  return false;  // the error ends here
}

}  // namespace

ProxyStorage::ProxyStorage() : Map(), RefCount(1) {
  iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
  if (!dictionary) return;  // HasMap() stays false; the link step refuses
  ScopedRelease<iTJSDispatch2> creation(dictionary);
  Map = tTJSVariant(dictionary, dictionary);
  // A refusal leaves the map unreachable by name only, and the name with
  // whatever it referred to before: this media then never withdraws it.
  if (TVPRegisterGlobalObject(kMapName, dictionary)) PublishedMapOwner = this;
}

// Engine calls happen before destruction (see Release); the map's variant
// destructor never lets an engine error out.
ProxyStorage::~ProxyStorage() = default;

void ProxyStorage::WithdrawMapName() {
  if (PublishedMapOwner != this) return;
  PublishedMapOwner = nullptr;  // first: an engine error below changes nothing more
  TVPRemoveGlobalObject(kMapName);
}

void TJS_INTF_METHOD ProxyStorage::AddRef() { ++RefCount; }

// The last reference withdraws the map's global name here, not in the
// destructor, where an engine error could only end the process: the object
// is freed whatever happens, then the error goes on to the caller (the
// engine's Release, or the unlink step and so V2Unlink). So does an error
// the map's destruction kept.
void TJS_INTF_METHOD ProxyStorage::Release() {
  if (RefCount != 1) {
    --RefCount;
    return;
  }
  std::exception_ptr error;
  try {
    WithdrawMapName();
  } catch (...) {
    error = std::current_exception();
  }
  delete this;
  if (error) std::rethrow_exception(error);
  RaisePendingEngineError();
}

void TJS_INTF_METHOD ProxyStorage::GetMediaName(ttstr &name) { name = "proxy"; }
void TJS_INTF_METHOD ProxyStorage::NormalizeDomain(ttstr &) {}
void TJS_INTF_METHOD ProxyStorage::NormalizePath(ttstr &) {}

bool ProxyStorage::LookUpProxyTarget(ttstr name, ttstr *target) const {
  iTJSDispatch2 *dictionary = Map.AsObjectNoAddRef();
  if (!dictionary) return false;
  name.ToLowerCase();
  tjs_uint32 *hint = name.GetHint();  // first: it may give an empty string its own body
  tTJSVariant value;
  const tjs_error hr = dictionary->GetMember(0, name.c_str(), hint, &value, dictionary);
  if (TJS_FAILED(hr)) return false;
  if (value.Type() != tvtString) return false;
  if (target) *target = value.GetString();
  return true;
}

bool TJS_INTF_METHOD ProxyStorage::StorageExists(const ttstr &name) { return LookUpProxyTarget(name, nullptr); }

tTJSBinaryStream *TJS_INTF_METHOD ProxyStorage::OpenStream(const ttstr &name, tjs_uint32 flags) {
  ttstr target;
  if (!LookUpProxyTarget(name, &target)) RaiseCannotOpen(name);
  const Redirection redirection;
  if (redirection.TooDeep()) RaiseCannotOpen(name);
  IStream *stream = TVPCreateIStream(target, flags);
  if (!stream) RaiseCannotOpen(name);
  tTJSBinaryStream *adapter = AdaptDroppingStream(stream);
  if (!adapter) RaiseCannotOpen(name);
  return adapter;
}

void TJS_INTF_METHOD ProxyStorage::ListFolder(const ttstr &name, iTVPStorageLister *lister) {
  iTJSDispatch2 *dictionary = Map.AsObjectNoAddRef();
  if (!dictionary) return;
  ScopedRelease<iTJSDispatch2> caller(new DictMemberGetCaller(name, lister));
  tTJSVariantClosure callback{caller.Get(), nullptr};
  dictionary->EnumerateMembers(TJS_ENUM_NO_VALUE, &callback, dictionary);
}

void TJS_INTF_METHOD ProxyStorage::ToLocalName(ttstr &name) {
  ttstr target;
  const Redirection redirection;
  if (redirection.TooDeep() || !LookUpProxyTarget(name, &target)) {
    name.Clear();
    return;
  }
  ttstr local(target);
  TVPDoTryBlock(RewriteAsLocalName, ForgetLocalName, nullptr, &local);
  name = local;
}
