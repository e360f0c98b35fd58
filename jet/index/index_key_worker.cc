#include "jet/index/index_key_worker.h"

#include <utility>

#include "jet/base/column_type.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

// Rows (and their bytes) handed over together, and batches waiting at
// most, and kept for reuse: the memory the hand-over takes stays under a
// few megabytes.
constexpr size_t kRowsPerBatch = 1024;
constexpr size_t kBytesPerBatch = size_t{256} << 10;
constexpr size_t kBatchesWaiting = 4;

}  // namespace

bool IndexKeyWorker::Suits(const TableDefinition& def) {
  for (const RealIndex& index : def.real_indexes) {
    for (const IndexColumn& c : index.columns) {
      const int k = ColumnPosition(def, c.column_number);
      if (k >= 0 && IsLongValueType(def.columns[k].type)) return false;
    }
  }
  return true;
}

IndexKeyWorker::IndexKeyWorker(const TableDefinition& def, JetVersion version,
                               uint16_t code_page,
                               const IndexKeyOptions& options,
                               CollectedIndexEntries& entries)
    : def_(def),
      version_(version),
      code_page_(code_page),
      options_(options),
      entries_(entries),
      thread_([this] { Run(); }) {}

IndexKeyWorker::~IndexKeyWorker() {
  {
    // Left without Finish(): the rows still waiting are dropped.
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void IndexKeyWorker::Add(std::span<const uint8_t> row, RowPointer original,
                         RowPointer copy) {
  filling_.bytes.insert(filling_.bytes.end(), row.begin(), row.end());
  filling_.rows.push_back(Batch::Row{filling_.bytes.size(), original, copy});
  if (filling_.rows.size() >= kRowsPerBatch ||
      filling_.bytes.size() >= kBytesPerBatch) {
    Hand();
  }
}

void IndexKeyWorker::Hand() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock,
                [&] { return queue_.size() < kBatchesWaiting || error_; });
  queue_.push_back(std::move(filling_));
  filling_ = Batch();
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
}

std::vector<IndexKeyWorker::Unmade> IndexKeyWorker::Finish() {
  if (!filling_.rows.empty()) Hand();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_) std::rethrow_exception(error_);
  return std::move(unmade_);
}

void IndexKeyWorker::Run() {
  while (true) {
    Batch batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      batch = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    if (!error_) {
      try {
        size_t start = 0;
        for (const Batch::Row& r : batch.rows) {
          MakeKeys(ByteView(batch.bytes.data() + start, r.end - start),
                   r.original, r.copy);
          start = r.end;
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
      }
    }
    // Emptied, the batch goes back to be filled again; an error drains
    // the queue without work, and Finish() raises it.
    batch.bytes.clear();
    batch.rows.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() < kBatchesWaiting) spare_.push_back(std::move(batch));
  }
}

void IndexKeyWorker::MakeKeys(ByteView row, RowPointer original,
                              RowPointer copy) {
  DecodeRow(version_, def_, row, fields_);
  const ValueContext context{version_, code_page_, nullptr};
  for (size_t i = 0; i < def_.real_indexes.size(); ++i) {
    const RealIndex& index = def_.real_indexes[i];
    if (!RowHasIndexEntry(index, def_, fields_)) continue;
    IndexKeyResult key =
        EncodeIndexKey(index, def_, fields_, context, options_);
    if (key) {
      entries_.Add(i, key.key, copy);
    } else {
      unmade_.push_back(Unmade{i, original, copy, key.reason});
    }
  }
}

}  // namespace jet
