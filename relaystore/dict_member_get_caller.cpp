// dict_member_get_caller.cpp — the per-member callback of ProxyStorage::ListFolder.
#include "dict_member_get_caller.h"

DictMemberGetCaller::DictMemberGetCaller(const ttstr &folder, iTVPStorageLister *lister)
    : Folder(folder), Lister(lister) {
  Folder.ToLowerCase();
}

tjs_error TJS_INTF_METHOD DictMemberGetCaller::CallMember(tjs_uint32, const tjs_char *, tjs_uint32 *,
                                                          tTJSVariant *result, tjs_int numparams,
                                                          tTJSVariant **param, iTJSDispatch2 *) {
  const bool hasMember = numparams >= 2 && param && param[0] && param[1];
  if (hasMember) {
    const auto memberFlags = static_cast<tjs_uint32>(param[1]->AsInteger());
    if (!(memberFlags & TJS_HIDDENMEMBER)) ListIfInFolder(*param[0]);
  }
  if (result) *result = true;
  return TJS_S_OK;
}

// A member name that is not a string reads as "" (folder "", file "").
void DictMemberGetCaller::ListIfInFolder(const tTJSVariant &memberName) {
  const ttstr name(memberName.GetString());
  if (!(TVPExtractStoragePath(name) == Folder)) return;
  Lister->AddEntry(TVPExtractStorageName(name));
}
