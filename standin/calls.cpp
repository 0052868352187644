// calls.cpp — plug-in code ranges, call counting, planned faults and the
// record of contract violations (see calls.h).
#include "calls.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "engine.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace standin {

namespace {

struct CodeRange {
  uintptr_t Begin = 0;
  uintptr_t End = 0;  // one past the last byte
};

// The records below are never destroyed: engine calls and releases may come
// from other static objects' destructors at exit.
std::vector<CodeRange> &PluginRanges() {
  static auto *ranges = new std::vector<CodeRange>();
  return *ranges;
}

#if defined(_WIN32)
CodeRange RangeOfModuleAt(const void *address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module))
    return {};
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + static_cast<uintptr_t>(dos->e_lfanew));
  return {base, base + nt->OptionalHeader.SizeOfImage};
}
#else
// The extent of the loadable segments of the object loaded at `base`.
CodeRange RangeOfModuleAt(const void *address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fbase) return {};
  struct Search {
    uintptr_t Base;
    CodeRange Found;
  } search{reinterpret_cast<uintptr_t>(info.dli_fbase), {}};
  dl_iterate_phdr(
      [](dl_phdr_info *object, size_t, void *data) {
        auto *s = static_cast<Search *>(data);
        CodeRange range{UINTPTR_MAX, 0};
        for (int i = 0; i < object->dlpi_phnum; ++i) {
          const auto &segment = object->dlpi_phdr[i];
          if (segment.p_type != PT_LOAD) continue;
          const uintptr_t begin = object->dlpi_addr + segment.p_vaddr;
          if (begin < range.Begin) range.Begin = begin;
          if (begin + segment.p_memsz > range.End) range.End = begin + segment.p_memsz;
        }
        if (s->Base < range.Begin || s->Base >= range.End) return 0;
        s->Found = range;
        return 1;
      },
      &search);
  return search.Found;
}
#endif

struct CallState {
  bool Counting = false;
  long All = 0;
  long Raisable = 0;
  long FailAt = 0;  // 0: no planned fault
  bool Raised = false;
  bool CaughtByEngine = false;
  std::vector<std::string> Names;
};

CallState &Calls() {
  static auto *state = new CallState();
  return *state;
}

std::vector<std::string> &Violations() {
  static auto *violations = new std::vector<std::string>();
  return *violations;
}

}  // namespace

void AddPluginCode(const void *anyAddress) {
  const CodeRange range = RangeOfModuleAt(anyAddress);
  if (range.End > range.Begin) PluginRanges().push_back(range);
}

void RemovePluginCode(const void *anyAddress) {
  auto &ranges = PluginRanges();
  const auto at = reinterpret_cast<uintptr_t>(anyAddress);
  for (auto it = ranges.begin(); it != ranges.end(); ++it)
    if (at >= it->Begin && at < it->End) {
      ranges.erase(it);
      return;
    }
}

bool IsPluginCode(const void *address) {
  const auto at = reinterpret_cast<uintptr_t>(address);
  for (const CodeRange &range : PluginRanges())
    if (at >= range.Begin && at < range.End) return true;
  return false;
}

void StartCountingCalls() {
  CallState fresh;
  fresh.Counting = true;
  Calls() = std::move(fresh);
}
void StopCountingCalls() { Calls().Counting = false; Calls().FailAt = 0; }
long PluginCalls() { return Calls().All; }
long RaisablePluginCalls() { return Calls().Raisable; }
const std::vector<std::string> &RaisableCallNames() { return Calls().Names; }
void PlanFaultAt(long k) { Calls().FailAt = k; }
bool PlannedFaultRaised() { return Calls().Raised; }
bool PlannedFaultCaughtByEngine() { return Calls().CaughtByEngine; }

std::u16string InjectedFaultMessage(long k) {
  return u"injected engine error at plug-in call " + U16(std::to_string(k));
}

void NoteEngineCaughtError(const std::u16string &message) {
  CallState &s = Calls();
  if (s.Raised && message == InjectedFaultMessage(s.FailAt)) s.CaughtByEngine = true;
}

void ReportViolation(const std::string &message) {
  std::fprintf(stderr, "stand-in engine: contract violation: %s\n", message.c_str());
  std::fflush(stderr);
  Violations().push_back(message);
}

std::vector<std::string> TakeViolations() { return std::exchange(Violations(), {}); }

bool EnterEngineCall(const void *returnAddress, const char *name, CallKind kind) {
  if (!IsPluginCode(returnAddress)) return false;
  CallState &s = Calls();
  if (!s.Counting) return true;
  ++s.All;
  if (kind == CallKind::NeverRaises) return true;
  ++s.Raisable;
  s.Names.emplace_back(name);
  if (s.Raisable == s.FailAt) {
    s.Raised = true;
    throw EngineError(InjectedFaultMessage(s.FailAt));
  }
  return true;
}

}  // namespace standin
