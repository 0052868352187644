// storage.cpp — the stand-in engine's storage system: the media registry,
// the built-in "file" and "mem" media, engine streams and the exported
// storage functions. Name forms and errors: see storage.h.
#include "storage.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <utility>

#include "calls.h"
#include "engine.h"
#include "value_rep.h"

namespace standin {

tjs_hresult ReadFromStream(IStream *stream, void *buffer, tjs_uint32 size, tjs_uint32 *done) {
#if defined(_WIN32)
  ULONG got = 0;
  const HRESULT hr = stream->Read(buffer, size, &got);
  if (done) *done = got;
  return hr;
#else
  return stream->Read(buffer, size, done);
#endif
}

tjs_hresult SeekStream(IStream *stream, tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position) {
#if defined(_WIN32)
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER at;
  at.QuadPart = 0;
  const HRESULT hr = stream->Seek(move, origin, &at);
  if (position) *position = at.QuadPart;
  return hr;
#else
  return stream->Seek(offset, origin, position);
#endif
}

namespace {

// COM result codes used by the streams.
constexpr tjs_hresult kOk = 0;
constexpr tjs_hresult kFalse = 1;
constexpr tjs_hresult kFail = static_cast<tjs_hresult>(0x80004005u);
constexpr tjs_hresult kNoInterface = static_cast<tjs_hresult>(0x80004002u);
constexpr tjs_hresult kInvalidArgument = static_cast<tjs_hresult>(0x80070057u);
constexpr tjs_hresult kAccessDenied = static_cast<tjs_hresult>(0x80030005u);

const std::u16string kSchemeSeparator = u"://";

[[noreturn]] void Raise(std::u16string_view prefix, std::u16string_view subject) {
  throw EngineError(std::u16string(prefix) + std::u16string(subject));
}

std::u16string LowerAscii(std::u16string text) {
  for (auto &c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return text;
}

// Split of any storage name at its last '/': the folder part keeps the '/'.
size_t FileNameStart(const std::u16string &name) {
  const size_t slash = name.rfind(u'/');
  return slash == std::u16string::npos ? 0 : slash + 1;
}

bool IsReadAccess(tjs_uint32 flags) { return (flags & TJS_BS_ACCESS_MASK) == TJS_BS_READ; }

// ----- streams ------------------------------------------------------------------
// An engine stream over bytes held in memory.
class ByteStream : public tTJSBinaryStream {
 public:
  explicit ByteStream(std::string bytes) : Bytes_(std::move(bytes)) {}

  tjs_uint32 Read(void *buffer, tjs_uint32 size) override {
    const size_t left = Position_ < Bytes_.size() ? Bytes_.size() - Position_ : 0;
    const size_t count = std::min<size_t>(left, size);
    std::copy_n(Bytes_.data() + Position_, count, static_cast<char *>(buffer));
    Position_ += count;
    return static_cast<tjs_uint32>(count);
  }

  tjs_uint64 Seek(tjs_int64 offset, tjs_uint32 origin) override {
    tjs_int64 base = 0;
    if (origin == 1) base = static_cast<tjs_int64>(Position_);
    else if (origin == 2) base = static_cast<tjs_int64>(Bytes_.size());
    else if (origin != 0) Raise(u"invalid seek origin", u"");
    if (offset < -base) Raise(u"seek before the start of a stream", u"");
    Position_ = static_cast<size_t>(base + offset);
    return Position_;
  }

 private:
  std::string Bytes_;
  size_t Position_ = 0;
};

// TVPCreateBinaryStreamAdapter's stream: reads through an IStream, on which
// it holds its own reference.
class StreamAdapter : public tTJSBinaryStream {
 public:
  explicit StreamAdapter(IStream *stream) : Stream_(stream) { Stream_->AddRef(); }
  ~StreamAdapter() override { Stream_->Release(); }

  tjs_uint32 Read(void *buffer, tjs_uint32 size) override {
    tjs_uint32 done = 0;
    if (ReadFromStream(Stream_, buffer, size, &done) < 0) Raise(u"stream read failed", u"");
    return done;
  }
  tjs_uint64 Seek(tjs_int64 offset, tjs_uint32 origin) override {
    tjs_uint64 position = 0;
    if (SeekStream(Stream_, offset, origin, &position) < 0) Raise(u"stream seek failed", u"");
    return position;
  }

 private:
  IStream *Stream_;
};

#if defined(_WIN32) && defined(__GNUC__)
// The platform's IStream declares no destructor; streams die through Release only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// TVPCreateIStream's stream: a reference-counted COM-style stream over an
// engine stream it owns. Counted as a live engine object. Never raises: an
// engine error of the inner stream becomes a failure code.
// Failure injection (RaiseFromNextStreamRelease): the next Release of an
// engine stream raises once, after it has done its work.
bool RaiseFromNextRelease = false;

class EngineStream final : public IStream {
 public:
  explicit EngineStream(BinaryStreamPtr inner) : Inner_(std::move(inner)) { CountObject(+1); }
  EngineStream(const EngineStream &) = delete;
  EngineStream &operator=(const EngineStream &) = delete;

#if defined(_WIN32)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
    return Query(iid == IID_IUnknown || iid == IID_IStream, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Grab(); }
  ULONG STDMETHODCALLTYPE Release() override { STANDIN_SAFE_ENGINE_CALL("IStream.Release"); return Drop(); }
  HRESULT STDMETHODCALLTYPE Read(void *buffer, ULONG size, ULONG *done) override {
    tjs_uint32 got = 0;
    const tjs_hresult hr = ReadBytes(buffer, size, &got);
    if (done) *done = got;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Write(const void *, ULONG, ULONG *) override { return kAccessDenied; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER *position) override {
    tjs_uint64 at = 0;
    const tjs_hresult hr = SeekTo(offset.QuadPart, origin, &at);
    if (position) position->QuadPart = at;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream *, ULARGE_INTEGER, ULARGE_INTEGER *, ULARGE_INTEGER *) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG *, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream **) override { return E_NOTIMPL; }
#else
  tjs_hresult TJS_INTF_METHOD QueryInterface(const tTVPInterfaceId &iid, void **object) override {
    return Query(IsUnknownOrStream(iid), object);
  }
  tjs_uint32 TJS_INTF_METHOD AddRef() override { return Grab(); }
  tjs_uint32 TJS_INTF_METHOD Release() override { STANDIN_SAFE_ENGINE_CALL("IStream.Release"); return Drop(); }
  tjs_hresult TJS_INTF_METHOD Read(void *buffer, tjs_uint32 size, tjs_uint32 *done) override {
    tjs_uint32 got = 0;
    const tjs_hresult hr = ReadBytes(buffer, size, &got);
    if (done) *done = got;
    return hr;
  }
  tjs_hresult TJS_INTF_METHOD Write(const void *, tjs_uint32, tjs_uint32 *done) override {
    if (done) *done = 0;
    return kAccessDenied;
  }
  tjs_hresult TJS_INTF_METHOD Seek(tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position) override {
    tjs_uint64 at = 0;
    const tjs_hresult hr = SeekTo(offset, origin, &at);
    if (position) *position = at;
    return hr;
  }
#endif

 private:
  ~EngineStream() { CountObject(-1); }

#if !defined(_WIN32)
  // IUnknown {00000000-0000-0000-C000-000000000046} and IStream
  // {0000000C-0000-0000-C000-000000000046} differ only in Data1.
  static bool IsUnknownOrStream(const tTVPInterfaceId &iid) {
    static const uint8_t kTail[8] = {0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    return (iid.Data1 == 0 || iid.Data1 == 0x0C) && iid.Data2 == 0 && iid.Data3 == 0 &&
           std::equal(std::begin(kTail), std::end(kTail), std::begin(iid.Data4));
  }
#endif

  tjs_hresult Query(bool known, void **object) {
    if (!object) return kInvalidArgument;
    *object = known ? this : nullptr;
    if (!known) return kNoInterface;
    Grab();
    return kOk;
  }
  tjs_uint32 Grab() { return ++RefCount_; }
  tjs_uint32 Drop() {
    const tjs_uint32 left = --RefCount_;
    if (left == 0) delete this;
    if (RaiseFromNextRelease) {
      RaiseFromNextRelease = false;
      Raise(u"release failed", u"");
    }
    return left;
  }
  tjs_hresult ReadBytes(void *buffer, tjs_uint32 size, tjs_uint32 *done) {
    try {
      *done = Inner_->Read(buffer, size);
    } catch (const EngineError &) {
      return kFail;
    }
    return *done == size ? kOk : kFalse;
  }
  tjs_hresult SeekTo(tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position) {
    try {
      *position = Inner_->Seek(offset, origin);
    } catch (const EngineError &) {
      return kInvalidArgument;
    }
    return kOk;
  }

  BinaryStreamPtr Inner_;
  tjs_uint32 RefCount_ = 1;
};

#if defined(_WIN32) && defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// ----- built-in media --------------------------------------------------------------
// Reference counting shared by the built-in media: deleted at the last Release.
class BuiltInMedia : public iTVPStorageMedia {
 public:
  explicit BuiltInMedia(std::u16string name) : Name_(std::move(name)) {}
  void TJS_INTF_METHOD AddRef() override { ++RefCount_; }
  void TJS_INTF_METHOD Release() override {
    if (--RefCount_ == 0) delete this;
  }
  void TJS_INTF_METHOD GetMediaName(ttstr &name) override { name = Name_.c_str(); }
  void TJS_INTF_METHOD NormalizeDomain(ttstr &) override {}
  void TJS_INTF_METHOD NormalizePath(ttstr &) override {}

 protected:
  // The full storage name of `path` under this media, for messages.
  std::u16string FullName(const ttstr &path) const { return Name_ + kSchemeSeparator + TextOf(path); }
  void RequireReadAccess(const ttstr &path, tjs_uint32 flags) const {
    if (!IsReadAccess(flags)) Raise(u"storage is read-only: ", FullName(path));
  }

 private:
  std::u16string Name_;
  int RefCount_ = 1;
};

class FileMedia : public BuiltInMedia {
 public:
  FileMedia() : BuiltInMedia(U16(kFileMediaName)) {}

  bool TJS_INTF_METHOD StorageExists(const ttstr &name) override {
    std::error_code error;
    return std::filesystem::is_regular_file(LocalPath(name), error);
  }
  tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &name, tjs_uint32 flags) override {
    RequireReadAccess(name, flags);
    std::ifstream file(LocalPath(name), std::ios::binary);
    if (!StorageExists(name) || !file) Raise(u"storage not found: ", FullName(name));
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return new ByteStream(std::move(bytes));
  }
  // Regular files of the folder, by name.
  void TJS_INTF_METHOD ListFolder(const ttstr &name, iTVPStorageLister *lister) override {
    std::vector<std::string> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(LocalPath(name), error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file(error)) entries.push_back(it->path().filename().u8string());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto &entry : entries) lister->AddEntry(ttstr(entry.c_str()));
  }
  void TJS_INTF_METHOD ToLocalName(ttstr &) override {}  // the path is the local name

 private:
  static std::filesystem::path LocalPath(const ttstr &name) { return std::filesystem::u8path(ToUtf8(name)); }
};

// The in-memory storages: path -> bytes, shared with the engine state so
// that tests can put storages while the media is registered.
using MemoryStore = std::map<std::u16string, std::string>;

class MemoryMedia : public BuiltInMedia {
 public:
  explicit MemoryMedia(std::shared_ptr<MemoryStore> store)
      : BuiltInMedia(U16(kMemoryMediaName)), Store_(std::move(store)) {}

  bool TJS_INTF_METHOD StorageExists(const ttstr &name) override { return Store_->count(TextOf(name)) != 0; }
  tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &name, tjs_uint32 flags) override {
    RequireReadAccess(name, flags);
    auto it = Store_->find(TextOf(name));
    if (it == Store_->end()) Raise(u"storage not found: ", FullName(name));
    return new ByteStream(it->second);
  }
  void TJS_INTF_METHOD ListFolder(const ttstr &name, iTVPStorageLister *lister) override {
    const std::u16string &folder = TextOf(name);
    for (const auto &entry : *Store_) {
      const size_t start = FileNameStart(entry.first);
      if (entry.first.compare(0, start, folder) == 0 && start == folder.size())
        lister->AddEntry(ttstr(entry.first.c_str() + start));
    }
  }
  void TJS_INTF_METHOD ToLocalName(ttstr &name) override { name.Clear(); }  // no local files

 private:
  std::shared_ptr<MemoryStore> Store_;
};

// ----- engine state ---------------------------------------------------------------------
struct StorageState : Engine::ModuleState {
  static const char Key;

  StorageState() : Memory(std::make_shared<MemoryStore>()) {
    Adopt(new FileMedia());
    Adopt(new MemoryMedia(Memory));
  }
  ~StorageState() override {
    while (!Media.empty()) {
      iTVPStorageMedia *media = Media.back().second;
      Media.pop_back();
      media->Release();
    }
  }

  // Registers a new built-in media, keeping its creation reference.
  void Adopt(iTVPStorageMedia *media) {
    ttstr name;
    media->GetMediaName(name);
    Media.emplace_back(TextOf(name), media);
  }

  // Registered media with their lower-case names; each holds a reference.
  std::vector<std::pair<std::u16string, iTVPStorageMedia *>> Media;
  std::shared_ptr<MemoryStore> Memory;
  std::function<void(iTVPStorageMedia *, bool)> Observer;
  bool RefuseAdapters = false;
  bool RaiseFromAdapters = false;
  bool RefuseIStreams = false;
};
const char StorageState::Key = 0;

StorageState &Storage() { return Engine::Current().State<StorageState>(); }

iTVPStorageMedia *FindMedia(const std::u16string &lowerName) {
  for (auto &entry : Storage().Media)
    if (entry.first == lowerName) return entry.second;
  return nullptr;
}

// A registered media and the path it is handed, for one request. Holds a
// reference on the media for the duration of the request.
class Request {
 public:
  explicit Request(const std::u16string &fullName) {
    const size_t separator = fullName.find(kSchemeSeparator);
    if (separator == std::u16string::npos || separator == 0) Raise(u"invalid storage name: ", fullName);
    const std::u16string mediaName = LowerAscii(fullName.substr(0, separator));
    Media_ = FindMedia(mediaName);
    if (!Media_) Raise(u"no such storage media: ", mediaName);
    Path_ = fullName.c_str() + separator + kSchemeSeparator.size();
    Media_->NormalizePath(Path_);
    Media_->AddRef();
  }
  ~Request() { Media_->Release(); }
  Request(const Request &) = delete;
  Request &operator=(const Request &) = delete;

  iTVPStorageMedia *Media() const { return Media_; }
  ttstr &Path() { return Path_; }

 private:
  iTVPStorageMedia *Media_ = nullptr;
  ttstr Path_;
};

// Collects folder entries as UTF-8.
class EntryCollector final : public iTVPStorageLister {
 public:
  void TJS_INTF_METHOD AddEntry(const ttstr &name) override { STANDIN_ENGINE_CALL("Lister.AddEntry"); Entries.push_back(ToUtf8(name)); }
  std::vector<std::string> Entries;
};

std::u16string FolderName(std::string_view fullFolder) {
  std::u16string folder = U16(fullFolder);
  const size_t separator = folder.find(kSchemeSeparator);
  const bool isRoot = separator != std::u16string::npos && separator + kSchemeSeparator.size() == folder.size();
  if (!isRoot && !folder.empty() && folder.back() != u'/') folder.push_back(u'/');
  return folder;
}

}  // namespace

// ----- helpers for tests and tools -------------------------------------------------------
std::string FileStorageName(const std::string &localPath) { return std::string(kFileMediaName) + "://" + localPath; }

std::string PutMemoryStorage(std::string_view path, std::string_view bytes) {
  (*Storage().Memory)[U16(path)] = std::string(bytes);
  return std::string(kMemoryMediaName) + "://" + std::string(path);
}

bool StorageExists(std::string_view fullName) {
  Request request(U16(fullName));
  return request.Media()->StorageExists(request.Path());
}

std::string ReadStorage(std::string_view fullName, tjs_uint32 flags) {
  Request request(U16(fullName));
  BinaryStreamPtr stream(request.Media()->OpenStream(request.Path(), flags));
  if (!stream) Raise(u"storage not found: ", U16(fullName));
  return stream->ReadRest();
}

std::vector<std::string> ListStorageFolder(std::string_view fullFolder) {
  Request request(FolderName(fullFolder));
  EntryCollector collector;
  request.Media()->ListFolder(request.Path(), &collector);
  return collector.Entries;
}

std::string LocalNameOf(std::string_view fullName) {
  Request request(U16(fullName));
  request.Media()->ToLocalName(request.Path());
  return ToUtf8(request.Path());
}

iTVPStorageMedia *FindStorageMedia(std::string_view mediaName) { return FindMedia(LowerAscii(U16(mediaName))); }

std::vector<std::string> RegisteredMediaNames() {
  std::vector<std::string> names;
  for (auto &entry : Storage().Media) names.push_back(Utf8(entry.first));
  return names;
}

void ObserveMediaRegistration(std::function<void(iTVPStorageMedia *, bool)> observer) {
  Storage().Observer = std::move(observer);
}

void RefuseBinaryStreamAdapters(bool refuse) { Storage().RefuseAdapters = refuse; }
void RaiseFromNextStreamRelease(bool raise) { RaiseFromNextRelease = raise; }
bool StreamReleaseRaisePending() { return RaiseFromNextRelease; }
void RaiseFromBinaryStreamAdapters(bool raise) { Storage().RaiseFromAdapters = raise; }
void RefuseIStreams(bool refuse) { Storage().RefuseIStreams = refuse; }

}  // namespace standin

using namespace standin;

// ----- tTJSBinaryStream ---------------------------------------------------------------------
tTJSBinaryStream::tTJSBinaryStream() { CountObject(+1); }
tTJSBinaryStream::~tTJSBinaryStream() { CountObject(-1); }

std::string tTJSBinaryStream::ReadRest() {
  std::string bytes;
  char chunk[4096];
  while (const tjs_uint32 count = Read(chunk, sizeof chunk)) bytes.append(chunk, count);
  return bytes;
}

// ----- engine storage functions -------------------------------------------------------------
void TVPRegisterStorageMedia(iTVPStorageMedia *media) {
  if (!media) Raise(u"invalid storage media", u"");
  ttstr name;
  media->GetMediaName(name);
  const std::u16string lowerName = LowerAscii(TextOf(name));
  if (lowerName.empty()) Raise(u"invalid storage media", u"");
  StorageState &state = Storage();
  for (auto &entry : state.Media)
    if (entry.first == lowerName || entry.second == media) Raise(u"storage media already registered: ", lowerName);
  media->AddRef();
  state.Media.emplace_back(lowerName, media);
  if (state.Observer) state.Observer(media, true);
}

// A media that is not registered is left alone.
void TVPUnregisterStorageMedia(iTVPStorageMedia *media) {
  StorageState &state = Storage();
  auto it = std::find_if(state.Media.begin(), state.Media.end(), [&](auto &entry) { return entry.second == media; });
  if (it == state.Media.end()) return;
  state.Media.erase(it);
  if (state.Observer) state.Observer(media, false);
  media->Release();
}

ttstr TVPExtractStorageName(const ttstr &name) {
  const std::u16string &text = TextOf(name);
  return ttstr(text.c_str() + FileNameStart(text));
}

ttstr TVPExtractStoragePath(const ttstr &name) {
  const std::u16string &text = TextOf(name);
  return ttstr(text.c_str(), static_cast<int>(FileNameStart(text)));
}

void TVPGetLocalName(ttstr &name) {
  Request request(TextOf(name));
  request.Media()->ToLocalName(request.Path());
  if (TextOf(request.Path()).empty()) Raise(u"no local file name for storage: ", TextOf(name));
  name = request.Path();
}

IStream *TVPCreateIStream(const ttstr &name, tjs_uint32 flags) {
  Request request(TextOf(name));
  BinaryStreamPtr stream(request.Media()->OpenStream(request.Path(), flags));
  if (!stream || Storage().RefuseIStreams) return nullptr;
  return new EngineStream(std::move(stream));
}

tTJSBinaryStream *TVPCreateBinaryStreamAdapter(IStream *stream) {
  if (Storage().RaiseFromAdapters) Raise(u"stream adapter failed", u"");
  if (!stream || Storage().RefuseAdapters) return nullptr;
  return new StreamAdapter(stream);
}

void TVPDoTryBlock(tTVPTryBlockFunction try_, tTVPCatchBlockFunction catch_, tTVPFinallyBlockFunction finally_,
                   void *data) {
  try {
    try {
      if (try_) try_(data);
    } catch (const EngineError &error) {
      const tTVPExceptionDesc desc{error.Message().c_str()};
      if (!catch_ || catch_(data, desc)) throw;
      NoteEngineCaughtError(error.Message());  // the catch step ended it: it reached its handler
    }
  } catch (...) {
    if (finally_) finally_(data);
    throw;
  }
  if (finally_) finally_(data);
}

// ----- exported forms ---------------------------------------------------------------------------
namespace {

#define EX static TJS_ENGINE_CALL

EX void F_RegisterStorageMedia(iTVPStorageMedia *m) { STANDIN_ENGINE_CALL("F_RegisterStorageMedia"); TVPRegisterStorageMedia(m); }
EX void F_UnregisterStorageMedia(iTVPStorageMedia *m) { STANDIN_ENGINE_CALL("F_UnregisterStorageMedia"); TVPUnregisterStorageMedia(m); }
EX void F_ExtractStorageName(ttstr *out, const ttstr &n) { STANDIN_ENGINE_CALL("F_ExtractStorageName"); new (out) ttstr(TVPExtractStorageName(n)); }
EX void F_ExtractStoragePath(ttstr *out, const ttstr &n) { STANDIN_ENGINE_CALL("F_ExtractStoragePath"); new (out) ttstr(TVPExtractStoragePath(n)); }
EX void F_GetLocalName(ttstr &n) { STANDIN_ENGINE_CALL("F_GetLocalName"); TVPGetLocalName(n); }
EX IStream *F_CreateIStream(const ttstr &n, tjs_uint32 f) { STANDIN_ENGINE_CALL("F_CreateIStream"); return TVPCreateIStream(n, f); }
EX tTJSBinaryStream *F_CreateBinaryStreamAdapter(IStream *s) { STANDIN_ENGINE_CALL("F_CreateBinaryStreamAdapter"); return TVPCreateBinaryStreamAdapter(s); }
EX void F_DoTryBlock(tTVPTryBlockFunction t, tTVPCatchBlockFunction c, tTVPFinallyBlockFunction f, void *d) {
  STANDIN_ENGINE_CALL("F_DoTryBlock");
  TVPDoTryBlock(t, c, f, d);
}

#undef EX

}  // namespace

namespace standin {

void RegisterStorageFunctions(Exporter &x) {
  x.Add("void ::TVPRegisterStorageMedia(iTVPStorageMedia *)", &F_RegisterStorageMedia);
  x.Add("void ::TVPUnregisterStorageMedia(iTVPStorageMedia *)", &F_UnregisterStorageMedia);
  x.Add("ttstr ::TVPExtractStorageName(const ttstr &)", &F_ExtractStorageName);
  x.Add("ttstr ::TVPExtractStoragePath(const ttstr &)", &F_ExtractStoragePath);
  x.Add("void ::TVPGetLocalName(ttstr &)", &F_GetLocalName);
  x.Add("IStream * ::TVPCreateIStream(const ttstr &,tjs_uint32)", &F_CreateIStream);
  x.Add("tTJSBinaryStream * ::TVPCreateBinaryStreamAdapter(IStream *)", &F_CreateBinaryStreamAdapter);
  x.Add("void ::TVPDoTryBlock(tTVPTryBlockFunction,tTVPCatchBlockFunction,tTVPFinallyBlockFunction,void *)",
        &F_DoTryBlock);
}

}  // namespace standin
