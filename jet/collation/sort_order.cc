#include "jet/collation/sort_order.h"

#include <algorithm>
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
    if (lcid == kLcidKorean) return SortOrder::kKorean97;
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
    case SortOrder::kKorean97:
      return "Korean 97";
  }
  return "?";
}

uint16_t SortOrderLcid(SortOrder order) {
  switch (order) {
    case SortOrder::kGeneral97:
    case SortOrder::kGeneralLegacy:
      return kLcidGeneral;
    case SortOrder::kKorean:
    case SortOrder::kKorean97:
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
    case SortOrder::kKorean97:
      return Korean97Code(c);
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

SortCode CodeFromRanges(std::span<const SortCodeRange> ranges,
                        const SortCode* records, char16_t c) {
  auto it = std::upper_bound(
      ranges.begin(), ranges.end(), c,
      [](char16_t v, const SortCodeRange& r) { return v < r.first; });
  // Every table's first range starts at U+0000, so `it` is never the first.
  const SortCodeRange& range = *(it - 1);
  SortCode code = records[range.record];
  if (range.sequential) {
    // Advance the two-byte code in base 254 (low byte 02..FF).
    uint32_t steps = c - range.first;
    uint32_t value =
        (code.inline_bytes[0] * 254u) + (code.inline_bytes[1] - 2u) + steps;
    code.inline_bytes[0] = static_cast<uint8_t>(value / 254);
    code.inline_bytes[1] = static_cast<uint8_t>(2 + value % 254);
  }
  return code;
}

SortCode CodeFromList(std::span<const CodeWithExtra> with_extra, char16_t c) {
  auto it = std::lower_bound(
      with_extra.begin(), with_extra.end(), c,
      [](const CodeWithExtra& e, char16_t v) { return e.code_point < v; });
  if (it == with_extra.end() || it->code_point != c) return SortCode{};
  SortCode code;
  code.kind = SortCode::Kind::kInternational;
  code.inline_size = 2;
  code.inline_bytes[0] = static_cast<uint8_t>(it->code >> 8);
  code.inline_bytes[1] = static_cast<uint8_t>(it->code);
  code.positions = 1;
  code.extra_size = 1;
  code.extra[0] = it->extra;
  return code;
}

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
