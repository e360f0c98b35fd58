// Text as the file stores it, converted to and from UTF-8.
//
// Jet 4 stores text as UCS-2 little-endian, or in the compressed form: the
// bytes FF FE, then runs of single bytes (characters U+0000..U+00FF with the
// high byte left out) and runs of UCS-2 pairs, a 00 byte switching between
// the two; the text starts in the single-byte mode.
// Jet 3 stores text in a code page (the column's, else the database's).
#ifndef MDBCARE_JET_BASE_TEXT_CODEC_H_
#define MDBCARE_JET_BASE_TEXT_CODEC_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/byte_view.h"

namespace jet {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The same into `out`, whose memory is reused.
void Utf8ToUtf16(std::string_view text, std::u16string& out);
// The number of UTF-16 code units Utf8ToUtf16 gives for `text`.
size_t Utf16Length(std::string_view text);

// Jet 4 text, compressed or not.
std::string DecodeJet4Text(ByteView bytes);
// The same text as UTF-16 code units, into `out` (an unpaired surrogate
// becomes U+FFFD, as in the UTF-8 form).
void DecodeJet4TextUnits(ByteView bytes, std::u16string& out);
// Whether DecodeJet4Text(bytes) begins or ends with a space, found from the
// first and last code units without decoding the text.
bool Jet4TextHasOuterSpace(ByteView bytes);
// The number of UTF-16 code units DecodeJet4TextUnits(bytes) gives, counted
// without building them.
size_t Jet4TextUnitCount(ByteView bytes);
// Jet 4 text as UCS-2 little-endian, or compressed where `compress` is true
// and the compressed form is shorter.
std::vector<uint8_t> EncodeJet4Text(std::string_view utf8, bool compress);

// Jet 3 text in `code_page` (0 means 1252). Bytes that do not decode become
// U+FFFD rather than an error, so that a damaged value still reads; the
// five bytes code page 1252 leaves undefined read as Windows reads them,
// U+0081, U+008D, U+008F, U+0090 and U+009D, and are written back as the
// same bytes.
std::string DecodeCodePageText(ByteView bytes, uint16_t code_page);
std::vector<uint8_t> EncodeCodePageText(std::string_view utf8,
                                        uint16_t code_page);

}  // namespace jet

#endif  // MDBCARE_JET_BASE_TEXT_CODEC_H_
