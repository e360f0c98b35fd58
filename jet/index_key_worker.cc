#include "jet/index_key_worker.h"

#include <utility>

#include "jet/column_type.h"
#include "jet/row_codec.h"
#include "jet/value_codec.h"

namespace jet {

namespace {

// Rows handed over together, and batches waiting at most: the memory the
// hand-over takes stays under a few megabytes.
constexpr size_t kRowsPerBatch = 1024;
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
                               std::vector<EntryRun>& runs)
    : def_(def),
      version_(version),
      code_page_(code_page),
      options_(options),
      runs_(runs),
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

void IndexKeyWorker::Add(std::vector<uint8_t> row, RowPointer original,
                         RowPointer copy) {
  filling_.push_back(Job{std::move(row), original, copy});
  if (filling_.size() < kRowsPerBatch) return;
  Hand(std::move(filling_));
  filling_.clear();
}

void IndexKeyWorker::Hand(std::vector<Job> batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock,
                [&] { return queue_.size() < kBatchesWaiting || error_; });
  queue_.push_back(std::move(batch));
  lock.unlock();
  changed_.notify_all();
}

std::vector<IndexKeyWorker::Unmade> IndexKeyWorker::Finish() {
  if (!filling_.empty()) {
    Hand(std::move(filling_));
    filling_.clear();
  }
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
    std::vector<Job> batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      batch = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    if (error_) continue;  // drain without work; Finish() raises it
    try {
      for (const Job& job : batch) MakeKeys(job);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = std::current_exception();
    }
  }
}

void IndexKeyWorker::MakeKeys(const Job& job) {
  const std::vector<FieldBytes> fields =
      DecodeRow(version_, def_, ByteView(job.row.data(), job.row.size()));
  const ValueContext context{version_, code_page_, nullptr};
  for (size_t i = 0; i < def_.real_indexes.size(); ++i) {
    const RealIndex& index = def_.real_indexes[i];
    if (!RowHasIndexEntry(index, def_, fields)) continue;
    IndexKeyResult key = EncodeIndexKey(index, def_, fields, context, options_);
    if (key) {
      runs_[i].Add(key.key, job.copy);
    } else {
      unmade_.push_back(Unmade{i, job.original, job.copy, key.reason});
    }
  }
}

}  // namespace jet
