#include "cli/index_key_report.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <unordered_map>
#include <vector>

#include "jet/base/column_type.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"
#include "jet/base/value_format.h"
#include "jet/database/database.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"

namespace cli {

namespace {

std::string ShowValue(const jet::Value& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, jet::Null>) {
          return "Null";
        } else if constexpr (std::is_same_v<T, bool>) {
          return x ? "Yes" : "No";
        } else if constexpr (std::is_same_v<T, uint8_t> ||
                             std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t>) {
          return std::to_string(x);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          return jet::FormatCurrency(x);
        } else if constexpr (std::is_same_v<T, float>) {
          return jet::FormatSingle(x);
        } else if constexpr (std::is_same_v<T, double>) {
          return jet::FormatDouble(x);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          return jet::FormatDateTime(x);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return "'" + x + "'";
        } else if constexpr (std::is_same_v<T, jet::Binary>) {
          return "0x" + jet::FormatHex(x);
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          return jet::FormatGuid(x);
        } else {
          return jet::FormatDecimal(x);
        }
      },
      v);
}

std::string RowText(jet::RowPointer row) {
  return std::to_string(row.page) + ":" + std::to_string(row.row);
}

bool IsText(const jet::ColumnDefinition& c) {
  return c.column_type() == jet::ColumnType::kText ||
         c.column_type() == jet::ColumnType::kMemo;
}

// The label the summary groups an index's entries under: the sort order
// of its text columns, or "no text".
std::string SortOrderLabel(const jet::TableDefinition& def,
                           const jet::RealIndex& index, jet::JetVersion version,
                           const jet::IndexKeyOptions& options) {
  std::set<std::string> labels;
  for (const jet::IndexColumn& ic : index.columns) {
    int pos = jet::ColumnPosition(def, ic.column_number);
    if (pos < 0 || !IsText(def.columns[pos])) continue;
    const jet::ColumnDefinition& c = def.columns[pos];
    std::optional<jet::SortOrder> order =
        jet::ColumnSortOrder(c, version, options);
    if (order) {
      labels.insert(std::string(jet::SortOrderName(*order)) + " (" +
                    std::to_string(jet::SortOrderLcid(*order)) + ")");
    } else {
      labels.insert("unknown sort order (" + std::to_string(c.sort_order) +
                    "/" + std::to_string(c.sort_order_version) + ")");
    }
  }
  if (labels.empty()) return "no text";
  std::string s;
  for (const std::string& l : labels) s += (s.empty() ? "" : " + ") + l;
  return s;
}

std::string IndexName(const jet::TableDefinition& def, size_t real) {
  std::string names;
  for (const jet::LogicalIndex& li : def.logical_indexes) {
    if (li.real_index != real) continue;
    names += (names.empty() ? "" : ",") + li.name;
  }
  return names.empty() ? "#" + std::to_string(real) : names;
}

struct ExpectedEntry {
  jet::IndexKeyResult key;
  std::string values;   // the index columns' values, for messages
  std::u16string text;  // the text of its text columns, for statistics
  int seen = 0;         // entries found for the row
  bool wanted = true;   // false: ignore-nulls index, all columns Null
};

uint64_t RowKey(jet::RowPointer row) { return row.Packed(); }

}  // namespace

int RunIndexKeyReport(const std::string& path, const std::string& connect,
                      bool verbose, std::ostream& out,
                      IndexKeyReport* report_out) {
  jet::OpenOptions open_options;
  open_options.connect = connect;
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, open_options);
  const jet::JetVersion version = db->version();
  const jet::DatabaseHeader& header = db->header();
  const jet::IndexKeyOptions options = jet::KeyOptionsFor(
      header.sort_order, header.sort_order_version, header.code_page);
  const jet::ValueContext context = db->value_context();

  IndexKeyReport report;
  std::map<std::string, std::set<char16_t>> chars_seen;

  for (const jet::CatalogEntry& table : db->tables()) {
    if (!table.is_local_table()) continue;
    jet::TableDefinition def;
    try {
      def = db->ReadTableDefinition(table);
    } catch (const jet::Error& e) {
      out << "손상: 테이블 " << table.name
          << " 의 정의를 읽을 수 없습니다: " << e.what() << '\n';
      ++report.damaged_indexes;
      continue;
    }
    if (def.real_indexes.empty()) continue;

    // The key every row should have in each index.
    std::vector<std::unordered_map<uint64_t, ExpectedEntry>> expected(
        def.real_indexes.size());
    try {
      jet::TableScan scan(db->pager(), version, def);
      while (scan.Next()) {
        std::vector<jet::FieldBytes> fields = scan.Fields();
        std::vector<jet::Value> values;
        values.reserve(fields.size());
        for (size_t k = 0; k < fields.size(); ++k) {
          values.push_back(
              jet::DecodeValue(fields[k], def.columns[k], context));
        }
        for (size_t i = 0; i < def.real_indexes.size(); ++i) {
          const jet::RealIndex& index = def.real_indexes[i];
          ExpectedEntry e;
          e.wanted = jet::RowHasIndexEntry(index, def, values);
          if (e.wanted) {
            e.key = jet::EncodeIndexKey(index, def, values, version, options);
          }
          for (const jet::IndexColumn& ic : index.columns) {
            int pos = jet::ColumnPosition(def, ic.column_number);
            if (pos < 0) continue;
            e.values += (e.values.empty() ? "" : ", ") + ShowValue(values[pos]);
            if (IsText(def.columns[pos]) &&
                std::holds_alternative<std::string>(values[pos])) {
              e.text += jet::Utf8ToUtf16(std::get<std::string>(values[pos]));
            }
          }
          expected[i].emplace(RowKey(scan.row_id()), std::move(e));
        }
      }
    } catch (const jet::Error& e) {
      out << "손상: 테이블 " << table.name
          << " 의 행을 읽을 수 없습니다: " << e.what() << '\n';
      ++report.damaged_indexes;
      continue;
    }

    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      const jet::RealIndex& index = def.real_indexes[i];
      const std::string where = table.name + "." + IndexName(def, i);
      const std::string label = SortOrderLabel(def, index, version, options);
      SortOrderKeyStats& stats = report.by_sort_order[label];
      std::set<char16_t>& chars = chars_seen[label];
      size_t matched = 0, mismatched = 0, unencodable = 0;
      std::vector<uint8_t> previous;
      bool have_previous = false;
      try {
        jet::WalkIndexTree(
            db->pager(), version, index.first_page, def.page,
            [&](const jet::IndexLeafEntry& entry) {
              ++stats.entries;
              jet::IndexPageEntry as_page_entry;
              as_page_entry.key = entry.key;
              as_page_entry.row = entry.row;
              std::vector<uint8_t> sort_bytes = as_page_entry.SortBytes();
              if (have_previous && !(previous < sort_bytes)) {
                ++report.order_violations;
                out << "순서: " << where << " 행 " << RowText(entry.row)
                    << " 의 항목이 앞 항목보다 앞서야 합니다 ("
                    << jet::HexBytes(sort_bytes) << ")\n";
              }
              previous = std::move(sort_bytes);
              have_previous = true;

              auto it = expected[i].find(RowKey(entry.row));
              if (it == expected[i].end()) {
                ++report.extra_entries;
                out << "남는 항목: " << where << " 행 " << RowText(entry.row)
                    << " 에 해당하는 행이 없습니다 ("
                    << jet::HexBytes(entry.key) << ")\n";
                return;
              }
              ExpectedEntry& e = it->second;
              if (!e.wanted) {
                ++report.extra_entries;
                out << "남는 항목: " << where << " 행 " << RowText(entry.row)
                    << " 은(는) 색인 열이 모두 Null 이라 항목이 없어야 "
                       "합니다\n";
                return;
              }
              if (++e.seen > 1) {
                ++report.extra_entries;
                out << "중복 항목: " << where << " 행 " << RowText(entry.row)
                    << " 의 항목이 두 번 있습니다\n";
                return;
              }
              for (char16_t c : e.text) chars.insert(c);
              if (!e.key.encodable) {
                ++unencodable;
                ++stats.unencodable;
                if (verbose) {
                  out << "키 없음: " << where << " 행 " << RowText(entry.row)
                      << " [" << e.values << "] " << e.key.reason << "; 파일 "
                      << jet::HexBytes(entry.key) << '\n';
                }
                return;
              }
              if (e.key.key == entry.key) {
                ++matched;
                ++stats.matched;
                return;
              }
              ++mismatched;
              ++stats.mismatched;
              out << "불일치: " << where << " 행 " << RowText(entry.row) << " ["
                  << e.values << "]\n  파일 " << jet::HexBytes(entry.key)
                  << "\n  계산 " << jet::HexBytes(e.key.key) << '\n';
            });
      } catch (const jet::Error& e) {
        ++report.damaged_indexes;
        out << "손상: " << where
            << " 색인을 끝까지 읽을 수 없습니다: " << e.what() << '\n';
        report.matched += matched;
        report.mismatched += mismatched;
        report.unencodable += unencodable;
        continue;
      }
      for (const auto& [row, e] : expected[i]) {
        if (e.wanted && e.seen == 0) {
          ++report.missing_entries;
          out << "빠진 항목: " << where << " 행 "
              << RowText(
                     jet::RowPointer::FromPacked(static_cast<uint32_t>(row)))
              << " [" << e.values << "] 의 항목이 없습니다\n";
        }
      }
      report.matched += matched;
      report.mismatched += mismatched;
      report.unencodable += unencodable;
      if (verbose) {
        out << "색인 " << where << " (" << label << "): 항목 "
            << matched + mismatched + unencodable << ", 일치 " << matched
            << ", 불일치 " << mismatched << ", 키 없음 " << unencodable << '\n';
      }
    }
  }

  for (auto& [label, stats] : report.by_sort_order) {
    stats.distinct_chars = chars_seen[label].size();
    out << "정렬 순서 " << label << ": entries=" << stats.entries
        << " matched=" << stats.matched << " mismatched=" << stats.mismatched
        << " unencodable=" << stats.unencodable
        << " distinct_chars=" << stats.distinct_chars << '\n';
    if (verbose && !chars_seen[label].empty()) {
      std::u16string all(chars_seen[label].begin(), chars_seen[label].end());
      for (char16_t& c : all) {
        if (c < 0x20) c = u'?';  // keep control characters off the screen
      }
      out << "  문자: " << jet::Utf16ToUtf8(all) << '\n';
    }
  }
  if (report.missing_entries || report.extra_entries ||
      report.order_violations || report.damaged_indexes) {
    out << "구조: missing=" << report.missing_entries
        << " extra=" << report.extra_entries
        << " out_of_order=" << report.order_violations
        << " damaged=" << report.damaged_indexes << '\n';
  }
  out << "keys matched=" << report.matched
      << " mismatched=" << report.mismatched
      << " unencodable=" << report.unencodable << '\n';
  if (report_out) *report_out = report;
  return report.clean() ? 0 : 1;
}

}  // namespace cli
