// Access to the shared corpus of real .mdb files for tests: where it is,
// which files it has, their passwords, and temporary copies for tests that
// write.
#ifndef MDBCARE_TESTS_SUPPORT_CORPUS_H_
#define MDBCARE_TESTS_SUPPORT_CORPUS_H_

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// The corpus folder, or "" when it is absent (tests then GTEST_SKIP()).
std::filesystem::path CorpusDir();

// Every .mdb file of the corpus, sorted by path.
std::vector<std::filesystem::path> CorpusFiles();

// The password a corpus file was saved with ("" for none).
std::string CorpusPassword(const std::filesystem::path& file);

// `path` as the UTF-8 text the engine and the operations take (on Windows
// path::string() gives the ANSI code page instead).
std::string Utf8(const std::filesystem::path& path);

// A fresh, empty temporary folder, removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Copies `file` into the folder (writable) and returns the copy's path.
  std::filesystem::path Copy(const std::filesystem::path& file) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support

#define SKIP_WITHOUT_CORPUS()                                              \
  do {                                                                     \
    if (::testing_support::CorpusDir().empty())                            \
      GTEST_SKIP() << "corpus folder not found (" MDBCARE_CORPUS_DIR       \
                      "): real-file tests skipped";                        \
  } while (0)

#endif  // MDBCARE_TESTS_SUPPORT_CORPUS_H_
