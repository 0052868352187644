// dict_member_get_caller.h — the enumeration callback of ProxyStorage's
// folder listing: called once per dictionary member, it hands the lister the
// file part of every member name whose folder part equals the listed folder.
#pragma once

#include "dispatch.h"

class DictMemberGetCaller : public tTJSDispatch {
 public:
  // `folder` is copied and lower-cased; `lister` is borrowed for the listing.
  DictMemberGetCaller(const ttstr &folder, iTVPStorageLister *lister);

  // param[0]: the member name (string), param[1]: its flags (integer);
  // members flagged TJS_HIDDENMEMBER (0x1000) are skipped. Any further
  // parameter is not read. Sets *result to true (go on) and returns 0.
  tjs_error TJS_INTF_METHOD CallMember(tjs_uint32 flag, const tjs_char *membername, tjs_uint32 *hint,
                                       tTJSVariant *result, tjs_int numparams, tTJSVariant **param,
                                       iTJSDispatch2 *objthis) override;

 private:
  void ListIfInFolder(const tTJSVariant &memberName);

  ttstr Folder;                 // lower case
  iTVPStorageLister *Lister;  // borrowed, not reference-counted
};
