// Index keys made on a second thread while a compaction copies rows: the
// copying thread hands over each copied row's bytes, and the worker decodes
// them and adds each index's entry to the collected entries. Key encoding
// is a third of a compaction's work; on a machine with two cores it then
// runs beside the copying.
//
// The worker never touches the pager: it is only used for tables none of
// whose indexes covers a memo or OLE column (whose values are on long-value
// pages). Rows whose key cannot be made are handed back at Finish(), for
// the caller to find their key another way.
#ifndef MDBCARE_JET_INDEX_INDEX_KEY_WORKER_H_
#define MDBCARE_JET_INDEX_INDEX_KEY_WORKER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "jet/index/collected_index_entries.h"
#include "jet/base/format.h"
#include "jet/index/index_key.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_definition.h"

namespace jet {

class IndexKeyWorker {
 public:
  // A row whose key in index `index` could not be made.
  struct Unmade {
    size_t index = 0;
    RowPointer original;  // where the row was met in the source
    RowPointer copy;      // its id in the copy
    std::string reason;
  };

  // Whether the worker can make every key of `def`'s indexes: none covers
  // a memo or OLE column.
  static bool Suits(const TableDefinition& def);

  // `def` and `entries` (one run per real index of `def`) must outlive the
  // worker; `entries` is not touched by the caller until Finish() returns.
  IndexKeyWorker(const TableDefinition& def, JetVersion version,
                 uint16_t code_page, const IndexKeyOptions& options,
                 CollectedIndexEntries& entries);
  ~IndexKeyWorker();

  IndexKeyWorker(const IndexKeyWorker&) = delete;
  IndexKeyWorker& operator=(const IndexKeyWorker&) = delete;

  // Hands over a copied row: its bytes as the copy stores them (copied;
  // the caller keeps its buffer).
  void Add(std::span<const uint8_t> row, RowPointer original, RowPointer copy);
  // Waits until every row handed over has its entries; returns the rows
  // whose key could not be made. Raises what the worker met.
  std::vector<Unmade> Finish();

 private:
  // Rows handed over together: their bytes one after another. Batches go
  // back and forth between the threads and are reused, so that neither
  // thread frees memory the other one allocated (which makes the two
  // contend for the allocator's locks).
  struct Batch {
    struct Row {
      size_t end = 0;  // where the row's bytes end in `bytes`
      RowPointer original;
      RowPointer copy;
    };
    std::vector<uint8_t> bytes;
    std::vector<Row> rows;
  };
  void Run();
  void MakeKeys(ByteView row, RowPointer original, RowPointer copy);
  void Hand();

  const TableDefinition& def_;
  const JetVersion version_;
  const uint16_t code_page_;
  const IndexKeyOptions options_;
  CollectedIndexEntries& entries_;

  Batch filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;
  std::vector<Batch> spare_;  // emptied by the worker, for reuse
  bool closing_ = false;
  std::exception_ptr error_;
  std::vector<Unmade> unmade_;
  std::vector<FieldBytes> fields_;  // the worker's, reused from row to row
  std::thread thread_;  // last: started once everything else is made
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_KEY_WORKER_H_
