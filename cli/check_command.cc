#include "cli/check_command.h"

#include <memory>
#include <sstream>
#include <vector>

#include "jet/base/error.h"
#include "jet/check/checker.h"
#include "jet/database/database.h"

// The index key report (keys made again from the rows and compared with
// the entries) closes the check where the tool has it.
#if __has_include("cli/index_key_report.h")
#include "cli/index_key_report.h"
#define MDBCARE_CHECK_INDEX_KEYS 1
#endif

namespace cli {

namespace {

void PrintSummary(const jet::CheckStatistics& s, std::ostream& out) {
  uint32_t left = s.unowned_zero_pages + s.unowned_long_value_pages +
                  s.unowned_retired_data_pages + s.unowned_map_pages +
                  s.unowned_dropped_data_pages +
                  s.unowned_definition_pages + s.unowned_deleted_table_pages +
                  s.unowned_index_pages + s.unowned_other_pages;
  out << "pages total=" << s.pages << " free=" << s.free_pages
      << " owned=" << s.owned_pages << " left-allocated=" << left
      << " (zero=" << s.unowned_zero_pages
      << " long-value=" << s.unowned_long_value_pages
      << " retired=" << s.unowned_retired_data_pages
      << " map=" << s.unowned_map_pages
      << " dropped=" << s.unowned_dropped_data_pages
      << " definition=" << s.unowned_definition_pages
      << " deleted-table=" << s.unowned_deleted_table_pages
      << " index=" << s.unowned_index_pages
      << " other=" << s.unowned_other_pages << ")\n";
  out << "data-pages checked=" << s.data_pages_checked
      << " free-space-agrees=" << s.free_space_agreeing << "\n";
  out << "rows tables=" << s.tables << " rows=" << s.rows
      << " moved=" << s.moved_rows << " long-values=" << s.long_values
      << " long-value-rows=" << s.long_value_rows
      << " unreferenced-long-value-rows=" << s.unreferenced_long_value_rows
      << "\n";
  out << "indexes count=" << s.indexes << " pages=" << s.index_pages
      << " entries=" << s.index_entries
      << " free-space-agrees=" << s.index_free_space_agreeing
      << " parent-equal=" << s.index_parent_entries_equal
      << " parent-greater=" << s.index_parent_entries_greater
      << " tail-leaves=" << s.index_tail_leaves
      << " linked-only-leaves=" << s.index_linked_only_leaves
      << " descended-entries=" << s.index_descended_entries << "\n";
}

#ifdef MDBCARE_CHECK_INDEX_KEYS
// Runs the key report and returns its closing line ("keys matched=N
// mismatched=M unencodable=U"); keys that differ become a finding. Its
// other lines (entries missing, extra or out of order) repeat what the
// checker reports itself and are left out.
std::string CheckIndexKeys(const std::string& path, const std::string& connect,
                           std::vector<jet::Finding>& findings) {
  std::ostringstream report;
  try {
    RunIndexKeyReport(path, connect, false, report);
  } catch (const std::exception& e) {
    findings.push_back(
        jet::Finding{jet::FindingKind::kIndexKey, 0, -1, "",
                     std::string("색인 키를 검사할 수 없습니다: ") + e.what()});
    return "";
  }
  std::string text = report.str();
  size_t at = text.rfind("keys matched=");
  if (at == std::string::npos) return "";
  std::string line = text.substr(at);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  size_t m = line.find("mismatched=");
  if (m != std::string::npos && line.compare(m + 11, 2, "0 ") != 0) {
    findings.push_back(
        jet::Finding{jet::FindingKind::kIndexKey, 0, -1, "",
                     "행에서 다시 만든 색인 키가 파일의 항목과 다릅니다 (" +
                         line + "; 자세한 내용은 mdbcare-cli keys)"});
  }
  return line;
}
#endif

}  // namespace

int RunCheck(const std::string& path, const std::string& connect,
             std::ostream& out) {
  jet::OpenOptions options;
  options.connect = connect;
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::Open(path, options);
  } catch (const jet::Error& e) {
    if (e.number() != jet::kErrDamagedFile) throw;
    jet::Finding f{jet::FindingKind::kUnreadable, 0, -1, "",
                   std::string("파일을 열 수 없습니다: ") + e.description()};
    out << jet::FormatFinding(f) << "\n";
    PrintSummary(jet::CheckStatistics{}, out);
    out << "findings=1\n";
    return 1;
  }
  jet::CheckResult result = jet::CheckDatabaseWithStatistics(*db);
  db.reset();
  std::string keys_line;
#ifdef MDBCARE_CHECK_INDEX_KEYS
  keys_line = CheckIndexKeys(path, connect, result.findings);
#endif
  for (const jet::Finding& f : result.findings) {
    out << jet::FormatFinding(f) << "\n";
  }
  PrintSummary(result.statistics, out);
  out << "findings=" << result.findings.size() << "\n";
  if (!keys_line.empty()) out << keys_line << "\n";
  return result.findings.empty() ? 0 : 1;
}

}  // namespace cli
