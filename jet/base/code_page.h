// Text in a Windows code page (Jet 3's), converted to and from UTF-8 by
// the system's converter: iconv on POSIX systems (code_page_posix.cc), the
// system's own tables on Windows (code_page_win32.cc). Code page 0 means
// 1252; an unknown code page is read as 1252 rather than not at all.
//
// Both sides follow iconv's way with what does not convert: a byte that is
// no character of the code page becomes U+FFFD, and each byte of a UTF-8
// character that the code page lacks becomes "?".
#ifndef MDBCARE_JET_BASE_CODE_PAGE_H_
#define MDBCARE_JET_BASE_CODE_PAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace jet {

std::string CodePageToUtf8(std::string_view bytes, uint16_t code_page);
std::string Utf8ToCodePage(std::string_view utf8, uint16_t code_page);

}  // namespace jet

#endif  // MDBCARE_JET_BASE_CODE_PAGE_H_
