#include "jet/text_key.h"

#include "jet/text_codec.h"

namespace jet {

namespace {

struct CodeEntry {
  char kind;           // 'X' ignored, 'S' inline, 'I' inline + extra, 'U' unprintable
  uint8_t inline_bytes[2];
  uint8_t inline_count;  // 2 = two-byte code or ligature (see kLigature)
  uint8_t extra;         // extra byte ('I') or unprintable code ('U')
};

constexpr CodeEntry kGeneralLatin1[256] = {
#include "jet/generated/general_legacy_latin1.inc"
};

constexpr uint8_t kFlagAscending = 0x7F;
constexpr uint8_t kFlagDescending = 0x80;
constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kNoExtra = 0x02;
constexpr uint8_t kEnd = 0x00;
constexpr uint8_t kSpaceCode = 0x07;
constexpr uint8_t kUnprintableMarker = 0x06;

constexpr char16_t kFirstHangul = 0xAC00;
constexpr char16_t kLastHangul = 0xD7A3;
constexpr int kHangulPerInitial = 588;
// Offsets of each initial consonant's block in the Hangul code sequence
// (the gaps hold the jamo).
constexpr int kHangulInitialOffset[19] = {1,   2,   6,   16,  19,  20,  43,
                                          53,  58,  74,  85,  161, 180, 183,
                                          187, 190, 191, 192, 195};
// First byte of the Korean sort order's Hangul codes; General's are 0x37
// higher.
constexpr uint8_t kKoreanHangulBase = 0x4A;
constexpr uint8_t kGeneralHangulShift = 0x37;
// Latin letters in the Korean sort order: General code + 0x72.
constexpr uint8_t kKoreanLetterShift = 0x72;

enum class Order { kGeneral, kKorean, kAsciiOnly };

std::optional<Order> OrderOf(uint16_t lcid) {
  switch (lcid) {
    case 1033: return Order::kGeneral;
    case 1042: return Order::kKorean;
    case 2052:
    case 1041: return Order::kAsciiOnly;
    default: return std::nullopt;
  }
}

bool IsLetterCode(uint8_t code) { return code >= 0x4A && code <= 0x78; }

}  // namespace

std::optional<std::vector<uint8_t>> EncodeTextKey(const std::string& text,
                                                  uint16_t sort_order,
                                                  JetVersion version,
                                                  bool ascending) {
  if (version != JetVersion::kJet4) return std::nullopt;
  std::optional<Order> order = OrderOf(sort_order);
  if (!order) return std::nullopt;
  std::u16string units = Utf8ToUtf16(text);
  while (!units.empty() && units.back() == u' ') units.pop_back();

  std::vector<uint8_t> inline_codes, extras;
  std::vector<std::pair<size_t, uint8_t>> unprintables;
  size_t position = 0;
  bool any_extra = false;
  for (char16_t c : units) {
    if (c <= 0xFF) {
      const CodeEntry& e = kGeneralLatin1[c];
      if (*order != Order::kGeneral && c >= 0x80) return std::nullopt;
      switch (e.kind) {
        case 'X':
          break;
        case 'U':
          unprintables.emplace_back(position, e.extra);
          break;
        case 'S': {
          bool ligature = e.inline_count == 2 && IsLetterCode(e.inline_bytes[0]) &&
                          IsLetterCode(e.inline_bytes[1]);
          for (int i = 0; i < e.inline_count; ++i) {
            uint8_t code = e.inline_bytes[i];
            if (*order == Order::kKorean && e.inline_count == 1 && IsLetterCode(code)) {
              code += kKoreanLetterShift;
            }
            inline_codes.push_back(code);
          }
          size_t positions = ligature ? 2 : 1;
          for (size_t i = 0; i < positions; ++i) extras.push_back(kNoExtra);
          position += positions;
          break;
        }
        case 'I':
          inline_codes.push_back(e.inline_bytes[0]);
          extras.push_back(e.extra);
          any_extra = true;
          ++position;
          break;
        default:
          return std::nullopt;
      }
    } else if (c >= kFirstHangul && c <= kLastHangul &&
               *order != Order::kAsciiOnly) {
      int n = c - kFirstHangul;
      int i = n + kHangulInitialOffset[n / kHangulPerInitial];
      uint8_t first = static_cast<uint8_t>(kKoreanHangulBase + i / 254);
      if (*order == Order::kGeneral) first += kGeneralHangulShift;
      inline_codes.push_back(first);
      inline_codes.push_back(static_cast<uint8_t>(0x02 + i % 254));
      extras.push_back(kNoExtra);
      ++position;
    } else {
      return std::nullopt;
    }
  }

  std::vector<uint8_t> body = inline_codes;
  body.push_back(kSectionEnd);
  if (any_extra) {
    while (!extras.empty() && extras.back() == kNoExtra) extras.pop_back();
    body.insert(body.end(), extras.begin(), extras.end());
  }
  if (!unprintables.empty()) {
    body.insert(body.end(), {kSectionEnd, kSectionEnd, kSectionEnd});
    for (auto [pos, code] : unprintables) {
      uint16_t at = static_cast<uint16_t>((7 + 4 * pos) | 0x8000);
      body.push_back(static_cast<uint8_t>(at >> 8));
      body.push_back(static_cast<uint8_t>(at));
      body.push_back(kUnprintableMarker);
      body.push_back(code);
    }
  }
  std::vector<uint8_t> segment;
  if (ascending) {
    segment.push_back(kFlagAscending);
    segment.insert(segment.end(), body.begin(), body.end());
    segment.push_back(kEnd);
  } else {
    segment.push_back(kFlagDescending);
    for (uint8_t b : body) segment.push_back(static_cast<uint8_t>(~b));
    segment.push_back(static_cast<uint8_t>(~kEnd));
    segment.push_back(kEnd);
  }
  return segment;
}

std::optional<std::vector<uint8_t>> DropLeadingSpacesFromTextKey(
    const std::vector<uint8_t>& segment, size_t k) {
  if (segment.size() < 3 || segment[0] != kFlagAscending || segment.back() != kEnd) {
    return std::nullopt;
  }
  std::vector<uint8_t> body(segment.begin() + 1, segment.end() - 1);
  for (size_t i = 0; i < k; ++i) {
    if (i >= body.size() || body[i] != kSpaceCode) return std::nullopt;
  }
  // Inline codes run to the first 01; none of them is 01.
  size_t inline_end = 0;
  while (inline_end < body.size() && body[inline_end] != kSectionEnd) ++inline_end;
  if (inline_end == body.size()) return std::nullopt;
  std::vector<uint8_t> out(body.begin() + k, body.begin() + inline_end);
  out.push_back(kSectionEnd);
  size_t at = inline_end + 1;
  // The extra section, if any, up to the next 01.
  size_t extra_end = at;
  while (extra_end < body.size() && body[extra_end] != kSectionEnd) ++extra_end;
  if (extra_end > at) {
    if (extra_end - at < k) {
      // Fewer extra bytes than dropped spaces: all were placeholders.
      for (size_t i = at; i < extra_end; ++i) {
        if (body[i] != kNoExtra) return std::nullopt;
      }
    } else {
      for (size_t i = 0; i < k; ++i) {
        if (body[at + i] != kNoExtra) return std::nullopt;
      }
      out.insert(out.end(), body.begin() + at + k, body.begin() + extra_end);
    }
  }
  at = extra_end;
  if (at < body.size()) {
    // 01 01 01, then unprintable entries of 4 bytes each; crazy bytes are
    // not handled here.
    if (body.size() - at < 3 || body[at] != kSectionEnd || body[at + 1] != kSectionEnd ||
        body[at + 2] != kSectionEnd || (body.size() - at - 3) % 4 != 0) {
      return std::nullopt;
    }
    out.insert(out.end(), {kSectionEnd, kSectionEnd, kSectionEnd});
    for (size_t i = at + 3; i < body.size(); i += 4) {
      uint16_t pos = static_cast<uint16_t>((body[i] << 8) | body[i + 1]);
      if (!(pos & 0x8000) || body[i + 2] != kUnprintableMarker) return std::nullopt;
      uint16_t raw = pos & 0x7FFF;
      if (raw < 7 + 4 * k) return std::nullopt;
      raw = static_cast<uint16_t>(raw - 4 * k);
      pos = raw | 0x8000;
      out.push_back(static_cast<uint8_t>(pos >> 8));
      out.push_back(static_cast<uint8_t>(pos));
      out.push_back(body[i + 2]);
      out.push_back(body[i + 3]);
    }
  }
  std::vector<uint8_t> result;
  result.push_back(kFlagAscending);
  result.insert(result.end(), out.begin(), out.end());
  result.push_back(kEnd);
  return result;
}

}  // namespace jet
