// storage_cmd.cpp — `plughost storage`: relaystore linked, ProxyStorageMap
// filled, and one question put to the engine's storage system.
#include <iostream>

#include "commands.h"
#include "session.h"
#include "storage.h"

namespace plughost {

namespace {

void FillProxyMap(const std::vector<std::pair<std::string, std::string>> &entries) {
  iTJSDispatch2 *map = standin::ObjectAt(u"ProxyStorageMap");
  if (!map) throw Failure("relaystore did not publish ProxyStorageMap");
  for (const auto &[key, target] : entries) {
    const std::u16string name = standin::U16(key);
    tTJSVariant value = standin::VariantOf(std::string_view(target));
    if (TJS_FAILED(map->SetMember(TJS_MEMBERENSURE, name.c_str(), nullptr, &value, map)))
      throw Failure("cannot set ProxyStorageMap[\"" + key + "\"]");
  }
}

}  // namespace

int Storage(const StorageOptions &o) {
  Session session(o.Plugin, false, false);
  FillProxyMap(o.Map);
  if (o.Action == "exists") {
    std::cout << (standin::StorageExists(o.Name) ? "true" : "false") << '\n';
  } else if (o.Action == "read") {
    const std::string bytes = standin::ReadStorage(o.Name);
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  } else if (o.Action == "list") {
    for (const auto &entry : standin::ListStorageFolder(o.Name)) std::cout << entry << '\n';
  } else if (o.Action == "local") {
    std::cout << standin::LocalNameOf(o.Name) << '\n';
  } else {
    throw Failure("unknown storage action: " + o.Action + " (exists, read, list or local)");
  }
  // A full disk or a closed pipe shows only here, when the bytes leave.
  if (!std::cout.flush()) throw Failure("cannot write to standard output");
  session.Close();
  return 0;
}

}  // namespace plughost
