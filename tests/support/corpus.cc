#include "tests/support/corpus.h"

#include <algorithm>
#include <cstdlib>
#include <random>

namespace testing_support {

namespace fs = std::filesystem;

fs::path CorpusDir() {
  const char* env = std::getenv("MDBCARE_CORPUS_DIR");
  fs::path dir = env && *env ? fs::path(env) : fs::path(MDBCARE_CORPUS_DIR);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return {};
  return dir;
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  fs::path dir = CorpusDir();
  if (dir.empty()) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file() && e.path().extension() == ".mdb") {
      files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string CorpusPassword(const fs::path& file) {
  std::string name = file.filename().string();
  if (name == "passwordV2000.mdb" || name == "passwordV2003.mdb") {
    return "password";
  }
  if (name == "posLibrary.mdb") return "Library";
  return "";
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TempDir::TempDir() {
  // A new folder of a random name: create_directory makes it or says that
  // the name is taken, so two tests never share one.
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("mdbcare-test-" + std::to_string(random() % 1000000000));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) path_ = candidate;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

fs::path TempDir::Copy(const fs::path& file) const {
  fs::path to = path_ / file.filename();
  fs::copy_file(file, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::add);
  return to;
}

}  // namespace testing_support
