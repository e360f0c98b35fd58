#include "jet/index/index_key.h"

#include <cstring>
#include <type_traits>

#include "jet/base/column_type.h"
#include "jet/base/text_codec.h"
#include "jet/collation/text_key_segment.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

constexpr uint8_t kAscendingFlag = 0x7F;
constexpr uint8_t kDescendingFlag = 0x80;
constexpr uint8_t kAscendingNull = 0x00;
constexpr uint8_t kDescendingNull = 0xFF;
constexpr uint8_t kTrue = 0x00;
constexpr uint8_t kFalse = 0xFF;
constexpr uint8_t kMoreGroups = 0x09;
constexpr size_t kGroupSize = 8;

IndexKeyResult Fail(const ColumnDefinition& column, const std::string& why) {
  IndexKeyResult r;
  r.reason = "열 '" + column.name + "': " + why;
  return r;
}

template <typename T>
void PutBigEndian(std::vector<uint8_t>& out, T value) {
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value);
  for (int shift = (sizeof(T) - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<uint8_t>(u >> shift));
  }
}

void InvertFrom(std::vector<uint8_t>& bytes, size_t from) {
  for (size_t i = from; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(~bytes[i]);
  }
}

// Each segment writer appends the flag and the data to `out`.

// Signed integers: sign bit inverted so that negatives sort first.
template <typename T>
void IntegerSegment(T value, bool ascending, std::vector<uint8_t>& out) {
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  const size_t data = out.size();
  PutBigEndian(out, value);
  out[data] ^= 0x80;
  if (!ascending) InvertFrom(out, data);
}

// IEEE numbers: positives get the sign bit set, negatives every bit
// inverted, so that the bytes sort as the numbers do.
template <typename Bits>
void FloatSegment(Bits bits, bool ascending, std::vector<uint8_t>& out) {
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  const size_t data = out.size();
  PutBigEndian(out, bits);
  bool negative = out[data] & 0x80;
  if (!negative) out[data] ^= 0x80;
  if (negative == ascending) InvertFrom(out, data);
}

void GroupedBinarySegment(const uint8_t* data, size_t size, bool ascending,
                          std::vector<uint8_t>& out) {
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  size_t pos = 0;
  while (size - pos > kGroupSize) {
    size_t start = out.size();
    out.insert(out.end(), data + pos, data + pos + kGroupSize);
    if (!ascending) InvertFrom(out, start);
    out.push_back(kMoreGroups);
    pos += kGroupSize;
  }
  if (size > pos) {
    size_t start = out.size();
    size_t rest = size - pos;
    out.insert(out.end(), data + pos, data + size);
    out.insert(out.end(), kGroupSize - rest, 0x00);
    out.push_back(static_cast<uint8_t>(rest));
    if (!ascending) InvertFrom(out, start);
  }
}

void NumericSegment(const Decimal& d, bool ascending,
                    std::vector<uint8_t>& out) {
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  bool negative = d.negative && d.magnitude != 0;
  out.push_back(negative ? 0x00 : 0xFF);
  size_t start = out.size();
  for (int shift = 120; shift >= 0; shift -= 8) {
    out.push_back(static_cast<uint8_t>(d.magnitude >> shift));
  }
  if (negative == ascending) InvertFrom(out, start);
}

std::string TypeName(uint8_t type) { return "형식 " + std::to_string(type); }

}  // namespace

std::optional<SortOrder> ColumnSortOrder(const ColumnDefinition& column,
                                         JetVersion version,
                                         const IndexKeyOptions& options) {
  uint16_t lcid = column.sort_order;
  uint8_t lcid_version = column.sort_order_version;
  if (lcid == 0) {
    lcid = options.default_sort_order;
    lcid_version = options.default_sort_order_version;
  }
  return SortOrderOf(lcid, lcid_version, version);
}

namespace {

// Appends the segment of a non-Null text or memo value given as UTF-16 to
// `out`; false, with `failure` saying why, when it cannot be made.
bool AppendTextKeySegment(const ColumnDefinition& column,
                          std::u16string_view text, bool ascending,
                          JetVersion version, const IndexKeyOptions& options,
                          std::vector<uint8_t>& out, IndexKeyResult& failure) {
  std::optional<SortOrder> order = ColumnSortOrder(column, version, options);
  if (!order) {
    failure = Fail(column, "정렬 순서 " + std::to_string(column.sort_order) +
                               "/" + std::to_string(column.sort_order_version) +
                               " 의 색인 키를 모릅니다");
    return false;
  }
  if (*order == SortOrder::kGeneral97) {
    uint16_t cp =
        column.code_page ? column.code_page : options.default_code_page;
    if (cp != 0 && cp != 1252) {
      // The code table is one of code page 1252 bytes; other code pages
      // share only ASCII with it.
      for (char16_t c : text) {
        if (c >= 0x80) {
          failure = Fail(column, "코드 페이지 " + std::to_string(cp) +
                                     " 의 비ASCII 문자는 색인 코드를 모릅니다");
          failure.unknown_char = c;
          return false;
        }
      }
    }
  }
  TextSegmentResult why;
  if (!AppendTextSegment(text, *order, ascending, out, &why)) {
    failure = Fail(column, why.reason);
    failure.unknown_char = why.unknown_char;
    return false;
  }
  return true;
}

// Appends the segment of one value of `column` to `out`; false, with
// `failure` saying why, when it cannot be made (then `out` may hold part
// of it).
bool AppendKeySegment(const ColumnDefinition& column, const Value& value,
                      bool ascending, JetVersion version,
                      const IndexKeyOptions& options, std::vector<uint8_t>& out,
                      IndexKeyResult& failure) {
  const uint8_t flag = ascending ? kAscendingFlag : kDescendingFlag;
  ColumnType type = column.column_type();
  if (type == ColumnType::kBoolean) {
    // Yes/No is never Null in a key: a Null bit is No.
    bool yes = std::holds_alternative<bool>(value) && std::get<bool>(value);
    uint8_t b = yes ? kTrue : kFalse;
    if (!ascending) b = static_cast<uint8_t>(~b);
    out.push_back(flag);
    out.push_back(b);
    return true;
  }
  if (IsNull(value)) {
    out.push_back(ascending ? kAscendingNull : kDescendingNull);
    return true;
  }
  auto fail = [&](const std::string& why) {
    failure = Fail(column, why);
    return false;
  };
  auto mismatch = [&] { return fail("값이 열의 형식과 맞지 않습니다"); };
  switch (type) {
    case ColumnType::kByte: {
      if (!std::holds_alternative<uint8_t>(value)) return mismatch();
      uint8_t b = std::get<uint8_t>(value);
      if (!ascending) b = static_cast<uint8_t>(~b);
      out.push_back(flag);
      out.push_back(b);
      return true;
    }
    case ColumnType::kInteger:
      if (!std::holds_alternative<int16_t>(value)) return mismatch();
      IntegerSegment(std::get<int16_t>(value), ascending, out);
      return true;
    case ColumnType::kLong:
      if (!std::holds_alternative<int32_t>(value)) return mismatch();
      IntegerSegment(std::get<int32_t>(value), ascending, out);
      return true;
    case ColumnType::kCurrency:
      if (!std::holds_alternative<Currency>(value)) return mismatch();
      IntegerSegment(std::get<Currency>(value).ten_thousandths, ascending, out);
      return true;
    case ColumnType::kSingle: {
      if (!std::holds_alternative<float>(value)) return mismatch();
      uint32_t bits;
      float f = std::get<float>(value);
      std::memcpy(&bits, &f, sizeof bits);
      FloatSegment(bits, ascending, out);
      return true;
    }
    case ColumnType::kDouble:
    case ColumnType::kDateTime: {
      double d;
      if (std::holds_alternative<double>(value)) {
        d = std::get<double>(value);
      } else if (std::holds_alternative<DateTime>(value)) {
        d = std::get<DateTime>(value).days;
      } else {
        return mismatch();
      }
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      FloatSegment(bits, ascending, out);
      return true;
    }
    case ColumnType::kGuid: {
      if (!std::holds_alternative<Guid>(value)) return mismatch();
      // Stored little-endian in its first three fields; the key has the
      // written order.
      const auto& s = std::get<Guid>(value).bytes;
      uint8_t b[16] = {s[3], s[2], s[1], s[0], s[5], s[4], s[7], s[6]};
      std::memcpy(b + 8, s.data() + 8, 8);
      GroupedBinarySegment(b, sizeof b, ascending, out);
      return true;
    }
    case ColumnType::kBinary: {
      if (!std::holds_alternative<Binary>(value)) return mismatch();
      const Binary& bin = std::get<Binary>(value);
      if (bin.empty() && !options.allow_unconfirmed) {
        return fail("빈 이진 값의 색인 키는 확인되지 않았습니다");
      }
      GroupedBinarySegment(bin.data(), bin.size(), ascending, out);
      return true;
    }
    case ColumnType::kNumeric: {
      if (!options.allow_unconfirmed) {
        return fail("NUMERIC 색인 키는 실제 파일로 확인되지 않았습니다");
      }
      if (!std::holds_alternative<Decimal>(value)) return mismatch();
      NumericSegment(std::get<Decimal>(value), ascending, out);
      return true;
    }
    case ColumnType::kMemo:
      if (!options.allow_unconfirmed) {
        return fail("메모 색인 키는 실제 파일로 확인되지 않았습니다");
      }
      [[fallthrough]];
    case ColumnType::kText: {
      if (!std::holds_alternative<std::string>(value)) return mismatch();
      thread_local std::u16string units;
      Utf8ToUtf16(std::get<std::string>(value), units);
      return AppendTextKeySegment(column, units, ascending, version, options,
                                  out, failure);
    }
    default:
      return fail(TypeName(column.type) + " 의 색인 키를 만들 수 없습니다");
  }
}

}  // namespace

IndexKeyResult EncodeKeySegment(const ColumnDefinition& column,
                                const Value& value, bool ascending,
                                JetVersion version,
                                const IndexKeyOptions& options) {
  IndexKeyResult result;
  if (AppendKeySegment(column, value, ascending, version, options, result.key,
                       result)) {
    result.encodable = true;
  }
  return result;
}

namespace {

// The key of a row of `columns` values: `append(j, position, ascending,
// key, failure)` appends the segment of index column j, whose value is the
// row's at a column position.
template <typename AppendSegment>
IndexKeyResult KeyOfRow(const RealIndex& index, const TableDefinition& def,
                        size_t columns, AppendSegment append) {
  IndexKeyResult result;
  result.encodable = true;
  result.key.reserve(32 * index.columns.size());
  for (size_t j = 0; j < index.columns.size(); ++j) {
    const int pos = ColumnPosition(def, index.columns[j].column_number);
    if (pos < 0 || static_cast<size_t>(pos) >= columns ||
        j >= result.segment_ends.size()) {
      IndexKeyResult r;
      r.reason = "색인의 열 번호 " +
                 std::to_string(index.columns[j].column_number) +
                 " 이(가) 테이블에 없습니다";
      return r;
    }
    IndexKeyResult failure;
    if (!append(j, static_cast<size_t>(pos), index.columns[j].ascending,
                result.key, failure)) {
      return failure;
    }
    result.segment_ends[j] = static_cast<uint32_t>(result.key.size());
  }
  return result;
}

// Appends the segment of a stored field: Jet 4 text goes from its stored
// UTF-16 to the segment directly.
bool AppendStoredSegment(const ColumnDefinition& column,
                         const FieldBytes& field, bool ascending,
                         const ValueContext& context,
                         const IndexKeyOptions& options,
                         std::vector<uint8_t>& key, IndexKeyResult& failure) {
  thread_local std::u16string text;
  if (column.column_type() == ColumnType::kText &&
      context.version == JetVersion::kJet4 && !field.is_null) {
    DecodeJet4TextUnits(field.data, text);
    return AppendTextKeySegment(column, text, ascending, context.version,
                                options, key, failure);
  }
  return AppendKeySegment(column, DecodeValue(field, column, context),
                          ascending, context.version, options, key, failure);
}

}  // namespace

IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def,
                              const std::vector<Value>& row, JetVersion version,
                              const IndexKeyOptions& options) {
  return KeyOfRow(index, def, row.size(),
                  [&](size_t, size_t pos, bool ascending,
                      std::vector<uint8_t>& key, IndexKeyResult& failure) {
                    return AppendKeySegment(def.columns[pos], row[pos],
                                            ascending, version, options, key,
                                            failure);
                  });
}

IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def,
                              const std::vector<FieldBytes>& fields,
                              const ValueContext& context,
                              const IndexKeyOptions& options) {
  return KeyOfRow(index, def, fields.size(),
                  [&](size_t, size_t pos, bool ascending,
                      std::vector<uint8_t>& key, IndexKeyResult& failure) {
                    return AppendStoredSegment(def.columns[pos], fields[pos],
                                               ascending, context, options, key,
                                               failure);
                  });
}

IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def, const ChangedRow& row,
                              const ValueContext& context,
                              const IndexKeyOptions& options,
                              const IndexKeyResult* stored_key) {
  const bool reuse = stored_key && stored_key->encodable;
  return KeyOfRow(
      index, def, row.fields.size(),
      [&](size_t j, size_t pos, bool ascending, std::vector<uint8_t>& key,
          IndexKeyResult& failure) {
        const ColumnDefinition& column = def.columns[pos];
        if (row.changed[pos]) {
          return AppendKeySegment(column, row.values[pos], ascending,
                                  context.version, options, key, failure);
        }
        if (reuse) {
          const uint32_t begin = j == 0 ? 0 : stored_key->segment_ends[j - 1];
          const uint32_t end = stored_key->segment_ends[j];
          key.insert(key.end(), stored_key->key.begin() + begin,
                     stored_key->key.begin() + end);
          return true;
        }
        return AppendStoredSegment(column, row.fields[pos], ascending, context,
                                   options, key, failure);
      });
}

namespace {

// Whether a row has an entry in `index`, with `is_null(position)` telling
// whether the row's value at a column position is Null.
template <typename IsNull>
bool HasEntry(const RealIndex& index, const TableDefinition& def,
              size_t columns, IsNull is_null) {
  if (!(index.flags & index_flags::kIgnoreNulls)) return true;
  for (const IndexColumn& ic : index.columns) {
    int pos = ColumnPosition(def, ic.column_number);
    if (pos < 0 || static_cast<size_t>(pos) >= columns) return true;
    // A Yes/No value is never Null.
    if (def.columns[pos].column_type() == ColumnType::kBoolean) return true;
    if (!is_null(static_cast<size_t>(pos))) return true;
  }
  return false;
}

}  // namespace

bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const std::vector<Value>& row) {
  return HasEntry(index, def, row.size(),
                  [&](size_t k) { return IsNull(row[k]); });
}

bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const std::vector<FieldBytes>& fields) {
  return HasEntry(index, def, fields.size(),
                  [&](size_t k) { return fields[k].is_null; });
}

bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const ChangedRow& row) {
  return HasEntry(index, def, row.fields.size(), [&](size_t k) {
    return row.changed[k] ? IsNull(row.values[k]) : row.fields[k].is_null;
  });
}

int ColumnPosition(const TableDefinition& def, uint16_t number) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].number == number) return static_cast<int>(i);
  }
  return -1;
}

IndexKeyOptions KeyOptionsFor(uint16_t sort_order, uint8_t sort_order_version,
                              uint16_t code_page) {
  IndexKeyOptions o;
  o.default_sort_order = sort_order;
  o.default_sort_order_version = sort_order_version;
  o.default_code_page = code_page ? code_page : 1252;
  return o;
}

bool KeyIsAllNull(const RealIndex& index, ByteView key) {
  if (key.size() != index.columns.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key.data()[i] != (index.columns[i].ascending ? 0x00 : 0xFF)) {
      return false;
    }
  }
  return true;
}

}  // namespace jet
