#include "maintenance/engine/db_engine.h"

#include "jet/base/error.h"
#include "jet/database/compact.h"

namespace dao {

DBEngine& DBEngine::Get() {
  static DBEngine* engine = new DBEngine();  // lives as long as the process
  return *engine;
}

std::unique_ptr<Database> DBEngine::OpenDatabase(const std::string& name,
                                                 bool exclusive, bool read_only,
                                                 const std::string& connect) {
  if (exclusive) {
    throw jet::Error(jet::kErrUnsupportedFeature,
                     "데이터베이스를 단독으로 열 수 없습니다.");
  }
  jet::OpenOptions options;
  options.connect = connect;
  options.writable = !read_only;
  options.journal = journal_;
  return std::make_unique<Database>(jet::Database::Open(name, options));
}

jet::CompactReport DBEngine::CompactDatabase(const std::string& src_name,
                                             const std::string& dst_name,
                                             const std::string& dst_locale,
                                             int32_t options,
                                             const std::string& src_locale) {
  return jet::CompactDatabase(src_name, dst_name, src_locale);
}

}  // namespace dao
