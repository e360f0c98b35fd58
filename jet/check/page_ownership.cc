#include "jet/check/page_ownership.h"

#include <algorithm>

namespace jet {

std::string DescribeOwner(const PageOwner& o) {
  std::string table = "테이블 정의 " + std::to_string(o.table);
  switch (o.role) {
    case PageRole::kDatabaseHeader:
      return "데이터베이스 정의 페이지";
    case PageRole::kGlobalUsageMap:
      return "전역 사용 맵";
    case PageRole::kTableDefinition:
      return table + " 의 정의";
    case PageRole::kTableData:
      return table + " 의 데이터";
    case PageRole::kLongValue:
      if (o.table == 0) return "긴 값";
      return table + " 의 열 " + std::to_string(o.part) + " 긴 값";
    case PageRole::kIndex:
      return table + " 의 색인 " + std::to_string(o.part);
    case PageRole::kUsageBitmap:
      return (o.table ? table + " 의" : std::string("전역")) +
             " 사용 맵 비트맵";
    case PageRole::kUsageMapHost:
      return (o.table ? table + " 의" : std::string("전역")) + " 사용 맵 행";
  }
  return "?";
}

PageOwnership::PageOwnership(uint32_t page_count) : claims_(page_count) {}

bool PageOwnership::Claim(uint32_t page, const PageOwner& owner) {
  if (page >= claims_.size()) return false;
  std::vector<PageOwner>& owners = claims_[page];
  if (std::find(owners.begin(), owners.end(), owner) == owners.end()) {
    owners.push_back(owner);
  }
  return true;
}

bool PageOwnership::IsClaimedAs(uint32_t page, PageRole role) const {
  const std::vector<PageOwner>& owners = claims_[page];
  return std::any_of(owners.begin(), owners.end(),
                     [&](const PageOwner& o) { return o.role == role; });
}

bool PageOwnership::HasConflict(uint32_t page) const {
  const std::vector<PageOwner>& owners = claims_[page];
  if (owners.size() < 2) return false;
  return !std::all_of(owners.begin(), owners.end(), [](const PageOwner& o) {
    return o.role == PageRole::kUsageMapHost;
  });
}

}  // namespace jet
