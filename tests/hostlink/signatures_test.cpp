// Every signature string the plug-ins can ask for is one the engine
// publishes, spelled character for character.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "probe_api.h"
#include "test_support.h"

namespace {

// The engine's published signatures, as each deliverable uses them.
const std::set<std::string> kSonafilter = {
    "tTJSString::tTJSString(const tTJSString &)",
    "tTJSString::tTJSString(const tjs_char *)",
    "tTJSString::tTJSString(const tjs_char *,int)",
    "tTJSString::tTJSString(const tjs_nchar *)",
    "tTJSString::tTJSString(tjs_int)",
    "tTJSString::~ tTJSString()",
    "tTJSString tTJSString::operator +(const tTJSString &) const",
    "tTJSString tTJSString::operator +(const tjs_char *) const",
    "tTJSString ::operator +(const tjs_char *,const tTJSString &)",
    "void tTJSString::operator +=(const tjs_char *)",
    "const tjs_char * tTJSString::c_str() const",
    "bool tTJSString::IsEmpty() const",
    "tTJSVariant::tTJSVariant()",
    "tTJSVariant::tTJSVariant(iTJSDispatch2 *)",
    "tTJSVariant::tTJSVariant(iTJSDispatch2 *,iTJSDispatch2 *)",
    "tTJSVariant::~ tTJSVariant()",
    "void tTJSVariant::Clear()",
    "void tTJSVariant::CopyRef(const tTJSVariant &)",
    "iTJSDispatch2 * tTJSVariant::AsObjectNoAddRef() const",
    "tTVReal tTJSVariant::AsReal() const",
    "tTVInteger tTJSVariant::AsInteger() const",
    "tTJSVariant::operator bool() const",
    "tTJSVariant::operator tjs_int() const",
    "tTJSVariant & tTJSVariant::operator =(tjs_real)",
    "tTJSVariant & tTJSVariant::operator =(tjs_int32)",
    "tTJSVariant & tTJSVariant::operator =(const tTVInteger)",
    "void ::TJSDoVariantOperation(tjs_int,tTJSVariant &,const tTJSVariant *)",
    "tjs_char * ::TJS_int_to_str(tjs_int,tjs_char *)",
    "tjs_int ::TJS_stricmp(const tjs_char *,const tjs_char *)",
    "iTJSDispatch2 * ::TVPGetScriptDispatch()",
    "tTJSNativeClassForPlugin * ::TJSCreateNativeClassForPlugin(const ttstr &,tTJSCreateNativeInstance)",
    "tjs_int32 ::TJSRegisterNativeClass(const tjs_char *)",
    "void ::TJSNativeClassSetClassID(tTJSNativeClass *,tjs_int32)",
    "tjs_int32 ::TJSFindNativeClassID(const tjs_char *)",
    "tTJSNativeClassMethod * ::TJSCreateNativeClassMethod(tTJSNativeClassMethodCallback)",
    "tTJSNativeClassMethod * ::TJSCreateNativeClassConstructor(tTJSNativeClassMethodCallback)",
    "void ::TJSNativeClassRegisterNCM(tTJSNativeClass *,const tjs_char *,iTJSDispatch2 *,const tjs_char "
    "*,tTJSNativeInstanceType,tjs_uint32)",
    "void ::TVPAddImportantLog(const ttstr &)",
    "void ::TVPThrowExceptionMessage(const tjs_char *)",
    "void ::TVPConvertPCMToFloat(float *,const void *,const tTVPWaveFormat &,tjs_int)",
};

const std::set<std::string> kRelaystore = {
    "tTJSString::tTJSString()",
    "tTJSString::tTJSString(const tTJSString &)",
    "tTJSString::tTJSString(const tjs_char *)",
    "tTJSString::~ tTJSString()",
    "tTJSString & tTJSString::operator =(const tTJSString &)",
    "tTJSString & tTJSString::operator =(const tjs_char *)",
    "tTJSString & tTJSString::operator =(const tjs_nchar *)",
    "bool tTJSString::operator ==(const tTJSString &) const",
    "void tTJSString::ToLowerCase()",
    "tjs_uint32 * tTJSString::GetHint()",
    "const tjs_char * tTJSString::c_str() const",
    "void tTJSString::Clear()",
    "tTJSVariant::tTJSVariant()",
    "tTJSVariant::tTJSVariant(iTJSDispatch2 *,iTJSDispatch2 *)",
    "tTJSVariant::~ tTJSVariant()",
    "tTJSVariant & tTJSVariant::operator =(const tTJSVariant &)",
    "tTJSVariant & tTJSVariant::operator =(bool)",
    "tTJSVariantType tTJSVariant::Type()",
    "iTJSDispatch2 * tTJSVariant::AsObjectNoAddRef() const",
    "const tjs_char * tTJSVariant::GetString() const",
    "tTVInteger tTJSVariant::AsInteger() const",
    "void tTJSVariant::CopyRef(const tTJSVariant &)",
    "void ::TJSDoVariantOperation(tjs_int,tTJSVariant &,const tTJSVariant *)",
    "tjs_char * ::TJS_int_to_str(tjs_int,tjs_char *)",
    "iTJSDispatch2 * ::TJSCreateDictionaryObject(iTJSDispatch2 * *)",
    "bool ::TVPRegisterGlobalObject(const tjs_char *,iTJSDispatch2 *)",
    "bool ::TVPRemoveGlobalObject(const tjs_char *)",
    "void ::TVPRegisterStorageMedia(iTVPStorageMedia *)",
    "void ::TVPUnregisterStorageMedia(iTVPStorageMedia *)",
    "ttstr ::TVPExtractStorageName(const ttstr &)",
    "ttstr ::TVPExtractStoragePath(const ttstr &)",
    "void ::TVPGetLocalName(ttstr &)",
    "IStream * ::TVPCreateIStream(const ttstr &,tjs_uint32)",
    "tTJSBinaryStream * ::TVPCreateBinaryStreamAdapter(IStream *)",
    "void ::TVPThrowExceptionMessage(const tjs_char *,const ttstr &)",
    "void ::TVPDoTryBlock(tTVPTryBlockFunction,tTVPCatchBlockFunction,tTVPFinallyBlockFunction,void *)",
};

TEST(Signatures, ListsAreThoseTheDeliverablesUse) {
  EXPECT_EQ(kSonafilter.size(), 40u);
  EXPECT_EQ(kRelaystore.size(), 36u);
}

TEST(Signatures, EverySlotIsAPublishedSignatureAndEveryPublishedOneHasASlot) {
  standin::PluginModule probe(PROBE_PLUGIN_PATH);
  unsigned count = 0;
  const char *const *table = reinterpret_cast<ProbeSignaturesFn>(probe.Symbol("ProbeSignatures"))(&count);
  std::set<std::string> slots(table, table + count);
  EXPECT_EQ(slots.size(), count) << "no two slots share a signature";
  std::set<std::string> published(kSonafilter);
  published.insert(kRelaystore.begin(), kRelaystore.end());
  EXPECT_EQ(slots, published);
}

TEST(Signatures, TheStandInEngineExportsEveryCoreSignature) {
  standin::Engine engine;
  for (const auto &set : {kSonafilter, kRelaystore}) {
    for (const auto &s : set) EXPECT_TRUE(engine.GetExporter().Has(s)) << s;
  }
  EXPECT_TRUE(engine.GetExporter().Has("void ::TVPThrowPluginUnboundFunctionError(const char *)"));
}

}  // namespace
