// The program's title: the main window's caption and every message box's.
#ifndef MDBCARE_APP_PROGRAM_TITLE_H_
#define MDBCARE_APP_PROGRAM_TITLE_H_

namespace app {

inline constexpr const char kProgramTitle[] = "mdbcare 데이타베이스 관리";

}  // namespace app

#endif  // MDBCARE_APP_PROGRAM_TITLE_H_
