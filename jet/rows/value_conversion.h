// Conversion of a value given by a caller into a column's own type, as a
// field assignment does: numbers become the column's number type (the
// integer 0 becomes false, 0, 0.0, currency 0, the zero date 1899-12-30
// 00:00:00 or NUMERIC 0), text stays text.
#ifndef MDBCARE_JET_ROWS_VALUE_CONVERSION_H_
#define MDBCARE_JET_ROWS_VALUE_CONVERSION_H_

#include "jet/base/format.h"
#include "jet/rows/table_definition.h"
#include "jet/base/value.h"

namespace jet {

// Raises 3421 (data type conversion error) where the column's type cannot
// take the value (a number into Binary, OLE or GUID; text into a number
// column; a number out of the type's range), and 3163 for text longer than
// a text column allows. Null converts to Null.
Value ConvertToColumnType(const Value& value, const ColumnDefinition& column,
                          JetVersion version);

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_VALUE_CONVERSION_H_
