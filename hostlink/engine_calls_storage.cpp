// engine_calls_storage.cpp — the plug-in side of the engine's storage
// functions: each forwards to the engine function found by its signature
// string (resolved on first use, see hostlink.h).
#include "hostlink.h"

#define ENGINE(Id, ...) HostCall<__VA_ARGS__>(HostFn::Id)

void TVPRegisterStorageMedia(iTVPStorageMedia *media) {
  ENGINE(TVPRegisterStorageMedia, void(TJS_ENGINE_CALL *)(iTVPStorageMedia *))(media);
}
void TVPUnregisterStorageMedia(iTVPStorageMedia *media) {
  ENGINE(TVPUnregisterStorageMedia, void(TJS_ENGINE_CALL *)(iTVPStorageMedia *))(media);
}
ttstr TVPExtractStorageName(const ttstr &name) {
  auto fn = ENGINE(TVPExtractStorageName, void(TJS_ENGINE_CALL *)(ttstr *, const ttstr &));
  return ttstr(ttstr::FillTag{}, [&](ttstr *result) { fn(result, name); });
}
ttstr TVPExtractStoragePath(const ttstr &name) {
  auto fn = ENGINE(TVPExtractStoragePath, void(TJS_ENGINE_CALL *)(ttstr *, const ttstr &));
  return ttstr(ttstr::FillTag{}, [&](ttstr *result) { fn(result, name); });
}
void TVPGetLocalName(ttstr &name) { ENGINE(TVPGetLocalName, void(TJS_ENGINE_CALL *)(ttstr &))(name); }
IStream *TVPCreateIStream(const ttstr &name, tjs_uint32 flags) {
  return ENGINE(TVPCreateIStream, IStream *(TJS_ENGINE_CALL *)(const ttstr &, tjs_uint32))(name, flags);
}
tTJSBinaryStream *TVPCreateBinaryStreamAdapter(IStream *stream) {
  return ENGINE(TVPCreateBinaryStreamAdapter, tTJSBinaryStream *(TJS_ENGINE_CALL *)(IStream *))(stream);
}
void TVPDoTryBlock(tTVPTryBlockFunction try_, tTVPCatchBlockFunction catch_, tTVPFinallyBlockFunction finally_,
                   void *data) {
  ENGINE(TVPDoTryBlock, void(TJS_ENGINE_CALL *)(tTVPTryBlockFunction, tTVPCatchBlockFunction,
                                                tTVPFinallyBlockFunction, void *))(try_, catch_, finally_, data);
}
