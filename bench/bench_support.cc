#include "bench/bench_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include "jet/base/error.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

constexpr const char* kFamilyNames[] = {"김", "이", "박", "최", "정", "강",
                                        "조", "윤", "장", "임", "한", "오"};
constexpr const char* kProvinces[] = {
    "서울특별시", "부산광역시", "대구광역시", "인천광역시",
    "광주광역시", "대전광역시", "울산광역시", "경기도",
    "강원도",     "충청북도",   "충청남도",   "전라북도",
    "전라남도",   "경상북도",   "경상남도",   "제주도"};
constexpr const char* kDistricts[] = {"중구",   "동구",   "서구",     "남구",
                                      "북구",   "강남구", "해운대구", "수원시",
                                      "춘천시", "청주시", "전주시",   "포항시"};
constexpr const char* kWords[] = {
    "주문",    "배송", "완료",  "고객",  "전화",    "연락처", "변경",
    "재고",    "확인", "order", "Seoul", "invoice", "ok",     "delivery",
    "payment", "memo", "Busan", "상품",  "반품",    "요청",   "note"};

}  // namespace

void CopyFileSynced(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) Fail(from);
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) Fail(to);
  std::vector<char> buffer(1 << 20);
  while (true) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) Fail(from);
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w =
          write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) Fail(to);
      done += w;
    }
  }
  if (fsync(out) != 0) Fail(to);
  close(out);
  close(in);
}

double TimedCopy(const std::string& from, const std::string& to) {
  Clock::time_point start = Clock::now();
  CopyFileSynced(from, to);
  return Since(start);
}

SharedSlot::SharedSlot() {
  void* page = mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE,
                    MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) Fail("mmap");
  value_ = static_cast<double*>(page);
  *value_ = 0;
}

SharedSlot::~SharedSlot() { munmap(value_, sizeof(double)); }

PhaseResult RunPhase(const std::function<int()>& phase) {
  std::fflush(stdout);
  std::fflush(stderr);
  PhaseResult result;
  Clock::time_point start = Clock::now();
  pid_t child = fork();
  if (child < 0) Fail("fork");
  if (child == 0) {
    int code = 1;
    try {
      code = phase();
    } catch (const jet::Error& e) {
      std::fprintf(stderr, "error %d: %s\n", e.number(), e.description());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(child, &status, 0, &usage) != child) Fail("wait4");
  result.seconds = Since(start);
  result.peak_rss_kb = usage.ru_maxrss;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string MakeScratchFolder(const std::string& tag,
                              const std::string& parent) {
  fs::path base = parent.empty() ? fs::temp_directory_path() : fs::path(parent);
  std::string pattern = (base / (tag + "-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) Fail(pattern);
  return name.data();
}

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string HangulSyllable(int index) {
  const uint32_t c = 0xAC00 + static_cast<uint32_t>(index);
  std::string s;
  s += static_cast<char>(0xE0 | (c >> 12));
  s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  s += static_cast<char>(0x80 | (c & 0x3F));
  return s;
}

int TextMaker::Uniform(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng_);
}

bool TextMaker::Chance(double p) {
  return std::bernoulli_distribution(p)(rng_);
}

std::string TextMaker::KoreanName() {
  std::string s = kFamilyNames[Uniform(0, std::size(kFamilyNames) - 1)];
  // Syllables of the common block, so that names repeat as real ones do.
  s += HangulSyllable(Uniform(0, 2400));
  s += HangulSyllable(Uniform(0, 2400));
  return s;
}

std::string TextMaker::Place() {
  std::string s = kProvinces[Uniform(0, std::size(kProvinces) - 1)];
  s += ' ';
  s += kDistricts[Uniform(0, std::size(kDistricts) - 1)];
  return s;
}

std::string TextMaker::LatinCode(size_t length) {
  static constexpr char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
  std::string s;
  for (size_t i = 0; i < length; ++i)
    s += kChars[Uniform(0, sizeof kChars - 2)];
  return s;
}

std::string TextMaker::MixedWords(size_t chars) {
  std::string s;
  size_t count = 0;
  while (count < chars) {
    if (!s.empty()) {
      s += ' ';
      ++count;
    }
    int pick = Uniform(0, 9);
    if (pick < 6) {
      const char* w = kWords[Uniform(0, std::size(kWords) - 1)];
      s += w;
      // Hangul is three bytes a character in UTF-8, Latin one.
      std::string word = w;
      count += (static_cast<unsigned char>(word[0]) >= 0x80) ? word.size() / 3
                                                             : word.size();
    } else if (pick < 8) {
      int n = Uniform(1, 4);
      for (int i = 0; i < n; ++i) s += HangulSyllable(Uniform(0, 11171));
      count += static_cast<size_t>(n);
    } else {
      std::string digits = std::to_string(Uniform(0, 99999));
      s += digits;
      count += digits.size();
    }
  }
  return s;
}

}  // namespace bench
