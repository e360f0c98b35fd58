// mdbcare-cli check FILE [--password PW]: the integrity check of a database
// (see jet/check/checker.h), printed for people and scripts alike.
#ifndef MDBCARE_CLI_CHECK_COMMAND_H_
#define MDBCARE_CLI_CHECK_COMMAND_H_

#include <ostream>
#include <string>

namespace cli {

// Opens `path` read-only with `connect`, checks it and writes every
// finding to `out`, one per line ("[kind] page P row R table 'T': ..."),
// then the summary:
//   pages total=N free=F owned=O left-allocated=L (zero=.. long-value=..
//     retired=.. map=.. dropped=.. definition=.. deleted-table=.. index=..
//     other=..)
//   data-pages checked=N free-space-agrees=M
//   rows tables=.. rows=.. moved=.. long-values=.. long-value-rows=..
//     unreferenced-long-value-rows=..
//   indexes count=.. pages=.. entries=.. free-space-agrees=..
//     parent-equal=.. parent-greater=.. tail-leaves=..
//     linked-only-leaves=.. descended-entries=..
//   findings=K
// and last, where the index key report is part of the tool, its closing
// line "keys matched=N mismatched=M unencodable=U" (keys that differ are
// a finding too). Returns 0 when there is no finding, 1 otherwise. A file too
// damaged to open is reported as one finding; other errors of opening (no such
// file, wrong password, not a Jet 3/4 database) are raised as jet::Error.
int RunCheck(const std::string& path, const std::string& connect,
             std::ostream& out);

}  // namespace cli

#endif  // MDBCARE_CLI_CHECK_COMMAND_H_
