// Every index entry of every corpus file against the key encoder: the key
// made from the row's values must equal the entry's bytes, or the encoder
// must say it cannot make it, which it may only for a Han character of a
// Chinese or Japanese key. Also every row that should have an entry has
// exactly one.
#include <gtest/gtest.h>

#include <map>
#include <unordered_map>

#include "jet/base/error.h"
#include "jet/base/text_codec.h"
#include "jet/database/database.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

struct Counts {
  size_t entries = 0, matched = 0, mismatched = 0, unencodable = 0, missing = 0,
         extra = 0, hangul_keys = 0;
};

Counts CheckFile(const std::filesystem::path& file) {
  Counts counts;
  OpenOptions open;
  std::string password = testing_support::CorpusPassword(file);
  if (!password.empty()) open.connect = ";pwd=" + password;
  auto db = Database::Open(file.string(), open);
  const DatabaseHeader& h = db->header();
  IndexKeyOptions options =
      KeyOptionsFor(h.sort_order, h.sort_order_version, h.code_page);
  ValueContext context = db->value_context();
  for (const CatalogEntry& table : db->tables()) {
    if (!table.is_local_table()) continue;
    TableDefinition def = db->ReadTableDefinition(table);
    if (def.real_indexes.empty()) continue;
    struct Expected {
      IndexKeyResult key;
      bool wanted = false;
      bool hangul = false;
      int seen = 0;
    };
    std::vector<std::unordered_map<uint32_t, Expected>> expected(
        def.real_indexes.size());
    TableScan scan(db->pager(), db->version(), def);
    while (scan.Next()) {
      std::vector<FieldBytes> fields = scan.Fields();
      std::vector<Value> row;
      for (size_t k = 0; k < fields.size(); ++k) {
        row.push_back(DecodeValue(fields[k], def.columns[k], context));
      }
      for (size_t i = 0; i < def.real_indexes.size(); ++i) {
        Expected e;
        e.wanted = RowHasIndexEntry(def.real_indexes[i], def, row);
        if (e.wanted) {
          e.key = EncodeIndexKey(def.real_indexes[i], def, row, db->version(),
                                 options);
          for (const IndexColumn& ic : def.real_indexes[i].columns) {
            int pos = ColumnPosition(def, ic.column_number);
            if (pos >= 0 && std::holds_alternative<std::string>(row[pos])) {
              for (char16_t c : Utf8ToUtf16(std::get<std::string>(row[pos]))) {
                if (c >= 0xAC00 && c <= 0xD7A3) e.hangul = true;
              }
            }
          }
        }
        expected[i][scan.row_id().Packed()] = std::move(e);
      }
    }
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      WalkIndexTree(db->pager(), db->version(), def.real_indexes[i].first_page,
                    def.page, [&](const IndexLeafEntry& entry) {
                      ++counts.entries;
                      auto it = expected[i].find(entry.row.Packed());
                      if (it == expected[i].end() || !it->second.wanted ||
                          ++it->second.seen > 1) {
                        ++counts.extra;
                        ADD_FAILURE()
                            << file << " " << table.name << " index " << i
                            << ": entry for no row " << HexBytes(entry.key);
                        return;
                      }
                      const IndexKeyResult& key = it->second.key;
                      if (!key.encodable) {
                        ++counts.unencodable;
                        // Declined only for what no real key has shown:
                        // Han characters of the Chinese and Japanese orders.
                        const char16_t c = key.unknown_char;
                        if (c < 0x4E00 || c > 0x9FFF) {
                          ADD_FAILURE() << file << " " << table.name
                                        << " index " << i << ": " << key.reason;
                        }
                      } else if (key.key == entry.key) {
                        ++counts.matched;
                        if (it->second.hangul) ++counts.hangul_keys;
                      } else {
                        ++counts.mismatched;
                        ADD_FAILURE() << file << " " << table.name << " index "
                                      << i << " row " << entry.row.page << ":"
                                      << int(entry.row.row) << "\n file "
                                      << HexBytes(entry.key) << "\n ours "
                                      << HexBytes(key.key);
                      }
                    });
      for (const auto& [row, e] : expected[i]) {
        if (e.wanted && e.seen == 0) {
          ++counts.missing;
          ADD_FAILURE() << file << " " << table.name << " index " << i
                        << ": no entry for row " << (row >> 8) << ":"
                        << (row & 0xFF);
        }
      }
    }
  }
  return counts;
}

TEST(IndexKeyCorpusTest, EveryEntryMatchesOrIsUnencodable) {
  SKIP_WITHOUT_CORPUS();
  Counts total;
  size_t files = 0;
  for (const auto& file : testing_support::CorpusFiles()) {
    Counts c;
    try {
      c = CheckFile(file);
    } catch (const Error& e) {
      ADD_FAILURE() << file << ": " << e.what();
      continue;
    }
    ++files;
    total.entries += c.entries;
    total.matched += c.matched;
    total.mismatched += c.mismatched;
    total.unencodable += c.unencodable;
    total.missing += c.missing;
    total.extra += c.extra;
    total.hangul_keys += c.hangul_keys;
    if (file.filename() == "posLibrary.mdb") {
      // The Korean sort order's Hangul keys: 71 keys with Hangul.
      EXPECT_GE(c.hangul_keys, 71u);
    }
  }
  std::printf(
      "%zu files: entries=%zu matched=%zu mismatched=%zu "
      "unencodable=%zu\n",
      files, total.entries, total.matched, total.mismatched, total.unencodable);
  EXPECT_GT(files, 40u);
  EXPECT_EQ(total.mismatched, 0u);
  EXPECT_EQ(total.missing, 0u);
  EXPECT_EQ(total.extra, 0u);
  // Only Han characters in Chinese and Japanese keys are left (2 keys).
  EXPECT_LE(total.unencodable, 2u);
  EXPECT_GT(total.matched, 80000u);
}

}  // namespace
}  // namespace jet
