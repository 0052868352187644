// storage.h — the stand-in engine's storage system, as tests and tools see it.
//
// Full storage names have one form, MEDIA://PATH:
//   * MEDIA names a registered storage media; it is compared in lower case
//     ("File://x" and "file://x" are the same media).
//   * PATH is handed to that media unchanged (after the media's own
//     NormalizePath). Folders are written with a final '/'; "MEDIA://" is the
//     media's root folder.
// Built-in media, registered with every engine:
//   * file://PATH  local files; PATH is the local file name as the platform
//                  spells it, so "file:///tmp/a.txt" is /tmp/a.txt. Its local
//                  name is PATH itself.
//   * mem://PATH   in-memory storages that tests and tools put with
//                  PutMemoryStorage; PATH is compared exactly (case matters).
//                  They have no local file name, so TVPGetLocalName raises for
//                  them.
// Both open storages for reading only: any access other than TJS_BS_READ
// raises an engine error. Any other registered media (a plug-in's "proxy")
// serves the names under its own prefix.
//
// Engine errors raised by the storage system (EngineError messages):
//   "invalid storage name: NAME"          no "://" in NAME, or no media part
//   "no such storage media: MEDIA"
//   "storage not found: NAME"             a built-in media has no such storage
//   "storage is read-only: NAME"          write, append or update access
//   "no local file name for storage: NAME"   TVPGetLocalName
//   "storage media already registered: MEDIA"
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostengine.h"

// The engine's stream object. Every live stream counts in standin::Live().Objects.
class tTJSBinaryStream {
 public:
  tTJSBinaryStream();
  tTJSBinaryStream(const tTJSBinaryStream &) = delete;
  tTJSBinaryStream &operator=(const tTJSBinaryStream &) = delete;
  virtual ~tTJSBinaryStream();

  // Reads up to `size` bytes at the current position; returns the count read
  // (0 at the end). Raises an engine error when the source fails.
  virtual tjs_uint32 Read(void *buffer, tjs_uint32 size) = 0;
  // Moves to `offset` from the start (origin 0), the current position (1) or
  // the end (2); returns the new position. Raises an engine error for a
  // position before the start or an unknown origin.
  virtual tjs_uint64 Seek(tjs_int64 offset, tjs_uint32 origin) = 0;

  // Every byte from the current position to the end.
  std::string ReadRest();
};

namespace standin {

using BinaryStreamPtr = std::unique_ptr<tTJSBinaryStream>;

constexpr const char *kFileMediaName = "file";
constexpr const char *kMemoryMediaName = "mem";

// "file://" + the local file name.
std::string FileStorageName(const std::string &localPath);
// Puts (or replaces) the in-memory storage at PATH; returns "mem://" + PATH.
std::string PutMemoryStorage(std::string_view path, std::string_view bytes);

// Engine-side requests through the registered media, as scripts make them.
// Each raises the engine errors above and whatever the media raises.
bool StorageExists(std::string_view fullName);
// Opens for `flags` and reads every byte.
std::string ReadStorage(std::string_view fullName, tjs_uint32 flags = TJS_BS_READ);
// The entries of a folder, in the media's order. A folder name without a
// final '/' gets one (except a media's root, "MEDIA://").
std::vector<std::string> ListStorageFolder(std::string_view fullFolder);
// The media's local name for a storage; "" when it has none (unlike
// TVPGetLocalName, which raises then).
std::string LocalNameOf(std::string_view fullName);

// The registered media of that name (any case), borrowed; null when none.
iTVPStorageMedia *FindStorageMedia(std::string_view mediaName);
// Names of the registered media, in registration order.
std::vector<std::string> RegisteredMediaNames();

// IStream's Read and Seek, spelled the same for the platform's interface and
// ours (the argument types differ between the two).
tjs_hresult ReadFromStream(IStream *stream, void *buffer, tjs_uint32 size, tjs_uint32 *done);
tjs_hresult SeekStream(IStream *stream, tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position);

// Called after a media is registered (true) and after it is withdrawn, while
// it is still alive (false). An empty function stops observing.
void ObserveMediaRegistration(std::function<void(iTVPStorageMedia *media, bool registered)> observer);
// Failure injection: TVPCreateBinaryStreamAdapter answers null while refused.
void RefuseBinaryStreamAdapters(bool refuse);
// Failure injection: the next Release of a stream from TVPCreateIStream
// raises the engine error "release failed" after releasing (once).
void RaiseFromNextStreamRelease(bool raise);
// Whether that raise is still armed.
bool StreamReleaseRaisePending();
// Failure injection: TVPCreateBinaryStreamAdapter raises the engine error
// "stream adapter failed" while set (the stream given to it is not taken).
void RaiseFromBinaryStreamAdapters(bool raise);
// Failure injection: TVPCreateIStream answers null (after the media opened
// and dropped the stream) while refused.
void RefuseIStreams(bool refuse);

}  // namespace standin
