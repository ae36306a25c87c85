// Replays the seed corpus and the saved findings of one fuzz target through
// its entry point, so that every native test run exercises the target and
// keeps past findings fixed. The sanitizers of the build do the checking; the
// targets abort on a broken invariant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const std::string& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  for (auto it = fs::directory_iterator(dir, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << file;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An exact-size heap copy: a read one byte past the input is caught.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  EXPECT_EQ(LLVMFuzzerTestOneInput(exact.get(), bytes.size()), 0) << file;
}

TEST(FuzzReplay, SeedCorpus) {
  const std::vector<fs::path> files = FilesIn(ZK_FUZZ_CORPUS_DIR);
  ASSERT_FALSE(files.empty()) << "no seeds in " << ZK_FUZZ_CORPUS_DIR;
  for (const fs::path& file : files) Replay(file);
}

TEST(FuzzReplay, SavedFindings) {
  // Often empty: a finding lands here only with its fix.
  for (const fs::path& file : FilesIn(ZK_FUZZ_REGRESSION_DIR)) Replay(file);
}

}  // namespace
