#include "jet/storage/database_header.h"

#include <cstring>

#include "jet/storage/database_password.h"
#include "jet/base/error.h"
#include "jet/storage/rc4.h"

namespace jet {

using namespace header_layout;

namespace {

[[noreturn]] void ThrowNotJet(const std::string& path,
                              const std::string& why) {
  throw Error(kErrUnrecognizedFormat,
              "'" + path + "' 은(는) 인식할 수 없는 데이터베이스 형식입니다" +
                  (why.empty() ? "." : " (" + why + ")."));
}

}  // namespace

void ToggleHeaderMask(JetVersion version, std::span<uint8_t> page) {
  size_t size = MaskedRegionSize(version);
  if (page.size() < kMaskedRegionOffset + size) return;
  Rc4Apply(kHeaderMaskKey, page.subspan(kMaskedRegionOffset, size));
}

DatabaseHeader DatabaseHeader::Decode(ByteView first, const std::string& path) {
  static const uint8_t kMagic[4] = {0x00, 0x01, 0x00, 0x00};
  if (first.size() < kMaskedRegionOffset + kJet4MaskedRegionSize) {
    ThrowNotJet(path, "파일이 너무 짧습니다");
  }
  if (std::memcmp(first.data() + kMagicOffset, kMagic, 4) != 0) {
    ThrowNotJet(path, "");
  }
  bool ace = std::memcmp(first.data() + kIdentifierOffset,
                         "Standard ACE DB", 15) == 0;
  bool jet = std::memcmp(first.data() + kIdentifierOffset,
                         "Standard Jet DB", 15) == 0;
  if (!ace && !jet) ThrowNotJet(path, "");
  uint32_t version = first.U32(kVersionOffset);
  if (ace || version >= 2) {
    ThrowNotJet(path,
                "Access 2007 이후 형식(.accdb)의 파일은 지원하지 않습니다. "
                "Access 2000-2003 형식(.mdb)으로 변환한 뒤 사용하십시오");
  }

  DatabaseHeader h;
  h.version = version == 0 ? JetVersion::kJet3 : JetVersion::kJet4;
  std::vector<uint8_t> region(first.data(),
                              first.data() + kMaskedRegionOffset +
                                  MaskedRegionSize(h.version));
  ToggleHeaderMask(h.version, region);
  ByteView v(region.data(), region.size());

  h.code_page = v.U16(kCodePageOffset);
  h.database_key = v.U32(kDatabaseKeyOffset);
  if (h.version == JetVersion::kJet3) {
    h.sort_order = v.U16(kJet3SortOrderOffset);
  } else {
    h.sort_order = v.U16(kJet4SortOrderOffset);
    h.sort_order_version = v.U8(kJet4SortOrderVersionOffset);
    h.creation_date = v.F64(kJet4CreationDateOffset);
  }
  auto stored = v.Sub(kPasswordOffset, PasswordSize(h.version)).Bytes();
  h.password_bytes.assign(stored.begin(), stored.end());
  ApplyPasswordMask(h, h.password_bytes);
  return h;
}

}  // namespace jet
