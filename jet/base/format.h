// Facts shared by every structure of the file: the two versions of the
// format this engine reads, their page sizes and the page type bytes.
//
// Every page starts with a type byte:
//   0x00 database definition page (page 0 only)
//   0x01 data page (rows; long-value pages are data pages too)
//   0x02 table definition page
//   0x03 intermediate index page
//   0x04 leaf index page
//   0x05 page usage bitmap page
#ifndef MDBCARE_JET_BASE_FORMAT_H_
#define MDBCARE_JET_BASE_FORMAT_H_

#include <cstdint>

namespace jet {

enum class JetVersion { kJet3, kJet4 };

enum PageType : uint8_t {
  kPageDatabaseDefinition = 0x00,
  kPageData = 0x01,
  kPageTableDefinition = 0x02,
  kPageIndexNode = 0x03,
  kPageIndexLeaf = 0x04,
  kPageUsageBitmap = 0x05,
};

inline constexpr uint32_t kJet3PageSize = 2048;
inline constexpr uint32_t kJet4PageSize = 4096;

inline constexpr uint32_t PageSizeOf(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3PageSize : kJet4PageSize;
}

// The table definition of the catalog table MSysObjects is always here.
inline constexpr uint32_t kCatalogTableDefinitionPage = 2;

// A row pointer ("data pointer") as stored in table definitions, long-value
// references and overflow rows: page number in the upper 24 bits, row number
// on that page in the low 8 bits.
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;

  static RowPointer FromPacked(uint32_t packed) {
    return RowPointer{packed >> 8, static_cast<uint8_t>(packed & 0xFF)};
  }
  uint32_t Packed() const { return (page << 8) | row; }
  bool operator==(const RowPointer&) const = default;
};

}  // namespace jet

#endif  // MDBCARE_JET_BASE_FORMAT_H_
