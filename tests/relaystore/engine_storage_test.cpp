// The stand-in engine's storage system that relaystore relies on: name
// splitting, the built-in media, streams, the media registry and the
// try/catch/finally block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relaystore_fixture.h"

namespace {

using relaystore_test::TempFolder;
using testing_support::EngineErrorOf;

class EngineStorage : public testing_support::EngineTest {};

TEST_F(EngineStorage, NamesSplitAtTheLastSlash) {
  const struct {
    const char16_t *name, *path, *file;
  } cases[] = {
      {u"bgm/title.ogg", u"bgm/", u"title.ogg"},
      {u"title.ogg", u"", u"title.ogg"},
      {u"a/b/c/", u"a/b/c/", u""},
      {u"proxy://bgm/Title.OGG", u"proxy://bgm/", u"Title.OGG"},
      {u"proxy://title.ogg", u"proxy://", u"title.ogg"},
      {u"", u"", u""},
  };
  for (const auto &c : cases) {
    const ttstr name(c.name);
    EXPECT_TRUE(TVPExtractStoragePath(name) == ttstr(c.path)) << standin::Utf8(c.name);
    EXPECT_TRUE(TVPExtractStorageName(name) == ttstr(c.file)) << standin::Utf8(c.name);
  }
}

TEST_F(EngineStorage, TheBuiltInMediaServeLocalFilesAndMemory) {
  TempFolder folder;
  const std::string b = folder.Write("dir/b.txt", "bee");
  folder.Write("dir/a.txt", "ay");
  folder.Write("dir/sub/c.txt", "sea");
  const std::string dir = standin::FileStorageName(folder.LocalPath("dir"));
  EXPECT_TRUE(standin::StorageExists(b));
  EXPECT_TRUE(standin::StorageExists("FILE://" + folder.LocalPath("dir/b.txt"))) << "media names ignore case";
  EXPECT_FALSE(standin::StorageExists(dir)) << "a folder is no storage";
  EXPECT_EQ(standin::ReadStorage(b), "bee");
  EXPECT_EQ(standin::ListStorageFolder(dir), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(standin::LocalNameOf(b), folder.LocalPath("dir/b.txt"));

  const std::string m = standin::PutMemoryStorage("pack/Voice.bin", "voice");
  standin::PutMemoryStorage("pack/inner/x.bin", "x");
  EXPECT_EQ(m, "mem://pack/Voice.bin");
  EXPECT_TRUE(standin::StorageExists(m));
  EXPECT_FALSE(standin::StorageExists("mem://pack/voice.bin")) << "memory paths are exact";
  EXPECT_EQ(standin::ReadStorage(m), "voice");
  EXPECT_EQ(standin::ListStorageFolder("mem://pack"), (std::vector<std::string>{"Voice.bin"}));
  EXPECT_EQ(standin::LocalNameOf(m), "");

  ttstr local(b.c_str());
  TVPGetLocalName(local);
  EXPECT_EQ(standin::ToUtf8(local), folder.LocalPath("dir/b.txt"));
}

TEST_F(EngineStorage, RequestsTheEngineCannotServeRaise) {
  const std::string m = standin::PutMemoryStorage("a.bin", "a");
  const struct {
    std::function<void()> request;
    std::string error;
  } cases[] = {
      {[] { standin::ReadStorage("no-separator"); }, "invalid storage name: no-separator"},
      {[] { standin::ReadStorage("://x"); }, "invalid storage name: ://x"},
      {[] { standin::StorageExists("Nosuch://x"); }, "no such storage media: nosuch"},
      {[] { standin::ReadStorage("mem://b.bin"); }, "storage not found: mem://b.bin"},
      {[] { standin::ReadStorage("file:///nonexistent/at/all"); }, "storage not found: file:///nonexistent/at/all"},
      {[&] { standin::ReadStorage(m, TJS_BS_UPDATE); }, "storage is read-only: mem://a.bin"},
      {[&] {
         ttstr name(m.c_str());
         TVPGetLocalName(name);
       },
       "no local file name for storage: mem://a.bin"},
      {[] { TVPCreateIStream(ttstr(u"mem://b.bin"), TJS_BS_READ); }, "storage not found: mem://b.bin"},
  };
  for (const auto &c : cases) EXPECT_EQ(EngineErrorOf(c.request), c.error);
}

TEST_F(EngineStorage, StreamsAreCountedAndTheAdapterKeepsItsOwnReference) {
  const standin::LiveCounts before = standin::Live();
  IStream *stream = TVPCreateIStream(ttstr(standin::PutMemoryStorage("s.bin", "0123456789").c_str()), TJS_BS_READ);
  ASSERT_NE(stream, nullptr);
  EXPECT_GT(standin::Live().Objects, before.Objects);
  EXPECT_EQ(stream->AddRef(), 2u);
  EXPECT_EQ(stream->Release(), 1u);

  void *same = nullptr;
  const tTVPInterfaceId streamId = {0x0C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(stream->QueryInterface(streamId, &same), 0);
  EXPECT_EQ(same, stream);
  stream->Release();
  void *other = &same;
  const tTVPInterfaceId otherId = {0x0D, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_LT(stream->QueryInterface(otherId, &other), 0);
  EXPECT_EQ(other, nullptr);

  tjs_uint64 at = 0;
  EXPECT_EQ(standin::SeekStream(stream, 2, 0, &at), 0);
  EXPECT_EQ(at, 2u);
  char bytes[4];
  tjs_uint32 read = 0;
  EXPECT_EQ(standin::ReadFromStream(stream, bytes, 4, &read), 0);
  EXPECT_EQ(std::string(bytes, read), "2345");
  EXPECT_LT(standin::SeekStream(stream, -1, 0, &at), 0) << "before the start";
  EXPECT_LT(stream->Write("x", 1, nullptr), 0) << "read-only";

  standin::BinaryStreamPtr adapter(TVPCreateBinaryStreamAdapter(stream));
  ASSERT_NE(adapter, nullptr);
  stream->Release();  // the adapter's own reference keeps the stream
  EXPECT_EQ(adapter->ReadRest(), "6789");
  EXPECT_EQ(adapter->Seek(-3, 2), 7u);
  EXPECT_EQ(adapter->ReadRest(), "789");
  EXPECT_EQ(adapter->Seek(1, 1), 11u);
  EXPECT_EQ(adapter->ReadRest(), "") << "past the end reads nothing";
  EXPECT_NE(EngineErrorOf([&] { adapter->Seek(-20, 1); }), "");
  adapter.reset();
  EXPECT_EQ(standin::Live(), before);
  EXPECT_EQ(TVPCreateBinaryStreamAdapter(nullptr), nullptr);
}

TEST_F(EngineStorage, TheRegistryHoldsEachMediaOnceUnderOneName) {
  class Counted final : public iTVPStorageMedia {
   public:
    explicit Counted(const char *name) : Name(name) {}
    void TJS_INTF_METHOD AddRef() override { ++References; }
    void TJS_INTF_METHOD Release() override { --References; }
    void TJS_INTF_METHOD GetMediaName(ttstr &name) override { name = Name; }
    void TJS_INTF_METHOD NormalizeDomain(ttstr &) override {}
    void TJS_INTF_METHOD NormalizePath(ttstr &name) override { name = "normalized"; }
    bool TJS_INTF_METHOD StorageExists(const ttstr &name) override { return standin::ToUtf8(name) == "normalized"; }
    tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &, tjs_uint32) override { return nullptr; }
    void TJS_INTF_METHOD ListFolder(const ttstr &, iTVPStorageLister *) override {}
    void TJS_INTF_METHOD ToLocalName(ttstr &) override {}
    const char *Name;
    int References = 1;
  } first("Extra"), second("extra");
  std::vector<std::pair<iTVPStorageMedia *, bool>> seen;
  standin::ObserveMediaRegistration([&](iTVPStorageMedia *m, bool registered) { seen.emplace_back(m, registered); });

  TVPRegisterStorageMedia(&first);
  EXPECT_EQ(first.References, 2);
  EXPECT_EQ(standin::FindStorageMedia("EXTRA"), &first);
  EXPECT_TRUE(standin::StorageExists("extra://anything")) << "the media normalises the path it is handed";
  EXPECT_EQ(EngineErrorOf([&] { TVPRegisterStorageMedia(&second); }), "storage media already registered: extra");
  EXPECT_EQ(EngineErrorOf([&] { TVPRegisterStorageMedia(&first); }), "storage media already registered: extra");
  EXPECT_EQ(EngineErrorOf([&] { standin::ReadStorage("extra://x"); }), "storage not found: extra://x");
  TVPUnregisterStorageMedia(&first);
  TVPUnregisterStorageMedia(&first);  // no longer registered: left alone
  EXPECT_EQ(first.References, 1);
  EXPECT_EQ(standin::FindStorageMedia("extra"), nullptr);
  EXPECT_EQ(seen, (std::vector<std::pair<iTVPStorageMedia *, bool>>{{&first, true}, {&first, false}}));
  standin::ObserveMediaRegistration(nullptr);
}

// The steps record what ran into a string; the catch step's answer comes
// from its first character ('y': let the error go on).
struct TryRecord {
  std::string Ran;
  bool Raise = false;
  bool Rethrow = false;
  std::string Caught;
};
void TJS_ENGINE_CALL TryStep(void *data) {
  auto *r = static_cast<TryRecord *>(data);
  r->Ran += "try ";
  if (r->Raise) TVPThrowExceptionMessage(u"step failed");
}
bool TJS_ENGINE_CALL CatchStep(void *data, const tTVPExceptionDesc &error) {
  auto *r = static_cast<TryRecord *>(data);
  r->Ran += "catch ";
  r->Caught = standin::Utf8(error.Message);
  return r->Rethrow;
}
void TJS_ENGINE_CALL FinallyStep(void *data) { static_cast<TryRecord *>(data)->Ran += "finally"; }

TEST_F(EngineStorage, TryBlocksCatchEngineErrorsAndAlwaysRunTheFinallyStep) {
  const struct {
    bool raise, rethrow, withCatch;
    const char *ran;
    const char *escaped;
  } cases[] = {
      {false, false, true, "try finally", ""},
      {true, false, true, "try catch finally", ""},
      {true, true, true, "try catch finally", "step failed"},
      {true, false, false, "try finally", "step failed"},
  };
  for (const auto &c : cases) {
    TryRecord record;
    record.Raise = c.raise;
    record.Rethrow = c.rethrow;
    const std::string escaped =
        EngineErrorOf([&] { TVPDoTryBlock(TryStep, c.withCatch ? CatchStep : nullptr, FinallyStep, &record); });
    EXPECT_EQ(record.Ran, c.ran);
    EXPECT_EQ(escaped, c.escaped);
    EXPECT_EQ(record.Caught, c.raise && c.withCatch ? "step failed" : "");
  }
  TryRecord noFinally;
  noFinally.Raise = true;
  TVPDoTryBlock(TryStep, CatchStep, nullptr, &noFinally);
  EXPECT_EQ(noFinally.Ran, "try catch ");
}

}  // namespace
