#include "jet/base/win32_text.h"

#include <windows.h>

#include "jet/base/text_codec.h"

namespace jet {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Widen(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(
      reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || !text) return "오류 " + std::to_string(code);
  std::wstring message(text, length);
  ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' ||
          message.back() == L' ')) {
    message.pop_back();
  }
  return Narrow(message);
}

}  // namespace jet
