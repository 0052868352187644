// fuzz_support.cpp — what the fuzz targets share in both builds.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"

namespace fuzzing {

void PropertyFailed(const char *what, const char *file, int line) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzzing
