#include "jet/check/checker.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>

#include "jet/base/column_type.h"
#include "jet/storage/data_page.h"
#include "jet/check/data_page_check.h"
#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/base/format.h"
#include "jet/index/index_page.h"
#include "jet/check/index_tree_check.h"
#include "jet/rows/long_value.h"
#include "jet/storage/page_allocator.h"
#include "jet/check/page_ownership.h"
#include "jet/rows/row_codec.h"
#include "jet/storage/usage_map.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

using namespace data_page_layout;

// A damaged structure can produce a finding per row; past this many of one
// kind for one table the rest are counted in a closing finding.
constexpr size_t kMaxFindingsPerKind = 100;
constexpr size_t kRowPointerSize = 4;
// Page type Access gives a data page whose rows are all gone.
constexpr uint8_t kPageRetiredData = 0x09;
// Page type Access gives the definition pages of a table it deletes.
constexpr uint8_t kPageDeletedTable = 0x08;
// Real indexes beyond this many are not checked for one entry per row.
constexpr size_t kMaxCheckedIndexes = 64;

// Collects findings, capping floods of one kind for one table.
class Reporter {
 public:
  void Add(Finding f) {
    size_t& n = counts_[{f.kind, f.table}];
    if (++n > kMaxFindingsPerKind) return;
    findings_.push_back(std::move(f));
  }
  void Add(FindingKind kind, uint32_t page, int row, const std::string& table,
           const std::string& message) {
    Add(Finding{kind, page, row, table, message});
  }
  std::vector<Finding> Finish() {
    for (const auto& [key, n] : counts_) {
      if (n <= kMaxFindingsPerKind) continue;
      findings_.push_back(Finding{key.first, 0, -1, key.second,
                                  "같은 종류의 문제가 " +
                                      std::to_string(n - kMaxFindingsPerKind) +
                                      " 건 더 있습니다"});
    }
    return std::move(findings_);
  }

 private:
  std::vector<Finding> findings_;
  std::map<std::pair<FindingKind, std::string>, size_t> counts_;
};

// A usage map as read for checking: the pages it lists and the bitmap
// pages it uses.
struct MapContents {
  bool read = false;            // false: the map could not be read (reported)
  std::vector<uint32_t> pages;  // inside the file, ascending
  std::vector<uint32_t> bitmap_pages;
  uint64_t past_end = 0;  // listed pages past the end of the file
};

// Which long-value rows the values checked so far use, and which of them
// a second value uses too: two bits per row slot, for pages that hold such
// rows only (a map entry per row grew with the file: 48 bytes a row).
class LongValueRowUses {
 public:
  explicit LongValueRowUses(uint32_t page_count)
      : block_of_(page_count, kNone) {}

  // Records a use of `row` (a page inside the file); true when it is the
  // row's second use.
  bool UseIsSecond(RowPointer row) {
    uint32_t& block = block_of_[row.page];
    if (block == kNone) {
      block = static_cast<uint32_t>(blocks_.size());
      blocks_.emplace_back();
    }
    Block& b = blocks_[block];
    if (!b.used[row.row]) {
      b.used[row.row] = true;
      return false;
    }
    if (b.shared[row.row]) return false;
    b.shared[row.row] = true;
    return true;
  }

  bool Used(RowPointer row) const {
    const uint32_t block = block_of_[row.page];
    return block != kNone && blocks_[block].used[row.row];
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Block {
    std::bitset<256> used;
    std::bitset<256> shared;  // used more than once
  };
  std::vector<uint32_t> block_of_;  // per page
  std::vector<Block> blocks_;
};

struct TableState {
  CatalogEntry entry;
  TableDefinition def;
  bool readable = false;
  MapContents data;
  // Jet 4: the pages of each long-value column's map, by column number.
  std::map<uint16_t, std::vector<uint32_t>> long_value_pages;
  // Every row met, as the packed pointer of the slot it is met at, in the
  // order met: 4 bytes a row, as a table may have millions.
  std::vector<uint32_t> rows;
  // Per real index that ignores Nulls (else empty), per row: whether every
  // one of the index's columns is Null, so that it holds no entry for it.
  std::vector<std::vector<bool>> no_entry;
};

class Checker {
 public:
  explicit Checker(Database& db)
      : db_(db),
        pager_(db.pager()),
        version_(db.version()),
        page_count_(pager_.page_count()),
        ownership_(page_count_),
        free_(page_count_, false),
        types_(page_count_, 0xFF),
        owners_(page_count_, 0),
        long_value_uses_(page_count_) {}

  CheckResult Run();

 private:
  // --- the file's pages ---
  void ReadPageHeaders();
  void ReadGlobalMap();
  void AccountPages();
  void CheckDataPageLayouts();

  // --- usage maps ---
  MapContents ReadMap(RowPointer where, uint32_t table,
                      const std::string& table_name, const std::string& what,
                      bool global = false);

  // --- tables ---
  void LoadTables();
  void CheckTableMaps(TableState& t);
  void CheckLongValueMaps(TableState& t);
  void CheckRows(TableState& t);
  void CheckRow(TableState& t, RowPointer id, RowPointer stored_at,
                ByteView bytes);
  void CheckLongValue(TableState& t, const ColumnDefinition& column,
                      RowPointer id, ByteView reference);
  // The long-value row at `where` for a value of `column`; nullopt
  // (reported) when it is not a live row of a long-value page.
  std::optional<ByteView> LongValueRow(TableState& t,
                                       const ColumnDefinition& column,
                                       RowPointer id, RowPointer where);
  void CountUnreferencedLongValueRows();
  void CheckIndexes(TableState& t);

  // An index page without entries: Access leaves emptied leaves allocated.
  bool IsEmptyIndexPage(uint32_t page);
  bool IsLongValuePage(uint32_t page) const {
    return types_[page] == kPageData && owners_[page] == kLongValueOwner;
  }
  bool IsDataPageOf(uint32_t page, uint32_t table) const {
    return types_[page] == kPageData && owners_[page] == table;
  }

  Database& db_;
  Pager& pager_;
  JetVersion version_;
  uint32_t page_count_;
  PageOwnership ownership_;
  std::vector<bool> free_;
  std::vector<uint8_t> types_;
  std::vector<uint32_t> owners_;  // data and index pages' owner field
  std::vector<TableState> tables_;
  std::set<uint32_t> table_pages_;
  LongValueRowUses long_value_uses_;
  PageRef long_value_page_;  // holds the bytes LongValueRow handed out
  Reporter report_;
  CheckStatistics stats_;
};

// --- the file's pages ---

void Checker::ReadPageHeaders() {
  for (uint32_t p = 0; p < page_count_; ++p) {
    PageRef page = pager_.Get(p);
    ByteView v = page->view();
    types_[p] = page->type();
    if (v.Contains(data_page_layout::kOwnerOffset, 4)) {
      owners_[p] = v.U32(data_page_layout::kOwnerOffset);
    }
  }
}

void Checker::ReadGlobalMap() {
  ownership_.Claim(0, PageOwner{PageRole::kDatabaseHeader});
  ownership_.Claim(kGlobalUsageMap.page, PageOwner{PageRole::kGlobalUsageMap});
  MapContents map = ReadMap(kGlobalUsageMap, 0, "", "전역 사용 맵", true);
  for (uint32_t p : map.pages) free_[p] = true;
}

void Checker::CheckDataPageLayouts() {
  for (uint32_t p = 1; p < page_count_; ++p) {
    if (types_[p] != kPageData || free_[p]) continue;
    PageRef page = pager_.Get(p);
    DataPageLayout layout = InspectDataPageLayout(version_, page->view());
    ++stats_.data_pages_checked;
    if (!layout.offsets_valid()) {
      report_.Add(FindingKind::kRowOffsets, p, layout.bad_slot, "",
                  layout.offset_problem);
      continue;
    }
    if (layout.free_space_agrees()) {
      ++stats_.free_space_agreeing;
    } else {
      report_.Add(FindingKind::kFreeSpaceField, p, -1, "",
                  "빈 공간 필드가 " + std::to_string(layout.stored_free_space) +
                      " 이지만 실제 빈 공간은 " +
                      std::to_string(layout.actual_free_space) + " 입니다");
    }
  }
}

bool AllZero(ByteView v) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (v.U8(i) != 0) return false;
  }
  return true;
}

bool Checker::IsEmptyIndexPage(uint32_t page) {
  try {
    PageRef p = pager_.Get(page);
    return DecodeIndexPage(version_, p->view(), page).entries.empty();
  } catch (const Error&) {
    return false;
  }
}

std::string OwnerList(const std::vector<PageOwner>& owners) {
  std::string s;
  for (const PageOwner& o : owners) {
    if (!s.empty()) s += ", ";
    s += DescribeOwner(o);
  }
  return s;
}

void Checker::AccountPages() {
  stats_.pages = page_count_;
  for (uint32_t p = 0; p < page_count_; ++p) {
    if (free_[p]) ++stats_.free_pages;
    if (ownership_.IsClaimed(p)) {
      ++stats_.owned_pages;
      const std::vector<PageOwner>& owners = ownership_.OwnersOf(p);
      if (free_[p]) {
        report_.Add(FindingKind::kOwnedPageMarkedFree, p, -1, "",
                    "전역 사용 맵은 빈 페이지라 하지만 " + OwnerList(owners) +
                        " 이(가) 쓰고 있습니다");
      }
      if (ownership_.HasConflict(p)) {
        report_.Add(FindingKind::kPageOwnedTwice, p, -1, "",
                    "여러 개체가 같은 페이지를 가집니다: " + OwnerList(owners));
      }
      continue;
    }
    if (free_[p]) continue;
    uint8_t type = types_[p];
    uint32_t owner = owners_[p];
    bool table_owner = table_pages_.count(owner) != 0;
    if (type == kPageData && owner == kLongValueOwner) {
      ++stats_.unowned_long_value_pages;
    } else if (type == kPageData && table_owner) {
      // Access empties a table by dropping pages from its map without
      // marking their rows deleted: space a compaction reclaims (and whose
      // rows it does not bring back), not damage.
      ++stats_.unowned_dropped_data_pages;
    } else if ((type == kPageIndexNode || type == kPageIndexLeaf) &&
               table_owner && !IsEmptyIndexPage(p)) {
      report_.Add(FindingKind::kPageNotInMap, p, -1, "",
                  "테이블 정의 " + std::to_string(owner) +
                      " 의 색인 페이지인데 어느 색인에도 속하지 않고 빈 "
                      "페이지도 아닙니다");
    } else if (type == kPageIndexNode || type == kPageIndexLeaf) {
      ++stats_.unowned_index_pages;
    } else if (type == kPageData && owner == 0) {
      ++stats_.unowned_map_pages;
    } else if ((type == kPageData || type == kPageIndexNode ||
                type == kPageIndexLeaf) &&
               owner < page_count_ && types_[owner] == kPageDeletedTable) {
      ++stats_.unowned_deleted_table_pages;
    } else if (type == kPageTableDefinition || type == kPageDeletedTable) {
      ++stats_.unowned_definition_pages;
    } else if (type == kPageRetiredData) {
      ++stats_.unowned_retired_data_pages;
    } else if (type == kPageDatabaseDefinition &&
               AllZero(pager_.Get(p)->view())) {
      ++stats_.unowned_zero_pages;
    } else {
      ++stats_.unowned_other_pages;
    }
  }
}

// --- usage maps ---

MapContents Checker::ReadMap(RowPointer where, uint32_t table,
                             const std::string& table_name,
                             const std::string& what, bool global) {
  MapContents out;
  auto fail = [&](uint32_t page, const std::string& message) {
    report_.Add(FindingKind::kUsageMap, page, where.row, table_name,
                what + ": " + message);
    return out;
  };
  if (where.page == 0 || where.page >= page_count_) {
    return fail(0, "맵 행의 위치 " + std::to_string(where.page) + ":" +
                       std::to_string(where.row) + " 이(가) 파일 밖입니다");
  }
  if (types_[where.page] != kPageData) {
    return fail(where.page, "맵 행이 데이터 페이지에 있지 않습니다");
  }
  if (!global) {
    ownership_.Claim(where.page, PageOwner{PageRole::kUsageMapHost, table});
  }
  PageRef page = pager_.Get(where.page);
  ByteView row;
  try {
    DataPage dp(version_, page->view());
    RowSlot slot = dp.Slot(where.row);
    if (slot.kind != RowSlotKind::kRow) {
      return fail(where.page, "맵 행이 살아 있는 행이 아닙니다");
    }
    row = slot.bytes;
  } catch (const Error& e) {
    return fail(where.page, e.description());
  }
  if (row.empty()) return fail(where.page, "맵 행이 비어 있습니다");
  auto add_bits = [&](ByteView bitmap, uint64_t first) {
    for (size_t i = 0; i < bitmap.size(); ++i) {
      uint8_t b = bitmap.U8(i);
      for (int bit = 0; b && bit < 8; ++bit) {
        if (!(b & (1u << bit))) continue;
        uint64_t p = first + i * 8 + bit;
        if (p < page_count_) {
          out.pages.push_back(static_cast<uint32_t>(p));
        } else {
          ++out.past_end;
        }
      }
    }
  };
  uint8_t kind = row.U8(0);
  if (kind == usage_map_layout::kInline) {
    if (row.size() < usage_map_layout::kInlineBitmapOffset) {
      return fail(where.page, "맵 행이 너무 짧습니다");
    }
    add_bits(row.From(usage_map_layout::kInlineBitmapOffset),
             row.U32(usage_map_layout::kInlineStartOffset));
  } else if (kind == usage_map_layout::kReference) {
    uint64_t per_page =
        static_cast<uint64_t>(pager_.page_size() -
                              usage_map_layout::kBitmapPageHeader) *
        8;
    size_t count = (row.size() - usage_map_layout::kReferencePagesOffset) / 4;
    for (size_t i = 0; i < count; ++i) {
      uint32_t map_page =
          row.U32(usage_map_layout::kReferencePagesOffset + 4 * i);
      // 0 is no bitmap page; real global maps also hold values past the
      // end of the file (0xFFFFFF80), which mean the same.
      if (map_page == 0 || map_page >= page_count_) continue;
      if (types_[map_page] != kPageUsageBitmap) {
        report_.Add(FindingKind::kWrongPageType, map_page, -1, table_name,
                    what + ": 사용 비트맵 페이지가 아닌 페이지를 가리킵니다");
        continue;
      }
      out.bitmap_pages.push_back(map_page);
      ownership_.Claim(
          map_page, PageOwner{PageRole::kUsageBitmap, table, where.Packed()});
      PageRef bitmap_page = pager_.Get(map_page);
      add_bits(bitmap_page->view().From(usage_map_layout::kBitmapPageHeader),
               i * per_page);
    }
  } else {
    return fail(where.page, "알 수 없는 맵 형식 " + std::to_string(kind));
  }
  std::sort(out.pages.begin(), out.pages.end());
  out.pages.erase(std::unique(out.pages.begin(), out.pages.end()),
                  out.pages.end());
  out.read = true;
  return out;
}

// --- tables ---

void Checker::LoadTables() {
  std::vector<CatalogEntry> entries;
  for (const CatalogEntry& e : db_.catalog()) {
    if (e.is_local_table()) entries.push_back(e);
  }
  bool has_catalog = std::any_of(entries.begin(), entries.end(), [](auto& e) {
    return e.definition_page() == kCatalogTableDefinitionPage;
  });
  if (!has_catalog) {
    CatalogEntry e;
    e.id = kCatalogTableDefinitionPage;
    e.name = "MSysObjects";
    e.type = static_cast<uint8_t>(ObjectType::kTable);
    entries.insert(entries.begin(), e);
  }
  for (CatalogEntry& e : entries) {
    uint32_t page = e.definition_page();
    if (!table_pages_.insert(page).second) {
      report_.Add(FindingKind::kPageOwnedTwice, page, -1, e.name,
                  "두 테이블이 같은 테이블 정의 페이지를 가리킵니다");
      continue;
    }
    TableState t;
    t.entry = std::move(e);
    try {
      if (page == 0 || page >= page_count_) {
        ThrowDamaged("테이블 정의 페이지 " + std::to_string(page) +
                     " 이(가) 파일 밖입니다");
      }
      t.def =
          TableDefinition::Read(pager_, version_, db_.header().code_page, page);
      t.readable = true;
      for (uint32_t p : t.def.pages) {
        ownership_.Claim(p, PageOwner{PageRole::kTableDefinition, page});
      }
    } catch (const Error& err) {
      report_.Add(
          FindingKind::kUnreadable, page, -1, t.entry.name,
          std::string("테이블 정의를 읽을 수 없습니다: ") + err.description());
    }
    tables_.push_back(std::move(t));
  }
  stats_.tables = static_cast<uint32_t>(tables_.size());
}

void Checker::CheckTableMaps(TableState& t) {
  uint32_t tp = t.def.page;
  const std::string& name = t.entry.name;
  t.data = ReadMap(t.def.usage_map, tp, name, "테이블 사용 맵");
  std::vector<uint32_t> data_pages;
  for (uint32_t p : t.data.pages) {
    ownership_.Claim(p, PageOwner{PageRole::kTableData, tp});
    if (IsDataPageOf(p, tp)) {
      data_pages.push_back(p);
    } else {
      report_.Add(
          FindingKind::kWrongPageType, p, -1, name,
          "테이블 사용 맵이 이 테이블의 데이터 페이지가 아닌 페이지(종류 " +
              std::to_string(types_[p]) + ", 소유 " +
              std::to_string(owners_[p]) + ")를 가리킵니다");
    }
  }
  if (t.data.past_end) {
    report_.Add(FindingKind::kUsageMap, t.def.usage_map.page, -1, name,
                "테이블 사용 맵이 파일 밖의 페이지 " +
                    std::to_string(t.data.past_end) + " 개를 가리킵니다");
  }
  // Rows are read only from pages that really are the table's.
  t.data.pages = std::move(data_pages);

  if (t.def.free_space_map.Packed() != 0) {
    MapContents free_map =
        ReadMap(t.def.free_space_map, tp, name, "테이블 빈 공간 맵");
    for (uint32_t p : free_map.pages) {
      if (!std::binary_search(t.data.pages.begin(), t.data.pages.end(), p)) {
        report_.Add(FindingKind::kFreeSpaceMap, p, -1, name,
                    "빈 공간 맵이 테이블의 데이터 페이지가 아닌 페이지를 "
                    "가리킵니다");
      }
    }
  }
}

void Checker::CheckLongValueMaps(TableState& t) {
  uint32_t tp = t.def.page;
  const std::string& name = t.entry.name;
  for (const LongValueColumnMaps& m : t.def.long_value_maps) {
    std::string what = "열 " + std::to_string(m.column_number) + " 긴 값 맵";
    if (m.usage_map.Packed() == 0) continue;
    MapContents pages = ReadMap(m.usage_map, tp, name, what);
    if (pages.read) t.long_value_pages[m.column_number] = pages.pages;
    for (uint32_t p : pages.pages) {
      ownership_.Claim(p, PageOwner{PageRole::kLongValue, tp, m.column_number});
      if (!IsLongValuePage(p)) {
        report_.Add(FindingKind::kWrongPageType, p, -1, name,
                    what + " 이(가) 긴 값 페이지가 아닌 페이지를 가리킵니다");
      }
    }
    if (m.free_space_map.Packed() == 0) continue;
    MapContents free_map =
        ReadMap(m.free_space_map, tp, name, what + " (빈 공간)");
    for (uint32_t p : free_map.pages) {
      if (!std::binary_search(pages.pages.begin(), pages.pages.end(), p)) {
        report_.Add(FindingKind::kFreeSpaceMap, p, -1, name,
                    what +
                        " 의 빈 공간 맵이 그 열의 페이지가 아닌 페이지를 "
                        "가리킵니다");
      }
    }
  }
}

void Checker::CheckRows(TableState& t) {
  const std::string& name = t.entry.name;
  uint32_t tp = t.def.page;
  t.no_entry.assign(std::min(t.def.real_indexes.size(), kMaxCheckedIndexes),
                    {});
  // Moved copies met on the table's pages, and how many pointers reach
  // each.
  std::map<uint32_t, uint32_t> moved;
  std::vector<std::pair<RowPointer, RowPointer>> pointers;  // slot -> target
  for (uint32_t p : t.data.pages) {
    PageRef page = pager_.Get(p);
    std::optional<DataPage> dp;
    try {
      dp.emplace(version_, page->view());
    } catch (const Error& e) {
      report_.Add(FindingKind::kRowOffsets, p, -1, name, e.description());
      continue;
    }
    for (uint16_t r = 0; r < dp->row_count(); ++r) {
      RowPointer id{p, static_cast<uint8_t>(r)};
      if (r > 0xFF) {
        report_.Add(FindingKind::kRowOffsets, p, r, name,
                    "한 페이지의 행이 255 개를 넘습니다");
        break;
      }
      RowSlot slot;
      try {
        slot = dp->Slot(r);
      } catch (const Error& e) {
        report_.Add(FindingKind::kRowUndecodable, p, r, name, e.description());
        continue;
      }
      switch (slot.kind) {
        case RowSlotKind::kRow:
          CheckRow(t, id, id, slot.bytes);
          break;
        case RowSlotKind::kOverflowPointer:
          if (slot.bytes.size() < kRowPointerSize) {
            report_.Add(FindingKind::kOverflowPointer, p, r, name,
                        "이동한 행의 포인터가 4 바이트보다 짧습니다");
          } else {
            pointers.push_back({id, RowPointer::FromPacked(slot.bytes.U32(0))});
          }
          break;
        case RowSlotKind::kMovedCopy:
          moved.emplace(id.Packed(), 0);
          break;
        case RowSlotKind::kDeleted:
          break;
      }
    }
  }
  for (const auto& [id, to] : pointers) {
    std::string where = std::to_string(to.page) + ":" + std::to_string(to.row);
    auto bad = [&, id = id](const std::string& why) {
      report_.Add(FindingKind::kOverflowPointer, id.page, id.row, name,
                  "이동한 행의 포인터 " + where + " 이(가) " + why);
    };
    if (to.page == 0 || to.page >= page_count_) {
      bad("파일 밖을 가리킵니다");
      continue;
    }
    if (!IsDataPageOf(to.page, tp)) {
      bad("이 테이블의 데이터 페이지가 아닌 곳을 가리킵니다");
      continue;
    }
    if (!std::binary_search(t.data.pages.begin(), t.data.pages.end(),
                            to.page)) {
      bad("테이블 사용 맵에 없는 페이지를 가리킵니다");
      continue;
    }
    auto it = moved.find(to.Packed());
    if (it == moved.end()) {
      bad("이동한 사본(0x8000)이 아닌 행을 가리킵니다");
      continue;
    }
    if (++it->second > 1) continue;  // reported below
    try {
      PageRef page = pager_.Get(to.page);
      RowSlot slot = DataPage(version_, page->view()).Slot(to.row);
      ++stats_.moved_rows;
      CheckRow(t, id, to, slot.bytes);
    } catch (const Error& e) {
      bad(e.description());
    }
  }
  for (const auto& [packed, reached] : moved) {
    RowPointer at = RowPointer::FromPacked(packed);
    if (reached == 0) {
      report_.Add(FindingKind::kMovedRowUnreachable, at.page, at.row, name,
                  "어느 포인터도 가리키지 않는 이동한 행입니다");
    } else if (reached > 1) {
      report_.Add(
          FindingKind::kMovedRowReachedTwice, at.page, at.row, name,
          "이동한 행을 포인터 " + std::to_string(reached) + " 개가 가리킵니다");
    }
  }
}

void Checker::CheckRow(TableState& t, RowPointer id, RowPointer stored_at,
                       ByteView bytes) {
  ++stats_.rows;
  const std::string& name = t.entry.name;
  std::vector<FieldBytes> fields;
  bool decoded = true;
  try {
    fields = DecodeRow(version_, t.def, bytes);
  } catch (const Error& e) {
    report_.Add(FindingKind::kRowUndecodable, stored_at.page, stored_at.row,
                name, e.description());
    decoded = false;
  }
  ValueContext context = db_.value_context();
  for (size_t k = 0; k < fields.size(); ++k) {
    const ColumnDefinition& column = t.def.columns[k];
    if (fields[k].is_null) continue;
    if (IsLongValueType(column.type)) {
      CheckLongValue(t, column, stored_at, fields[k].data);
      continue;
    }
    try {
      const Value value = DecodeValue(fields[k], column, context);
      // Access pads a fixed-length text with spaces; earlier versions of
      // this program padded with U+0000, which the user's programs then
      // read as part of the text. A trim pads them with spaces again.
      const auto* text = std::get_if<std::string>(&value);
      if (text && IsFixedLengthText(column) && !text->empty() &&
          text->back() == '\0') {
        report_.Add(FindingKind::kFixedTextPadding, stored_at.page,
                    stored_at.row, name,
                    "열 '" + column.name +
                        "': 고정 길이 텍스트의 남는 자리가 공백이 아닌 "
                        "U+0000 으로 채워져 있습니다 (공백 제거로 고칩니다)");
      }
    } catch (const Error& e) {
      report_.Add(FindingKind::kRowUndecodable, stored_at.page, stored_at.row,
                  name, "열 '" + column.name + "': " + e.description());
    }
  }
  // An undecodable row is expected in every index.
  for (size_t i = 0; i < t.no_entry.size(); ++i) {
    const RealIndex& index = t.def.real_indexes[i];
    if (!(index.flags & index_flags::kIgnoreNulls)) continue;
    bool all_null = decoded;
    for (const IndexColumn& ic : index.columns) {
      for (size_t k = 0; k < fields.size(); ++k) {
        if (t.def.columns[k].number == ic.column_number && !fields[k].is_null) {
          all_null = false;
        }
      }
    }
    t.no_entry[i].push_back(all_null);
  }
  t.rows.push_back(id.Packed());
}

std::optional<ByteView> Checker::LongValueRow(TableState& t,
                                              const ColumnDefinition& column,
                                              RowPointer id, RowPointer where) {
  const std::string& name = t.entry.name;
  std::string at = std::to_string(where.page) + ":" + std::to_string(where.row);
  auto bad = [&](const std::string& why) -> std::optional<ByteView> {
    report_.Add(
        FindingKind::kLongValue, id.page, id.row, name,
        "열 '" + column.name + "' 의 긴 값 행 " + at + " 이(가) " + why);
    return std::nullopt;
  };
  if (where.page == 0 || where.page >= page_count_) return bad("파일 밖입니다");
  if (!IsLongValuePage(where.page)) return bad("긴 값 페이지에 있지 않습니다");
  // Jet 4 ties each long-value page to one column by the column's map;
  // Jet 3 keeps no such map, so its pages are claimed for the file's long
  // values as a whole (values of several columns or tables may share one).
  PageOwner owner{PageRole::kLongValue};
  if (version_ == JetVersion::kJet4) {
    owner = PageOwner{PageRole::kLongValue, t.def.page, column.number};
  }
  ownership_.Claim(where.page, owner);
  auto map = t.long_value_pages.find(column.number);
  if (map != t.long_value_pages.end() &&
      !std::binary_search(map->second.begin(), map->second.end(), where.page)) {
    report_.Add(
        FindingKind::kPageNotInMap, where.page, where.row, name,
        "열 '" + column.name +
            "' 의 긴 값 행이 그 열의 긴 값 맵에 없는 페이지에 있습니다");
  }
  try {
    PageRef page = pager_.Get(where.page);
    RowSlot slot = DataPage(version_, page->view()).Slot(where.row);
    if (slot.kind != RowSlotKind::kRow) return bad("살아 있는 행이 아닙니다");
    if (long_value_uses_.UseIsSecond(where)) {
      report_.Add(FindingKind::kLongValueShared, where.page, where.row, name,
                  "두 값이 같은 긴 값 행을 씁니다 (열 '" + column.name +
                      "', 행 " + std::to_string(id.page) + ":" +
                      std::to_string(id.row) + ")");
    }
    // The returned bytes live in this page; keep it until the next row.
    long_value_page_ = page;
    return slot.bytes;
  } catch (const Error& e) {
    return bad(e.description());
  }
}

void Checker::CheckLongValue(TableState& t, const ColumnDefinition& column,
                             RowPointer id, ByteView ref) {
  const std::string& name = t.entry.name;
  auto bad = [&](const std::string& why) {
    report_.Add(FindingKind::kLongValue, id.page, id.row, name,
                "열 '" + column.name + "' 의 긴 값: " + why);
  };
  if (ref.size() < long_value_layout::kReferenceSize) {
    bad("참조가 12 바이트보다 짧습니다");
    return;
  }
  uint32_t word = ref.U32(0);
  uint64_t length = word & long_value_layout::kLengthMask;
  bool is_inline = word & long_value_layout::kInline;
  bool single = word & long_value_layout::kSingleRow;
  if (is_inline && single) {
    bad("저장 위치 표시가 잘못되었습니다");
    return;
  }
  if (is_inline) {
    if (ref.size() - long_value_layout::kReferenceSize != length) {
      bad("행 안의 길이 " + std::to_string(length) + " 이(가) 실제 " +
          std::to_string(ref.size() - long_value_layout::kReferenceSize) +
          " 바이트와 다릅니다");
    }
    return;
  }
  ++stats_.long_values;
  RowPointer where =
      RowPointer::FromPacked(ref.U32(long_value_layout::kPointerOffset));
  if (single) {
    std::optional<ByteView> row = LongValueRow(t, column, id, where);
    if (!row) return;
    ++stats_.long_value_rows;
    if (row->size() < length) {
      bad("길이 " + std::to_string(length) + " 인데 행은 " +
          std::to_string(row->size()) + " 바이트입니다");
    }
    return;
  }
  uint64_t read = 0;
  std::unordered_set<uint32_t> seen;
  while (read < length) {
    if (where.Packed() == 0) {
      bad("연결이 " + std::to_string(read) + " / " + std::to_string(length) +
          " 바이트에서 끊어졌습니다");
      return;
    }
    if (!seen.insert(where.Packed()).second) {
      bad("연결이 순환합니다");
      return;
    }
    std::optional<ByteView> row = LongValueRow(t, column, id, where);
    if (!row) return;
    ++stats_.long_value_rows;
    if (row->size() < long_value_layout::kChainHeader) {
      bad("연결 행이 4 바이트보다 짧습니다");
      return;
    }
    read += row->size() - long_value_layout::kChainHeader;
    where = RowPointer::FromPacked(row->U32(0));
  }
  if (where.Packed() != 0) {
    bad("길이 " + std::to_string(length) + " 에 닿은 뒤에도 연결이 이어집니다");
  }
}

void Checker::CountUnreferencedLongValueRows() {
  for (uint32_t p = 0; p < page_count_; ++p) {
    if (!IsLongValuePage(p) || !ownership_.IsClaimedAs(p, PageRole::kLongValue))
      continue;
    try {
      PageRef page = pager_.Get(p);
      DataPage dp(version_, page->view());
      for (uint16_t r = 0; r < dp.row_count() && r <= 0xFF; ++r) {
        if (dp.Slot(r).kind != RowSlotKind::kRow) continue;
        RowPointer at{p, static_cast<uint8_t>(r)};
        if (!long_value_uses_.Used(at)) {
          ++stats_.unreferenced_long_value_rows;
        }
      }
    } catch (const Error&) {
      // Reported by the page layout check.
    }
  }
}

void Checker::CheckIndexes(TableState& t) {
  uint32_t tp = t.def.page;
  const std::string& name = t.entry.name;
  // The rows' positions in `t.rows` by row id, for the index entries to
  // find them. Rows are met in page order and moved rows after them, so
  // the ids of a table without moved rows are sorted already and searched
  // as they are; otherwise through positions sorted by id (4 bytes a row
  // more).
  std::vector<uint32_t> by_id;
  if (!std::is_sorted(t.rows.begin(), t.rows.end())) {
    by_id.resize(t.rows.size());
    for (size_t k = 0; k < by_id.size(); ++k) {
      by_id[k] = static_cast<uint32_t>(k);
    }
    std::stable_sort(by_id.begin(), by_id.end(), [&](uint32_t a, uint32_t b) {
      return t.rows[a] < t.rows[b];
    });
  }
  auto position_of = [&](uint32_t id) -> std::optional<size_t> {
    if (by_id.empty()) {
      auto it = std::lower_bound(t.rows.begin(), t.rows.end(), id);
      if (it == t.rows.end() || *it != id) return std::nullopt;
      return static_cast<size_t>(it - t.rows.begin());
    }
    auto it = std::lower_bound(
        by_id.begin(), by_id.end(), id,
        [&](uint32_t position, uint32_t v) { return t.rows[position] < v; });
    if (it == by_id.end() || t.rows[*it] != id) return std::nullopt;
    return *it;
  };

  for (size_t i = 0; i < t.def.real_indexes.size(); ++i) {
    const RealIndex& index = t.def.real_indexes[i];
    ++stats_.indexes;
    std::string what = "색인 " + std::to_string(i);
    MapContents map = ReadMap(RowPointer::FromPacked(index.usage_map), tp, name,
                              what + " 사용 맵");
    for (uint32_t p : map.pages) {
      ownership_.Claim(
          p, PageOwner{PageRole::kIndex, tp, static_cast<uint32_t>(i)});
      bool index_page =
          types_[p] == kPageIndexNode || types_[p] == kPageIndexLeaf;
      if (!index_page || owners_[p] != tp) {
        report_.Add(
            FindingKind::kWrongPageType, p, -1, name,
            what + " 사용 맵이 이 테이블의 색인 페이지가 아닌 페이지(종류 " +
                std::to_string(types_[p]) + ")를 가리킵니다");
      }
    }
    IndexTreeSubject subject{tp, name, i, index.first_page};
    std::vector<Finding> tree_findings;
    IndexTreeWalk walk =
        CheckIndexTree(pager_, version_, subject, tree_findings);
    stats_.index_pages += walk.pages.size();
    stats_.index_free_space_agreeing += walk.free_space_agreeing;
    stats_.index_parent_entries_equal += walk.parent_entries_equal;
    stats_.index_parent_entries_greater += walk.parent_entries_greater;
    stats_.index_tail_leaves += walk.tail_leaves;
    stats_.index_linked_only_leaves += walk.linked_only_leaves;
    stats_.index_descended_entries += walk.descended_entries;
    for (Finding& f : tree_findings) report_.Add(std::move(f));
    if (walk.complete && map.read) {
      std::set<uint32_t> reached(walk.pages.begin(), walk.pages.end());
      for (uint32_t p : map.pages) {
        if (!reached.count(p)) {
          report_.Add(FindingKind::kIndexTree, p, -1, name,
                      what + " 사용 맵의 페이지가 트리에서 닿지 않습니다");
        }
      }
    }
    for (uint32_t p : walk.pages) {
      ownership_.Claim(
          p, PageOwner{PageRole::kIndex, tp, static_cast<uint32_t>(i)});
      if (map.read &&
          !std::binary_search(map.pages.begin(), map.pages.end(), p)) {
        report_.Add(FindingKind::kPageNotInMap, p, -1, name,
                    what + " 의 트리에 있는 페이지가 색인 사용 맵에 없습니다");
      }
    }
    stats_.index_entries += walk.rows.size();
    if (!walk.complete || i >= kMaxCheckedIndexes) continue;

    // Entries per row, counted up to 255.
    std::vector<uint8_t> entries(t.rows.size(), 0);
    for (uint32_t packed : walk.rows) {
      const std::optional<size_t> k = position_of(packed);
      if (!k) {
        const RowPointer r = RowPointer::FromPacked(packed);
        report_.Add(FindingKind::kIndexExtraEntry, r.page, r.row, name,
                    what + " 의 항목이 없는 행을 가리킵니다");
        continue;
      }
      if (entries[*k] < 0xFF) ++entries[*k];
    }
    walk.rows = std::vector<uint32_t>();
    const std::vector<bool>* no_entry =
        i < t.no_entry.size() ? &t.no_entry[i] : nullptr;
    for (size_t k = 0; k < t.rows.size(); ++k) {
      bool expected = !no_entry || k >= no_entry->size() || !(*no_entry)[k];
      RowPointer r = RowPointer::FromPacked(t.rows[k]);
      if (entries[k] == 0 && expected) {
        report_.Add(FindingKind::kIndexMissingEntry, r.page, r.row, name,
                    what + " 에 이 행의 항목이 없습니다");
      } else if (entries[k] > (expected ? 1u : 0u)) {
        report_.Add(FindingKind::kIndexExtraEntry, r.page, r.row, name,
                    what + " 에 이 행의 항목이 " + std::to_string(entries[k]) +
                        " 개 있습니다");
      }
    }
  }
}

CheckResult Checker::Run() {
  // Each step stands alone: damage that stops one is reported and the
  // others still run.
  auto step = [&](const std::string& what, const std::string& table,
                  auto&& body) {
    try {
      body();
    } catch (const Error& e) {
      report_.Add(FindingKind::kUnreadable, 0, -1, table,
                  what + ": " + e.description());
    } catch (const std::exception& e) {
      report_.Add(FindingKind::kUnreadable, 0, -1, table,
                  what + ": " + e.what());
    }
  };
  step("페이지 머리말", "", [&] { ReadPageHeaders(); });
  step("전역 사용 맵", "", [&] { ReadGlobalMap(); });
  step("테이블 목록", "", [&] { LoadTables(); });
  for (TableState& t : tables_) {
    if (!t.readable) continue;
    const std::string& name = t.entry.name;
    step("테이블 사용 맵", name, [&] { CheckTableMaps(t); });
    step("긴 값 맵", name, [&] { CheckLongValueMaps(t); });
    step("행", name, [&] { CheckRows(t); });
    step("색인", name, [&] { CheckIndexes(t); });
    t.rows = std::vector<uint32_t>();
    t.no_entry = std::vector<std::vector<bool>>();
  }
  step("긴 값 행", "", [&] { CountUnreferencedLongValueRows(); });
  step("데이터 페이지", "", [&] { CheckDataPageLayouts(); });
  step("페이지 소유", "", [&] { AccountPages(); });
  CheckResult result;
  result.findings = report_.Finish();
  result.statistics = stats_;
  return result;
}

}  // namespace

CheckResult CheckDatabaseWithStatistics(Database& db) {
  try {
    return Checker(db).Run();
  } catch (const std::exception& e) {
    CheckResult result;
    result.findings.push_back(
        Finding{FindingKind::kUnreadable, 0, -1, "",
                std::string("검사를 마칠 수 없습니다: ") + e.what()});
    return result;
  }
}

std::vector<Finding> CheckDatabase(Database& db) {
  return CheckDatabaseWithStatistics(db).findings;
}

}  // namespace jet
