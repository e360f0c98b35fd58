#include "jet/base/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>

namespace jet {

namespace {

// One iconv converter per code page and direction, opened on first use and
// kept for the thread's life.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; an input byte that does not convert is replaced by
  // `replacement` and skipped.
  std::string Run(const char* in, size_t in_left, std::string_view replacement,
                  size_t unit) {
    std::string out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[1024];
    char* src = const_cast<char*>(in);
    while (in_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t r = iconv(cd_, &src, &in_left, &dst, &dst_left);
      out.append(buffer, dst - buffer);
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one input unit.
        out.append(replacement);
        size_t skip = in_left < unit ? in_left : unit;
        src += skip;
        in_left -= skip;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

std::string IconvName(uint16_t code_page) {
  if (code_page == 0) code_page = 1252;
  return "CP" + std::to_string(code_page);
}

Converter& ConverterFor(uint16_t code_page, bool to_utf8) {
  thread_local std::map<std::pair<uint16_t, bool>, std::unique_ptr<Converter>>
      converters;
  auto key = std::make_pair(code_page, to_utf8);
  auto it = converters.find(key);
  if (it == converters.end()) {
    std::string cp = IconvName(code_page);
    auto conv = to_utf8 ? std::make_unique<Converter>("UTF-8", cp)
                        : std::make_unique<Converter>(cp, "UTF-8");
    if (!conv->ok()) {
      // An unknown code page is read as 1252 rather than not at all.
      conv = to_utf8 ? std::make_unique<Converter>("UTF-8", "CP1252")
                     : std::make_unique<Converter>("CP1252", "UTF-8");
    }
    it = converters.emplace(key, std::move(conv)).first;
  }
  return *it->second;
}

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, uint16_t code_page) {
  return ConverterFor(code_page, true)
      .Run(bytes.data(), bytes.size(), "\xEF\xBF\xBD", 1);
}

std::string Utf8ToCodePage(std::string_view utf8, uint16_t code_page) {
  return ConverterFor(code_page, false).Run(utf8.data(), utf8.size(), "?", 1);
}

}  // namespace jet
