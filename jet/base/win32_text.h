// Text at the boundary with the Windows API: the engine and the programs
// keep text and paths in UTF-8, the system's wide functions take UTF-16.
// Windows only.
#ifndef MDBCARE_JET_BASE_WIN32_TEXT_H_
#define MDBCARE_JET_BASE_WIN32_TEXT_H_

#ifdef _WIN32

#include <string>
#include <string_view>

namespace jet {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's description of error `code` (GetLastError), in the user's
// language, without its closing line break.
std::string SystemErrorText(unsigned long code);

}  // namespace jet

#endif  // _WIN32
#endif  // MDBCARE_JET_BASE_WIN32_TEXT_H_
