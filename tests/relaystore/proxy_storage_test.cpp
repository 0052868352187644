// The "proxy" media through the really loaded relaystore plug-in: name
// lookup, opening, folder listing and local names.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "relaystore_fixture.h"

namespace {

using relaystore_test::RelayStoreTest;
using relaystore_test::TempFolder;
using standin::VariantOf;
using testing_support::EngineErrorOf;
using Entries = std::vector<std::string>;

// Collects the entries the media lists; an optional hook runs on each.
class Lister final : public iTVPStorageLister {
 public:
  void TJS_INTF_METHOD AddEntry(const ttstr &name) override {
    Entries.push_back(standin::ToUtf8(name));
    if (OnEntry) OnEntry();
  }
  std::vector<std::string> Entries;
  std::function<void()> OnEntry;
};

// A media whose streams never open: OpenStream answers null.
class NullStreamMedia final : public iTVPStorageMedia {
 public:
  void TJS_INTF_METHOD AddRef() override { ++References; }
  void TJS_INTF_METHOD Release() override { --References; }
  void TJS_INTF_METHOD GetMediaName(ttstr &name) override { name = "null"; }
  void TJS_INTF_METHOD NormalizeDomain(ttstr &) override {}
  void TJS_INTF_METHOD NormalizePath(ttstr &) override {}
  bool TJS_INTF_METHOD StorageExists(const ttstr &) override { return true; }
  tTJSBinaryStream *TJS_INTF_METHOD OpenStream(const ttstr &, tjs_uint32) override { return nullptr; }
  void TJS_INTF_METHOD ListFolder(const ttstr &, iTVPStorageLister *) override {}
  void TJS_INTF_METHOD ToLocalName(ttstr &) override {}
  int References = 1;
};

class ProxyMedia : public RelayStoreTest {
 protected:
  void SetUp() override { ASSERT_EQ(Link(), TJS_HR_S_OK); }

  std::string OpenError(const std::string &name, tjs_uint32 flags = TJS_BS_READ) {
    return EngineErrorOf([&] { standin::ReadStorage("proxy://" + name, flags); });
  }
  bool Exists(const std::string &name) { return standin::StorageExists("proxy://" + name); }
  std::string LocalName(const std::string &name) { return standin::LocalNameOf("proxy://" + name); }
  Entries List(const std::string &folder) { return standin::ListStorageFolder("proxy://" + folder); }
};

TEST_F(ProxyMedia, NamesItselfProxyAndLeavesNamesAsTheyAre) {
  ttstr name(u"Keep/This.OGG");
  Proxy()->GetMediaName(name);
  EXPECT_EQ(standin::ToUtf8(name), "proxy");
  ttstr domain(u"Some/Domain"), path(u"Some/Path.OGG");
  Proxy()->NormalizeDomain(domain);
  Proxy()->NormalizePath(path);
  EXPECT_EQ(standin::ToUtf8(domain), "Some/Domain");
  EXPECT_EQ(standin::ToUtf8(path), "Some/Path.OGG");
}

TEST_F(ProxyMedia, NamesInAnyCaseFindTheLowerCaseKey) {
  Assign(u"bgm/title.ogg", standin::PutMemoryStorage("music/title-theme.ogg", "theme bytes"));
  for (const char *name : {"bgm/title.ogg", "BGM/Title.ogg", "Bgm/TITLE.OGG"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(Exists(name));
    EXPECT_EQ(standin::ReadStorage(std::string("proxy://") + name), "theme bytes");
  }
}

TEST_F(ProxyMedia, KeysWithUpperCaseLettersAreNeverFound) {
  Assign(u"BGM/title.ogg", standin::PutMemoryStorage("title.ogg", "bytes"));
  for (const char *name : {"BGM/title.ogg", "bgm/title.ogg"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Exists(name));
    EXPECT_EQ(OpenError(name), std::string("cannot open proxyfile:") + name);
    EXPECT_EQ(LocalName(name), "");
  }
}

TEST_F(ProxyMedia, NonStringValuesCountAsAbsentButAreStillListed) {
  iTJSDispatch2 *object = TJSCreateDictionaryObject(nullptr);
  const std::pair<const char16_t *, tTJSVariant> cases[] = {
      {u"odd/five.ogg", VariantOf(tTVInteger{5})},
      {u"odd/real.ogg", VariantOf(2.5)},
      {u"odd/object.ogg", tTJSVariant(object)},
      {u"odd/void.ogg", tTJSVariant()},
  };
  object->Release();
  for (const auto &c : cases) Assign(c.first, c.second);
  for (const auto &c : cases) {
    const std::string name = standin::Utf8(c.first);
    SCOPED_TRACE(name);
    EXPECT_FALSE(Exists(name));
    EXPECT_EQ(OpenError("Odd/" + name.substr(4)), "cannot open proxyfile:Odd/" + name.substr(4));
    EXPECT_EQ(LocalName(name), "");
  }
  EXPECT_EQ(List("odd/"), (Entries{"five.ogg", "real.ogg", "object.ogg", "void.ogg"}));
}

TEST_F(ProxyMedia, AMissingKeyRaisesWithTheNameAsTheCallerSpeltIt) {
  EXPECT_FALSE(Exists("Missing/File.OGG"));
  EXPECT_EQ(OpenError("Missing/File.OGG"), "cannot open proxyfile:Missing/File.OGG");
  // Straight to the media, as the engine calls it.
  EXPECT_EQ(EngineErrorOf([&] { Proxy()->OpenStream(ttstr(u"Missing/File.OGG"), TJS_BS_READ); }),
            "cannot open proxyfile:Missing/File.OGG");
}

TEST_F(ProxyMedia, TheEnginesOwnErrorsFromTheTargetPassThrough) {
  const std::string present = standin::PutMemoryStorage("present.bin", "x");
  struct Case {
    const char *target;
    tjs_uint32 flags;
    std::string error;
  } cases[] = {
      {"mem://absent.bin", TJS_BS_READ, "storage not found: mem://absent.bin"},
      {"nosuch://x.bin", TJS_BS_READ, "no such storage media: nosuch"},
      {"no media here", TJS_BS_READ, "invalid storage name: no media here"},
      // the flags reach the target's media unchanged
      {present.c_str(), TJS_BS_WRITE, "storage is read-only: " + present},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.target);
    Assign(u"t/target.bin", std::string(c.target));
    EXPECT_EQ(OpenError("t/target.bin", c.flags), c.error);
  }
}

TEST_F(ProxyMedia, NoStreamOrNoAdapterFromTheEngineRaisesCannotOpen) {
  NullStreamMedia nullMedia;
  TVPRegisterStorageMedia(&nullMedia);
  Assign(u"a/nothing.bin", "null://anything");
  EXPECT_EQ(OpenError("A/Nothing.bin"), "cannot open proxyfile:A/Nothing.bin");
  TVPUnregisterStorageMedia(&nullMedia);
  EXPECT_EQ(nullMedia.References, 1) << "the request's references on the media were returned";

  Assign(u"a/refused.bin", standin::PutMemoryStorage("refused.bin", "bytes"));
  standin::RefuseBinaryStreamAdapters(true);
  const standin::LiveCounts before = standin::Live();
  EXPECT_EQ(OpenError("a/refused.bin"), "cannot open proxyfile:a/refused.bin");
  EXPECT_EQ(standin::Live(), before) << "the IStream was released although no adapter came back";
  standin::RefuseBinaryStreamAdapters(false);
  EXPECT_EQ(standin::ReadStorage("proxy://a/refused.bin"), "bytes");
}

TEST_F(ProxyMedia, TheOpenedStreamReadsTheTargetAndAloneKeepsItsSource) {
  const std::string blob("\0\x01\xff tail", 8);
  Assign(u"data/blob.bin", standin::PutMemoryStorage("blob.bin", blob));
  const standin::LiveCounts before = standin::Live();
  standin::BinaryStreamPtr stream(Proxy()->OpenStream(ttstr(u"data/blob.bin"), TJS_BS_READ));
  ASSERT_NE(stream, nullptr);
  EXPECT_GT(standin::Live().Objects, before.Objects);
  EXPECT_EQ(stream->ReadRest(), blob);
  EXPECT_EQ(stream->Seek(-4, 2), 4u);
  EXPECT_EQ(stream->ReadRest(), "tail");
  stream.reset();
  EXPECT_EQ(standin::Live(), before) << "the plug-in kept no reference to the IStream";
}

TEST_F(ProxyMedia, EntriesAreReadAfreshOnEveryRequest) {
  EXPECT_NE(OpenError("late/entry.txt"), "");
  Assign(u"late/entry.txt", standin::PutMemoryStorage("first.txt", "first"));
  EXPECT_EQ(standin::ReadStorage("proxy://late/entry.txt"), "first") << "a member added after a failed open";
  Assign(u"late/entry.txt", standin::PutMemoryStorage("second.txt", "second"));
  EXPECT_EQ(standin::ReadStorage("proxy://late/entry.txt"), "second");
  ASSERT_TRUE(Map()->Erase(u"late/entry.txt"));
  EXPECT_FALSE(Exists("late/entry.txt"));
}

TEST_F(ProxyMedia, ATargetMayBeAnotherProxyName) {
  Assign(u"outer.txt", "proxy://inner/real.txt");
  Assign(u"inner/real.txt", standin::PutMemoryStorage("real.txt", "real"));
  EXPECT_EQ(standin::ReadStorage("proxy://Outer.txt"), "real");
}

TEST_F(ProxyMedia, LocalNamesComeFromTheTargetOrAreEmpty) {
  TempFolder folder;
  const std::string file = folder.Write("local.txt", "on disk");
  Assign(u"l/file.txt", file);
  Assign(u"l/memory.txt", standin::PutMemoryStorage("memory.txt", "in memory"));
  Assign(u"l/chain.txt", "proxy://l/file.txt");
  Assign(u"l/broken.txt", "nosuch://x");
  Assign(u"l/number.txt", VariantOf(tTVInteger{7}));
  const std::pair<const char *, std::string> cases[] = {
      {"L/File.txt", folder.LocalPath("local.txt")},
      {"l/chain.txt", folder.LocalPath("local.txt")},
      {"l/memory.txt", ""},  // the engine raises for it; the media answers ""
      {"l/broken.txt", ""},
      {"l/number.txt", ""},
      {"l/missing.txt", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(LocalName(c.first), c.second);
  }
  // What the engine makes of it: a local file name, or its own error.
  ttstr viaEngine(u"proxy://l/chain.txt");
  TVPGetLocalName(viaEngine);
  EXPECT_EQ(standin::ToUtf8(viaEngine), folder.LocalPath("local.txt"));
  ttstr memory(u"proxy://l/memory.txt");
  EXPECT_EQ(EngineErrorOf([&] { TVPGetLocalName(memory); }),
            "no local file name for storage: proxy://l/memory.txt");
}

TEST_F(ProxyMedia, AFolderListsTheFilePartsOfItsLowerCaseKeys) {
  Assign(u"bgm/title.ogg", "mem://a");
  Assign(u"bgm/five.ogg", VariantOf(tTVInteger{5}));
  Map()->Put(u"bgm/hidden.ogg", VariantOf("mem://b"), TJS_HIDDENMEMBER);
  Assign(u"bgm/Upper.ogg", "mem://c");  // folder part lower case: listed as stored
  Assign(u"BGM/shouted.ogg", "mem://d");
  Assign(u"bgm/sub/deep.ogg", "mem://e");
  Assign(u"se/click.ogg", "mem://f");
  Assign(u"root.ogg", "mem://g");
  const std::pair<const char *, Entries> cases[] = {
      {"BGM/", {"title.ogg", "five.ogg", "Upper.ogg"}},
      {"bgm", {"title.ogg", "five.ogg", "Upper.ogg"}},  // the engine adds the final '/'
      {"bgm/sub/", {"deep.ogg"}},
      {"", {"root.ogg"}},
      {"nothing/", {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(List(c.first), c.second);
  }
}

// What the media hands the map on each request: member reads with flag 0,
// the lower-cased name with that very string's hint slot and the map itself
// as this-object; the listing with the names-only flag (0x800), a callback
// closure of its own object and no this-object, and the map as this-object.
TEST_F(ProxyMedia, TheMapIsAskedWithTheFlagsHintsAndThisObjectsOfTheContract) {
  Assign(u"bgm/title.ogg", standin::PutMemoryStorage("title.ogg", "bytes"));
  std::vector<standin::MemberCallRecord> calls;
  Map()->Calls = &calls;
  const std::pair<const char *, std::function<void()>> lookups[] = {
      {"exists", [&] { EXPECT_TRUE(Exists("BGM/Title.ogg")); }},
      {"open", [&] { EXPECT_EQ(standin::ReadStorage("proxy://BGM/Title.ogg"), "bytes"); }},
      {"local name", [&] { EXPECT_EQ(LocalName("BGM/Title.ogg"), ""); }},
  };
  for (const auto &lookup : lookups) {
    SCOPED_TRACE(lookup.first);
    calls.clear();
    lookup.second();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Operation, "GetMember");
    EXPECT_EQ(calls[0].Flag, 0u);
    EXPECT_EQ(calls[0].Name, u"bgm/title.ogg");
    EXPECT_TRUE(calls[0].HintGiven);
    EXPECT_TRUE(calls[0].HintOfName) << "the hint slot of the lower-cased name itself";
    EXPECT_EQ(calls[0].ObjThis, Map());
  }
  calls.clear();
  EXPECT_EQ(List("bgm/"), (Entries{"title.ogg"}));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Operation, "EnumerateMembers");
  EXPECT_EQ(calls[0].Flag, TJS_ENUM_NO_VALUE);
  EXPECT_EQ(calls[0].ObjThis, Map());
  EXPECT_NE(calls[0].CallbackObject, nullptr);
  EXPECT_NE(calls[0].CallbackObject, Map());
  EXPECT_EQ(calls[0].CallbackObjThis, nullptr);
  Map()->Calls = nullptr;
}

// The walk over the map goes on only while the callback answers true (the
// stand-in stops on a void answer): every member of the folder is listed, so
// the callback answered true for each.
TEST_F(ProxyMedia, TheListingCallbackAnswersTrueForEveryMember) {
  for (const char16_t *key : {u"a/1.ogg", u"b/2.ogg", u"a/3.ogg", u"a/4.ogg"}) Assign(key, "mem://x");
  Map()->Put(u"a/hidden.ogg", VariantOf("mem://h"), TJS_HIDDENMEMBER);
  Assign(u"a/5.ogg", "mem://x");
  EXPECT_EQ(List("a/"), (Entries{"1.ogg", "3.ogg", "4.ogg", "5.ogg"}));
}

TEST_F(ProxyMedia, ListingHoldsThePluginOnlyWhileItRuns) {
  Assign(u"bgm/a.ogg", "mem://a");
  Assign(u"bgm/b.ogg", "mem://b");
  Lister lister;
  std::vector<tjs_hresult> unlinkDuringListing;
  lister.OnEntry = [&] { unlinkDuringListing.push_back(Unlink()); };
  Proxy()->ListFolder(ttstr(u"bgm/"), &lister);
  EXPECT_EQ(lister.Entries, (Entries{"a.ogg", "b.ogg"}));
  EXPECT_EQ(unlinkDuringListing, (std::vector<tjs_hresult>{TJS_HR_E_FAIL, TJS_HR_E_FAIL}))
      << "the callback object counts in the plug-in's reference total";
  EXPECT_EQ(Unlink(), TJS_HR_S_OK) << "the total is back at its baseline";
}

TEST_F(ProxyMedia, AnErrorRaisedByTheListerPassesAndLeavesNothingBehind) {
  Assign(u"bgm/a.ogg", "mem://a");
  Assign(u"bgm/b.ogg", "mem://b");
  Lister lister;
  lister.OnEntry = [] { TVPThrowExceptionMessage(u"lister gave up"); };
  const standin::LiveCounts before = standin::Live();
  EXPECT_EQ(EngineErrorOf([&] { Proxy()->ListFolder(ttstr(u"BGM/"), &lister); }), "lister gave up");
  EXPECT_EQ(lister.Entries, (Entries{"a.ogg"}));
  EXPECT_EQ(standin::Live(), before);
  EXPECT_EQ(Unlink(), TJS_HR_S_OK) << "the callback object was released as the error passed";
}

TEST_F(ProxyMedia, NothingLeaksWhenEngineErrorsPass) {
  Assign(u"e/absent.bin", "mem://absent.bin");
  const standin::LiveCounts before = standin::Live();
  EXPECT_NE(OpenError("e/absent.bin"), "");
  EXPECT_NE(OpenError("e/missing.bin"), "");
  EXPECT_EQ(LocalName("e/absent.bin"), "");
  EXPECT_EQ(standin::Live(), before);
}

}  // namespace
