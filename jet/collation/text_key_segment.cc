#include "jet/collation/text_key_segment.h"

#include <cstdio>
#include <span>

namespace jet {

namespace {

constexpr uint8_t kAscendingFlag = 0x7F;
constexpr uint8_t kDescendingFlag = 0x80;
constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kEndSegment = 0x00;
constexpr uint8_t kPlaceholder = 0x02;
constexpr uint8_t kSpaceCode = 0x07;      // Jet 4 U+0020
constexpr uint8_t kJet3SpaceCode = 0x11;  // Jet 3 U+0020
constexpr uint8_t kUnprintableMidfix = 0x06;
constexpr uint16_t kUnprintableStart = 7;
constexpr uint16_t kUnprintableStep = 4;
constexpr uint16_t kUnprintableFlag = 0x8000;
constexpr uint8_t kCrazyStart = 0x80;
constexpr uint8_t kCrazyDroppedFlag = 0x03;
constexpr uint8_t kCrazySuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kCrazyUnprintableSuffix = 0xFF;

constexpr size_t kEncoded = static_cast<size_t>(-1);

std::u16string_view WithoutTrailingSpaces(std::u16string_view text) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == u' ') --n;
  return text.substr(0, n);
}

std::string CharText(char16_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

void Invert(std::vector<uint8_t>& bytes, size_t from) {
  for (size_t i = from; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(~bytes[i]);
  }
}

// An entry of the unprintable (Jet 4) or special (Korean 97) section: the
// place (7 + 4 * p) | 0x8000 big-endian, 06, the character's code.
void AppendPlacedEntry(size_t p, uint8_t code, std::vector<uint8_t>& out) {
  uint16_t offset = static_cast<uint16_t>(
      (kUnprintableStart + kUnprintableStep * p) | kUnprintableFlag);
  out.push_back(static_cast<uint8_t>(offset >> 8));
  out.push_back(static_cast<uint8_t>(offset));
  out.push_back(kUnprintableMidfix);
  out.push_back(code);
}

// Ends a Jet 4 segment whose body starts at `body`: a descending one is
// inverted up to and with its first end mark.
void EndJet4Segment(bool ascending, size_t body, std::vector<uint8_t>& out) {
  if (!ascending) {
    out.push_back(kEndSegment);
    Invert(out, body);
  }
  out.push_back(kEndSegment);
}

// Jet 4 layout, see the header; appended to `out`. Returns kEncoded, or
// the index of the code whose place no real key has shown (then `out` is
// left grown): an unprintable character after a ligature that follows the
// start of the extra section.
size_t EncodeJet4(std::span<const SortCode> codes, bool ascending,
                  std::vector<uint8_t>& out) {
  const size_t body = out.size() + 1;  // the first byte after the flag
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  std::vector<uint8_t> extra;
  bool extra_started = false;
  size_t owed = 0;          // placeholders due before the next extra byte
  size_t extra_prefix = 0;  // 1 when the extra began with a modifier
  bool ligature_in_extra = false;
  std::vector<uint8_t> unprintables;
  bool has_unprintables = false;
  std::vector<uint8_t> crazy;
  size_t position = 0;

  // Most characters give one or two inline bytes: room for them is made
  // once, and they are pushed one by one.
  out.reserve(out.size() + 2 * codes.size() + 4);
  for (size_t i = 0; i < codes.size(); ++i) {
    const SortCode& code = codes[i];
    const size_t current = position;
    for (uint8_t b = 0; b < code.inline_size; ++b) {
      out.push_back(code.inline_bytes[b]);
    }
    position += code.positions;
    using Kind = SortCode::Kind;
    const bool writes_extra =
        code.extra_size > 0 || code.kind == Kind::kUnprintableModifier;
    if (extra_started && !writes_extra && code.positions > 0) {
      // Once the extra section has begun, a character takes one slot in
      // it, a ligature too.
      ++owed;
      if (code.positions > 1) ligature_in_extra = true;
    }
    if (code.kind == Kind::kSimple || code.kind == Kind::kIgnored) continue;

    if (writes_extra) {
      if (!extra_started) {
        // Up to here a ligature counts as two.
        extra_started = true;
        owed = current;
      }
      extra.insert(extra.end(), owed, kPlaceholder);
      owed = 0;
      if (code.extra_size > 0) {
        extra.insert(extra.end(), code.extra, code.extra + code.extra_size);
      } else if (!extra.empty()) {
        extra.back() = static_cast<uint8_t>(extra.back() + code.modifier);
      } else {
        extra.push_back(code.modifier);
        extra_prefix = 1;
      }
    }
    if (code.kind == Kind::kUnprintable) {
      if (ligature_in_extra) return i;
      size_t p = current;
      if (extra_started) p = extra.size() + owed - extra_prefix;
      AppendPlacedEntry(p, code.unprintable, unprintables);
      has_unprintables = true;
    }
    if (code.crazy != 0) crazy.push_back(code.crazy);
  }

  out.push_back(kEndText);
  while (!extra.empty() && extra.back() <= kPlaceholder) extra.pop_back();
  bool has_crazy = !crazy.empty();
  if (!extra.empty() || has_unprintables || has_crazy) {
    out.insert(out.end(), extra.begin(), extra.end());
    if (has_crazy || has_unprintables) {
      out.push_back(kEndText);
      out.push_back(kEndText);
      if (has_crazy) {
        while (!crazy.empty() && crazy.back() == kCrazyDroppedFlag) {
          crazy.pop_back();
        }
        for (size_t i = 0; i < crazy.size(); i += 3) {
          uint8_t b = kCrazyStart;
          for (size_t k = 0; k < 3 && i + k < crazy.size(); ++k) {
            b = static_cast<uint8_t>(b | (crazy[i + k] << ((2 - k) * 2)));
          }
          out.push_back(b);
        }
        out.insert(out.end(), std::begin(kCrazySuffix), std::end(kCrazySuffix));
        if (has_unprintables) out.push_back(kCrazyUnprintableSuffix);
      }
      if (has_unprintables) {
        out.push_back(kEndText);
        out.insert(out.end(), unprintables.begin(), unprintables.end());
      }
    }
  }
  EndJet4Segment(ascending, body, out);
  return kEncoded;
}

// Jet 3 layout, see the header; appended to `out`.
void EncodeJet3(std::span<const SortCode> codes, bool ascending,
                std::vector<uint8_t>& out) {
  const size_t body = out.size() + 1;  // the first byte after the flag
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  std::vector<uint8_t> nibbles;
  size_t letters = 0;
  for (const SortCode& code : codes) {
    out.insert(out.end(), code.inline_bytes,
               code.inline_bytes + code.inline_size);
    if (code.kind == SortCode::Kind::kSignificant) {
      ++letters;
      continue;
    }
    if (code.extra_size == 0) continue;
    if (nibbles.empty()) nibbles.push_back(0);
    nibbles.insert(nibbles.end(), letters, kPlaceholder);
    letters = 0;
    // The table keeps the accent value in the high half of its byte.
    nibbles.push_back(static_cast<uint8_t>(code.extra[0] >> 4));
  }
  if (nibbles.empty()) {
    out.push_back(kEndSegment);
  } else {
    nibbles.push_back(0);
    if (nibbles.size() % 2) nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2) {
      out.push_back(static_cast<uint8_t>((nibbles[i] << 4) | nibbles[i + 1]));
    }
  }
  if (!ascending) Invert(out, body);
}

// Jet 3 Korean layout, see the header; appended to `out`. Returns
// kEncoded, or the index of a special character whose place no real key
// has shown: one after another special character.
size_t EncodeJet3Korean(std::span<const SortCode> codes, bool ascending,
                        std::vector<uint8_t>& out) {
  const size_t body = out.size() + 1;  // the first byte after the flag
  out.push_back(ascending ? kAscendingFlag : kDescendingFlag);
  std::vector<uint8_t> diacritics;
  std::vector<uint8_t> specials;
  size_t pairs = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    const SortCode& code = codes[i];
    if (code.kind == SortCode::Kind::kUnprintable) {
      if (!specials.empty()) return i;
      AppendPlacedEntry(pairs, code.unprintable, specials);
      continue;
    }
    out.insert(out.end(), code.inline_bytes,
               code.inline_bytes + code.inline_size);
    if (code.extra_size > 0) {
      diacritics.resize(pairs, kPlaceholder);
      diacritics.push_back(code.extra[0]);
    }
    pairs += code.positions;
  }
  out.push_back(kEndText);
  out.insert(out.end(), diacritics.begin(), diacritics.end());
  out.push_back(kEndText);  // case: folded, never written
  out.push_back(kEndText);  // extra: never written
  out.push_back(kEndText);
  out.insert(out.end(), specials.begin(), specials.end());
  out.push_back(kEndSegment);
  if (!ascending) Invert(out, body);
  return kEncoded;
}

// The Jet 4 segment of a text whose characters all have simple codes
// (inline bytes only, as most letters, digits and Hangul have), written
// straight from the table: no extra, unprintable or kana bytes follow the
// inline ones. False, with `out` as it was, for any other text.
bool AppendSimpleJet4(std::u16string_view text, const SortCode* table,
                      bool ascending, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.resize(start + 1 + 4 * text.size());
  uint8_t* w = out.data() + start;
  *w++ = ascending ? kAscendingFlag : kDescendingFlag;
  for (char16_t c : text) {
    const SortCode& code = table[c];
    if (code.kind != SortCode::Kind::kSimple) {
      out.resize(start);
      return false;
    }
    for (uint8_t b = 0; b < code.inline_size; ++b) *w++ = code.inline_bytes[b];
  }
  out.resize(static_cast<size_t>(w - out.data()));
  out.push_back(kEndText);
  EndJet4Segment(ascending, start + 1, out);
  return true;
}

// The segment of `codes` in the layout of `order`; kEncoded, or the index
// of the code that stopped it (the encoders above say when).
size_t EncodeCodes(std::span<const SortCode> codes, SortOrder order,
                   bool ascending, std::vector<uint8_t>& out) {
  switch (order) {
    case SortOrder::kGeneral97:
      EncodeJet3(codes, ascending, out);
      return kEncoded;
    case SortOrder::kKorean97:
      return EncodeJet3Korean(codes, ascending, out);
    default:
      return EncodeJet4(codes, ascending, out);
  }
}

}  // namespace

bool AppendTextSegment(std::u16string_view text, SortOrder order,
                       bool ascending, std::vector<uint8_t>& out,
                       TextSegmentResult* failure) {
  text = WithoutTrailingSpaces(text);
  if (text.size() > kMaxIndexedTextLength) {
    if (failure) {
      failure->reason =
          "텍스트가 " + std::to_string(kMaxIndexedTextLength) + "자보다 깁니다";
    }
    return false;
  }
  const SortCode* table = SortCodeTable(order);
  if (!IsJet3SortOrder(order) &&
      AppendSimpleJet4(text, table, ascending, out)) {
    return true;
  }
  thread_local std::vector<SortCode> codes;
  codes.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    codes.push_back(table[text[i]]);
    if (!codes.back().known()) {
      if (failure) {
        failure->unknown_char = text[i];
        failure->reason = std::string(SortOrderName(order)) +
                          " 정렬 순서에서 문자 " + CharText(text[i]) +
                          " 의 색인 코드를 모릅니다";
      }
      return false;
    }
  }
  const std::span<const SortCode> used(codes.data(), codes.size());
  const size_t start = out.size();
  const size_t stopped = EncodeCodes(used, order, ascending, out);
  if (stopped != kEncoded) {
    out.resize(start);
    if (failure) {
      failure->unknown_char = text[stopped];
      failure->reason = std::string(SortOrderName(order)) +
                        " 정렬 순서에서 앞 문자들 뒤에 오는 문자 " +
                        CharText(text[stopped]) + " 의 색인 위치를 모릅니다";
    }
    return false;
  }
  return true;
}

TextSegmentResult EncodeTextSegment(std::u16string_view text, SortOrder order,
                                    bool ascending) {
  TextSegmentResult result;
  std::vector<uint8_t> segment;
  if (AppendTextSegment(text, order, ascending, segment, &result)) {
    result.segment = std::move(segment);
  }
  return result;
}

std::vector<uint8_t> EmptyTextSegment(SortOrder order, bool ascending) {
  std::vector<uint8_t> out;
  EncodeCodes({}, order, ascending, out);  // no code to stop it
  return out;
}

std::optional<std::vector<uint8_t>> SegmentWithoutLeadingSpaces(
    const std::vector<uint8_t>& segment, size_t leading_spaces,
    SortOrder order) {
  if (segment.size() < 2) return std::nullopt;
  // Korean 97's spaces are pairs with a diacritic slot each, and its
  // special positions count them: not derived here.
  if (order == SortOrder::kKorean97) return std::nullopt;
  bool ascending = segment[0] == kAscendingFlag;
  if (!ascending && segment[0] != kDescendingFlag) return std::nullopt;
  if (leading_spaces == 0) return segment;

  // Work on the ascending body: the bytes after the flag, up to the end.
  std::vector<uint8_t> body(segment.begin() + 1, segment.end());
  if (order == SortOrder::kGeneral97) {
    if (!ascending) Invert(body, 0);
    if (body.size() < leading_spaces + 1) return std::nullopt;
    for (size_t i = 0; i < leading_spaces; ++i) {
      if (body[i] != kJet3SpaceCode) return std::nullopt;
    }
    std::vector<uint8_t> out{segment[0]};
    out.insert(out.end(), body.begin() + leading_spaces, body.end());
    if (!ascending) Invert(out, 1);
    return out;
  }

  // Jet 4: the body ends with 00 (descending: inverted bytes, 00, 00).
  if (!ascending) {
    if (body.size() < 2 || body.back() != kEndSegment) return std::nullopt;
    body.pop_back();
    Invert(body, 0);
  }
  if (body.empty() || body.back() != kEndSegment) return std::nullopt;
  body.pop_back();

  // Split: inline codes up to the first 01 (no inline byte is 01 or 00).
  size_t end_inline = 0;
  while (end_inline < body.size() && body[end_inline] != kEndText) {
    ++end_inline;
  }
  if (end_inline == body.size()) return std::nullopt;
  if (end_inline < leading_spaces) {
    // A text of spaces only keeps the key of "".
    if (end_inline == 0 && body.size() == 1) return segment;
    return std::nullopt;
  }
  for (size_t i = 0; i < leading_spaces; ++i) {
    if (body[i] != kSpaceCode) return std::nullopt;
  }
  size_t pos = end_inline + 1;
  size_t end_extra = pos;
  while (end_extra < body.size() && body[end_extra] != kEndText) ++end_extra;

  std::vector<uint8_t> out(body.begin() + leading_spaces,
                           body.begin() + end_inline + 1);
  if (end_extra > pos) {
    if (end_extra - pos <= leading_spaces) return std::nullopt;
    for (size_t i = 0; i < leading_spaces; ++i) {
      if (body[pos + i] != kPlaceholder) return std::nullopt;
    }
    out.insert(out.end(), body.begin() + pos + leading_spaces,
               body.begin() + end_extra);
  }
  pos = end_extra;
  if (pos < body.size()) {
    // 01 01, crazy bytes (ending with the suffix and maybe FF), then
    // 01 and 4-byte unprintable groups.
    if (pos + 2 > body.size() || body[pos + 1] != kEndText) {
      return std::nullopt;
    }
    out.push_back(kEndText);
    out.push_back(kEndText);
    pos += 2;
    size_t unprint = body.size();
    if (pos < body.size() && body[pos] != kEndText) {
      // Crazy bytes: up to the suffix; an FF after it announces
      // unprintables.
      size_t s = pos;
      bool found = false;
      for (; s + sizeof kCrazySuffix <= body.size(); ++s) {
        if (std::equal(std::begin(kCrazySuffix), std::end(kCrazySuffix),
                       body.begin() + s)) {
          found = true;
          break;
        }
      }
      if (!found) return std::nullopt;
      size_t after = s + sizeof kCrazySuffix;
      if (after < body.size() && body[after] == kCrazyUnprintableSuffix) {
        ++after;
      }
      out.insert(out.end(), body.begin() + pos, body.begin() + after);
      pos = after;
    }
    if (pos < body.size()) {
      if (body[pos] != kEndText) return std::nullopt;
      out.push_back(kEndText);
      ++pos;
      unprint = pos;
      if ((body.size() - unprint) % 4 != 0) return std::nullopt;
      for (size_t g = unprint; g < body.size(); g += 4) {
        uint16_t offset = static_cast<uint16_t>((body[g] << 8) | body[g + 1]);
        if (!(offset & kUnprintableFlag) || body[g + 2] != kUnprintableMidfix) {
          return std::nullopt;
        }
        uint16_t value = offset & ~kUnprintableFlag;
        uint16_t drop =
            static_cast<uint16_t>(kUnprintableStep * leading_spaces);
        if (value < kUnprintableStart + drop) return std::nullopt;
        offset = static_cast<uint16_t>((value - drop) | kUnprintableFlag);
        out.push_back(static_cast<uint8_t>(offset >> 8));
        out.push_back(static_cast<uint8_t>(offset));
        out.push_back(body[g + 2]);
        out.push_back(body[g + 3]);
      }
    }
  }
  out.push_back(kEndSegment);
  std::vector<uint8_t> result{segment[0]};
  result.insert(result.end(), out.begin(), out.end());
  if (!ascending) {
    Invert(result, 1);
    result.push_back(kEndSegment);
  }
  return result;
}

}  // namespace jet
