// Object properties: the blob in the LvProp column (OLE) of an object's
// catalog row. For a table it holds the table's properties (Description,
// ValidationRule, ...) and its columns' (Required, AllowZeroLength,
// DefaultValue, ValidationRule, Format, DecimalPlaces, Caption, ...).
//
//   0  4  "KKD\0" (Jet 3) or "MR2\0" (Jet 4)
//   then chunks, each:
//   0  4  chunk length, these 4 bytes included
//   4  2  chunk type: 0x0080 name pool, 0x0000 the object's own properties,
//         0x0001 the properties of one of its columns (a table's column, a
//         query's output field)
//   6  .. chunk body
//
// Name pool body: names, each a 2-byte byte length and the text (UCS-2 in
// Jet 4, the database's code page in Jet 3). Property entries name their
// property by its position here. Access keeps the names of properties that
// were since deleted (212 of the 520 blobs of the corpus have such unused
// names) and does not list them in the order of first use, so the pool is
// kept as stored.
//
// Property block body (types 0x0000 and 0x0001):
//   0  4  length of this name header, these 4 bytes included (6 + name)
//   4  2  byte length of the name
//   6  .. the name: the column name, or empty in the object's own block
//   then entries, each:
//   0  2  entry length, these 2 bytes included (8 + value)
//   2  1  DDL flag: 0x01 on the engine's own properties (Required,
//         AllowZeroLength, DefaultValue, ValidationRule, Description, ...)
//         and on those an application made as DDL properties, 0x00 on the
//         others (ColumnWidth, ColumnOrder, ...); 0x81 is also found (on
//         ColIsGuid); kept as stored
//   3  1  data type, a column type code (see property_value.h)
//   4  2  position of the property's name in the name pool
//   6  2  value byte length
//   8  .. value
//
// The pool comes first in every blob Access writes; the object's block is
// usually second, but may come after column blocks or be absent. Chunks of
// other types are kept as opaque bytes, as are bytes left over after a
// block's name or after an entry's value (none of the three occur in the
// corpus). Decoding and encoding keep everything in stored order, so that a
// blob Access wrote encodes back to the same bytes.
#ifndef MDBCARE_JET_SCHEMA_PROPERTY_MAP_H_
#define MDBCARE_JET_SCHEMA_PROPERTY_MAP_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/schema/property_value.h"
#include "jet/base/value.h"

namespace jet {

namespace property_layout {
inline constexpr uint8_t kJet3Magic[4] = {'K', 'K', 'D', 0};
inline constexpr uint8_t kJet4Magic[4] = {'M', 'R', '2', 0};
inline constexpr size_t kMagicSize = 4;
inline constexpr size_t kChunkHeaderSize = 6;
inline constexpr uint16_t kNamePool = 0x0080;
inline constexpr uint16_t kObjectBlock = 0x0000;
inline constexpr uint16_t kColumnBlock = 0x0001;
// The earlier name of kColumnBlock, kept while code still uses it.
inline constexpr uint16_t kPartBlock = kColumnBlock;
inline constexpr size_t kBlockNameHeaderSize = 6;
inline constexpr size_t kEntryHeaderSize = 8;
// The DDL flag the engine's own properties carry.
inline constexpr uint8_t kEngineProperty = 0x01;
}  // namespace property_layout

// Property names the engine acts on.
namespace property_names {
inline constexpr char kRequired[] = "Required";
inline constexpr char kAllowZeroLength[] = "AllowZeroLength";
inline constexpr char kValidationRule[] = "ValidationRule";
inline constexpr char kValidationText[] = "ValidationText";
inline constexpr char kDefaultValue[] = "DefaultValue";
inline constexpr char kDescription[] = "Description";
}  // namespace property_names

struct Property {
  std::string name;
  uint8_t type = 0;  // column type code
  uint8_t flag = property_layout::kEngineProperty;
  Value value;
  Binary trailing;  // entry bytes after the value

  bool operator==(const Property&) const = default;
};

struct PropertyBlock {
  uint16_t type = property_layout::kColumnBlock;
  std::string name;      // the column's name; "" for the object's block
  Binary name_trailing;  // name header bytes after the name
  std::vector<Property> properties;  // in stored order
  // For a chunk of another type: its body as stored (properties is empty).
  Binary opaque;

  bool is_property_block() const {
    return type == property_layout::kObjectBlock ||
           type == property_layout::kColumnBlock;
  }
  // The property named `name`, compared case-insensitively as the engine
  // does; nullptr when there is none.
  const Property* Find(std::string_view name) const;
  Property* Find(std::string_view name);
  // Sets the value (and type) of the property `name`, adding it at the end
  // when there is none.
  void Set(std::string_view name, uint8_t type, Value value,
           uint8_t flag = property_layout::kEngineProperty);
  // Removes the property `name`; false when there was none.
  bool Remove(std::string_view name);

  bool operator==(const PropertyBlock&) const = default;
};

struct PropertyMap {
  PropertyTextFormat format;
  // The name pool as stored. Encoding adds the names of new properties at
  // its end; names no property uses stay.
  std::vector<std::string> names;
  std::vector<PropertyBlock> blocks;  // in stored order

  // True for the map of an empty or missing LvProp.
  bool empty() const { return names.empty() && blocks.empty(); }
  // The object's own block (type 0x0000), nullptr when there is none.
  const PropertyBlock* ObjectBlock() const;
  // The block of the column (or query field) named `name`, compared
  // case-insensitively; nullptr when there is none.
  const PropertyBlock* FindColumn(std::string_view name) const;

  bool operator==(const PropertyMap&) const = default;
};

// Decodes an LvProp blob. An empty blob is an empty map. Raises 3049 for a
// blob that does not hold together: an unknown header, a length running
// past its chunk or the blob, a name index outside the pool, two pools.
PropertyMap DecodePropertyMap(ByteView blob, const PropertyTextFormat& format);

// The blob of `map`: the header, the name pool, then the blocks in order.
// An empty map is an empty blob. DecodePropertyMap of the result equals
// `map` (with the names its properties use added to the pool if it lacked
// them). A blob Access wrote encodes back to the same bytes; one whose pool
// was not first, or that had no pool, gets it first; one with a name whose
// bytes are not text (a lone surrogate, a byte the code page leaves
// undefined; none in the corpus) cannot be encoded. Raises 3421 for a value
// that does not fit its property's type (see EncodePropertyValue) or a name the
// Jet 3 code page cannot write, 3163 for a name, value or pool too long for its
// length field, and 3251 for a block whose type and content disagree.
std::vector<uint8_t> EncodePropertyMap(const PropertyMap& map);

}  // namespace jet

#endif  // MDBCARE_JET_SCHEMA_PROPERTY_MAP_H_
