// counting_new.h — replaces the global operator new of a test executable so
// tests can count allocations. Include it in exactly one source file of the
// executable. With ELF shared objects the replacement also serves the
// plug-ins the test loads (a Windows DLL keeps its runtime's own).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace testing_support {
// Allocations made through operator new since the program started.
inline long g_allocations = 0;
inline long Allocations() { return g_allocations; }

inline void *CountedAllocation(std::size_t size) {
  ++g_allocations;
  if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace testing_support

void *operator new(std::size_t size) { return testing_support::CountedAllocation(size); }
void *operator new[](std::size_t size) { return testing_support::CountedAllocation(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
