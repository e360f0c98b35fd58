"""Seeded damage for copies of Jet databases, and the rows each damage spares.

Used by damage_test.py. The file is read with the independent reader of
tests/oracles/index_walk.py (no code shared with mdbcare): its catalog,
table definitions, usage maps and data pages. From them `FileModel` records,
for every user table, where each live row lives (its data page, and for a
moved row the pages of its pointers), which long-value pages its memo and
OLE values use, and which pages the table cannot do without (its definition
pages, the page of its usage map and the bitmap pages it names, the pages
of its catalog row). `make_damages` then picks pages with a seeded RNG and
`spared` tells which rows a damage leaves intact.

Kinds of damage, one per copy:

    torn           second half of a data page of a user table zeroed
    zeroed-data    a data page of a user table zeroed
    random-bytes   2-4 runs of 1-16 random bytes written into such a page
    zeroed-tdef    the first page of a user table's definition zeroed
    zeroed-lval    a long-value page that a row's memo or OLE value uses zeroed
    zeroed-index   an index page (0x03/0x04) of a user table's index zeroed
    truncated      the file cut at a page boundary or mid-page, in its
                   last third
    zeroed-catalog a data page of MSysObjects holding rows zeroed

A kind the file has no page for (no memo values, no index) is skipped.
"""

import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "oracles"))
import index_walk as iw  # noqa: E402

KINDS = ["torn", "zeroed-data", "random-bytes", "zeroed-tdef", "zeroed-lval",
         "zeroed-index", "truncated", "zeroed-catalog"]

TYPE_OLE, TYPE_MEMO = 0x0B, 0x0C
LVAL_OWNER = 0x4C41564C           # "LVAL" where a data page names its table
LV_INLINE, LV_SINGLE = 0x80000000, 0x40000000
MAX_CHAIN = 100000                # long-value rows followed for one value
SIMPLE_TYPES = (iw.TYPE_BOOLEAN, iw.TYPE_BYTE, iw.TYPE_INT, iw.TYPE_LONG, iw.TYPE_TEXT)
# Characters that stand for a Jet 3 byte code page 1252 does not define: a
# reader puts U+FFFD or "?" there, ours the C1 control of the same number.
UNDECODABLE = {"\ufffd", "\x81", "\x8d", "\x8f", "\x90", "\x9d"}


class RowModel:
    """One live row: its id (page, slot of the row or of its first pointer),
    the pages it cannot do without, the page its bytes are on, every slot
    it takes (page, slot, start, end: its pointers and its bytes) and the
    long-value pages of each memo/OLE column. `key` holds the values of its
    Yes/No, Byte, Integer, Long and Text columns, to find the row in a
    reader's dump."""

    __slots__ = ("rid", "pages", "home", "pieces", "lv", "key")


class TableModel:
    __slots__ = ("name", "tdef_page", "needs", "rows", "order", "columns", "lv_columns")

    def __init__(self, name, tdef_page):
        self.name = name
        self.tdef_page = tdef_page
        self.needs = set()     # definition, usage map and catalog row pages
        self.rows = {}         # rid -> RowModel
        self.order = []        # rids in the order the readers list rows
        self.columns = []      # (name, type) of the key columns
        self.lv_columns = []   # names of memo/OLE columns


class FileModel:
    """What damage_test needs to know about one original file."""

    def __init__(self, path):
        self.path = path
        jf = iw.JetFile(path)
        self.jet3 = jf.jet3
        self.page_size = jf.page_size
        self.size = len(jf.data)
        self.page_count = jf.page_count
        self.page_types = [jf.data[n * jf.page_size] for n in range(jf.page_count)]
        self.tables = []                 # TableModel of each user table
        self.index_pages = set()         # pages of user tables' index trees
        self.lv_pages = set()            # long-value pages rows of user tables use
        self.catalog_pages = set()       # MSysObjects data pages holding rows
        self.catalog_needs = set()       # its definition and usage map pages
        self.notes = []

        if jf.database_key != 0:
            raise iw.FormatError("encrypted pages (RC4): not read")
        cat = iw.TableDef(jf, iw.CATALOG_PAGE)
        self.catalog_needs = definition_pages(jf, iw.CATALOG_PAGE) | map_pages(jf, cat.usage_map)
        cols = {c.name.lower(): c for c in cat.columns}
        live, _ = live_rows(jf, cat)
        entries = []
        for rid, (row, pages, _home, _pieces) in live.items():
            self.catalog_pages.update(pages)
            offsets = row.var_offsets()
            typ = row.value(cols["type"], offsets)
            if typ is None or (typ & 0x7FFF) != 1:
                continue
            flags = (row.value(cols["flags"], offsets) or 0) & 0xFFFFFFFF
            if flags & iw.SYSTEM_FLAGS:
                continue
            name = row.value(cols["name"], offsets)
            tdef = row.value(cols["id"], offsets) & 0x00FFFFFF
            entries.append((name, tdef, set(pages)))
        entries.sort(key=lambda e: (e[0].lower(), e[0]))
        for name, tdef_page, cat_pages in entries:
            t = TableModel(name, tdef_page)
            try:
                self._read_table(jf, t, cat_pages)
            except iw.FormatError as e:
                # The harness only works on sound files: report, do not guess.
                raise iw.FormatError(f"table {name}: {e}")
            self.tables.append(t)

    def _read_table(self, jf, t, cat_pages):
        tdef = iw.TableDef(jf, t.tdef_page)
        t.needs = definition_pages(jf, t.tdef_page) | map_pages(jf, tdef.usage_map) | cat_pages
        key_cols = [c for c in tdef.columns if c.type in SIMPLE_TYPES]
        lv_cols = [c for c in tdef.columns if c.type in (TYPE_OLE, TYPE_MEMO)]
        t.columns = [(c.name, c.type) for c in key_cols]
        t.lv_columns = [c.name for c in lv_cols]
        # A table of fixed-length columns only keeps no variable-length
        # offsets in its rows (seen in Jet 3 files).
        has_var = any(not c.fixed for c in tdef.columns)
        live, order = live_rows(jf, tdef)
        for rid in order:
            row, pages, home, pieces = live[rid]
            m = RowModel()
            m.rid = rid
            m.pages = frozenset(pages)
            m.home = home
            m.pieces = pieces
            offsets = row.var_offsets() if has_var else []
            m.key = tuple(key_value(row.value(c, offsets)) for c in key_cols)
            m.lv = {}
            for c in lv_cols:
                ref = row.value(c, offsets)
                if ref is None:
                    continue
                used = long_value_pages(jf, bytes(ref))
                if used:
                    m.lv[c.name] = frozenset(used)
                    # Pages to zero for zeroed-lval: those marked as
                    # long-value pages, as every one should be.
                    self.lv_pages.update(p for p in used
                                         if iw.u32(jf.page(p), 4) == LVAL_OWNER)
            t.rows[rid] = m
            t.order.append(rid)
        for index in tdef.indexes:
            try:
                walk = iw.TreeWalk(jf, tdef, index)
            except iw.FormatError as e:
                self.notes.append(f"{t.name} index {index.number}: {e}")
                continue
            self.index_pages.update(walk.pages)

    # ---- what a damage spares

    def data_pages(self):
        """Pages of user tables holding the bytes of live rows."""
        return sorted({r.home for t in self.tables for r in t.rows.values()})

    def catalog_row_pages(self):
        return sorted(self.catalog_pages)

    def definition_first_pages(self):
        return sorted(t.tdef_page for t in self.tables)


def definition_pages(jf, first):
    pages = [first]
    nxt = iw.u32(jf.page(first), 4)
    while nxt and nxt not in pages:
        pages.append(nxt)
        nxt = iw.u32(jf.page(nxt), 4)
    return set(pages)


def map_pages(jf, packed):
    """The page holding a usage map's row, and the bitmap pages a
    reference map names."""
    page_no, slot = iw.split_pointer(packed)
    out = {page_no}
    found = jf.row_at(page_no, slot)
    if found and found[1] and found[1][0] == 1:
        row = found[1]
        for i in range((len(row) - 1) // 4):
            n = iw.u32(row, 1 + 4 * i)
            if n:
                out.add(n)
    return out


def live_rows(jf, tdef):
    """rid -> (Row, pages, home page, pieces) for every live row, and the
    rids in the order the readers list rows: the table's data pages in
    ascending order, slots in order, a moved row where its copy (0x8000)
    stands, not at its pointer. `pieces` are (page, slot, start, end) of
    every slot the row takes."""
    spans = {}
    pointers = {}                 # rid of a 0x4000 slot -> its bytes
    rows = {}
    page_order = []
    for page_no in jf.usage_map_pages(tdef.usage_map):
        p = jf.page(page_no)
        if p[0] != iw.PAGE_DATA or iw.u32(p, 4) != tdef.page:
            continue
        page_order.append(page_no)
        for slot, flags, b in jf.slots(page_no):
            if flags == 0:
                rows[(page_no, slot)] = b
            elif flags == 0x4000:
                pointers[(page_no, slot)] = b
    live = {}
    copy_owner = {}
    for rid, b in pointers.items():
        pieces = [piece(jf, rid, spans)]
        where = rid
        for _ in range(iw.MAX_HOPS):
            if len(b) < 4:
                raise iw.FormatError(f"moved row {rid[0]}:{rid[1]}: short pointer")
            to = (iw.u32(b, 0) >> 8, b[0])
            found = jf.row_at(*to)
            if found is None:
                raise iw.FormatError(f"moved row {rid[0]}:{rid[1]} points to no row")
            pieces.append(piece(jf, to, spans))
            flags, b = found
            where = to
            if flags != 0x4000:
                break
        copy_owner[where] = rid
        live[rid] = (iw.Row(jf, b), {p for p, _, _, _ in pieces}, where[0], pieces)
    for rid, b in rows.items():
        live[rid] = (iw.Row(jf, b), {rid[0]}, rid[0], [piece(jf, rid, spans)])
    order = []
    for page_no in page_order:
        for slot, flags, b in jf.slots(page_no):
            where = (page_no, slot)
            if flags == 0:
                order.append(where)
            elif flags == 0x8000:
                if where in copy_owner:
                    order.append(copy_owner[where])
                else:
                    # A copy no pointer names: the readers still list it.
                    live[where] = (iw.Row(jf, b), {page_no}, page_no, [piece(jf, where, spans)])
                    order.append(where)
    return live, order


def piece(jf, where, cache):
    """(page, slot, start, end) of a slot's bytes within its page."""
    if where not in cache:
        page_no, slot = where
        p = jf.page(page_no)
        start = iw.u16(p, jf.lay["data_offsets"] + 2 * slot) & 0x1FFF
        cache[where] = (page_no, slot, start, start + len(jf.slots(page_no)[slot][2]))
    return cache[where]


def long_value_pages(jf, ref):
    """Pages holding the long-value rows of a memo/OLE value (its 12-byte
    reference): none for inline data, one row for the single-row form,
    else the chain, each row starting with the pointer to the next."""
    if len(ref) < 12:
        return set()
    head = iw.u32(ref, 0)
    if head & LV_INLINE:
        return set()
    length = head & 0x3FFFFFFF
    if length == 0:
        return set()
    packed = iw.u32(ref, 4)
    pages = set()
    if head & LV_SINGLE:
        pages.add(packed >> 8)
        return pages
    seen = set()
    while packed and len(seen) < MAX_CHAIN:
        where = (packed >> 8, packed & 0xFF)
        if where in seen:
            raise iw.FormatError(f"long-value chain loops at {where[0]}:{where[1]}")
        seen.add(where)
        pages.add(where[0])
        found = jf.row_at(*where)
        if found is None or len(found[1]) < 4:
            raise iw.FormatError(f"long-value row {where[0]}:{where[1]} missing")
        packed = iw.u32(found[1], 0)
    return pages


def key_value(v):
    """A value as it is compared with a reader's: text with undecodable Jet 3
    bytes folded to one mark."""
    if isinstance(v, str):
        return "".join("\ufffd" if ch in UNDECODABLE else ch for ch in v)
    return v


# ---- damage ---------------------------------------------------------------------

class Damage:
    """One damage to apply to a copy. `pages` are the pages it touches (for
    a cut file, every page from the cut on); `runs` the (offset, bytes)
    written into the page of random-bytes; `size` the length of a cut file."""

    def __init__(self, kind, number, pages, detail, page=None, runs=None, size=None):
        self.kind = kind
        self.number = number
        self.pages = frozenset(pages)
        self.detail = detail
        self.page = page
        self.runs = runs or []
        self.size = size

    def apply(self, path, page_size):
        if self.kind == "truncated":
            with open(path, "r+b") as f:
                f.truncate(self.size)
            return
        with open(path, "r+b") as f:
            start = self.page * page_size
            if self.kind == "torn":
                f.seek(start + page_size // 2)
                f.write(bytes(page_size - page_size // 2))
            elif self.kind == "random-bytes":
                for offset, data in self.runs:
                    f.seek(start + offset)
                    f.write(data)
            else:
                f.seek(start)
                f.write(bytes(page_size))


def make_damages(model, rel, seed, copies):
    """Up to `copies` damages of each kind for the file, each on another
    page where the file has enough; the same seed gives the same damages."""
    out = []
    lv_pages = sorted(p for p in model.lv_pages if model.page_types[p] == iw.PAGE_DATA)
    index_pages = sorted(model.index_pages)
    choices = {
        "torn": model.data_pages(),
        "zeroed-data": model.data_pages(),
        "random-bytes": model.data_pages(),
        "zeroed-tdef": model.definition_first_pages(),
        "zeroed-lval": lv_pages,
        "zeroed-index": index_pages,
        "zeroed-catalog": model.catalog_row_pages(),
    }
    for kind in KINDS:
        rng = random.Random(f"{seed}:{rel}:{kind}")
        if kind == "truncated":
            first = max(-(-2 * model.page_count // 3), 1)   # the last third
            pool = range(first, model.page_count)
            for n, page in enumerate(rng.sample(pool, min(copies, len(pool)))):
                out.append(cut_damage(model, rng, n, page, mid_page=(n % 2 == 1)))
            continue
        pool = choices[kind]
        if not pool:
            continue
        picked = rng.sample(pool, min(copies, len(pool)))
        for n, page in enumerate(picked):
            if kind == "random-bytes":
                runs = random_runs(model, rng, page)
                detail = f"page {page} " + " ".join(f"{o:#x}+{len(d)}" for o, d in runs)
                out.append(Damage(kind, n, [page], detail, page=page, runs=runs))
            else:
                out.append(Damage(kind, n, [page], f"page {page}", page=page))
    return out


def cut_damage(model, rng, n, page, mid_page):
    if mid_page:
        size = page * model.page_size + rng.randint(1, model.page_size - 1)
        detail = f"cut at {size} (page {page} +{size - page * model.page_size})"
    else:
        size = page * model.page_size
        detail = f"cut at {size} (before page {page})"
    return Damage("truncated", n, range(page, model.page_count), detail, page=page, size=size)


def random_runs(model, rng, page):
    """2-4 runs of 1-16 bytes at random places of the page, each differing
    from what it overwrites in at least one byte."""
    with open(model.path, "rb") as f:
        f.seek(page * model.page_size)
        original = f.read(model.page_size)
    runs = []
    for _ in range(rng.randint(2, 4)):
        length = rng.randint(1, 16)
        offset = rng.randrange(0, model.page_size - length + 1)
        data = bytes(rng.randrange(256) for _ in range(length))
        while data == original[offset:offset + length]:
            data = bytes(rng.randrange(256) for _ in range(length))
        runs.append((offset, data))
    return runs


# ---- what survives ------------------------------------------------------------------

class Spared:
    """The rows a damage leaves intact, per table name.

    intact[name]    rids of rows that must come back: the table's
                    definition, usage map and catalog row are untouched, as
                    are the row's data page and the pages of its pointers
    lv_lost[name]   rid -> memo/OLE column names whose long value is on a
                    damaged page (for intact rows; the value may come back
                    Null)
    lost_tables     tables the damage takes whole (definition, usage map
                    or catalog row hit); lost_rows counts their live rows
    hit[name]       rids of rows whose own bytes the damage overwrote or
                    whose slot entry it changed (random-bytes only): such a
                    row cannot be told from a sound one, and may come back
                    altered
    """

    def __init__(self):
        self.intact = {}
        self.lv_lost = {}
        self.lost_tables = []
        self.lost_rows = 0
        self.hit = {}

    @property
    def intact_count(self):
        return sum(len(v) for v in self.intact.values())

    @property
    def lv_lost_count(self):
        return sum(len(v) for v in self.lv_lost.values())


def spared(model, damage):
    s = Spared()
    bad = damage.pages
    catalog_gone = bool(bad & model.catalog_needs)
    for t in model.tables:
        if catalog_gone or bad & t.needs:
            s.lost_tables.append(t.name)
            s.lost_rows += len(t.rows)
            s.intact[t.name] = set()
            continue
        keep = set()
        lost = {}
        for rid, r in t.rows.items():
            if r.pages & bad:
                continue
            keep.add(rid)
            cols = [c for c, pages in r.lv.items() if pages & bad]
            if cols:
                lost[rid] = cols
        s.intact[t.name] = keep
        s.lv_lost[t.name] = lost
        if damage.kind == "random-bytes":
            s.hit[t.name] = rows_hit(model, t, damage)
    return s


def rows_hit(model, t, damage):
    """Rows whose bytes on the damaged page (the row, or a pointer of a moved
    row) a run overwrote, or whose bounds it changed: slot k's entry gives
    the start of row k and the end of row k+1. Every row on the page when a
    run reaches the page header (its row count among it)."""
    lay = iw.JET3 if model.jet3 else iw.JET4
    base = lay["data_offsets"]
    page = damage.page
    touching = [r for r in t.rows.values() if any(p == page for p, _, _, _ in r.pieces)]
    hit = set()
    for offset, data in damage.runs:
        end = offset + len(data)
        if offset < base:
            return {r.rid for r in touching}
        for r in touching:
            for p, slot, start, stop in r.pieces:
                if p != page:
                    continue
                entry = base + 2 * slot
                if (offset < stop and start < end) or (offset < entry + 2 and entry < end) \
                        or (slot > 0 and offset < entry and entry - 2 < end):
                    hit.add(r.rid)
    return hit
