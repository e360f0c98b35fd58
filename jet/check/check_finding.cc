#include "jet/check/check_finding.h"

namespace jet {

const char* FindingKindName(FindingKind kind) {
  switch (kind) {
    case FindingKind::kUnreadable:
      return "unreadable";
    case FindingKind::kPageOwnedTwice:
      return "page-owned-twice";
    case FindingKind::kOwnedPageMarkedFree:
      return "owned-page-marked-free";
    case FindingKind::kPageNotInMap:
      return "page-not-in-map";
    case FindingKind::kWrongPageType:
      return "wrong-page-type";
    case FindingKind::kUsageMap:
      return "usage-map";
    case FindingKind::kFreeSpaceMap:
      return "free-space-map";
    case FindingKind::kRowOffsets:
      return "row-offsets";
    case FindingKind::kFreeSpaceField:
      return "free-space-field";
    case FindingKind::kOverflowPointer:
      return "overflow-pointer";
    case FindingKind::kMovedRowUnreachable:
      return "moved-row-unreachable";
    case FindingKind::kMovedRowReachedTwice:
      return "moved-row-reached-twice";
    case FindingKind::kRowUndecodable:
      return "row-undecodable";
    case FindingKind::kLongValue:
      return "long-value";
    case FindingKind::kLongValueShared:
      return "long-value-shared";
    case FindingKind::kIndexTree:
      return "index-tree";
    case FindingKind::kIndexOrder:
      return "index-order";
    case FindingKind::kIndexMissingEntry:
      return "index-missing-entry";
    case FindingKind::kIndexExtraEntry:
      return "index-extra-entry";
    case FindingKind::kFixedTextPadding:
      return "fixed-text-padding";
    case FindingKind::kIndexKey:
      return "index-key";
  }
  return "unknown";
}

std::string FormatFinding(const Finding& f) {
  std::string line = "[";
  line += FindingKindName(f.kind);
  line += "]";
  if (f.page != 0) line += " page " + std::to_string(f.page);
  if (f.row >= 0) line += " row " + std::to_string(f.row);
  if (!f.table.empty()) line += " table '" + f.table + "'";
  line += ": ";
  line += f.message;
  return line;
}

}  // namespace jet
