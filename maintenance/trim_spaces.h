// Space trimming (button 1): leading and trailing spaces (U+0020 only) go
// from every text and memo value of every user table; on the way Null
// values of the types that take a zero are filled (text and memo with "",
// Yes/No, numbers, dates, OLE and GUID with the integer 0). Every field of
// every record gets one edit-and-update cycle; one closing message.
//
// Values the engine or the table's rules refuse (a Null OLE or GUID field,
// a trimmed text that would duplicate a unique key) stay as they were.
#ifndef MDBCARE_MAINTENANCE_TRIM_SPACES_H_
#define MDBCARE_MAINTENANCE_TRIM_SPACES_H_

#include <string>

#include "maintenance/engine/db_engine.h"
#include "maintenance/user_interface.h"

namespace maintenance {

inline constexpr const char kTrimTitle[] =
    "스페이스를 제거할 데이타베이스 화일열기";
inline constexpr const char kTrimNotice[] = "스페이스 제거중...";

Outcome TrimSpaces(UserInterface& ui,
                   const std::string& connect = dao::ConnectString);

// `text` without the spaces (U+0020) at its ends; tabs, line breaks and
// full-width spaces stay.
std::string TrimmedOfSpaces(const std::string& text);

std::string TrimClosingMessage(const std::string& path);

}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_TRIM_SPACES_H_
