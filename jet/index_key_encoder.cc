#include "jet/index_key_encoder.h"

#include <algorithm>
#include <cstring>

#include "jet/text_key.h"

namespace jet {

namespace {

constexpr uint8_t kAscending = 0x7F;
constexpr uint8_t kDescending = 0x80;
constexpr uint8_t kNullAscending = 0x00;
constexpr uint8_t kNullDescending = 0xFF;

const ColumnDefinition* ColumnByNumber(const TableDefinition& def,
                                       uint16_t number, size_t& position) {
  for (size_t k = 0; k < def.columns.size(); ++k) {
    if (def.columns[k].number == number) {
      position = k;
      return &def.columns[k];
    }
  }
  return nullptr;
}

void PutBigEndian(std::vector<uint8_t>& out, uint64_t bits, size_t size) {
  for (size_t i = size; i-- > 0;) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

constexpr size_t kBinaryGroup = 8;
constexpr uint8_t kBinaryMore = 0x09;

// Binary data as index bytes: groups of 8 bytes, each full group followed
// by 0x09 when more follows; the last group padded with zeros and followed
// by the number of bytes it really holds. `separators` gets the positions
// of the 0x09 bytes, which descending keys leave as they are.
bool EncodeBinary(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& out,
                  std::vector<size_t>& separators) {
  if (bytes.empty()) return false;  // no sample of an empty value's key
  for (size_t at = 0; at < bytes.size(); at += kBinaryGroup) {
    size_t n = std::min(kBinaryGroup, bytes.size() - at);
    out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
    out.insert(out.end(), kBinaryGroup - n, 0);
    if (at + kBinaryGroup < bytes.size()) {
      separators.push_back(out.size());
      out.push_back(kBinaryMore);
    } else {
      out.push_back(static_cast<uint8_t>(n));
    }
  }
  return true;
}

// Data bytes of a non-Null value, ascending; false when not encodable.
bool EncodeData(const Value& value, const ColumnDefinition& col,
                std::vector<uint8_t>& out, std::vector<size_t>& separators) {
  switch (static_cast<ColumnType>(col.type)) {
    case ColumnType::kByte:
      if (auto p = std::get_if<uint8_t>(&value)) {
        out.push_back(*p);
        return true;
      }
      return false;
    case ColumnType::kInteger:
      if (auto p = std::get_if<int16_t>(&value)) {
        PutBigEndian(out, static_cast<uint16_t>(*p) ^ 0x8000u, 2);
        return true;
      }
      return false;
    case ColumnType::kLong:
      if (auto p = std::get_if<int32_t>(&value)) {
        PutBigEndian(out, static_cast<uint32_t>(*p) ^ 0x80000000u, 4);
        return true;
      }
      return false;
    case ColumnType::kCurrency:
      if (auto p = std::get_if<Currency>(&value)) {
        PutBigEndian(out, static_cast<uint64_t>(p->ten_thousandths) ^ (1ull << 63), 8);
        return true;
      }
      return false;
    case ColumnType::kSingle:
      if (auto p = std::get_if<float>(&value)) {
        uint32_t bits;
        std::memcpy(&bits, p, 4);
        bits = (bits & 0x80000000u) ? ~bits : bits ^ 0x80000000u;
        PutBigEndian(out, bits, 4);
        return true;
      }
      return false;
    case ColumnType::kDouble:
    case ColumnType::kDateTime: {
      double d;
      if (auto p = std::get_if<double>(&value)) {
        d = *p;
      } else if (auto q = std::get_if<DateTime>(&value)) {
        d = q->days;
      } else {
        return false;
      }
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      bits = (bits & (1ull << 63)) ? ~bits : bits ^ (1ull << 63);
      PutBigEndian(out, bits, 8);
      return true;
    }
    case ColumnType::kGuid:
      if (auto p = std::get_if<Guid>(&value)) {
        const auto& b = p->bytes;
        return EncodeBinary({b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8],
                             b[9], b[10], b[11], b[12], b[13], b[14], b[15]},
                            out, separators);
      }
      return false;
    case ColumnType::kBinary:
      if (auto p = std::get_if<Binary>(&value)) return EncodeBinary(*p, out, separators);
      return false;
    default:
      return false;
  }
}

}  // namespace

bool AllIndexColumnsNull(const TableDefinition& def, const RealIndex& index,
                         const std::vector<Value>& row) {
  for (const IndexColumn& ic : index.columns) {
    size_t k = 0;
    const ColumnDefinition* col = ColumnByNumber(def, ic.column_number, k);
    if (!col) continue;
    if (col->type == static_cast<uint8_t>(ColumnType::kBoolean)) return false;
    if (!IsNull(row[k])) return false;
  }
  return true;
}

std::optional<std::vector<uint8_t>> EncodeIndexKey(
    const TableDefinition& def, const RealIndex& index,
    const std::vector<Value>& row, JetVersion version) {
  std::vector<uint8_t> key;
  for (const IndexColumn& ic : index.columns) {
    size_t k = 0;
    const ColumnDefinition* col = ColumnByNumber(def, ic.column_number, k);
    if (!col || k >= row.size()) return std::nullopt;
    const Value& v = row[k];
    const bool asc = ic.ascending;
    if (col->type == static_cast<uint8_t>(ColumnType::kBoolean)) {
      bool b = false;
      if (auto p = std::get_if<bool>(&v)) b = *p;
      key.push_back(asc ? kAscending : kDescending);
      uint8_t data = b ? 0x00 : 0xFF;
      key.push_back(asc ? data : static_cast<uint8_t>(~data));
      continue;
    }
    if (IsNull(v)) {
      key.push_back(asc ? kNullAscending : kNullDescending);
      continue;
    }
    if (col->type == static_cast<uint8_t>(ColumnType::kText) ||
        col->type == static_cast<uint8_t>(ColumnType::kMemo)) {
      const auto* text = std::get_if<std::string>(&v);
      if (!text) return std::nullopt;
      auto segment = EncodeTextKey(*text, col->sort_order, version, asc);
      if (!segment) return std::nullopt;
      key.insert(key.end(), segment->begin(), segment->end());
      continue;
    }
    std::vector<uint8_t> data;
    std::vector<size_t> separators;
    if (!EncodeData(v, *col, data, separators)) return std::nullopt;
    if (!asc) {
      for (size_t i = 0; i < data.size(); ++i) {
        if (std::find(separators.begin(), separators.end(), i) != separators.end()) {
          continue;  // group separators stay
        }
        data[i] = static_cast<uint8_t>(~data[i]);
      }
    }
    key.push_back(asc ? kAscending : kDescending);
    key.insert(key.end(), data.begin(), data.end());
  }
  return key;
}

}  // namespace jet
