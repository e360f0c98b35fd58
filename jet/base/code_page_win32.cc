#include <windows.h>

#include "jet/base/code_page.h"
#include "jet/base/win32_text.h"

namespace jet {

namespace {

UINT SystemCodePage(uint16_t code_page) {
  if (code_page == 0 || !::IsValidCodePage(code_page)) return 1252;
  return code_page;
}

// Windows reads the bytes its code pages leave undefined (0x81 in 1252,
// 0x80 in 949) as C1 control characters, and some as private-use ones
// (949's user-defined area); iconv reads them as no character at all.
bool IsUndefinedInCodePage(wchar_t c) {
  return (c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF);
}

// `bytes` as UTF-16, or false where some byte is no character of the code
// page.
bool Decode(UINT code_page, std::string_view bytes, std::wstring& out) {
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS,
                                           bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  out.resize(static_cast<size_t>(length));
  if (::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size,
                            out.data(), length) != length) {
    return false;
  }
  for (wchar_t c : out) {
    if (IsUndefinedInCodePage(c)) return false;
  }
  return true;
}

// `wide` in the code page, or false where some character is not in it.
bool Encode(UINT code_page, std::wstring_view wide, std::string& out) {
  const int size = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int length =
      ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                            nullptr, 0, nullptr, &defaulted);
  if (length <= 0 || defaulted) return false;
  out.resize(static_cast<size_t>(length));
  return ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(),
                               size, out.data(), length, nullptr,
                               &defaulted) == length &&
         !defaulted;
}

size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, uint16_t code_page) {
  const UINT cp = SystemCodePage(code_page);
  std::wstring wide;
  if (Decode(cp, bytes, wide)) return Narrow(wide);
  // One character at a time: a lead byte and its trail byte together.
  std::wstring out;
  for (size_t i = 0; i < bytes.size();) {
    const size_t length =
        i + 1 < bytes.size() &&
                ::IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[i]))
            ? 2
            : 1;
    if (Decode(cp, bytes.substr(i, length), wide)) {
      out += wide;
      i += length;
    } else {
      out += L'\xFFFD';
      ++i;
    }
  }
  return Narrow(out);
}

std::string Utf8ToCodePage(std::string_view utf8, uint16_t code_page) {
  const UINT cp = SystemCodePage(code_page);
  std::string out;
  if (Encode(cp, Widen(utf8), out)) return out;
  out.clear();
  std::string one;
  for (size_t i = 0; i < utf8.size();) {
    const size_t length =
        std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[i])),
                 utf8.size() - i);
    if (Encode(cp, Widen(utf8.substr(i, length)), one)) {
      out += one;
    } else {
      out.append(length, '?');
    }
    i += length;
  }
  return out;
}

}  // namespace jet
