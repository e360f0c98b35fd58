#include "jet/storage/database_password.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "jet/storage/database_header.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"

namespace jet {

using namespace header_layout;

namespace {
constexpr size_t kMaxPasswordChars = 20;
}

void ApplyPasswordMask(const DatabaseHeader& header, std::span<uint8_t> bytes) {
  if (header.version != JetVersion::kJet4) return;
  double days = std::floor(header.creation_date);
  // The mask is the int32 of the date; a damaged date outside int32 range
  // is clamped rather than allowed to overflow.
  int32_t whole = days >= 2147483647.0    ? INT32_MAX
                  : days <= -2147483648.0 ? INT32_MIN
                  : std::isnan(days)      ? 0
                                          : static_cast<int32_t>(days);
  uint32_t u = static_cast<uint32_t>(whole);
  uint8_t mask[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                     static_cast<uint8_t>(u >> 16),
                     static_cast<uint8_t>(u >> 24)};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= mask[i % 4];
}

std::string StoredPassword(const DatabaseHeader& header) {
  const auto& b = header.password_bytes;
  if (std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0; })) {
    return {};
  }
  std::string text;
  if (header.version == JetVersion::kJet3) {
    size_t n = std::find(b.begin(), b.end(), 0) - b.begin();
    text = DecodeCodePageText(ByteView(b.data(), n), header.code_page);
  } else {
    text = DecodeJet4Text(ByteView(b.data(), b.size()));
  }
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

std::string ConnectStringPassword(std::string_view connect) {
  size_t pos = 0;
  while (pos <= connect.size()) {
    size_t end = connect.find(';', pos);
    if (end == std::string_view::npos) end = connect.size();
    std::string_view item = connect.substr(pos, end - pos);
    size_t eq = item.find('=');
    if (eq != std::string_view::npos) {
      std::string key(item.substr(0, eq));
      std::transform(key.begin(), key.end(), key.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      if (key == "pwd") return std::string(item.substr(eq + 1));
    }
    pos = end + 1;
  }
  return {};
}

void CheckPassword(const DatabaseHeader& header, const std::string& password) {
  std::string stored = StoredPassword(header);
  if (stored.empty()) return;
  if (stored != password) {
    throw Error(kErrInvalidPassword, "암호가 올바르지 않습니다.");
  }
}

void StorePassword(std::span<uint8_t> page, const std::string& password,
                   const std::string& path) {
  DatabaseHeader header =
      DatabaseHeader::Decode(ByteView(page.data(), page.size()), path);
  std::u16string units = Utf8ToUtf16(password);
  if (units.size() > kMaxPasswordChars) {
    throw Error(kErrUnsupportedFeature,
                "암호는 20자를 넘을 수 없습니다.");
  }
  std::vector<uint8_t> region(PasswordSize(header.version), 0);
  if (header.version == JetVersion::kJet3) {
    std::vector<uint8_t> bytes = EncodeCodePageText(password, header.code_page);
    if (bytes.size() > region.size()) {
      throw Error(kErrUnsupportedFeature, "암호는 20자를 넘을 수 없습니다.");
    }
    std::copy(bytes.begin(), bytes.end(), region.begin());
  } else {
    for (size_t i = 0; i < units.size(); ++i) {
      region[2 * i] = static_cast<uint8_t>(units[i]);
      region[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
  }
  ApplyPasswordMask(header, region);
  ToggleHeaderMask(header.version, page);
  std::copy(region.begin(), region.end(), page.begin() + kPasswordOffset);
  ToggleHeaderMask(header.version, page);
}

}  // namespace jet
