#include "jet/schema/property_map.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "jet/schema/catalog.h"
#include "jet/base/error.h"

namespace jet {

namespace {

namespace layout = property_layout;

const uint8_t* MagicOf(JetVersion version) {
  return version == JetVersion::kJet3 ? layout::kJet3Magic : layout::kJet4Magic;
}

Binary BytesOf(ByteView bytes) {
  return Binary(bytes.data(), bytes.data() + bytes.size());
}

std::string DecodeName(ByteView bytes, const PropertyTextFormat& format,
                       const char* what) {
  if (format.version == JetVersion::kJet4 && bytes.size() % 2 != 0) {
    ThrowDamaged(std::string("속성 ") + what + "의 길이가 홀수입니다");
  }
  return DecodePropertyText(bytes, format);
}

// Reads the body of the name pool chunk.
std::vector<std::string> DecodeNamePool(ByteView body,
                                        const PropertyTextFormat& format) {
  std::vector<std::string> names;
  size_t p = 0;
  while (p < body.size()) {
    const uint16_t length = body.U16(p);
    names.push_back(DecodeName(body.Sub(p + 2, length), format, "이름"));
    p += 2 + size_t{length};
  }
  return names;
}

// Reads the body of a property block chunk.
PropertyBlock DecodeBlock(uint16_t type, ByteView body,
                          const std::vector<std::string>& names,
                          const PropertyTextFormat& format) {
  PropertyBlock block;
  block.type = type;
  const uint32_t name_header = body.U32(0);
  const uint16_t name_length = body.U16(4);
  if (name_header < layout::kBlockNameHeaderSize + name_length ||
      name_header > body.size()) {
    ThrowDamaged("속성 블록 이름의 길이 " + std::to_string(name_header) +
                 "이(가) 블록 크기 " + std::to_string(body.size()) +
                 "와 맞지 않습니다");
  }
  block.name = DecodeName(body.Sub(layout::kBlockNameHeaderSize, name_length),
                          format, "블록 이름");
  const size_t name_end = layout::kBlockNameHeaderSize + name_length;
  block.name_trailing = BytesOf(body.Sub(name_end, name_header - name_end));

  size_t p = name_header;
  while (p < body.size()) {
    const uint16_t entry_length = body.U16(p);
    if (entry_length < layout::kEntryHeaderSize ||
        entry_length > body.size() - p) {
      ThrowDamaged("속성 항목의 길이 " + std::to_string(entry_length) +
                   "이(가) 블록을 벗어납니다");
    }
    ByteView entry = body.Sub(p, entry_length);
    const uint16_t name_index = entry.U16(4);
    const uint16_t value_length = entry.U16(6);
    if (layout::kEntryHeaderSize + value_length > entry_length) {
      ThrowDamaged("속성 값의 길이 " + std::to_string(value_length) +
                   "이(가) 항목을 벗어납니다");
    }
    if (name_index >= names.size()) {
      ThrowDamaged("속성 이름 번호 " + std::to_string(name_index) +
                   "이(가) 이름 목록(" + std::to_string(names.size()) +
                   "개)에 없습니다");
    }
    Property prop;
    prop.name = names[name_index];
    prop.flag = entry.U8(2);
    prop.type = entry.U8(3);
    prop.value = DecodePropertyValue(
        prop.type, entry.Sub(layout::kEntryHeaderSize, value_length), format);
    prop.trailing =
        BytesOf(entry.From(layout::kEntryHeaderSize + value_length));
    block.properties.push_back(std::move(prop));
    p += entry_length;
  }
  return block;
}

class Writer {
 public:
  void Bytes(const std::vector<uint8_t>& b) {
    out_.insert(out_.end(), b.begin(), b.end());
  }
  void Bytes(const uint8_t* b, size_t n) { out_.insert(out_.end(), b, b + n); }
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  size_t position() const { return out_.size(); }
  // Writes the length of what was written since `start` into the 4 bytes
  // reserved there.
  void PatchLength32(size_t start) {
    const size_t length = out_.size() - start;
    if (length > UINT32_MAX) TooLong("속성 블록");
    for (int i = 0; i < 4; ++i) {
      out_[start + i] = static_cast<uint8_t>(length >> (8 * i));
    }
  }
  std::vector<uint8_t> Take() { return std::move(out_); }

  [[noreturn]] static void TooLong(const std::string& what) {
    throw Error(kErrFieldTooSmall,
                what + "이(가) 너무 길어 저장할 수 없습니다.");
  }

 private:
  std::vector<uint8_t> out_;
};

uint16_t CheckedU16(size_t n, const std::string& what) {
  if (n > UINT16_MAX) Writer::TooLong(what);
  return static_cast<uint16_t>(n);
}

// A property or block name in the blob's encoding. A name that would not
// read back as itself (a character the Jet 3 code page lacks) is refused
// rather than written as something else.
std::vector<uint8_t> EncodeName(const std::string& name,
                                const PropertyTextFormat& format) {
  std::vector<uint8_t> bytes = EncodePropertyText(name, format);
  if (DecodePropertyText(ByteView(bytes.data(), bytes.size()), format) !=
      name) {
    throw Error(kErrConversion,
                "'" + name +
                    "' 은(는) 이 데이터베이스의 문자로 쓸 수 없는 "
                    "이름입니다.");
  }
  return bytes;
}

}  // namespace

const Property* PropertyBlock::Find(std::string_view name) const {
  for (const Property& p : properties) {
    if (NamesEqualIgnoringCase(p.name, std::string(name))) return &p;
  }
  return nullptr;
}

Property* PropertyBlock::Find(std::string_view name) {
  return const_cast<Property*>(std::as_const(*this).Find(name));
}

void PropertyBlock::Set(std::string_view name, uint8_t type, Value value,
                        uint8_t flag) {
  if (Property* p = Find(name)) {
    p->type = type;
    p->value = std::move(value);
    return;
  }
  Property p;
  p.name = std::string(name);
  p.type = type;
  p.flag = flag;
  p.value = std::move(value);
  properties.push_back(std::move(p));
}

bool PropertyBlock::Remove(std::string_view name) {
  const Property* p = Find(name);
  if (!p) return false;
  properties.erase(properties.begin() + (p - properties.data()));
  return true;
}

const PropertyBlock* PropertyMap::ObjectBlock() const {
  for (const PropertyBlock& b : blocks) {
    if (b.type == layout::kObjectBlock) return &b;
  }
  return nullptr;
}

const PropertyBlock* PropertyMap::FindColumn(std::string_view name) const {
  for (const PropertyBlock& b : blocks) {
    if (b.type == layout::kColumnBlock &&
        NamesEqualIgnoringCase(b.name, std::string(name))) {
      return &b;
    }
  }
  return nullptr;
}

PropertyMap DecodePropertyMap(ByteView blob, const PropertyTextFormat& format) {
  PropertyMap map;
  map.format = format;
  if (blob.empty()) return map;
  if (!blob.Contains(0, layout::kMagicSize) ||
      !std::equal(blob.data(), blob.data() + layout::kMagicSize,
                  MagicOf(format.version))) {
    ThrowDamaged("속성 데이터의 머리글이 이 버전의 것이 아닙니다");
  }

  // The chunks first, so that blocks stored before the pool still find
  // their names.
  struct Chunk {
    uint16_t type;
    ByteView body;
  };
  std::vector<Chunk> chunks;
  bool have_pool = false;
  size_t p = layout::kMagicSize;
  while (p < blob.size()) {
    const uint32_t length = blob.U32(p);
    const uint16_t type = blob.U16(p + 4);
    if (length < layout::kChunkHeaderSize || length > blob.size() - p) {
      ThrowDamaged("속성 청크의 길이 " + std::to_string(length) +
                   "이(가) 데이터(" + std::to_string(blob.size() - p) +
                   "바이트 남음)와 맞지 않습니다");
    }
    ByteView body = blob.Sub(p + layout::kChunkHeaderSize,
                             length - layout::kChunkHeaderSize);
    if (type == layout::kNamePool) {
      if (have_pool) ThrowDamaged("속성 이름 목록이 두 개입니다");
      have_pool = true;
      map.names = DecodeNamePool(body, format);
    } else {
      chunks.push_back(Chunk{type, body});
    }
    p += length;
  }

  for (const Chunk& c : chunks) {
    if (c.type == layout::kObjectBlock || c.type == layout::kColumnBlock) {
      map.blocks.push_back(DecodeBlock(c.type, c.body, map.names, format));
    } else {
      PropertyBlock opaque;
      opaque.type = c.type;
      opaque.opaque = BytesOf(c.body);
      map.blocks.push_back(std::move(opaque));
    }
  }
  return map;
}

std::vector<uint8_t> EncodePropertyMap(const PropertyMap& map) {
  if (map.empty()) return {};
  const PropertyTextFormat& format = map.format;

  // The pool: the stored names, then any name a property uses that it
  // lacks. A name stored twice is referred to by its first position.
  constexpr size_t kMaxNames = size_t{UINT16_MAX} + 1;
  if (map.names.size() > kMaxNames) Writer::TooLong("속성 이름 목록");
  std::vector<std::string> names = map.names;
  std::unordered_map<std::string, uint16_t> index;
  for (size_t i = 0; i < names.size(); ++i) {
    index.emplace(names[i], static_cast<uint16_t>(i));
  }
  auto add = [&](const std::string& name) {
    if (index.count(name)) return;
    if (names.size() >= kMaxNames) Writer::TooLong("속성 이름 목록");
    index.emplace(name, static_cast<uint16_t>(names.size()));
    names.push_back(name);
  };
  for (const PropertyBlock& b : map.blocks) {
    if (b.type == layout::kNamePool ||
        (b.is_property_block() && !b.opaque.empty()) ||
        (!b.is_property_block() && (!b.properties.empty() || !b.name.empty() ||
                                    !b.name_trailing.empty()))) {
      throw Error(kErrUnsupportedFeature, "속성 블록의 종류(" +
                                              std::to_string(b.type) +
                                              ")와 내용이 맞지 않습니다.");
    }
    for (const Property& prop : b.properties) add(prop.name);
  }

  Writer w;
  w.Bytes(MagicOf(format.version), layout::kMagicSize);

  size_t start = w.position();
  w.U32(0);
  w.U16(layout::kNamePool);
  for (const std::string& name : names) {
    std::vector<uint8_t> text = EncodeName(name, format);
    w.U16(CheckedU16(text.size(), "속성 이름"));
    w.Bytes(text);
  }
  w.PatchLength32(start);

  for (const PropertyBlock& b : map.blocks) {
    start = w.position();
    w.U32(0);
    w.U16(b.type);
    if (!b.is_property_block()) {
      w.Bytes(b.opaque);
      w.PatchLength32(start);
      continue;
    }
    std::vector<uint8_t> block_name = EncodeName(b.name, format);
    const uint16_t name_length = CheckedU16(block_name.size(), "블록 이름");
    w.U32(static_cast<uint32_t>(layout::kBlockNameHeaderSize + name_length +
                                b.name_trailing.size()));
    w.U16(name_length);
    w.Bytes(block_name);
    w.Bytes(b.name_trailing);
    for (const Property& prop : b.properties) {
      std::vector<uint8_t> value =
          EncodePropertyValue(prop.type, prop.value, format);
      const uint16_t value_length = CheckedU16(value.size(), "속성 값");
      w.U16(CheckedU16(
          layout::kEntryHeaderSize + value.size() + prop.trailing.size(),
          "속성 값"));
      w.U8(prop.flag);
      w.U8(prop.type);
      w.U16(index.at(prop.name));
      w.U16(value_length);
      w.Bytes(value);
      w.Bytes(prop.trailing);
    }
    w.PatchLength32(start);
  }
  return w.Take();
}

}  // namespace jet
