// plughost — loads the plug-ins into the stand-in engine and drives them as
// the engine would.
//
//   plughost link [SONAFILTER RELAYSTORE]
//       loads both plug-ins, links and unlinks each, prints the engine log.
#include <cstring>
#include <iostream>
#include <string>

#include "engine.h"

namespace {

const char *ResultText(tjs_hresult hr) { return hr == TJS_HR_S_OK ? "S_OK" : "E_FAIL"; }

int LinkAndUnlink(const std::string &path) {
  standin::Engine engine;
  standin::PluginModule plugin(path);
  const tjs_hresult linked = plugin.Link(engine);
  std::cout << path << ": V2Link -> " << ResultText(linked) << '\n';
  const tjs_hresult unlinked = plugin.Unlink();
  std::cout << path << ": V2Unlink -> " << ResultText(unlinked) << '\n';
  for (const auto &line : engine.Log()) std::cout << "  log: " << line << '\n';
  return (linked == TJS_HR_S_OK && unlinked == TJS_HR_S_OK) ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    if (argc >= 2 && std::strcmp(argv[1], "link") == 0) {
      const std::string dir = PLUGHOST_DEFAULT_PLUGIN_DIR;
      std::string sonafilter = argc > 2 ? argv[2] : dir + "/sonafilter/sonafilter.so";
      std::string relaystore = argc > 3 ? argv[3] : dir + "/relaystore/relaystore.so";
      return LinkAndUnlink(sonafilter) | LinkAndUnlink(relaystore);
    }
    std::cerr << "usage: plughost link [SONAFILTER RELAYSTORE]\n";
    return 2;
  } catch (const std::exception &e) {
    std::cerr << "plughost: " << e.what() << '\n';
    return 1;
  }
}
