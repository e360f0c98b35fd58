// mdbcare-cli: the maintenance operations without a window, and tools to
// look into a database file.
//
//   mdbcare-cli tables FILE [--password PW] [--all]
//   mdbcare-cli dump FILE [--password PW] [--table NAME] [--all]
//   mdbcare-cli set-password FILE NEW [--password OLD]
//   mdbcare-cli keys FILE [--password PW] [-v]
//   mdbcare-cli check FILE [--password PW]
//   mdbcare-cli nulls FILE... [--password PW]
//   mdbcare-cli trim FILE... [--password PW]
//   mdbcare-cli compact FILE... [--password PW]
//
// Exit status: 0 on success, 1 on an engine error, 2 on wrong usage.
//
// On Windows the arguments are taken in UTF-16 (wmain) and the output is
// UTF-8, which the console is switched to while the program runs.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/index_key_report.h"
#include "cli/json_value.h"
#include "cli/maintenance_commands.h"
#include "jet/base/error.h"
#include "jet/base/win32_text.h"
#include "jet/database/database.h"
#include "jet/rows/table_scan.h"

namespace {

// The connect string the maintenance program opens every database with.
constexpr const char* kDefaultConnect = ";pwd=7316";

constexpr int kExitOk = 0;
constexpr int kExitEngineError = 1;
constexpr int kExitUsage = 2;

struct Arguments {
  std::string command;
  std::vector<std::string> files;
  std::string connect = kDefaultConnect;
  std::string table;
  bool all = false;
  bool verbose = false;
};

int Usage() {
  std::fputs(
      "사용법:\n"
      "  mdbcare-cli tables FILE [--password PW] [--all]\n"
      "  mdbcare-cli dump FILE [--password PW] [--table NAME] [--all]\n"
      "  mdbcare-cli set-password FILE NEW [--password OLD]\n"
      "  mdbcare-cli keys FILE [--password PW] [-v]\n"
      "  mdbcare-cli check FILE [--password PW]\n"
      "  mdbcare-cli nulls FILE... [--password PW]\n"
      "  mdbcare-cli trim FILE... [--password PW]\n"
      "  mdbcare-cli compact FILE... [--password PW]\n",
      stderr);
  return kExitUsage;
}

bool Parse(int argc, char** argv, Arguments& a) {
  if (argc < 2) return false;
  a.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--password" && i + 1 < argc) {
      a.connect = std::string(";pwd=") + argv[++i];
    } else if (arg == "--table" && i + 1 < argc) {
      a.table = argv[++i];
    } else if (arg == "--all") {
      a.all = true;
    } else if (arg == "-v") {
      a.verbose = true;
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else {
      a.files.push_back(arg);
    }
  }
  return true;
}

std::unique_ptr<jet::Database> OpenForReading(const Arguments& a) {
  jet::OpenOptions options;
  options.connect = a.connect;
  return jet::Database::Open(a.files[0], options);
}

int Tables(const Arguments& a) {
  auto db = OpenForReading(a);
  for (const jet::CatalogEntry& t : db->tables()) {
    if (t.is_system() && !a.all) continue;
    std::cout << t.name << '\n';
  }
  return kExitOk;
}

void DumpTable(jet::Database& db, const jet::CatalogEntry& table,
               std::string& out) {
  if (!table.is_local_table()) return;  // its rows live in another file
  jet::TableDefinition def = db.ReadTableDefinition(table);
  jet::ValueContext context = db.value_context();
  std::string prefix = "{\"table\": " + cli::JsonString(table.name) +
                       ", \"values\": {";
  jet::TableScan scan(db.pager(), db.version(), def);
  while (scan.Next()) {
    std::vector<jet::FieldBytes> fields = scan.Fields();
    out += prefix;
    for (size_t k = 0; k < def.columns.size(); ++k) {
      if (k) out += ", ";
      out += cli::JsonString(def.columns[k].name);
      out += ": ";
      out += cli::JsonValue(jet::DecodeValue(fields[k], def.columns[k], context));
    }
    out += "}}\n";
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
}

// Sets a database's password (NEW may be "" to remove it).
int SetPassword(const Arguments& a) {
  jet::OpenOptions options;
  options.connect = a.connect;
  options.writable = true;
  auto db = jet::Database::Open(a.files[0], options);
  db->SetPassword(a.files[1]);
  db->Close();
  return kExitOk;
}

// Index keys encoded again from their rows; exit 1 on any mismatch.
int Keys(const Arguments& a) {
  return cli::RunIndexKeyReport(a.files[0], a.connect, a.verbose, std::cout);
}

int Dump(const Arguments& a) {
  auto db = OpenForReading(a);
  std::string out;
  if (!a.table.empty()) {
    DumpTable(*db, db->FindTable(a.table), out);
  } else {
    for (const jet::CatalogEntry& t : db->tables()) {
      if (t.is_system() && !a.all) continue;
      DumpTable(*db, t, out);
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitOk;
}

int Run(int argc, char** argv) {
  Arguments a;
  if (!Parse(argc, argv, a)) return Usage();
  try {
    if (a.command == "tables" && a.files.size() == 1) return Tables(a);
    if (a.command == "dump" && a.files.size() == 1) return Dump(a);
    if (a.command == "set-password" && a.files.size() == 2) return SetPassword(a);
    if (a.command == "keys" && a.files.size() == 1) return Keys(a);
    if (a.command == "check" && a.files.size() == 1) {
      return cli::RunCheck(a.files[0], a.connect, std::cout);
    }
    if (cli::IsMaintenanceCommand(a.command) && !a.files.empty()) {
      return cli::RunMaintenanceCommand(a.command, a.files, a.connect, std::cout);
    }
  } catch (const jet::Error& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.description());
    return kExitEngineError;
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("메모리가 부족합니다.\n", stderr);
    return kExitEngineError;
  }
  return Usage();
}

}  // namespace

#ifdef _WIN32
namespace {

// The console's output code page, set to UTF-8 for the program's life.
class Utf8Console {
 public:
  Utf8Console() : previous_(::GetConsoleOutputCP()) {
    if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() {
    if (previous_ != 0) ::SetConsoleOutputCP(previous_);
  }

 private:
  UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(jet::Narrow(wargv[i]));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Utf8Console console;
  const int status = Run(argc, argv.data());
  std::fflush(stdout);
  return status;
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
