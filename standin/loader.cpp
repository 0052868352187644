// loader.cpp — opens plug-in files and calls their link entries.
#include <stdexcept>

#include "calls.h"
#include "engine.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace standin {

namespace {
#if defined(_WIN32)
// LoadLibrary wants backslashes; build paths (CMake's) come with forward ones.
void *OpenModule(const std::string &path) {
  std::string native = path;
  for (char &c : native)
    if (c == '/') c = '\\';
  return reinterpret_cast<void *>(LoadLibraryA(native.c_str()));
}
void *FindSymbol(void *handle, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseModule(void *handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string OpenError() { return "LoadLibrary failed with error " + std::to_string(GetLastError()); }
#else
void *OpenModule(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void *FindSymbol(void *handle, const char *name) { return dlsym(handle, name); }
void CloseModule(void *handle) { dlclose(handle); }
std::string OpenError() {
  const char *e = dlerror();
  return e ? e : "dlopen failed";
}
#endif
}  // namespace

PluginModule::PluginModule(const std::string &path) : Path_(path) {
  Handle_ = OpenModule(path);
  if (!Handle_) throw std::runtime_error("cannot load plug-in " + path + ": " + OpenError());
  Link_ = reinterpret_cast<tTVPV2LinkProc>(FindSymbol(Handle_, "V2Link"));
  Unlink_ = reinterpret_cast<tTVPV2UnlinkProc>(FindSymbol(Handle_, "V2Unlink"));
  if (!Link_ || !Unlink_) {
    CloseModule(Handle_);
    Handle_ = nullptr;
    throw std::runtime_error("not a plug-in (no V2Link/V2Unlink): " + path);
  }
  AddPluginCode(reinterpret_cast<const void *>(Link_));
}

PluginModule::~PluginModule() {
  if (!Handle_) return;
  RemovePluginCode(reinterpret_cast<const void *>(Link_));
  CloseModule(Handle_);
}

tjs_hresult PluginModule::Link(Engine &engine) { return Link_(&engine.GetExporter()); }
tjs_hresult PluginModule::Unlink() { return Unlink_(); }
void *PluginModule::Symbol(const char *name) const { return FindSymbol(Handle_, name); }

}  // namespace standin
