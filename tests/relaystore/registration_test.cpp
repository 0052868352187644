// relaystore's link and unlink steps: the global "ProxyStorageMap", the
// "proxy" media, their order and their lives; and the whole road a script
// takes through them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relaystore_fixture.h"

namespace {

using relaystore_test::kMapName;
using relaystore_test::RelayStoreTest;
using relaystore_test::TempFolder;
using testing_support::EngineErrorOf;

constexpr const char *kDictionarySignature = "iTJSDispatch2 * ::TJSCreateDictionaryObject(iTJSDispatch2 * *)";
constexpr const char *kPublishSignature = "bool ::TVPRegisterGlobalObject(const tjs_char *,iTJSDispatch2 *)";

// Stand-ins for engine functions, installed in the exporter by single tests.
iTJSDispatch2 *TJS_ENGINE_CALL NoDictionary(iTJSDispatch2 **) { return nullptr; }
bool TJS_ENGINE_CALL RaisingPublish(const tjs_char *, iTJSDispatch2 *) {
  TVPThrowExceptionMessage(u"global object refused");
}

class Registration : public RelayStoreTest {
 protected:
  ~Registration() override { standin::ObserveMediaRegistration(nullptr); }
};

TEST_F(Registration, LinkPublishesAnEmptyMapAndRegistersTheProxyMedia) {
  EXPECT_EQ(Map(), nullptr);
  EXPECT_EQ(Proxy(), nullptr);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  ASSERT_NE(Map(), nullptr);
  EXPECT_TRUE(Map()->Members().empty());
  EXPECT_EQ(Map()->CheckInstanceOf(0, nullptr, nullptr, u"Dictionary", Map()), TJS_S_TRUE);
  ASSERT_NE(Proxy(), nullptr);
  ttstr name;
  Proxy()->GetMediaName(name);
  EXPECT_EQ(standin::ToUtf8(name), "proxy");
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
  EXPECT_EQ(Proxy(), nullptr);
}

TEST_F(Registration, TheMapIsPublishedBeforeTheMediaComesAndRemovedAfterItGoes) {
  std::vector<std::string> events;
  standin::ObserveMediaRegistration([&](iTVPStorageMedia *, bool registered) {
    events.push_back(std::string(registered ? "registered" : "withdrawn") + (Map() ? " with map" : " without map"));
  });
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  ASSERT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(events, (std::vector<std::string>{"registered with map", "withdrawn with map"}));
  EXPECT_EQ(Map(), nullptr);
}

TEST_F(Registration, ASecondLinkIsRefusedAndChangesNothing) {
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  Assign(u"kept.txt", "mem://kept");
  standin::ScriptObject *map = Map();
  iTVPStorageMedia *media = Proxy();
  EXPECT_EQ(Link(), TJS_HR_E_FAIL);
  EXPECT_EQ(Map(), map);
  EXPECT_EQ(Proxy(), media);
  EXPECT_TRUE(standin::StorageExists("proxy://kept.txt"));
  EXPECT_EQ(standin::RegisteredMediaNames(), (std::vector<std::string>{"file", "mem", "proxy"}));
}

TEST_F(Registration, RelinkingBuildsAFreshEmptyMap) {
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  Assign(u"old.txt", "mem://old");
  ASSERT_EQ(Unlink(), TJS_HR_S_OK);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  ASSERT_NE(Map(), nullptr);
  EXPECT_TRUE(Map()->Members().empty());
  EXPECT_FALSE(standin::StorageExists("proxy://old.txt"));
}

TEST_F(Registration, UnlinkWithoutALinkSucceeds) {
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
}

// Left open by the engine's contract: no dictionary from the engine. The
// media could never find anything, so the link is refused and nothing stays.
TEST_F(Registration, NoDictionaryFromTheEngineRefusesTheLink) {
  auto &exporter = E().GetExporter();
  exporter.Add(kDictionarySignature, reinterpret_cast<void *>(&NoDictionary));
  const standin::LiveCounts before = standin::Live();
  EXPECT_EQ(Link(), TJS_HR_E_FAIL);
  ASSERT_EQ(exporter.LookUps(kDictionarySignature), 1) << "the plug-in asked this engine for a dictionary";
  EXPECT_EQ(Map(), nullptr);
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(standin::Live(), before);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
}

TEST_F(Registration, AnEngineErrorWhileBuildingTheMediaLeavesNothingBehind) {
  E().GetExporter().Add(kPublishSignature, reinterpret_cast<void *>(&RaisingPublish));
  const standin::LiveCounts before = standin::Live();
  EXPECT_EQ(EngineErrorOf([&] { Link(); }), "global object refused");
  EXPECT_EQ(standin::Live(), before) << "the dictionary and the partly built media are gone";
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK) << "nothing was linked";
}

TEST_F(Registration, ARefusedGlobalNameLeavesAWorkingMediaWithAnUnreachableMap) {
  Global()->RefuseSetMember = [](std::u16string_view name) { return name == kMapName; };
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
  ASSERT_NE(Proxy(), nullptr);
  EXPECT_FALSE(standin::StorageExists("proxy://any.txt"));
  EXPECT_TRUE(standin::ListStorageFolder("proxy://").empty());
  Global()->RefuseSetMember = nullptr;
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
}

TEST_F(Registration, ReplacingTheGlobalMapRedirectsNothing) {
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  tTJSVariant original(Global()->Find(kMapName)->Value);  // a script keeps the old map
  iTJSDispatch2 *replacement = TJSCreateDictionaryObject(nullptr);
  TVPRegisterGlobalObject(kMapName, replacement);
  replacement->Release();
  Assign(u"new.txt", standin::PutMemoryStorage("new.txt", "new"));
  EXPECT_FALSE(standin::StorageExists("proxy://new.txt")) << "the replacement is never consulted";
  const tTJSVariant target = standin::VariantOf(standin::PutMemoryStorage("old.txt", "old"));
  iTJSDispatch2 *kept = original.AsObjectNoAddRef();
  ASSERT_GE(kept->SetMember(TJS_MEMBERENSURE, u"old.txt", nullptr, &target, kept), 0);
  EXPECT_EQ(standin::ReadStorage("proxy://old.txt"), "old") << "the media keeps the map it made";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
}

TEST_F(Registration, AMediaTheEngineStillHoldsKeepsItsMapUntilTheLastRelease) {
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  Assign(u"held.txt", standin::PutMemoryStorage("held.txt", "held"));
  iTVPStorageMedia *media = Proxy();
  media->AddRef();  // the engine keeps a reference of its own
  ASSERT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Proxy(), nullptr) << "the media is withdrawn at once";
  ASSERT_NE(Map(), nullptr) << "the map lives as long as the media";
  EXPECT_TRUE(media->StorageExists(ttstr(u"HELD.txt")));
  media->Release();
  EXPECT_EQ(Map(), nullptr);
}

TEST_F(Registration, AnEngineErrorWhileRegisteringUndoesTheLink) {
  class Squatter final : public iTVPStorageMedia {  // another media already named "proxy"
   public:
    void TJS_INTF_METHOD AddRef() override {}
    void TJS_INTF_METHOD Release() override {}
    void TJS_INTF_METHOD GetMediaName(ttstr &name) override { name = "Proxy"; }
    void TJS_INTF_METHOD NormalizeDomain(ttstr &) override {}
    void TJS_INTF_METHOD NormalizePath(ttstr &) override {}
    bool TJS_INTF_METHOD StorageExists(const ttstr &) override { return false; }
    tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &, tjs_uint32) override { return nullptr; }
    void TJS_INTF_METHOD ListFolder(const ttstr &, iTVPStorageLister *) override {}
    void TJS_INTF_METHOD ToLocalName(ttstr &) override {}
  } squatter;
  TVPRegisterStorageMedia(&squatter);
  EXPECT_EQ(EngineErrorOf([&] { Link(); }), "storage media already registered: proxy");
  EXPECT_EQ(Map(), nullptr) << "the map went with the refused media";
  TVPUnregisterStorageMedia(&squatter);
  ASSERT_EQ(Link(), TJS_HR_S_OK) << "a later link starts afresh";
  EXPECT_NE(Proxy(), &squatter);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
}

TEST_F(Registration, AnOldMediaGoingAfterARelinkLeavesTheNewMapItsName) {
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  iTVPStorageMedia *old = Proxy();
  old->AddRef();  // the engine keeps the old media beyond the unlink
  ASSERT_EQ(Unlink(), TJS_HR_S_OK);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  standin::ScriptObject *fresh = Map();
  ASSERT_NE(fresh, nullptr);
  Assign(u"kept.txt", standin::PutMemoryStorage("kept.txt", "kept"));
  old->Release();  // the old media goes now
  EXPECT_EQ(Map(), fresh) << "the global name still refers to the new map";
  EXPECT_EQ(standin::ReadStorage("proxy://kept.txt"), "kept");
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr) << "the new media withdraws its own map's name";
}

// ----- engine errors at unlink --------------------------------------------------
// Each engine function relaystore reaches at unlink, withheld by the engine
// or raising: the error reaches the engine's call (V2Link or V2Unlink), the
// process goes on, nothing leaks, and the plug-in links and unlinks cleanly
// afterwards.
constexpr const char *kUnregisterSignature = "void ::TVPUnregisterStorageMedia(iTVPStorageMedia *)";
constexpr const char *kRemoveSignature = "bool ::TVPRemoveGlobalObject(const tjs_char *)";
constexpr const char *kVariantDtorSignature = "tTJSVariant::~ tTJSVariant()";
constexpr const char *kStringDtorSignature = "tTJSString::~ tTJSString()";

bool g_raiseOnce = false;  // the next call of an armed function raises
bool TakeRaise() {
  const bool raise = g_raiseOnce;
  g_raiseOnce = false;
  return raise;
}
// The engine refuses before doing anything.
void TJS_ENGINE_CALL RaisingUnregister(iTVPStorageMedia *media) {
  if (TakeRaise()) TVPThrowExceptionMessage(u"unregister failed");
  TVPUnregisterStorageMedia(media);
}
bool TJS_ENGINE_CALL RaisingRemove(const tjs_char *name) {
  if (TakeRaise()) TVPThrowExceptionMessage(u"remove failed");
  return TVPRemoveGlobalObject(name);
}
// The engine destroys the value, then raises.
void TJS_ENGINE_CALL RaisingVariantDtor(tTJSVariant *value) {
  value->~tTJSVariant();
  if (TakeRaise()) TVPThrowExceptionMessage(u"variant destructor failed");
}

// A stream standing for the engine's own, whose Release raises once, armed,
// after releasing.
bool g_streamReleaseRaises = false;
class RaisingReleaseStream final : public IStream {
 public:
  explicit RaisingReleaseStream(IStream *inner) : Inner(inner) {}
  tjs_hresult TJS_INTF_METHOD QueryInterface(const tTVPInterfaceId &iid, void **object) override {
    return Inner->QueryInterface(iid, object);
  }
  tjs_uint32 TJS_INTF_METHOD AddRef() override { return ++References; }
  tjs_uint32 TJS_INTF_METHOD Release() override {
    const tjs_uint32 left = --References;
    if (left == 0) {
      Inner->Release();
      delete this;
    }
    if (g_streamReleaseRaises) {
      g_streamReleaseRaises = false;
      TVPThrowExceptionMessage(u"release failed");
    }
    return left;
  }
  tjs_hresult TJS_INTF_METHOD Read(void *buffer, tjs_uint32 size, tjs_uint32 *done) override {
    return Inner->Read(buffer, size, done);
  }
  tjs_hresult TJS_INTF_METHOD Write(const void *buffer, tjs_uint32 size, tjs_uint32 *done) override {
    return Inner->Write(buffer, size, done);
  }
  tjs_hresult TJS_INTF_METHOD Seek(tjs_int64 offset, tjs_uint32 origin, tjs_uint64 *position) override {
    return Inner->Seek(offset, origin, position);
  }

 private:
  ~RaisingReleaseStream() = default;
  IStream *Inner;
  tjs_uint32 References = 1;
};
IStream *TJS_ENGINE_CALL RaisingReleaseIStream(const ttstr &name, tjs_uint32 flags) {
  IStream *inner = TVPCreateIStream(name, flags);
  return inner ? new RaisingReleaseStream(inner) : nullptr;
}

// Opening drops the plug-in's reference to the engine's stream from a
// scoped holder's destructor: an engine error there cannot leave it. The
// open completes; the error reaches the engine at the next V2Unlink, which
// it refuses with nothing touched; the one after succeeds.
TEST_F(Registration, AnEngineErrorFromAReleaseInADestructorReachesTheNextUnlink) {
  E().GetExporter().Add("IStream * ::TVPCreateIStream(const ttstr &,tjs_uint32)", &RaisingReleaseIStream);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  Assign(u"a.txt", standin::PutMemoryStorage("a.txt", "bytes"));
  g_streamReleaseRaises = true;
  EXPECT_EQ(standin::ReadStorage("proxy://a.txt"), "bytes");
  EXPECT_FALSE(g_streamReleaseRaises) << "the plug-in dropped its reference";
  EXPECT_EQ(EngineErrorOf([&] { Unlink(); }), "release failed");
  EXPECT_NE(Proxy(), nullptr) << "that unlink touched nothing";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Proxy(), nullptr);
}

class UnlinkErrors : public Registration, public ::testing::WithParamInterface<const char *> {};

TEST_P(UnlinkErrors, AWithheldFunctionRefusesTheLinkWithNothingBehind) {
  const std::string signature = GetParam();
  const standin::LiveCounts before = standin::Live();
  E().GetExporter().Withhold(signature);
  EXPECT_EQ(EngineErrorOf([&] { Link(); }), "Plug-in function not bound: " + signature);
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(Map(), nullptr);
  EXPECT_EQ(standin::Live(), before);
  E().GetExporter().Withhold(signature, false);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Functions, UnlinkErrors,
                         ::testing::Values(kUnregisterSignature, kRemoveSignature, kVariantDtorSignature,
                                           kStringDtorSignature),
                         [](const ::testing::TestParamInfo<const char *> &function) {
                           return std::to_string(function.index);
                         });

TEST_F(Registration, RaisingFromWithdrawingTheMediaLeavesThePluginLinkedAsItWas) {
  E().GetExporter().Add(kUnregisterSignature, &RaisingUnregister);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  g_raiseOnce = true;
  EXPECT_EQ(EngineErrorOf([&] { Unlink(); }), "unregister failed");
  ASSERT_NE(Proxy(), nullptr) << "still registered";
  ASSERT_NE(Map(), nullptr);
  Assign(u"still.txt", standin::PutMemoryStorage("still.txt", "still"));
  EXPECT_EQ(standin::ReadStorage("proxy://still.txt"), "still");
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(Map(), nullptr);
}

TEST_F(Registration, RaisingFromWithdrawingTheMapNameReachesTheUnlinkWithTheMediaGone) {
  E().GetExporter().Add(kRemoveSignature, &RaisingRemove);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  g_raiseOnce = true;
  EXPECT_EQ(EngineErrorOf([&] { Unlink(); }), "remove failed");
  EXPECT_EQ(Proxy(), nullptr) << "the media was withdrawn and freed";
  EXPECT_NE(Map(), nullptr) << "the engine kept the name it failed to remove";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK) << "nothing linked any more";
  ASSERT_EQ(Link(), TJS_HR_S_OK) << "a new link publishes a fresh map under the name";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
}

TEST_F(Registration, RaisingFromDestroyingTheMapReachesTheUnlink) {
  E().GetExporter().Add(kVariantDtorSignature, &RaisingVariantDtor);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  g_raiseOnce = true;
  EXPECT_EQ(EngineErrorOf([&] { Unlink(); }), "variant destructor failed");
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(Map(), nullptr) << "name withdrawn and map destroyed before the error went on";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
  ASSERT_EQ(Link(), TJS_HR_S_OK);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK);
}

// The whole road: link, a script fills the map, the engine opens, lists and
// localises through proxy://, unlink, and every engine object is gone.
TEST_F(Registration, EndToEnd) {
  TempFolder folder;
  const std::string title = folder.Write("audio/title.ogg", "OggS title music");
  const std::string jingle = standin::PutMemoryStorage("sound/jingle.ogg", "jingle");
  const standin::LiveCounts beforeLink = standin::Live();

  ASSERT_EQ(Link(), TJS_HR_S_OK);
  Assign(u"bgm/title.ogg", title);
  Assign(u"bgm/jingle.ogg", jingle);
  Assign(u"bgm/title-again.ogg", "proxy://bgm/title.ogg");

  EXPECT_TRUE(standin::StorageExists("proxy://BGM/Title.ogg"));
  EXPECT_EQ(standin::ReadStorage("proxy://BGM/Title.ogg"), "OggS title music");
  EXPECT_EQ(standin::ReadStorage("proxy://bgm/title-again.ogg"), "OggS title music");
  EXPECT_EQ(standin::ReadStorage("proxy://bgm/jingle.ogg"), "jingle");
  EXPECT_EQ(standin::ListStorageFolder("proxy://bgm/"),
            (std::vector<std::string>{"title.ogg", "jingle.ogg", "title-again.ogg"}));
  EXPECT_EQ(standin::LocalNameOf("proxy://bgm/title.ogg"), folder.LocalPath("audio/title.ogg"));
  EXPECT_EQ(standin::LocalNameOf("proxy://bgm/jingle.ogg"), "");
  IStream *stream = TVPCreateIStream(ttstr(u"proxy://bgm/title.ogg"), TJS_BS_READ);
  ASSERT_NE(stream, nullptr);
  char head[4] = {};
  tjs_uint32 read = 0;
  EXPECT_EQ(standin::ReadFromStream(stream, head, sizeof head, &read), 0);
  EXPECT_EQ(std::string(head, read), "OggS");
  stream->Release();

  ASSERT_EQ(Unlink(), TJS_HR_S_OK);
  EXPECT_EQ(Map(), nullptr);
  EXPECT_EQ(Proxy(), nullptr);
  EXPECT_EQ(standin::Live(), beforeLink) << "every engine object and string the plug-in took is released";
}

}  // namespace
