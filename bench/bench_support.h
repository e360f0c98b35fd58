// What the write benchmarks share: a plain copy of a file to compare with,
// phases run in a child process so that each has its own peak memory, the
// generated text they fill tables with, and a scratch folder.
#ifndef MDBCARE_BENCH_BENCH_SUPPORT_H_
#define MDBCARE_BENCH_BENCH_SUPPORT_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

inline constexpr double kMb = 1e6;  // as scan_bench: 1 MB = 10^6 bytes

// Copies `from` to `to` (replacing it) with read() and write() through one
// 1 MiB buffer, then fsync()s the copy: what a user's file copy costs, the
// yardstick of every ratio. Exits the program on an error.
void CopyFileSynced(const std::string& from, const std::string& to);

// The seconds a CopyFileSynced of `from` to `to` takes.
double TimedCopy(const std::string& from, const std::string& to);

// How a phase run in its own process ended.
struct PhaseResult {
  int exit_code = -1;    // the child's exit status; -1 when it was killed
  double seconds = 0;    // wall time from fork to exit
  long peak_rss_kb = 0;  // the child's ru_maxrss
};

// Runs `phase` in a forked child and waits for it. The child's return value
// is its exit status; an escaping exception is printed and exits 1. The
// child starts with the parent's small footprint, so its peak resident
// memory is the phase's own. Standard output is flushed around the fork, so
// that lines the child prints come out in order.
PhaseResult RunPhase(const std::function<int()>& phase);

// A number a forked phase hands back to the parent: a page of memory both
// processes share. Made before the fork.
class SharedSlot {
 public:
  SharedSlot();
  ~SharedSlot();
  SharedSlot(const SharedSlot&) = delete;
  SharedSlot& operator=(const SharedSlot&) = delete;

  double& value() { return *value_; }

 private:
  double* value_;
};

// A new folder under the system's temporary folder (or under `parent` when
// it is not empty), named after `tag`.
std::string MakeScratchFolder(const std::string& tag,
                              const std::string& parent);

// The peak resident memory of this process so far, in KiB (VmHWM).
long PeakRssKb();

// Text of the kinds real Korean tables hold, from a seeded generator.
class TextMaker {
 public:
  explicit TextMaker(uint32_t seed) : rng_(seed) {}

  std::mt19937& rng() { return rng_; }
  int Uniform(int low, int high);  // inclusive
  bool Chance(double p);

  // A person's name in Hangul (family name and two syllables).
  std::string KoreanName();
  // A place: a province or city and a district, in Hangul.
  std::string Place();
  // Latin letters and digits, `length` of them.
  std::string LatinCode(size_t length);
  // Words of Hangul and Latin mixed, about `chars` characters.
  std::string MixedWords(size_t chars);

 private:
  std::mt19937 rng_;
};

// The UTF-8 form of one Hangul syllable, 0 <= index < 11172 (U+AC00 on).
std::string HangulSyllable(int index);

}  // namespace bench

#endif  // MDBCARE_BENCH_BENCH_SUPPORT_H_
