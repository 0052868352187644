// replay_test.cpp — runs a fuzz target over every input of its corpus, as a
// test of the normal suite (and of the sanitizer suite).
//
// The corpus folder (tests/fuzz/corpus/<target>/) holds the seeds and every
// input that ever made the target fail; each failure was fixed, so each must
// now run clean. A failing property or a sanitizer report stops the process;
// the input's name was printed just before, so the output names it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  for (const auto &entry : fs::directory_iterator(FUZZ_CORPUS_DIR))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> ReadAll(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FuzzCorpus, EveryInputRunsClean) {
  const std::vector<fs::path> files = CorpusFiles();
  ASSERT_FALSE(files.empty()) << "no corpus in " << FUZZ_CORPUS_DIR;
  for (const fs::path &file : files) {
    std::fprintf(stderr, "replaying %s\n", file.filename().c_str());
    const std::vector<uint8_t> bytes = ReadAll(file);
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << file;
  }
}

// The empty input, which the fuzzer always tries first.
TEST(FuzzCorpus, TheEmptyInputRunsClean) { EXPECT_EQ(LLVMFuzzerTestOneInput(nullptr, 0), 0); }

}  // namespace
