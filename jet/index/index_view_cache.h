// Views of index pages kept between look-ups. Every descent of an index
// reads its root and intermediate pages again; finding their entries means
// walking each page's entry mask. The cache keeps the view of a page for as
// long as the pager hands out the same version of it: a changed page is a
// new Page object (Pager::Put), and the view of the old one is not used.
#ifndef MDBCARE_JET_INDEX_INDEX_VIEW_CACHE_H_
#define MDBCARE_JET_INDEX_INDEX_VIEW_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "jet/base/format.h"
#include "jet/index/index_node.h"
#include "jet/storage/pager.h"

namespace jet {

class IndexViewCache {
 public:
  static constexpr size_t kDefaultCapacity = 256;

  // A page and its view; the view reads the page's bytes.
  struct Held {
    Held(JetVersion version, PageRef p)
        : page(std::move(p)), view(version, page->number(), page->view()) {}
    PageRef page;
    IndexNodeView view;
  };

  explicit IndexViewCache(size_t capacity = kDefaultCapacity)
      : capacity_(capacity) {}

  // The view of `page` (an index page as the pager gives it now), made
  // when this version of the page has none. Raises the damaged-file error
  // as IndexNodeView does.
  std::shared_ptr<const Held> ViewOf(JetVersion version, const PageRef& page);

 private:
  size_t capacity_;
  std::unordered_map<uint32_t, std::shared_ptr<const Held>> held_;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_VIEW_CACHE_H_
