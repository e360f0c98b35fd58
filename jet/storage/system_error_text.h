// The Korean words for what the operating system said went wrong with a
// file, for the descriptions of the engine's errors: the user reads them.
// POSIX systems only (an errno value); on Windows the system gives its own
// text in the user's language (win32_text.h).
#ifndef MDBCARE_JET_STORAGE_SYSTEM_ERROR_TEXT_H_
#define MDBCARE_JET_STORAGE_SYSTEM_ERROR_TEXT_H_

#ifndef _WIN32

#include <string>

namespace jet {

// "디스크 공간이 부족합니다" for ENOSPC, and so on; an error number without
// words of its own is named with the system's text after a Korean one.
std::string SystemErrorText(int error_number);

}  // namespace jet

#endif  // _WIN32
#endif  // MDBCARE_JET_STORAGE_SYSTEM_ERROR_TEXT_H_
