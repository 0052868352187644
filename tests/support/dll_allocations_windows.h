// dll_allocations_windows.h — counts the heap allocations that loaded DLLs
// make through the C runtime, for the no-allocation tests on Windows.
//
// A Windows DLL does not see a test executable's replaced operator new: the
// plug-in's operator new is libstdc++-6.dll's, which takes its memory from
// msvcrt.dll's malloc. So the counter patches the import address tables of
// the named modules: their imports of malloc, calloc, realloc,
// _aligned_malloc (msvcrt.dll) and HeapAlloc (kernel32.dll) are pointed at counting functions that call
// the originals. Patching the plug-in and libstdc++-6.dll catches every
// operator new of the plug-in, every allocation inside the C++ runtime on
// its behalf, and the plug-in's direct C runtime calls. The tables are
// restored when the counter goes; only one counter may exist at a time.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

class DllAllocationCounter {
 public:
  // Patches the import tables of the loaded modules named in `modules`
  // (base names such as "sonafilter.dll"); a module that is not loaded is
  // reported by Missing().
  explicit DllAllocationCounter(const std::vector<std::string> &modules) {
    Self() = this;
    for (const std::string &name : modules) {
      HMODULE module = GetModuleHandleA(name.c_str());
      if (!module) {
        Missing_.push_back(name);
        continue;
      }
      Patch(module, "msvcrt.dll", "malloc", reinterpret_cast<void *>(&CountingMalloc));
      Patch(module, "msvcrt.dll", "calloc", reinterpret_cast<void *>(&CountingCalloc));
      Patch(module, "msvcrt.dll", "realloc", reinterpret_cast<void *>(&CountingRealloc));
      Patch(module, "msvcrt.dll", "_aligned_malloc", reinterpret_cast<void *>(&CountingAlignedMalloc));
      Patch(module, "kernel32.dll", "HeapAlloc", reinterpret_cast<void *>(&CountingHeapAlloc));
    }
  }
  ~DllAllocationCounter() {
    for (auto it = Patched_.rbegin(); it != Patched_.rend(); ++it) Write(it->Slot, it->Original);
    Self() = nullptr;
  }
  DllAllocationCounter(const DllAllocationCounter &) = delete;
  DllAllocationCounter &operator=(const DllAllocationCounter &) = delete;

  long Count() const { return Count_; }                                  // allocations since construction
  int PatchedImports() const { return static_cast<int>(Patched_.size()); }  // import slots redirected
  const std::vector<std::string> &Missing() const { return Missing_; }   // modules not loaded

 private:
  struct PatchedSlot {
    void **Slot;
    void *Original;
  };

  static DllAllocationCounter *&Self() {
    static DllAllocationCounter *self = nullptr;
    return self;
  }
  static void *Original(const char *dll, const char *function) {
    return reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA(dll), function));
  }
  static void Counted() {
    if (Self()) ++Self()->Count_;
  }
  static void *__cdecl CountingMalloc(std::size_t size) {
    Counted();
    return reinterpret_cast<void *(__cdecl *)(std::size_t)>(Original("msvcrt.dll", "malloc"))(size);
  }
  static void *__cdecl CountingCalloc(std::size_t count, std::size_t size) {
    Counted();
    return reinterpret_cast<void *(__cdecl *)(std::size_t, std::size_t)>(Original("msvcrt.dll", "calloc"))(count, size);
  }
  static void *__cdecl CountingRealloc(void *block, std::size_t size) {
    Counted();
    return reinterpret_cast<void *(__cdecl *)(void *, std::size_t)>(Original("msvcrt.dll", "realloc"))(block, size);
  }
  static void *__cdecl CountingAlignedMalloc(std::size_t size, std::size_t alignment) {
    Counted();
    return reinterpret_cast<void *(__cdecl *)(std::size_t, std::size_t)>(Original("msvcrt.dll", "_aligned_malloc"))(
        size, alignment);
  }
  static LPVOID WINAPI CountingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    Counted();
    return reinterpret_cast<LPVOID(WINAPI *)(HANDLE, DWORD, SIZE_T)>(Original("kernel32.dll", "HeapAlloc"))(heap, flags,
                                                                                                             bytes);
  }

  static void Write(void **slot, void *value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void *), old, &old);
  }

  // Redirects `module`'s import of `function` from `dll` (by name) to `replacement`.
  void Patch(HMODULE module, const char *dll, const char *function, void *replacement) {
    auto *base = reinterpret_cast<unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto *entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
      if (lstrcmpiA(reinterpret_cast<const char *>(base + entry->Name), dll) != 0) continue;
      const auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(
          base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
      auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0) continue;
        void **slot = reinterpret_cast<void **>(&slots->u1.Function);
        Patched_.push_back({slot, *slot});
        Write(slot, replacement);
      }
    }
  }

  long Count_ = 0;
  std::vector<PatchedSlot> Patched_;
  std::vector<std::string> Missing_;
};

}  // namespace testing_support

#endif  // _WIN32
