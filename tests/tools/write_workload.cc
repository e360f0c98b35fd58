// write_workload OUT_DIR [SEED]: seeded random row writes on a copy of every
// corpus file (set Null, set zero, set texts and memos of many lengths, add
// and strip spaces), until rows grow, move and long values chain. After the
// writes each copy is reopened and every value compared with what was
// written, and the integrity check with the index key report (mdbcare-cli
// check) runs on it; the copies stay in OUT_DIR for the readers' comparison
// that runs next (tests/oracles/compare_dump.py). Exit 0 when every value read
// back and every copy checked clean, 1 otherwise, 77 without the corpus.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "cli/check_command.h"
#include "jet/base/error.h"
#include "jet/base/value_format.h"
#include "jet/database/database.h"
#include "jet/database/table.h"
#include "jet/rows/value_conversion.h"
#include "tests/support/corpus.h"

namespace fs = std::filesystem;
using jet::ColumnChange;
using jet::ColumnType;
using jet::RowPointer;
using jet::Value;

namespace {

constexpr int kSkip = 77;

std::string RandomText(std::mt19937& rng, size_t max_chars, bool korean) {
  static const char* kPieces[] = {"a", "B", "z", "0", "7", " ", "  ", "-",
                                  "'", "x", "한", "글", "값", "é"};
  std::uniform_int_distribution<size_t> len(0, max_chars);
  std::uniform_int_distribution<int> piece(0, korean ? 13 : 9);
  size_t n = len(rng);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += kPieces[piece(rng)];
  return s;
}

// Characters the column can hold: Jet 4 text lengths count bytes of UCS-2.
size_t MaxChars(const jet::ColumnDefinition& col, jet::JetVersion v) {
  if (col.type == static_cast<uint8_t>(ColumnType::kMemo)) return 3000;
  return v == jet::JetVersion::kJet4 ? col.length / 2 : col.length / 2;
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// Equality that takes a NaN read back as the NaN written.
bool SameValue(const Value& a, const Value& b) {
  if (auto x = std::get_if<double>(&a); x && std::holds_alternative<double>(b)) {
    double y = std::get<double>(b);
    return std::memcmp(x, &y, sizeof y) == 0;
  }
  if (auto x = std::get_if<float>(&a); x && std::holds_alternative<float>(b)) {
    float y = std::get<float>(b);
    return std::memcmp(x, &y, sizeof y) == 0;
  }
  return a == b;
}

int RunFile(const fs::path& source, const fs::path& out_dir, uint32_t seed,
            size_t& writes, size_t& refused) {
  fs::path path = out_dir / source.filename();
  fs::copy_file(source, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  std::string connect = ";pwd=" + testing_support::CorpusPassword(source);
  std::mt19937 rng(seed);
  std::map<std::string, std::map<uint32_t, std::vector<Value>>> model;
  {
    jet::OpenOptions options;
    options.connect = connect;
    options.writable = true;
    auto db = jet::Database::Open(path.string(), options);
    for (const jet::CatalogEntry& entry : db->tables()) {
      if (entry.is_system() || !entry.is_local_table()) continue;
      auto table = db->OpenTable(entry.name);
      const auto& def = table->definition();
      std::vector<RowPointer> ids;
      {
        jet::TableScan scan = table->Scan();
        while (scan.Next()) ids.push_back(scan.row_id());
      }
      if (ids.empty()) continue;
      std::vector<size_t> columns;
      for (size_t k = 0; k < def.columns.size(); ++k) {
        const auto& col = def.columns[k];
        if (col.flags & jet::column_flags::kAutoNumber) continue;
        columns.push_back(k);
      }
      if (columns.empty()) continue;
      auto& rows = model[entry.name];
      for (RowPointer id : ids) rows[id.Packed()] = table->ReadRow(id);
      size_t ops = std::min<size_t>(400, ids.size() * 4);
      std::uniform_int_distribution<size_t> pick_row(0, ids.size() - 1);
      std::uniform_int_distribution<size_t> pick_col(0, columns.size() - 1);
      std::uniform_int_distribution<int> pick_op(0, 3);
      for (size_t i = 0; i < ops; ++i) {
        RowPointer id = ids[pick_row(rng)];
        size_t k = columns[pick_col(rng)];
        const auto& col = def.columns[k];
        bool text = col.type == static_cast<uint8_t>(ColumnType::kText) ||
                    col.type == static_cast<uint8_t>(ColumnType::kMemo);
        Value v;
        switch (pick_op(rng)) {
          case 0:
            v = col.type == static_cast<uint8_t>(ColumnType::kBoolean)
                    ? Value(false)
                    : Value(jet::Null{});
            break;
          case 1:
            if (text) {
              v = std::string();
            } else {
              try {
                v = jet::ConvertToColumnType(int16_t{0}, col, db->version());
              } catch (const jet::Error&) {
                continue;  // a type that cannot hold a zero
              }
            }
            break;
          case 2:
            if (!text) continue;
            v = RandomText(rng, MaxChars(col, db->version()),
                           db->version() == jet::JetVersion::kJet4);
            break;
          default: {
            if (!text) continue;
            const Value& cur = rows[id.Packed()][k];
            const auto* s = std::get_if<std::string>(&cur);
            if (!s) continue;
            std::string t = Trimmed(*s);
            if (t == *s && t.size() + 4 <= MaxChars(col, db->version())) {
              t = "  " + t + "  ";
            }
            v = t;
          }
        }
        try {
          v = jet::ConvertToColumnType(v, col, db->version());
          table->UpdateRow(id, {ColumnChange{k, v}});
        } catch (const jet::Error& e) {
          // Refusals the table's own rules make; the row stays as it was.
          if (e.number() == jet::kErrFieldTooSmall ||
              e.number() == jet::kErrDuplicateKey ||
              e.number() == jet::kErrRequired ||
              e.number() == jet::kErrZeroLength ||
              e.number() == jet::kErrIndexKeyUnavailable) {
            ++refused;
            continue;
          }
          throw;
        }
        rows[id.Packed()][k] = v;
        ++writes;
      }
    }
    db->Close();
  }
  // Read everything back.
  jet::OpenOptions options;
  options.connect = connect;
  auto db = jet::Database::Open(path.string(), options);
  int failures = 0;
  for (auto& [name, rows] : model) {
    auto table = db->OpenTable(name);
    size_t seen = 0;
    jet::TableScan scan = table->Scan();
    while (scan.Next()) {
      ++seen;
      auto it = rows.find(scan.row_id().Packed());
      if (it == rows.end()) {
        std::printf("%s %s: unexpected row %u:%u\n", source.c_str(), name.c_str(),
                    scan.row_id().page, scan.row_id().row);
        ++failures;
        continue;
      }
      std::vector<Value> got = table->ReadRow(scan.row_id());
      for (size_t k = 0; k < got.size(); ++k) {
        if (!SameValue(got[k], it->second[k])) {
          std::printf("%s %s row %u:%u column %s differs\n", source.c_str(),
                      name.c_str(), scan.row_id().page, scan.row_id().row,
                      table->definition().columns[k].name.c_str());
          ++failures;
        }
      }
    }
    if (seen != rows.size()) {
      std::printf("%s %s: %zu rows, expected %zu\n", source.c_str(), name.c_str(),
                  seen, rows.size());
      ++failures;
    }
  }
  db.reset();
  std::ostringstream check;
  if (cli::RunCheck(path.string(), connect, check) != 0) {
    std::printf("%s: the check has findings\n%s", source.c_str(),
                check.str().c_str());
    ++failures;
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: write_workload OUT_DIR [SEED]\n");
    return 2;
  }
  if (testing_support::CorpusDir().empty()) {
    std::printf("corpus folder not found: workload skipped\n");
    return kSkip;
  }
  fs::path out = argv[1];
  uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::stoul(argv[2])) : 20261208;
  fs::remove_all(out);
  fs::create_directories(out);
  int failures = 0;
  size_t files = 0, writes = 0, refused = 0;
  for (const fs::path& file : testing_support::CorpusFiles()) {
    try {
      failures += RunFile(file, out, seed + static_cast<uint32_t>(files), writes, refused);
    } catch (const jet::Error& e) {
      std::printf("%s: error %d: %s\n", file.c_str(), e.number(), e.description());
      ++failures;
    }
    ++files;
  }
  std::printf("%zu files, %zu writes, %zu refused, %d failures\n", files, writes,
              refused, failures);
  return failures == 0 ? 0 : 1;
}
