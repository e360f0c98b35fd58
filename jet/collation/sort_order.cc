#include "jet/collation/sort_order.h"

#include <atomic>
#include <iterator>
#include <memory>
#include <mutex>

namespace jet {

namespace {

constexpr uint16_t kLcidGeneral = 1033;
constexpr uint16_t kLcidKorean = 1042;
constexpr uint16_t kLcidChinese = 2052;
constexpr uint16_t kLcidJapanese = 1041;
constexpr uint16_t kLcidChineseTaiwan = 1028;

}  // namespace

std::optional<SortOrder> SortOrderOf(uint16_t lcid, uint8_t version,
                                     JetVersion jet_version) {
  if (jet_version == JetVersion::kJet3) {
    // Jet 3 keeps no sort order version.
    if (lcid == kLcidGeneral) return SortOrder::kGeneral97;
    return std::nullopt;
  }
  // Version 1 of 1033 is the Access 2010 "General" order, another table.
  if (version != 0) return std::nullopt;
  switch (lcid) {
    case kLcidGeneral:
      return SortOrder::kGeneralLegacy;
    case kLcidKorean:
      return SortOrder::kKorean;
    case kLcidChinese:
      return SortOrder::kChinese;
    case kLcidJapanese:
      return SortOrder::kJapanese;
    case kLcidChineseTaiwan:
      return SortOrder::kChineseTaiwan;
    default:
      return std::nullopt;
  }
}

const char* SortOrderName(SortOrder order) {
  switch (order) {
    case SortOrder::kGeneral97:
      return "General 97";
    case SortOrder::kGeneralLegacy:
      return "General legacy";
    case SortOrder::kKorean:
      return "Korean";
    case SortOrder::kChinese:
      return "Chinese (PRC)";
    case SortOrder::kJapanese:
      return "Japanese";
    case SortOrder::kChineseTaiwan:
      return "Chinese (Taiwan)";
  }
  return "?";
}

uint16_t SortOrderLcid(SortOrder order) {
  switch (order) {
    case SortOrder::kGeneral97:
    case SortOrder::kGeneralLegacy:
      return kLcidGeneral;
    case SortOrder::kKorean:
      return kLcidKorean;
    case SortOrder::kChinese:
      return kLcidChinese;
    case SortOrder::kJapanese:
      return kLcidJapanese;
    case SortOrder::kChineseTaiwan:
      return kLcidChineseTaiwan;
  }
  return 0;
}

namespace {

// The code of `c` worked out from the sort order's rules and tables.
SortCode ComputeSortCode(SortOrder order, char16_t c) {
  switch (order) {
    case SortOrder::kGeneral97:
      return General97Code(c);
    case SortOrder::kGeneralLegacy:
      return GeneralLegacyCode(c);
    case SortOrder::kKorean:
      return KoreanCode(c);
    case SortOrder::kChinese:
    case SortOrder::kJapanese:
    case SortOrder::kChineseTaiwan:
      return AsciiAsGeneralCode(c);
  }
  return SortCode{};
}

constexpr size_t kSortOrderCount = std::size(kAllSortOrders);
constexpr size_t kCodeUnits = 0x10000;

}  // namespace

const SortCode* SortCodeTable(SortOrder order) {
  // Every code unit's code, worked out once per sort order on first use
  // (under 1 MB each): index keys look up every character they hold.
  // A made table is found without std::call_once, whose every call costs
  // more than the look-up it guards.
  static std::once_flag once[kSortOrderCount];
  static std::unique_ptr<SortCode[]> tables[kSortOrderCount];
  static std::atomic<const SortCode*> ready[kSortOrderCount];
  const size_t k = static_cast<size_t>(order);
  if (const SortCode* made = ready[k].load(std::memory_order_acquire)) {
    return made;
  }
  std::call_once(once[k], [&] {
    auto table = std::make_unique<SortCode[]>(kCodeUnits);
    for (size_t u = 0; u < kCodeUnits; ++u) {
      table[u] = ComputeSortCode(order, static_cast<char16_t>(u));
    }
    tables[k] = std::move(table);
    ready[k].store(tables[k].get(), std::memory_order_release);
  });
  return tables[k].get();
}

SortCode LookupSortCode(SortOrder order, char16_t c) {
  if (static_cast<size_t>(order) >= kSortOrderCount) return SortCode{};
  return SortCodeTable(order)[c];
}

size_t KnownCharacterCount(SortOrder order) {
  size_t count = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (LookupSortCode(order, static_cast<char16_t>(c)).known()) ++count;
  }
  return count;
}

}  // namespace jet
