// Null-value removal (button 0): every Null field of every user table gets
// the empty text (text and memo) or the integer 0 in the field's own type
// (false, 0, the zero date), one edit-and-update cycle per field; one
// message per non-empty user table tells how many records changed.
//
// A Null the field cannot take a zero for (binary, OLE, GUID) or that the
// table's rules keep (a unique index, no zero-length text) stays Null, is
// not counted, and is mentioned in the table's message.
#ifndef MDBCARE_MAINTENANCE_NULL_VALUES_H_
#define MDBCARE_MAINTENANCE_NULL_VALUES_H_

#include <cstdint>
#include <string>

#include "maintenance/engine/db_engine.h"
#include "maintenance/user_interface.h"

namespace maintenance {

inline constexpr const char kNullRemovalTitle[] =
    "Null을 제거할 데이타베이스 화일열기";
inline constexpr const char kNullRemovalNotice[] = "Null데이타 제거중...";

// Asks for the file, then sweeps it. `connect` is dao::ConnectString but
// for callers that were given another password.
Outcome RemoveNullValues(UserInterface& ui,
                         const std::string& connect = dao::ConnectString);

// The message for one table: `null_record_count` records changed and
// `left_null` Null fields left as they were.
std::string NullRemovalMessage(const std::string& path, float null_record_count,
                               int64_t left_null);

}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_NULL_VALUES_H_
