// JSON text of field values for the dump tool: null, true/false, integers,
// shortest round-trip numbers for Single and Double, and strings for the
// rest (currency with four decimals, dates "YYYY-MM-DD HH:MM:SS", binary as
// lowercase hex, GUIDs in braces, NUMERIC as a plain decimal).
#ifndef MDBCARE_CLI_JSON_VALUE_H_
#define MDBCARE_CLI_JSON_VALUE_H_

#include <string>
#include <string_view>

#include "jet/base/value.h"

namespace cli {

std::string JsonString(std::string_view utf8);
std::string JsonValue(const jet::Value& value);

}  // namespace cli

#endif  // MDBCARE_CLI_JSON_VALUE_H_
