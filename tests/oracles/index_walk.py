#!/usr/bin/env python3
"""Walk every index B-tree of a Jet database and check it against the rows.

    python3 tests/oracles/index_walk.py FILE [--user-only] [--quiet]

An index reader that shares no code with mdbcare: it reads the pages of the
file itself (Python standard library only). For every table of the catalog
(MSysObjects rows of type 1; system tables too unless --user-only) and every
real index of its table definition it

* walks the tree the way Access and Jackcess look entries up: from the root
  page, on an intermediate page (type 0x03) into each entry's child page in
  entry order, then into the page's tail page (when it is not 0 and no entry
  names it); a leaf (type 0x04) gives its entries' rows;
* follows the leaf chain (the "next" links) from the first leaf and reports
  leaves the chain reaches that the descent does not (and the other way
  round): their entries are invisible to a reader that descends;
* lists the table's live rows from its usage map and data pages, without
  the index: a slot without flags is a row stored in place, a slot flagged
  0x4000 alone a row moved elsewhere (its id stays the old slot), 0x8000
  alone the moved copy (no row id of its own), 0xC000 a deleted row;
* requires every live row exactly once in every index, except rows whose
  index columns are all Null in an index flagged "ignore nulls", which must
  be absent; no entry may name anything but a live row.

Prints one line per index (with --quiet only those that fail or carry a
note), then a summary line for the file. Exit status: 0 every index matches
its rows, 1 any mismatch or a structure that cannot be read (a file that is
not a Jet 3/Jet 4 database included), 2 bad usage. An encrypted file (RC4
page encryption) is not read: it gets a SKIP line and exit status 0.

As a module: walk_file(path, user_only=False) returns a FileReport whose
`problems` lists every mismatch (empty when the file is sound).
"""

import argparse
import os
import struct
import sys

# ---- versions and layouts ------------------------------------------------------

# Offsets below are within a page. Jet 3 (Access 97) has 2 KB pages and
# single-byte text; Jet 4 (Access 2000-2003) has 4 KB pages and UCS-2 text.
JET3 = dict(
    name="Jet 3", page_size=2048,
    # data pages
    data_row_count=0x08, data_offsets=0x0A,
    # table definition
    tdef_col_count=0x19, tdef_index_count=0x1B, tdef_real_index_count=0x1F,
    tdef_usage_map=0x23, tdef_real_counts=0x2B, real_count_size=8,
    col_size=18, col_number=1, col_var_index=3, col_flags=13, col_fixed_offset=14,
    col_length=16, name_length_size=1,
    real_size=39, real_columns=0, real_first_page=34, real_flags=38,
    logical_size=20, logical_real=4,
    # rows
    row_count_size=1,
    # index pages
    idx_prev=0x08, idx_next=0x0C, idx_tail=0x10, idx_prefix=0x14, idx_prefix_size=1,
    idx_mask=0x16, idx_first_entry=0xF8,
)
JET4 = dict(
    name="Jet 4", page_size=4096,
    data_row_count=0x0C, data_offsets=0x0E,
    tdef_col_count=0x2D, tdef_index_count=0x2F, tdef_real_index_count=0x33,
    tdef_usage_map=0x37, tdef_real_counts=0x3F, real_count_size=12,
    col_size=25, col_number=5, col_var_index=7, col_flags=15, col_fixed_offset=21,
    col_length=23, name_length_size=2,
    # 4 unknown bytes, 10 column slots, usage map, first page, 4 zero bytes,
    # flags, 5 more bytes
    real_size=52, real_columns=4, real_first_page=38, real_flags=46,
    logical_size=28, logical_real=8,
    row_count_size=2,
    idx_prev=0x0C, idx_next=0x10, idx_tail=0x14, idx_prefix=0x18, idx_prefix_size=2,
    idx_mask=0x1B, idx_first_entry=0x1E0,
)

PAGE_DATA, PAGE_TDEF, PAGE_INTERMEDIATE, PAGE_LEAF, PAGE_USAGE = 0x01, 0x02, 0x03, 0x04, 0x05
CATALOG_PAGE = 2            # MSysObjects' table definition
SYSTEM_FLAGS = 0x80000002   # catalog flags of system tables
TYPE_BOOLEAN, TYPE_BYTE, TYPE_INT, TYPE_LONG, TYPE_TEXT = 1, 2, 3, 4, 10
IGNORE_NULLS = 0x02         # real index flag
NO_COLUMN = 0xFFFF          # unused column slot of a real index
MAX_DEPTH = 12              # deeper than any real tree
MAX_HOPS = 8                # moved-row pointers followed one after another

# The header page hides its fields under RC4 with this fixed key.
HEADER_KEY = bytes([0xC7, 0xDA, 0x39, 0x6B])
HEADER_MASKED_FROM = 0x18
DATABASE_KEY_AT = 0x3E


class FormatError(Exception):
    """A structure that cannot be read; reported as a problem of its index
    or table, or of the whole file."""


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(len(data))
    i = j = 0
    for n, b in enumerate(data):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] = b ^ s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


def u16(b, at):
    return b[at] | (b[at + 1] << 8)


def u32(b, at):
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)


def u24be(b, at):
    return (b[at] << 16) | (b[at + 1] << 8) | b[at + 2]


def u32be(b, at):
    return (b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]


def split_pointer(packed):
    """A row pointer stored little-endian in 4 bytes: the row number in the
    low byte, the page in the upper 24 bits."""
    return packed >> 8, packed & 0xFF


# ---- the file --------------------------------------------------------------------

class JetFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if len(self.data) < 0x80 or self.data[:4] != b"\x00\x01\x00\x00":
            raise FormatError("not a Jet database (no 00 01 00 00 at the start)")
        version = self.data[0x14]
        if version == 0:
            self.lay = JET3
        elif version == 1:
            self.lay = JET4
        else:
            raise FormatError(f"version byte {version}: Access 2007 or later, not read here")
        self.jet3 = self.lay is JET3
        self.page_size = self.lay["page_size"]
        self.page_count = len(self.data) // self.page_size
        header = rc4(HEADER_KEY, self.data[HEADER_MASKED_FROM:HEADER_MASKED_FROM + 128])
        self.database_key = u32(header, DATABASE_KEY_AT - HEADER_MASKED_FROM)
        self._slots = {}


    def page(self, n):
        if n <= 0 or n >= self.page_count:
            raise FormatError(f"page {n} is outside the file ({self.page_count} pages)")
        start = n * self.page_size
        return memoryview(self.data)[start:start + self.page_size]

    # ---- data pages

    def slots(self, page_no):
        """(slot, flags, row bytes) for every slot of a data page."""
        if page_no not in self._slots:
            self._slots[page_no] = self._read_slots(page_no)
        return self._slots[page_no]

    def _read_slots(self, page_no):
        p = self.page(page_no)
        count = u16(p, self.lay["data_row_count"])
        base = self.lay["data_offsets"]
        if base + 2 * count > self.page_size:
            raise FormatError(f"data page {page_no}: {count} row slots do not fit")
        out = []
        end = self.page_size
        for k in range(count):
            raw = u16(p, base + 2 * k)
            start = raw & 0x1FFF
            flags = raw & 0xC000
            if start < base + 2 * count or start > end:
                # An emptied slot of a deleted row may point anywhere; only
                # live and moved rows need sound bounds.
                if flags != 0xC000:
                    raise FormatError(f"data page {page_no} slot {k}: offset {start:#x} "
                                      f"outside {base + 2 * count:#x}..{end:#x}")
                out.append((k, flags, b""))
                continue
            out.append((k, flags, bytes(p[start:end])))
            end = start
        return out

    def row_at(self, page_no, slot):
        """(flags, bytes) of one slot, or None when there is no such slot."""
        p = self.page(page_no)
        if p[0] != PAGE_DATA:
            return None
        slots = self.slots(page_no)
        if slot >= len(slots):
            return None
        return slots[slot][1:]

    # ---- usage maps

    def usage_map_pages(self, packed):
        """Pages a usage map marks, ascending; the map is the row a packed
        row pointer names."""
        page_no, slot = split_pointer(packed)
        found = self.row_at(page_no, slot)
        if found is None:
            raise FormatError(f"usage map row {page_no}:{slot} does not exist")
        _, row = found
        if not row:
            raise FormatError(f"usage map row {page_no}:{slot} is empty")
        pages = []
        if row[0] == 0:
            if len(row) < 5:
                raise FormatError(f"usage map row {page_no}:{slot} is too short")
            first = u32(row, 1)
            pages = bit_positions(row[5:], first)
        elif row[0] == 1:
            per_map_page = (self.page_size - 4) * 8
            for i in range((len(row) - 1) // 4):
                map_page = u32(row, 1 + 4 * i)
                if map_page == 0:
                    continue
                mp = self.page(map_page)
                if mp[0] != PAGE_USAGE:
                    raise FormatError(f"usage bitmap page {map_page} has type {mp[0]:#04x}")
                pages += bit_positions(mp[4:], i * per_map_page)
        else:
            raise FormatError(f"usage map row {page_no}:{slot} has type {row[0]}")
        return [n for n in pages if 0 < n < self.page_count]


def bit_positions(bitmap, first):
    x = int.from_bytes(bytes(bitmap), "little")
    out = []
    while x:
        low = x & -x
        out.append(first + low.bit_length() - 1)
        x ^= low
    return out


# ---- table definitions ---------------------------------------------------------------

class Column:
    __slots__ = ("name", "type", "number", "var_index", "fixed", "fixed_offset", "length")


class RealIndex:
    __slots__ = ("number", "columns", "first_page", "flags", "names")


class TableDef:
    def __init__(self, jf, page_no):
        lay = jf.lay
        self.page = page_no
        first = jf.page(page_no)
        if first[0] != PAGE_TDEF:
            raise FormatError(f"page {page_no} is not a table definition (type {first[0]:#04x})")
        # A definition continues over linked pages; each continuation
        # contributes its bytes after its 8-byte header.
        b = bytearray(first)
        seen = {page_no}
        nxt = u32(first, 4)
        while nxt:
            if nxt in seen:
                raise FormatError(f"table definition {page_no}: its page chain loops at {nxt}")
            seen.add(nxt)
            p = jf.page(nxt)
            if p[0] != PAGE_TDEF:
                raise FormatError(f"table definition {page_no}: continuation {nxt} has type {p[0]:#04x}")
            b += p[8:]
            nxt = u32(p, 4)
        self.bytes = bytes(b)
        col_count = u16(b, lay["tdef_col_count"])
        index_count = u32(b, lay["tdef_index_count"])
        real_count = u32(b, lay["tdef_real_index_count"])
        if real_count > 1000 or index_count > 1000:
            raise FormatError(f"table definition {page_no}: {real_count} real indexes")
        self.usage_map = u32(b, lay["tdef_usage_map"])
        at = lay["tdef_real_counts"] + real_count * lay["real_count_size"]
        self.columns = []
        for _ in range(col_count):
            self._need(at + lay["col_size"])
            c = Column()
            c.type = b[at]
            c.number = u16(b, at + lay["col_number"])
            c.var_index = u16(b, at + lay["col_var_index"])
            c.fixed = bool(b[at + lay["col_flags"]] & 0x01)
            c.fixed_offset = u16(b, at + lay["col_fixed_offset"])
            c.length = u16(b, at + lay["col_length"])
            self.columns.append(c)
            at += lay["col_size"]
        for c in self.columns:
            c.name, at = self._name(at, jf.jet3)
        self.by_number = {c.number: c for c in self.columns}
        self.indexes = []
        for n in range(real_count):
            self._need(at + lay["real_size"])
            r = RealIndex()
            r.number = n
            r.columns = []
            for k in range(10):
                col = u16(b, at + lay["real_columns"] + 3 * k)
                if col != NO_COLUMN:
                    r.columns.append(col)
            r.first_page = u32(b, at + lay["real_first_page"])
            r.flags = b[at + lay["real_flags"]]
            r.names = []
            self.indexes.append(r)
            at += lay["real_size"]
        reals = []
        for _ in range(index_count):
            self._need(at + lay["logical_size"])
            reals.append(u32(b, at + lay["logical_real"]))
            at += lay["logical_size"]
        for real in reals:
            name, at = self._name(at, jf.jet3)
            if real < len(self.indexes):
                self.indexes[real].names.append(name)

    def _need(self, end):
        if end > len(self.bytes):
            raise FormatError(f"table definition {self.page}: entries run past its bytes")

    def _name(self, at, jet3):
        size = 1 if jet3 else 2
        self._need(at + size)
        n = self.bytes[at] if jet3 else u16(self.bytes, at)
        at += size
        self._need(at + n)
        raw = self.bytes[at:at + n]
        text = raw.decode("cp1252", "replace") if jet3 else raw.decode("utf-16-le", "replace")
        return text, at + n


# ---- rows -------------------------------------------------------------------------------

class Row:
    """The parts of a stored row that tell which columns hold a value."""

    def __init__(self, jf, b):
        cs = jf.lay["row_count_size"]
        if len(b) < cs + 1:
            raise FormatError("row shorter than its header")
        self.bytes = b
        self.jet3 = jf.jet3
        self.count = b[0] if cs == 1 else u16(b, 0)
        self.mask_size = (self.count + 7) // 8
        if self.mask_size + cs > len(b):
            raise FormatError("row shorter than its null mask")
        self.mask = b[len(b) - self.mask_size:]

    def has_value(self, col):
        """Column `col` is not Null: its bit in the null mask is set (a Yes/No
        column, whose bit is its value, is never Null; a column past the
        row's count was added after the row was written and is Null)."""
        if col.type == TYPE_BOOLEAN:
            return True
        if col.number >= self.count:
            return False
        return bool(self.mask[col.number // 8] & (1 << (col.number % 8)))

    def bit(self, col):
        if col.number >= self.count:
            return False
        return bool(self.mask[col.number // 8] & (1 << (col.number % 8)))

    def var_offsets(self):
        """Start offsets of the variable-length columns in the row, plus the
        end of the variable data as the last element."""
        b, L, m = self.bytes, len(self.bytes), self.mask_size
        if self.jet3:
            v = b[L - m - 1]
            # One jump entry for every 256 bytes of row; the last may be a
            # dummy that no offset needs, but it still takes its byte.
            jumps = (L - 1) // 256
            entry0 = L - m - 2 - jumps
            usable = jumps
            if (entry0 - v) // 256 < jumps:
                usable -= 1
            if entry0 - v < 0:
                raise FormatError("Jet 3 variable offsets run past the row start")
            offsets = []
            used = 0
            for i in range(v + 1):
                while used < usable and b[L - m - 2 - used] == i:
                    used += 1
                offsets.append(b[entry0 - i] + 256 * used)
            return offsets
        v = u16(b, L - m - 2)
        if L - m - 4 - 2 * v < 2:
            raise FormatError("Jet 4 variable offsets run past the row start")
        return [u16(b, L - m - 4 - 2 * i) for i in range(v + 1)]

    def value(self, col, offsets):
        """The value of a Byte/Integer/Long/Text column, None for Null; other
        types give their bytes."""
        if col.type == TYPE_BOOLEAN:
            return self.bit(col)
        if not self.bit(col):
            return None
        cs = 1 if self.jet3 else 2
        if col.fixed:
            at = cs + col.fixed_offset
            raw = self.bytes[at:at + col.length]
        else:
            if col.var_index + 1 >= len(offsets):
                return None
            raw = self.bytes[offsets[col.var_index]:offsets[col.var_index + 1]]
        if col.type == TYPE_BYTE:
            return raw[0]
        if col.type == TYPE_INT:
            return struct.unpack("<h", raw[:2])[0]
        if col.type == TYPE_LONG:
            return struct.unpack("<i", raw[:4])[0]
        if col.type == TYPE_TEXT:
            return decode_text(raw, self.jet3)
        return raw


def decode_text(raw, jet3):
    if jet3:
        return raw.decode("cp1252", "replace")
    if raw[:2] == b"\xff\xfe":
        # Compressed UCS-2: runs of one byte per character (high byte 0) and
        # runs of two, switched by a 0x00 byte; it starts with one byte.
        out = []
        one = True
        i = 2
        while i < len(raw):
            if raw[i] == 0:
                one = not one
                i += 1
            elif one:
                out.append(chr(raw[i]))
                i += 1
            else:
                if i + 1 < len(raw):
                    out.append(bytes(raw[i:i + 2]).decode("utf-16-le", "replace"))
                i += 2
        return "".join(out)
    return bytes(raw).decode("utf-16-le", "replace")


class LiveRows:
    """A table's live rows by row id (page, slot), each with its bytes."""

    def __init__(self, jf, tdef):
        self.rows = {}        # (page, slot) -> Row
        self.moved = 0        # rows read through a 0x4000 pointer
        self.moved_copies = set()   # (page, slot) of 0x8000 copies
        self.deleted = set()
        self.pages = []
        for page_no in jf.usage_map_pages(tdef.usage_map):
            p = jf.page(page_no)
            if p[0] != PAGE_DATA or u32(p, 4) != tdef.page:
                continue
            self.pages.append(page_no)
            for slot, flags, b in jf.slots(page_no):
                rid = (page_no, slot)
                if flags == 0:
                    self.rows[rid] = Row(jf, b)
                elif flags == 0x4000:
                    self.rows[rid] = Row(jf, self._follow(jf, page_no, slot, b))
                    self.moved += 1
                elif flags == 0x8000:
                    self.moved_copies.add(rid)
                else:
                    self.deleted.add(rid)

    @staticmethod
    def _follow(jf, page_no, slot, b):
        """The bytes of a moved row: the slot holds the row number (1 byte)
        and the page (3 bytes, little-endian) of its new place."""
        where = (page_no, slot)
        for _ in range(MAX_HOPS):
            if len(b) < 4:
                raise FormatError(f"moved row {where[0]}:{where[1]}: pointer of {len(b)} bytes")
            to = (u32(b, 0) >> 8, b[0])
            found = jf.row_at(*to)
            if found is None:
                raise FormatError(f"moved row {page_no}:{slot} points to {to[0]}:{to[1]}, "
                                  f"which is no row")
            flags, b = found
            if flags == 0x8000:
                return b
            if flags != 0x4000:
                raise FormatError(f"moved row {page_no}:{slot} points to {to[0]}:{to[1]}, "
                                  f"flagged {flags:#06x}")
            where = to
        raise FormatError(f"moved row {page_no}:{slot}: more than {MAX_HOPS} pointers in a row")


# ---- index trees ----------------------------------------------------------------------------

class IndexPage:
    def __init__(self, jf, page_no):
        lay = jf.lay
        p = jf.page(page_no)
        self.number = page_no
        self.type = p[0]
        if self.type not in (PAGE_INTERMEDIATE, PAGE_LEAF):
            raise FormatError(f"page {page_no} is not an index page (type {self.type:#04x})")
        self.owner = u32(p, 4)
        self.prev = u32(p, lay["idx_prev"])
        self.next = u32(p, lay["idx_next"])
        self.tail = u32(p, lay["idx_tail"])
        prefix_len = p[lay["idx_prefix"]] if lay["idx_prefix_size"] == 1 else u16(p, lay["idx_prefix"])
        first = lay["idx_first_entry"]
        ends = bit_positions(p[lay["idx_mask"]:first], first)
        tail_size = 8 if self.type == PAGE_INTERMEDIATE else 4
        self.entries = []   # (row id, child page or None)
        start = first
        prefix = b""
        for k, end in enumerate(ends):
            if end > jf.page_size or end <= start:
                raise FormatError(f"index page {page_no}: entry {k} ends at {end:#x}")
            stored = bytes(p[start:end])
            if k == 0:
                if prefix_len > len(stored):
                    raise FormatError(f"index page {page_no}: prefix of {prefix_len} bytes "
                                      f"is longer than its first entry")
                prefix = stored[:prefix_len]
                full = stored
            else:
                full = prefix + stored
            if len(full) < tail_size:
                raise FormatError(f"index page {page_no}: entry {k} is too short")
            at = len(full) - tail_size
            rid = (u24be(full, at), full[at + 3])
            child = u32be(full, at + 4) if self.type == PAGE_INTERMEDIATE else None
            self.entries.append((rid, child))
            start = end


class TreeWalk:
    """The entries a descent from the root finds, and the leaf chain."""

    def __init__(self, jf, tdef, index):
        self.entries = []            # row ids in index order
        self.leaves = []             # leaf pages in descent order
        self.depth = 0
        self.tail_pages = 0          # tails that no entry names
        self.problems = []
        self.notes = []
        self.pages = {}
        self._descend(jf, tdef, index.first_page, 1, set())
        self.chain = []
        self.chain_only = []         # leaves on the chain the descent misses
        self.chain_only_entries = 0
        self.descent_only = []       # leaves the descent finds off the chain
        if self.leaves:
            self._follow_chain(jf, tdef)

    def _read(self, jf, tdef, page_no):
        if page_no not in self.pages:
            node = IndexPage(jf, page_no)
            if node.owner != tdef.page:
                raise FormatError(f"index page {page_no} belongs to table definition {node.owner}")
            self.pages[page_no] = node
        return self.pages[page_no]

    def _descend(self, jf, tdef, page_no, level, seen):
        if level > MAX_DEPTH:
            raise FormatError(f"tree deeper than {MAX_DEPTH} levels at page {page_no}")
        if page_no in seen:
            raise FormatError(f"index page {page_no} is reached twice")
        seen.add(page_no)
        node = self._read(jf, tdef, page_no)
        self.depth = max(self.depth, level)
        if node.type == PAGE_LEAF:
            self.leaves.append(page_no)
            self.entries.extend(rid for rid, _ in node.entries)
            return
        children = [child for _, child in node.entries]
        for child in children:
            self._descend(jf, tdef, child, level + 1, seen)
        if node.tail and node.tail not in children:
            self.tail_pages += 1
            self._descend(jf, tdef, node.tail, level + 1, seen)
        elif node.tail:
            # Not how Access writes a page, but a reader that descends finds
            # the same entries: the child is walked once, as an entry's.
            self.notes.append(f"page {page_no}: its tail page {node.tail} is also named by an entry")

    def _follow_chain(self, jf, tdef):
        descended = set(self.leaves)
        seen = set()
        page_no = self.leaves[0]
        while page_no:
            if page_no in seen:
                self.problems.append(f"the leaf chain loops at page {page_no}")
                break
            seen.add(page_no)
            try:
                node = self._read(jf, tdef, page_no)
            except FormatError as e:
                self.problems.append(f"leaf chain: {e}")
                break
            if node.type != PAGE_LEAF:
                self.problems.append(f"leaf chain reaches page {page_no}, not a leaf")
                break
            self.chain.append(page_no)
            if page_no not in descended:
                self.chain_only.append(page_no)
                self.chain_only_entries += len(node.entries)
            page_no = node.next
        on_chain = set(self.chain)
        self.descent_only = [p for p in self.leaves if p not in on_chain]


# ---- checking ------------------------------------------------------------------------------

class IndexReport:
    def __init__(self, table, index):
        self.table = table
        self.index = index
        self.entries = 0
        self.expected = 0
        self.ignored_null_rows = 0
        self.depth = 0
        self.leaves = 0
        self.problems = []
        self.notes = []

    def label(self):
        names = ", ".join(self.index.names) if self.index.names else "no logical index"
        return f"{self.table} index {self.index.number} ({names})"

    def line(self):
        status = "PASS" if not self.problems else "FAIL"
        s = (f"{status} {self.label()}: {self.entries} entries, {self.expected} rows expected"
             f" ({self.ignored_null_rows} all-Null rows left out), {self.depth} levels,"
             f" {self.leaves} leaves")
        for p in self.problems:
            s += "\n  " + p
        for n in self.notes:
            s += "\n  note: " + n
        return s


class FileReport:
    def __init__(self, path):
        self.path = path
        self.indexes = []      # IndexReport
        self.problems = []     # every mismatch, with its table and index
        self.notes = []
        self.tables = 0
        self.skipped = None    # why the file was not read

    @property
    def entries(self):
        return sum(r.entries for r in self.indexes)

    @property
    def passed(self):
        return not self.problems


def catalog_tables(jf, user_only):
    """(name, table definition page, flags) of every table in MSysObjects."""
    cat = TableDef(jf, CATALOG_PAGE)
    cols = {c.name.lower(): c for c in cat.columns}
    for want in ("id", "name", "type", "flags"):
        if want not in cols:
            raise FormatError(f"MSysObjects has no column {want!r}")
    out = []
    live = LiveRows(jf, cat)
    for rid in sorted(live.rows):
        row = live.rows[rid]
        offsets = row.var_offsets()
        typ = row.value(cols["type"], offsets)
        if typ is None or (typ & 0x7FFF) != 1:
            continue
        flags = (row.value(cols["flags"], offsets) or 0) & 0xFFFFFFFF
        if user_only and flags & SYSTEM_FLAGS:
            continue
        name = row.value(cols["name"], offsets)
        page = row.value(cols["id"], offsets) & 0x00FFFFFF
        out.append((name, page, flags))
    out.sort(key=lambda t: (t[0].lower(), t[0]))
    return out


def check_index(jf, tdef, table, index, live):
    rep = IndexReport(table, index)
    try:
        walk = TreeWalk(jf, tdef, index)
    except FormatError as e:
        rep.problems.append(f"tree unreadable: {e}")
        return rep
    rep.entries = len(walk.entries)
    rep.depth = walk.depth
    rep.leaves = len(walk.leaves)
    rep.problems += walk.problems
    rep.notes += walk.notes
    cols = []
    for number in index.columns:
        col = tdef.by_number.get(number)
        if col is None:
            rep.problems.append(f"index column number {number} is not a column of the table")
            return rep
        cols.append(col)
    ignore_nulls = bool(index.flags & IGNORE_NULLS)
    expected = set()
    for rid, row in live.rows.items():
        if ignore_nulls and not any(row.has_value(c) for c in cols):
            rep.ignored_null_rows += 1
        else:
            expected.add(rid)
    rep.expected = len(expected)
    seen = {}
    not_rows = []
    for rid in walk.entries:
        seen[rid] = seen.get(rid, 0) + 1
        if rid not in live.rows:
            not_rows.append(rid)
    missing = [rid for rid in expected if rid not in seen]
    twice = [rid for rid, n in seen.items() if n > 1]
    unwanted = [rid for rid in seen if rid in live.rows and rid not in expected]
    if missing:
        rep.problems.append(f"{len(missing)} of {len(expected)} live rows missing from the descent"
                            f", e.g. {fmt_rids(missing)}")
    if twice:
        rep.problems.append(f"{len(twice)} rows named by more than one entry, e.g. {fmt_rids(twice)}")
    if not_rows:
        kinds = []
        for rid in not_rows[:3]:
            if rid in live.deleted:
                kinds.append(f"{rid[0]}:{rid[1]} (deleted)")
            elif rid in live.moved_copies:
                kinds.append(f"{rid[0]}:{rid[1]} (a moved copy)")
            else:
                kinds.append(f"{rid[0]}:{rid[1]}")
        rep.problems.append(f"{len(not_rows)} entries name no live row, e.g. {', '.join(kinds)}")
    if unwanted:
        rep.problems.append(f"{len(unwanted)} rows with every index column Null are in an "
                            f"ignore-nulls index, e.g. {fmt_rids(unwanted)}")
    if walk.chain_only:
        rep.problems.append(
            f"{len(walk.chain_only)} leaves ({walk.chain_only_entries} entries) reachable only "
            f"through the leaf links: pages {fmt_pages(walk.chain_only)}")
    if walk.descent_only:
        rep.problems.append(
            f"{len(walk.descent_only)} leaves found by the descent are not on the leaf chain "
            f"from page {walk.leaves[0]}: pages {fmt_pages(walk.descent_only)}")
    return rep


def fmt_rids(rids, limit=3):
    s = ", ".join(f"{p}:{r}" for p, r in sorted(rids)[:limit])
    return s + (" ..." if len(rids) > limit else "")


def fmt_pages(pages, limit=8):
    s = " ".join(str(p) for p in pages[:limit])
    return s + (" ..." if len(pages) > limit else "")


def walk_file(path, user_only=False):
    """Checks every index of every table of the file; see FileReport."""
    rep = FileReport(path)
    try:
        jf = JetFile(path)
        if jf.database_key != 0:
            rep.skipped = "encrypted pages (RC4 page encryption): not read"
            return rep
        if jf.page(CATALOG_PAGE)[0] != PAGE_TDEF:
            rep.skipped = "page 2 is not a table definition (encrypted?): not read"
            return rep
        tables = catalog_tables(jf, user_only)
    except FormatError as e:
        rep.problems.append(f"catalog: {e}")
        return rep
    for name, page, _flags in tables:
        rep.tables += 1
        try:
            tdef = TableDef(jf, page)
            if not tdef.indexes:
                continue
            live = LiveRows(jf, tdef)
        except FormatError as e:
            rep.problems.append(f"{name}: {e}")
            continue
        for index in tdef.indexes:
            irep = check_index(jf, tdef, name, index, live)
            rep.indexes.append(irep)
            rep.problems += [f"{irep.label()}: {p}" for p in irep.problems]
    return rep


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("file")
    ap.add_argument("--user-only", action="store_true", help="leave out the system tables")
    ap.add_argument("--quiet", action="store_true", help="print only failing indexes and the summary")
    args = ap.parse_args()
    if not os.path.isfile(args.file):
        print(f"{args.file}: no such file", file=sys.stderr)
        return 2
    rep = walk_file(args.file, args.user_only)
    for irep in rep.indexes:
        if irep.problems or irep.notes or not args.quiet:
            print(irep.line())
    if rep.skipped:
        print(f"SKIP {args.file}: {rep.skipped}")
        return 0
    status = "PASS" if rep.passed else "FAIL"
    print(f"{status} {args.file}: {rep.entries} entries checked in {len(rep.indexes)} indexes "
          f"of {rep.tables} tables, {len(rep.problems)} problems")
    for p in rep.problems:
        if not p.startswith(tuple(i.label() for i in rep.indexes)):
            print("  " + p)
    return 0 if rep.passed else 1


if __name__ == "__main__":
    sys.stdout.reconfigure(errors="backslashreplace")
    try:
        sys.exit(main())
    except BrokenPipeError:
        sys.exit(1)
