#include "jet/index/index_view_cache.h"

namespace jet {

std::shared_ptr<const IndexViewCache::Held> IndexViewCache::ViewOf(
    JetVersion version, const PageRef& page) {
  auto it = held_.find(page->number());
  if (it != held_.end() && it->second->page == page) return it->second;
  auto made = std::make_shared<const Held>(version, page);
  if (it != held_.end()) {
    it->second = made;
  } else {
    // Full: start again rather than track use; the pages looked up most
    // (roots, intermediate pages) come back at once.
    if (held_.size() >= capacity_) held_.clear();
    held_.emplace(page->number(), made);
  }
  return made;
}

}  // namespace jet
