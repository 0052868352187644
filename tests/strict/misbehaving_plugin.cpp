// misbehaving_plugin.cpp — a test-only plug-in that breaks the engine's
// contract on request, one fault per entry call, so that tests can see the
// stand-in engine catch each one.
#include "hostlink.h"

#include "probe_export.h"

bool PluginLink() { return true; }
bool PluginUnlink() { return true; }

namespace {

// The faults, by number (see the test's table).
enum Fault : int {
  kWellBehaved = 0,        // GetMember as the contract wants it
  kEnsureOnRead,           // TJS_MEMBERENSURE given to GetMember
  kUnknownFlagBit,         // a flag bit the engine gives no meaning
  kNoThisObject,           // GetMember without this-object
  kStaleHint,              // the hint of one name passed with another
  kHintWithoutName,        // a hint for a call on the object itself
  kUnknownEnumerationFlag, // EnumerateMembers with a member-only flag
  kNoCallback,             // EnumerateMembers without a callback object
  kNoValueToSet,           // SetMember without a value
  kParametersMissing,      // CallMember counting parameters it does not pass
  kUsedAfterRelease,       // GetMember on a dictionary after its last Release
  kReleasedTooOften,       // one Release more than references held
  kClosureAfterRelease,    // a closure called after its object's last Release
};

}  // namespace

// Commits fault `which` against `object` (borrowed), a script object.
PROBE_EXPORT void MisbehavingPluginCommit(int which, iTJSDispatch2 *object) {
  tTJSVariant value;
  switch (which) {
    case kWellBehaved: {
      ttstr name(u"member");
      object->GetMember(0, name.c_str(), name.GetHint(), &value, object);
      break;
    }
    case kEnsureOnRead: object->GetMember(TJS_MEMBERENSURE, u"member", nullptr, &value, object); break;
    case kUnknownFlagBit: object->GetMember(0x40000000, u"member", nullptr, &value, object); break;
    case kNoThisObject: object->GetMember(0, u"member", nullptr, &value, nullptr); break;
    case kStaleHint: {
      ttstr first(u"member"), second(u"other");
      tjs_uint32 *hint = first.GetHint();
      object->GetMember(0, first.c_str(), hint, &value, object);
      object->GetMember(0, second.c_str(), hint, &value, object);
      break;
    }
    case kHintWithoutName: {
      tjs_uint32 hint = 0;
      object->GetMember(0, nullptr, &hint, &value, object);
      break;
    }
    case kUnknownEnumerationFlag: {
      tTJSVariantClosure callback{object, nullptr};
      object->EnumerateMembers(TJS_MEMBERENSURE, &callback, object);
      break;
    }
    case kNoCallback: {
      tTJSVariantClosure callback{nullptr, nullptr};
      object->EnumerateMembers(0, &callback, object);
      break;
    }
    case kNoValueToSet: object->SetMember(TJS_MEMBERENSURE, u"member", nullptr, nullptr, object); break;
    case kParametersMissing: object->CallMember(0, u"member", nullptr, &value, 2, nullptr, object); break;
    case kUsedAfterRelease: {
      iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
      dictionary->Release();
      dictionary->GetMember(0, u"member", nullptr, &value, dictionary);
      break;
    }
    case kReleasedTooOften: {
      iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
      dictionary->Release();
      dictionary->Release();
      break;
    }
    case kClosureAfterRelease: {
      iTJSDispatch2 *dictionary = TJSCreateDictionaryObject(nullptr);
      tTJSVariant closure(dictionary, dictionary);
      dictionary->Release();
      closure.Clear();  // the last reference
      tTJSVariant *none[1] = {&value};
      dictionary->CallMember(0, nullptr, nullptr, &value, 1, none, dictionary);
      break;
    }
    default: break;
  }
}
