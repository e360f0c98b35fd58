#include "jet/base/text_codec.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "jet/base/code_page.h"
#include "jet/base/error.h"

namespace jet {

namespace {

// Texts are walked eight bytes at a time where they are plain ASCII: the
// eight bytes at `p` as one number, and whether none has its high bit.
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

uint64_t BlockWord(const void* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

bool IsAsciiBlock(const void* p) { return (BlockWord(p) & kHighBits) == 0; }

// Writes UTF-16 code units as UTF-8 to a buffer the caller has made large
// enough (3 bytes a unit): a high surrogate waits for its low one; a lone
// surrogate becomes U+FFFD.
class Utf8Writer {
 public:
  explicit Utf8Writer(char* out) : out_(out) {}

  void Add(char16_t u) {
    if (u < 0x80 && !high_) {
      *out_++ = static_cast<char>(u);
      return;
    }
    if (high_) {
      const char32_t high = high_;
      high_ = 0;
      if (u >= 0xDC00 && u <= 0xDFFF) {
        Put(0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
        return;
      }
      Put(0xFFFD);
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_ = u;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      Put(0xFFFD);
    } else {
      Put(u);
    }
  }
  // Characters U+0001..U+00FF, one a byte, as compressed text stores them.
  void AddSingleByteRun(const uint8_t* first, const uint8_t* end) {
    if (high_) {
      high_ = 0;
      Put(0xFFFD);
    }
    // Eight ASCII bytes at a time, where the run has them.
    while (end - first >= 8 && IsAsciiBlock(first)) {
      std::memcpy(out_, first, 8);
      out_ += 8;
      first += 8;
    }
    for (; first != end; ++first) {
      const uint8_t b = *first;
      if (b < 0x80) {
        *out_++ = static_cast<char>(b);
      } else {
        *out_++ = static_cast<char>(0xC0 | (b >> 6));
        *out_++ = static_cast<char>(0x80 | (b & 0x3F));
      }
    }
  }
  // Ends the text; returns the end of what was written.
  char* Finish() {
    if (high_) Put(0xFFFD);
    high_ = 0;
    return out_;
  }

 private:
  void Put(char32_t c) {
    if (c < 0x80) {
      *out_++ = static_cast<char>(c);
    } else if (c < 0x800) {
      *out_++ = static_cast<char>(0xC0 | (c >> 6));
      *out_++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out_++ = static_cast<char>(0xE0 | (c >> 12));
      *out_++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out_++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out_++ = static_cast<char>(0xF0 | (c >> 18));
      *out_++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out_++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out_++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  char* out_;
  char16_t high_ = 0;
};

// Walks compressed Jet 4 text `p[0..n)` (after its FF FE mark), where a
// 0x00 switches between runs of single-byte characters and UCS-2 runs:
// hands over each single-byte run whole (`run(first, end)`, found at once)
// and each UCS-2 character alone (`unit(u)`).
template <typename Run, typename Unit>
void ForEachCompressedRun(const uint8_t* p, size_t n, Run&& run, Unit&& unit) {
  bool single = true;
  size_t i = 2;
  while (i < n) {
    if (p[i] == 0x00) {
      single = !single;
      ++i;
    } else if (single) {
      const void* stop = std::memchr(p + i, 0x00, n - i);
      const size_t end =
          stop ? static_cast<size_t>(static_cast<const uint8_t*>(stop) - p) : n;
      run(p + i, p + end);
      i = end;
    } else {
      if (i + 1 >= n) break;  // a dangling half character is dropped
      unit(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
      i += 2;
    }
  }
}

bool IsCompressed(const uint8_t* p, size_t n) {
  return n >= 2 && p[0] == 0xFF && p[1] == 0xFE;
}

// Walks Jet 4 text, compressed or not: `run(first, end)` gets each run of
// single-byte characters of compressed text whole, `unit(u)` every other
// UTF-16 code unit.
template <typename Run, typename Unit>
void ForEachJet4Run(ByteView bytes, Run&& run, Unit&& unit) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  if (IsCompressed(p, n)) {
    ForEachCompressedRun(p, n, run, unit);
    return;
  }
  for (size_t i = 0; i + 1 < n; i += 2) {
    unit(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
  }
}

// Calls `unit` with each UTF-16 code unit of Jet 4 text, compressed or not.
template <typename F>
void ForEachJet4Unit(ByteView bytes, F&& unit) {
  ForEachJet4Run(
      bytes,
      [&](const uint8_t* first, const uint8_t* end) {
        for (; first != end; ++first) unit(static_cast<char16_t>(*first));
      },
      unit);
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3 + 4, '\0');
  Utf8Writer write(out.data());
  for (char16_t u : text) write.Add(u);
  out.resize(static_cast<size_t>(write.Finish() - out.data()));
  return out;
}

namespace {

// Walks the UTF-8 `text` as UTF-16 code units: `ascii(p)` gets each block
// of eight ASCII bytes p[0..8) met at once, `unit(u)` every other unit; a
// malformed or cut sequence gives one U+FFFD.
template <typename Ascii, typename Sink>
void ForEachUtf16Run(std::string_view text, Ascii&& ascii, Sink&& unit) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    char32_t c;
    size_t len;
    if (b < 0x80 && i + 8 <= text.size()) {
      if (IsAsciiBlock(text.data() + i)) {
        ascii(text.data() + i);
        i += 8;
        continue;
      }
    }
    if (b < 0x80) {
      unit(static_cast<char16_t>(b));
      ++i;
      continue;
    }
    if ((b & 0xF0) == 0xE0 && i + 3 <= text.size()) {
      // A well-formed three-byte sequence (Hangul, CJK) straight away.
      const unsigned char b1 = static_cast<unsigned char>(text[i + 1]);
      const unsigned char b2 = static_cast<unsigned char>(text[i + 2]);
      if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80) {
        unit(static_cast<char16_t>(((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) |
                                   (b2 & 0x3F)));
        i += 3;
        continue;
      }
    }
    if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else {
      unit(u'\uFFFD');
      ++i;
      continue;
    }
    if (i + len > text.size()) {
      unit(u'\uFFFD');
      break;
    }
    bool valid = true;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cb = static_cast<unsigned char>(text[i + k]);
      if ((cb & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (cb & 0x3F);
    }
    if (!valid) {
      unit(u'\uFFFD');
      ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (c >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(c));
    }
  }
}

// Calls `unit` with each UTF-16 code unit of the UTF-8 `text`.
template <typename Sink>
void ForEachUtf16Unit(std::string_view text, Sink&& unit) {
  ForEachUtf16Run(
      text,
      [&unit](const char* p) {
        for (size_t k = 0; k < 8; ++k) unit(static_cast<char16_t>(p[k]));
      },
      unit);
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16(text, out);
  return out;
}

void Utf8ToUtf16(std::string_view text, std::u16string& out) {
  // Never more units than bytes: a sequence of n bytes gives at most n
  // units, a malformed byte one.
  out.resize(text.size());
  char16_t* w = out.data();
  ForEachUtf16Unit(text, [&w](char16_t u) { *w++ = u; });
  out.resize(static_cast<size_t>(w - out.data()));
}

size_t Utf16Length(std::string_view text) {
  size_t n = 0;
  ForEachUtf16Unit(text, [&n](char16_t) { ++n; });
  return n;
}

std::string DecodeJet4Text(ByteView bytes) {
  // A stored byte gives at most two UTF-8 bytes: a single-byte character
  // up to two, a UCS-2 pair up to three, a surrogate pair's four bytes
  // four.
  std::string out(bytes.size() * 2 + 4, '\0');
  Utf8Writer write(out.data());
  ForEachJet4Run(
      bytes,
      [&](const uint8_t* first, const uint8_t* end) {
        write.AddSingleByteRun(first, end);
      },
      [&](char16_t u) { write.Add(u); });
  out.resize(static_cast<size_t>(write.Finish() - out.data()));
  return out;
}

namespace {

// Whether compressed Jet 4 text `p[0..n)` (after its FF FE mark) can end in
// a space: a last unit of U+0020 is a byte 0x20, maybe followed by its high
// byte 0x00 and by mode switches (0x00), and at the very end perhaps a
// dropped half character. Without such a 0x20 the last unit is no space.
bool CompressedMayEndInSpace(const uint8_t* p, size_t n) {
  for (size_t drop = 0; drop < 2 && drop < n; ++drop) {
    size_t j = n - drop;
    while (j > 2 && p[j - 1] == 0x00) --j;
    if (j > 2 && p[j - 1] == 0x20) return true;
  }
  return false;
}

}  // namespace

bool Jet4TextHasOuterSpace(ByteView bytes) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  if (IsCompressed(p, n)) {
    // The first unit comes after the leading mode switches.
    size_t k = 2;
    while (k < n && p[k] == 0x00) ++k;
    const bool single = (k - 2) % 2 == 0;
    const bool first_is_space =
        k < n && p[k] == 0x20 && (single || (k + 1 < n && p[k + 1] == 0x00));
    if (first_is_space) return true;
    if (!CompressedMayEndInSpace(p, n)) return false;
    bool any = false;
    char16_t last = 0;
    ForEachCompressedRun(
        p, n,
        [&](const uint8_t*, const uint8_t* end) {
          any = true;
          last = end[-1];
        },
        [&](char16_t u) {
          any = true;
          last = u;
        });
    return any && last == u' ';
  }
  // Uncompressed: whole units from the start; an odd last byte is dropped.
  if (n < 2) return false;
  const size_t end = n & ~size_t{1};
  return (p[0] == 0x20 && p[1] == 0) || (p[end - 2] == 0x20 && p[end - 1] == 0);
}

size_t Jet4TextUnitCount(ByteView bytes) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  if (!IsCompressed(p, n)) return n / 2;
  size_t count = 0;
  ForEachCompressedRun(
      p, n,
      [&](const uint8_t* first, const uint8_t* end) {
        count += static_cast<size_t>(end - first);
      },
      [&](char16_t) { ++count; });
  return count;
}

void DecodeJet4TextUnits(ByteView bytes, std::u16string& out) {
  out.clear();
  ForEachJet4Unit(bytes, [&](char16_t u) { out.push_back(u); });
  // Unpaired surrogates become U+FFFD, as DecodeJet4Text makes them.
  for (size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() &&
        out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out[i] = u'\uFFFD';
    }
  }
}

namespace {

// Working space that keeps its memory between calls of one thread, so that
// encoding a text allocates only its result; a very long text gets space of
// its own, so that a thread does not keep it.
class ScratchBytes {
 public:
  uint8_t* Reserve(size_t n) {
    if (n > kKeptBytes) {
      once_.reset(new uint8_t[n]);
      return once_.get();
    }
    once_.reset();
    if (kept_.size() < n) kept_.resize(n);
    return kept_.data();
  }

 private:
  static constexpr size_t kKeptBytes = 256 * 1024;
  std::vector<uint8_t> kept_;
  std::unique_ptr<uint8_t[]> once_;
};

}  // namespace

std::vector<uint8_t> EncodeJet4Text(std::string_view utf8, bool compress) {
  // Both forms are written in one pass: the plain UCS-2 one, and while it
  // is possible the compressed one (single-byte runs for U+0001..U+00FF,
  // UCS-2 runs for the rest). A character whose low byte is 0 cannot be
  // written in a UCS-2 run (00 switches the mode), so such text stays
  // plain, as does text whose compressed form is not shorter. A UTF-8
  // sequence of n bytes gives at most n units: 2 plain bytes a UTF-8 byte,
  // and 3 compressed ones (a unit and a mode switch) are room enough.
  thread_local ScratchBytes plain_space;
  thread_local ScratchBytes packed_space;
  const size_t n = utf8.size();
  uint8_t* const plain = plain_space.Reserve(2 * n);
  uint8_t* w = plain;
  bool possible = compress && n > 0;
  uint8_t* const packed = possible ? packed_space.Reserve(3 * n + 2) : nullptr;
  uint8_t* c = packed;
  if (possible) {
    *c++ = 0xFF;
    *c++ = 0xFE;
  }
  bool single = true;
  auto ascii = [&](const char* p) {
    for (size_t k = 0; k < 8; ++k) {
      w[2 * k] = static_cast<uint8_t>(p[k]);
      w[2 * k + 1] = 0;
    }
    w += 16;
    if (!possible) return;
    // A NUL among them cannot be written compressed.
    const uint64_t word = BlockWord(p);
    if (((word - 0x0101010101010101ULL) & ~word & kHighBits) != 0) {
      possible = false;
      return;
    }
    if (!single) *c++ = 0x00;
    single = true;
    std::memcpy(c, p, 8);
    c += 8;
  };
  ForEachUtf16Run(utf8, ascii, [&](char16_t u) {
    const auto low = static_cast<uint8_t>(u);
    const auto high = static_cast<uint8_t>(u >> 8);
    *w++ = low;
    *w++ = high;
    if (!possible) return;
    if (low == 0) {
      possible = false;
    } else if (high == 0) {
      if (!single) *c++ = 0x00;
      single = true;
      *c++ = low;
    } else {
      if (single) *c++ = 0x00;
      single = false;
      *c++ = low;
      *c++ = high;
    }
  });
  if (possible && c - packed < w - plain) {
    return std::vector<uint8_t>(packed, c);
  }
  return std::vector<uint8_t>(plain, w);
}

namespace {

// The five bytes code page 1252 leaves undefined (81 8D 8F 90 9D). Windows
// reads each as the C1 control of the same number (U+0081 ...), which keeps
// the byte; Jet 3 files hold them (and index keys code them as bytes).
bool IsCp1252Gap(uint8_t b) {
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

bool IsCp1252(uint16_t code_page) {
  return code_page == 0 || code_page == 1252;
}

}  // namespace

std::string DecodeCodePageText(ByteView bytes, uint16_t code_page) {
  if (bytes.empty()) return {};
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                              bytes.size());
  if (!IsCp1252(code_page)) return CodePageToUtf8(text, code_page);
  std::string out;
  size_t run = 0;  // start of the bytes not yet converted
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsCp1252Gap(static_cast<uint8_t>(text[i]))) {
      continue;
    }
    if (i > run) out += CodePageToUtf8(text.substr(run, i - run), code_page);
    if (i < text.size()) {
      out += static_cast<char>(0xC2);
      out += text[i];
    }
    run = i + 1;
  }
  return out;
}

std::vector<uint8_t> EncodeCodePageText(std::string_view utf8,
                                        uint16_t code_page) {
  if (utf8.empty()) return {};
  if (!IsCp1252(code_page)) {
    std::string s = Utf8ToCodePage(utf8, code_page);
    return std::vector<uint8_t>(s.begin(), s.end());
  }
  // U+0081, U+008D, U+008F, U+0090 and U+009D (C2 xx) go back to their byte.
  std::string s;
  size_t run = 0;
  for (size_t i = 0; i + 1 < utf8.size(); ++i) {
    const uint8_t second = static_cast<uint8_t>(utf8[i + 1]);
    if (static_cast<uint8_t>(utf8[i]) != 0xC2 || !IsCp1252Gap(second)) {
      continue;
    }
    if (i > run) s += Utf8ToCodePage(utf8.substr(run, i - run), code_page);
    s += static_cast<char>(second);
    run = i + 2;
    ++i;
  }
  if (run < utf8.size()) s += Utf8ToCodePage(utf8.substr(run), code_page);
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace jet
