#!/usr/bin/env python3
"""Writes the text collation tables of jet/collation/generated/ from code tables.

The tables give, for every character, what a text index key writes for it
under the General sort order: Jet 4 ("General legacy", LCID 1033 version
0) and Jet 3 ("General 97"). The facts come from the code tables of the
Jackcess project (https://github.com/jahlborn/jackcess, Apache License
2.0), which are not copied into this repository:

  index_codes_genleg.txt      Jet 4, one line per code point U+0000..U+00FF
  index_codes_ext_genleg.txt  Jet 4, one line per code point U+0100..U+FFFF,
                              the surrogates U+D800..U+DFFF left out
  index_codes_gen_97.txt      Jet 3, one line per code page 1252 byte
  index_mappings_ext_gen_97.txt  Jet 3, "code point,byte" lines for the
                              characters above U+00FF that code page 1252
                              has

(jahlborn/jackcess, src/main/resources/com/healthmarketscience/jackcess/,
or trunk/src/main/resources/... for the genleg files.)

The Korean (LCID 1042) tables come from the General one and two tables
measured against keys Access wrote on Korean Windows (shared/data/ beside
this project, with their notes shared/notes-text-keys-2.md and
notes-text-keys-jet3.md):

  hanja-1042.tsv        Jet 4: the KS X 1001 Hanja and their enclosed forms,
                        each with the code of its reading and its extra byte
                        (the groups of the ko-KR part of Microsoft's Windows
                        sorting weight table, in KS X 1001 order)
  jet3-korean-1042.tsv  Jet 3: the (script, weight) pairs and sections of
                        each code page 949 character, with how far each row
                        is confirmed (tier V seen, R same rule as seen, J
                        from Jet 4 keys, W Windows 10 table only, U unknown)

Jet 4 Korean: a Hanja of hanja-1042.tsv takes its row; any other CJK
ideograph is unknown; every other character takes its General code with
the first byte of each weight moved: 4A..80 up by 72, 81..F2 down by 37
(the letter scripts sort after Hangul and Hanja), the rest as it is.
Jet 3 Korean: the rows of tier V and R, and of tier J where no byte of the
row is marked unknown ("?"); every other character is unknown.

A line of the code tables is one of:
  X                   ignored: the character writes nothing
  S<hex>              inline bytes
  I<hex>,<hex>        inline bytes and extra (accent) bytes
  U<hex>              no inline bytes; unprintable code bytes
  P<hex>              no inline bytes; added to the last extra byte
  Z<hex>,<hex>,<1|2>  inline bytes, extra bytes (may be empty), crazy flag
  G<hex>              Jet 3: inline bytes of a letter that is counted
                      between accents (newer tables; for older ones the
                      letters that are the base of an accented letter
                      are marked so)
Hex strings of odd length had a leading 0 dropped.

Each character also gets its number of key positions: the number of codes
its inline bytes hold. A code is one byte when that byte is the whole
inline code of some character, else two bytes; so ligatures (ß = 6B 6B,
æ = 4A 51) take two positions, two-byte codes (_ = 2B 03) one.

Usage:
  gen_sort_order_tables.py --genleg FILE [--genleg-ext FILE]
      [--leave-unknown FIRST-LAST ...] --gen97 FILE --gen97-map FILE
      [--hanja-1042 FILE --jet3-korean-1042 FILE]
      --out-dir jet/collation/generated
Without --genleg-ext only U+0000..U+00FF of the Jet 4 table are known;
every other character is left unknown (its keys are then refused).
--leave-unknown keeps a range of code points (hex) unknown although the
ext table lists it: the copy of the table this project was generated from
could not be checked line by line there (0EDE-109F, Lao's end to Myanmar).
"""
import argparse
import os
import sys

SOURCE_NOTE = (
    "Facts from the index code tables of Jackcess\n"
    "// (https://github.com/jahlborn/jackcess, Apache License 2.0):\n"
    "// src/main/resources/com/healthmarketscience/jackcess/{files}.")

KIND_NAMES = {
    "?": "kUnknown",
    "X": "kIgnored",
    "S": "kSimple",
    "I": "kInternational",
    "U": "kUnprintable",
    "P": "kUnprintableModifier",
    "Z": "kInternationalCrazy",
    "G": "kSignificant",
}


def hex_bytes(text, required=True):
    if text == "":
        if required:
            raise ValueError("empty code bytes")
        return []
    if len(text) % 2:
        text = "0" + text
    return [int(text[i:i + 2], 16) for i in range(0, len(text), 2)]


def parse_line(line):
    """(kind letter, inline, extra, unprintable, modifier, crazy)."""
    kind, rest = line[0], line[1:]
    parts = rest.split(",") if rest else []
    inline, extra, unprint, modifier, crazy = [], [], [], 0, 0
    if kind == "X":
        pass
    elif kind in "SG":
        inline = hex_bytes(parts[0])
    elif kind == "I":
        inline, extra = hex_bytes(parts[0]), hex_bytes(parts[1])
    elif kind == "U":
        unprint = hex_bytes(parts[0])
    elif kind == "P":
        modifier = hex_bytes(parts[0])[0]
    elif kind == "Z":
        inline = hex_bytes(parts[0])
        extra = hex_bytes(parts[1], required=False)
        crazy = 2 if parts[2] == "1" else 3
    else:
        raise ValueError("unknown code line " + line)
    if len(inline) > 4 or len(extra) > 2 or len(unprint) > 1:
        raise ValueError("code line too long for the table: " + line)
    return (kind, inline, extra, unprint[0] if unprint else 0, modifier,
            crazy)


def read_lines(path):
    with open(path, encoding="ascii") as f:
        return [l.rstrip("\r\n") for l in f if l.strip()]


def positions_of(inline, one_byte_codes):
    count, i = 0, 0
    while i < len(inline):
        i += 1 if inline[i] in one_byte_codes else 2
        count += 1
    if i != len(inline):
        raise ValueError("inline bytes do not split into codes: %s" % inline)
    return count


def next_code(value):
    """The two-byte code after `value` (low byte runs 02..FF)."""
    hi, lo = value >> 8, value & 0xFF
    return (hi + 1) << 8 | 0x02 if lo == 0xFF else value + 1


def build_table(codes, one_byte_codes):
    """Records and ranges for `codes`, a list of 65536 parsed lines (or
    None for unknown). A range is (first code point, record, sequential):
    sequential ranges hold two-byte simple codes that rise by one."""
    records, record_index = [], {}

    def record(entry):
        if entry is None:
            key = ("?", (), (), 0, 0, 0, 0)
        else:
            kind, inline, extra, unprint, modifier, crazy = entry
            pos = positions_of(inline, one_byte_codes) if inline else 0
            if extra and kind in "IZ" and len(extra) != pos:
                raise ValueError("extra bytes do not match positions: %r" %
                                 (entry,))
            key = (kind, tuple(inline), tuple(extra), unprint, modifier,
                   crazy, pos)
        if key not in record_index:
            record_index[key] = len(records)
            records.append(key)
        return record_index[key]

    ranges = []
    cp = 0
    while cp < 0x10000:
        entry = codes[cp]
        start = cp
        cp += 1
        if (entry is not None and entry[0] == "S" and len(entry[1]) == 2 and
                entry[1][0] not in one_byte_codes):
            value = entry[1][0] << 8 | entry[1][1]
            while cp < 0x10000:
                nxt = codes[cp]
                if (nxt is None or nxt[0] != "S" or len(nxt[1]) != 2 or
                        (nxt[1][0] << 8 | nxt[1][1]) != next_code(value)):
                    break
                value = next_code(value)
                cp += 1
            ranges.append((start, record(entry), cp - start > 1))
            continue
        while cp < 0x10000 and codes[cp] == entry:
            cp += 1
        ranges.append((start, record(entry), False))
    return records, ranges


def one_byte_code_set(lines):
    result = set()
    for entry in lines:
        if entry is not None and entry[0] in "SIZG" and len(entry[1]) == 1:
            result.add(entry[1][0])
    return result


def split_weights(inline, one_byte_codes):
    """`inline` cut into its codes (one or two bytes each)."""
    out, i = [], 0
    while i < len(inline):
        n = 1 if inline[i] in one_byte_codes else 2
        out.append(inline[i:i + n])
        i += n
    return out


def korean_rotated(byte):
    """The Korean first byte of a General weight's first byte."""
    if 0x4A <= byte <= 0x80:
        return byte + 0x72
    if 0x81 <= byte <= 0xF2:
        return byte - 0x37
    return byte


def korean_from_general(entry, one_byte_codes):
    kind, inline, extra, unprint, modifier, crazy = entry
    rotated = []
    for weight in split_weights(inline, one_byte_codes):
        rotated += [korean_rotated(weight[0])] + weight[1:]
    return (kind, rotated, extra, unprint, modifier, crazy)


def is_cjk_ideograph(cp):
    return (0x3400 <= cp <= 0x4DBF or 0x4E00 <= cp <= 0x9FFF or
            0xF900 <= cp <= 0xFAFF)


def read_tsv(path):
    with open(path, encoding="utf-8") as f:
        return [l.rstrip("\n").split("\t") for l in f
                if l.strip() and not l.startswith("#")]


def read_hanja(path):
    """{code point: (inline, extra)} from hanja-1042.tsv."""
    table = {}
    for row in read_tsv(path):
        cp = int(row[0][2:], 16)
        table[cp] = (hex_bytes(row[5]), hex_bytes(row[6]))
    return table


def jet3_korean_entry(row):
    """The code line of one jet3-korean-1042.tsv row, or None for a row
    whose character stays unknown."""
    pairs, notes = row[3], row[4]
    tier = notes.split(";")[0].strip()
    confirmed = tier in ("tier=V", "tier=R")
    if tier == "tier=J" and "?" not in pairs and "?" not in notes:
        confirmed = True
    if not confirmed:
        return None
    fields = dict(p.strip().split("=", 1) for p in notes.split(";")
                  if p.strip().split("=", 1)[0] in
                  ("dia", "case", "extra", "special"))
    if "case" in fields or "extra" in fields:
        raise ValueError("unexpected section in " + row[0])
    if pairs == "none":
        special = fields["special"].split()
        if special[:2] != ["[pos]", "06"]:
            raise ValueError("unexpected special entry in " + row[0])
        return ("U", [], [], int(special[2], 16), 0, 0)
    inline = hex_bytes(pairs)
    if 0 in inline or 1 in inline or len(inline) != 2:
        raise ValueError("unexpected pair in " + row[0])
    if "dia" in fields:
        return ("I", inline, hex_bytes(fields["dia"]), 0, 0, 0)
    return ("S", inline, [], 0, 0, 0)


def format_records(name, records):
    out = ["inline constexpr SortCode %s[] = {" % name]
    for kind, inline, extra, unprint, modifier, crazy, pos in records:
        inl = list(inline) + [0] * (4 - len(inline))
        ext = list(extra) + [0] * (2 - len(extra))
        out.append(
            "    {SortCode::Kind::%s, %d, {0x%02X, 0x%02X, 0x%02X, 0x%02X}, "
            "%d, %d, {0x%02X, 0x%02X}, 0x%02X, 0x%02X, %d}," %
            (KIND_NAMES[kind], len(inline), *inl, pos, len(extra), *ext,
             unprint, modifier, crazy))
    out.append("};")
    return out


def format_array(declaration, items):
    """`declaration = {`, the items filled into lines of 79 characters at
    the most, and `};`."""
    out = [declaration + " = {"]
    line = "   "
    for item in items:
        item = " " + item + ","
        if len(line) + len(item) > 79:
            out.append(line)
            line = "   "
        line += item
    out.append(line)
    out.append("};")
    return out


def format_ranges(name, ranges):
    return format_array(
        "inline constexpr SortCodeRange %s[]" % name,
        ["{0x%04X, %d, %d}" % (first, rec, 1 if seq else 0)
         for first, rec, seq in ranges])


def write(path, lines):
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def split_coded(codes):
    """The one-pair-one-extra-byte codes (Hanja and the like) taken out of
    `codes` into a list of (code point, code, extra byte)."""
    coded = []
    for cp, entry in enumerate(codes):
        if (entry is not None and entry[0] == "I" and len(entry[1]) == 2 and
                len(entry[2]) == 1):
            coded.append((cp, entry[1][0] << 8 | entry[1][1], entry[2][0]))
            codes[cp] = None
    return coded


def format_coded(name, coded):
    return format_array(
        "inline constexpr CodeWithExtra %s[]" % name,
        ["{0x%04X, 0x%04X, 0x%02X}" % entry for entry in coded])


def write_table_file(path, header, name, records, ranges, coded=None):
    """A generated table: `header` comment lines, then the records, the
    ranges and, when given, the codes listed apart, all named after
    `name` (kNameRecords, kNameRanges, kNameWithExtra)."""
    out = [
        "// Generated by tools/gen_sort_order_tables.py; do not edit.",
        "// clang-format off",
    ] + ["// " + line for line in header]
    out += format_records("k%sRecords" % name, records)
    out += format_ranges("k%sRanges" % name, ranges)
    if coded is not None:
        out += format_coded("k%sWithExtra" % name, coded)
    write(path, out)


def write_korean_tables(args, general, one_byte):
    hanja = read_hanja(args.hanja_1042)
    korean = [None] * 0x10000
    for cp in range(0x10000):
        if cp in hanja:
            inline, extra = hanja[cp]
            korean[cp] = ("I", inline, extra, 0, 0, 0)
        elif general[cp] is not None and not is_cjk_ideograph(cp):
            korean[cp] = korean_from_general(general[cp], one_byte)
    known = sum(1 for c in korean if c is not None)
    coded = split_coded(korean)
    rotated_one_byte = {korean_rotated(b) for b in one_byte}
    records, ranges = build_table(korean, rotated_one_byte)
    write_table_file(
        os.path.join(args.out_dir, "korean_sort_codes.inc"), [
            "Jet 4 Korean (LCID 1042) codes of %d characters: the %d Hanja of" %
            (known, len(hanja)),
            "hanja-1042.tsv (the reading's code and 41 + 2 * rank as extra",
            "byte); every other character but a CJK ideograph (those are",
            "unknown) its General code with the first byte of each weight",
            "moved, 4A..80 up by 72 and 81..F2 down by 37.",
            "Facts from shared/data/hanja-1042.tsv (Microsoft's Windows sorting",
            "weight table, ko-KR, checked against keys Access wrote) and from",
            "the General table (see general_legacy_sort_codes.inc). The",
            "characters with one two-byte code and one extra byte are listed",
            "apart (kKoreanWithExtra, by code point); the ranges leave them",
            "unknown.",
        ], "Korean", records, ranges, coded)

    jet3 = [None] * 0x10000
    rows = read_tsv(args.jet3_korean_1042)
    for row in rows:
        jet3[int(row[0][2:], 16)] = jet3_korean_entry(row)
    known3 = sum(1 for c in jet3 if c is not None)
    coded3 = split_coded(jet3)
    records3, ranges3 = build_table(jet3, set())
    write_table_file(
        os.path.join(args.out_dir, "korean97_sort_codes.inc"), [
            "Jet 3 Korean (LCID 1042, code page 949) codes of %d of the %d" %
            (known3, len(rows)),
            "characters of jet3-korean-1042.tsv: a code is one (script,",
            "weight) pair; a diacritic byte is the extra byte, a special entry",
            "(pos 06 W) the unprintable code. Rows of tier V and R, and of",
            "tier J with no byte marked unknown; the rest stay unknown.",
            "Facts from shared/data/jet3-korean-1042.tsv (keys Access wrote,",
            "the Jet 4 Korean codes, Microsoft's Windows sorting weight table).",
            "The characters with a diacritic byte are listed apart",
            "(kKorean97WithExtra, by code point); the ranges leave them unknown.",
        ], "Korean97", records3, ranges3, coded3)
    print("Korean: %d characters known (%d with an extra byte), %d records, "
          "%d ranges; Korean 97: %d characters known (%d with a diacritic), "
          "%d records, %d ranges" %
          (known, len(coded), len(records), len(ranges), known3, len(coded3),
           len(records3), len(ranges3)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--genleg", required=True)
    ap.add_argument("--genleg-ext")
    ap.add_argument("--leave-unknown", action="append", default=[])
    ap.add_argument("--hanja-1042")
    ap.add_argument("--jet3-korean-1042")
    ap.add_argument("--gen97", required=True)
    ap.add_argument("--gen97-map", required=True)
    ap.add_argument("--out-dir", required=True)
    args = ap.parse_args()

    # Jet 4 General legacy.
    base = read_lines(args.genleg)
    if len(base) != 256:
        sys.exit("%s: expected 256 lines, found %d" % (args.genleg, len(base)))
    codes = [None] * 0x10000
    for cp, line in enumerate(base):
        codes[cp] = parse_line(line)
    files = "index_codes_genleg.txt"
    if args.genleg_ext:
        ext = read_lines(args.genleg_ext)
        expected = 0x10000 - 0x100 - 0x800
        if len(ext) != expected:
            sys.exit("%s: expected %d lines, found %d" %
                     (args.genleg_ext, expected, len(ext)))
        it = iter(ext)
        for cp in range(0x100, 0x10000):
            if 0xD800 <= cp <= 0xDFFF:
                continue
            codes[cp] = parse_line(next(it))
        files = "{index_codes_genleg.txt, index_codes_ext_genleg.txt}"
    left_unknown = []
    for code_range in args.leave_unknown:
        first, last = (int(x, 16) for x in code_range.split("-"))
        for cp in range(first, last + 1):
            codes[cp] = None
        left_unknown.append("U+%04X..U+%04X" % (first, last))
    one_byte = one_byte_code_set(codes)
    records, ranges = build_table(codes, one_byte)
    known = sum(1 for c in codes if c is not None)
    ligatures = sum(
        1 for c in codes
        if c is not None and c[1] and positions_of(c[1], one_byte) > 1)
    header = [
        "Jet 4 General (\"General legacy\", LCID 1033 version 0) codes of",
        "%d characters (%d with more than one key position). " %
        (known, ligatures),
        SOURCE_NOTE.format(files=files),
    ]
    if left_unknown:
        header.append("Left unknown: %s (not checked in the copy used)." %
                      ", ".join(left_unknown))
    header += [
        "A range runs from its first code point to the next range's; in a",
        "sequential range the two-byte code rises by one (low byte",
        "02..FF) from one code point to the next.",
    ]
    write_table_file(
        os.path.join(args.out_dir, "general_legacy_sort_codes.inc"), header,
        "GeneralLegacy", records, ranges)
    if args.hanja_1042 and args.jet3_korean_1042:
        write_korean_tables(args, codes, one_byte)

    # Jet 3 General 97: code page 1252 bytes.
    g97 = read_lines(args.gen97)
    if len(g97) != 256:
        sys.exit("%s: expected 256 lines, found %d" % (args.gen97, len(g97)))
    parsed = [parse_line(l) for l in g97]
    # Letters that have accented forms (their code is the inline code of an
    # accented character) count between accents in Jet 3 keys: mark them
    # significant (the table's S lines do not tell them apart).
    accent_bases = {e[1][0] for e in parsed if e[0] == "I" and len(e[1]) == 1}
    parsed = [("G",) + e[1:] if e[0] == "S" and len(e[1]) == 1 and
              e[1][0] in accent_bases else e for e in parsed]
    one_byte97 = one_byte_code_set(parsed)
    records97, index97 = [], {}
    byte_record = []
    for entry in parsed:
        kind, inline, extra, unprint, modifier, crazy = entry
        pos = positions_of(inline, one_byte97) if inline else 0
        key = (kind, tuple(inline), tuple(extra), unprint, modifier, crazy,
               pos)
        if key not in index97:
            index97[key] = len(records97)
            records97.append(key)
        byte_record.append(index97[key])
    mapping = []
    for line in read_lines(args.gen97_map):
        cp, byte = (int(x) for x in line.split(","))
        mapping.append((cp, byte))
    out = [
        "// Generated by tools/gen_sort_order_tables.py; do not edit.",
        "// clang-format off",
        "// Jet 3 General (\"General 97\") codes of the 256 bytes of code",
        "// page 1252, and the characters above U+00FF that the code page",
        "// has. Letters whose code is the base of an accented letter are",
        "// marked significant: Jet 3 keys count them between accents.",
        "// " + SOURCE_NOTE.format(
            files="{index_codes_gen_97.txt, index_mappings_ext_gen_97.txt}"),
    ]
    out += format_records("kGeneral97Records", records97)
    out += format_array("inline constexpr uint8_t kGeneral97ByteRecord[256]",
                        ["%d" % r for r in byte_record])
    out += format_array("inline constexpr Cp1252Mapping kGeneral97Mappings[]",
                        ["{0x%04X, 0x%02X}" % m for m in mapping])
    write(os.path.join(args.out_dir, "general97_sort_codes.inc"), out)
    print("General legacy: %d characters known, %d records, %d ranges; "
          "General 97: %d records" %
          (known, len(records), len(ranges), len(records97)))


if __name__ == "__main__":
    main()
