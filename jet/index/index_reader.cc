#include "jet/index/index_reader.h"

#include <set>

#include "jet/base/error.h"
#include "jet/storage/pager.h"

namespace jet {

uint32_t FirstOfChain(Pager& pager, JetVersion version, uint32_t leaf) {
  std::set<uint32_t> seen;
  while (true) {
    if (!seen.insert(leaf).second) ThrowDamaged("색인 잎 페이지의 연결이 순환합니다");
    PageRef p = pager.Get(leaf);
    IndexNode node = IndexNode::Decode(version, leaf, p->view());
    if (node.prev == 0) return leaf;
    leaf = node.prev;
  }
}

std::vector<IndexEntry> ReadIndexEntries(Pager& pager, JetVersion version,
                                         uint32_t root) {
  std::set<uint32_t> seen;
  uint32_t page = root;
  while (true) {
    if (!seen.insert(page).second) ThrowDamaged("색인의 연결이 순환합니다");
    PageRef p = pager.Get(page);
    IndexNode node = IndexNode::Decode(version, page, p->view());
    if (node.leaf) break;
    if (node.entries.empty()) {
      // Every leaf hangs in the tail chain: its first is reached backwards
      // from the tail.
      if (node.tail == 0) return {};
      page = FirstOfChain(pager, version, node.tail);
      break;
    }
    page = node.entries.front().child;
  }
  std::vector<IndexEntry> out;
  seen.clear();
  while (page != 0) {
    if (!seen.insert(page).second) ThrowDamaged("색인 잎 페이지의 연결이 순환합니다");
    PageRef p = pager.Get(page);
    IndexNode leaf = IndexNode::Decode(version, page, p->view());
    if (!leaf.leaf) ThrowDamaged("색인 잎 페이지가 아닙니다");
    for (IndexEntry& e : leaf.entries) out.push_back(std::move(e));
    page = leaf.next;
  }
  return out;
}

}  // namespace jet
