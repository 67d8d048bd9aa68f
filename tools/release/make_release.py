#!/usr/bin/env python3
"""Build the sample release that Patch_Veltris5v13.exe carries.

The updater embeds 45 payloads (resource type "GZ", ids 3000..3044, language
1033).  Each payload is one zlib stream (78 DA header, level 9, Adler-32
trailer, nothing after it) whose stored and inflated sizes must match the
updater's own catalogue, payload/catalogue.cpp, exactly: it names both for
every file it writes, and its tests prove them against the embedded payloads.
This generator reads ids, targets and sizes from that file; its own FILES
table only adds what the catalogue does not say (kind, identical copies,
edition).

Until the real release files are handed over we ship a sample release with
the same sizes: placeholder 32-bit programs/libraries built from
stub.c/stublib.c and padded with an overlay, and made-up manifests,
field-select tables, display formats and a bulletin template.  Compressible
text of the right kind is mixed with deterministic pseudo-random material
until the level-9 stream has exactly the catalogued length.

Usage (from anywhere):
  make_release.py              build stubs (twice, compared), generate all
                               contents, write resources/payloads/<id>.gz,
                               resources/payloads.rc and tools/release/tuning.json,
                               then verify everything; exit 1 on any mismatch.
  make_release.py --check      verify the committed payloads against the
                               catalogue and the sample generator, no rebuild.
  make_release.py --check --real
                               same, for real release files: sizes, zlib
                               framing, identical groups and PE32/x86 images;
                               the default when there is no tuning.json.
  make_release.py --pack DIR [--out OUTDIR]
                               compress real release files (named by id, e.g.
                               DIR/3000, or by catalogue target, e.g.
                               DIR/pft/cat/isbd.pft) at level 9, report the
                               sizes and print every payload/catalogue.cpp row
                               that must change, as it should read; --out
                               writes OUTDIR/<id>.gz.  Exit 2 when a row must
                               change, 0 when none.  The two fenmor.exe
                               editions must be given by id or as
                               professional/ and public/fenmor.exe.
  make_release.py --apply DIR  the same checks on real release files, then
                               write resources/payloads/<id>.gz, the sizes in
                               payload/catalogue.cpp and the identical groups
                               in payload/identical_payloads.inc; any problem
                               (a payload without a file, a file that fits no
                               payload, a file not of its kind) stops it
                               before it writes anything.  Exit 1 then.
  make_release.py --wine-test [--wine-arch win32]
                               compile resources/payloads.rc with windres into
                               a 32-bit probe program (probe.c) and run it
                               under Wine (a 64-bit prefix unless win32 is
                               asked for): every payload is found, inflated
                               with zlib and compared; the executables are
                               started and the libraries loaded.

Determinism: the contents depend only on this file, the catalogue, the stub
sources and the stub images; tuning.json records the knobs the size search
settled on, so a rerun reproduces the same contents without searching.  The
compressed bytes also depend on the zlib build: the committed files were
produced with zlib 1.2.13 (Python 3.11, zlib.ZLIB_RUNTIME_VERSION ==
"1.2.13") and the stubs with i686-w64-mingw32-gcc-posix 12 (binutils 2.40,
mingw-w64 10.0.0).  With another zlib the stored sizes may no longer come out
exact; the search then runs again and the payloads change.  --check therefore
verifies by inflating and comparing contents, not by recompressing.
"""

import argparse
import collections
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
PAYLOAD_DIR = os.path.join(ROOT, "resources", "payloads")
RC_FILE = os.path.join(ROOT, "resources", "payloads.rc")
TUNING_FILE = os.path.join(HERE, "tuning.json")

VERSION = "1.6.08"
VERSION_QUAD = "1.6.8.0"
# the updater is a 32-bit program, and so are the programs it installs
CC = "i686-w64-mingw32-gcc-posix"
WINDRES = "i686-w64-mingw32-windres"
STUB_EXPORT = "VeltrisModuleVersion"

CATALOGUE_CPP = os.path.join(ROOT, "payload", "catalogue.cpp")
GROUPS_INC = os.path.join(ROOT, "payload", "identical_payloads.inc")

# What the updater's catalogue does not say about a payload: the kind of file
# it is (it decides how the sample content is made and checked) and the
# edition when two payloads install under one name.  Ids, targets and sizes
# come from payload/catalogue.cpp, and which payloads are byte-identical
# copies of one another from payload/identical_payloads.inc: both follow the
# release's files, and --apply writes them.
FILES = {
    # id    kind          note
    3000: ("executable", ""),
    3001: ("executable", ""),
    3002: ("executable", ""),
    3003: ("fst",        ""),
    3004: ("fst",        ""),
    3005: ("executable", ""),
    3006: ("manifest",   ""),
    3007: ("executable", ""),
    3008: ("executable", ""),
    3009: ("library",    ""),
    3010: ("library",    ""),
    3011: ("executable", ""),
    3012: ("bulletin",   ""),
    3013: ("executable", "professional"),
    3014: ("manifest",   ""),
    3015: ("pft",        ""),
    3016: ("pft",        ""),
    3017: ("pft",        ""),
    3018: ("pft",        ""),
    3019: ("pft",        ""),
    3020: ("pft",        ""),
    3021: ("pft",        ""),
    3022: ("pft",        ""),
    3023: ("pft",        ""),
    3024: ("pft",        ""),
    3025: ("pft",        ""),
    3026: ("pft",        ""),
    3027: ("pft",        ""),
    3028: ("pft",        ""),
    3029: ("pft",        ""),
    3030: ("pft",        ""),
    3031: ("pft",        ""),
    3032: ("pft",        ""),
    3033: ("pft",        ""),
    3034: ("pft",        ""),
    3035: ("pft",        ""),
    3036: ("pft",        ""),
    3037: ("pft",        ""),
    3038: ("pft",        ""),
    3039: ("pft",        ""),
    3040: ("pft",        ""),
    3041: ("pft",        ""),
    3042: ("library",    ""),
    3043: ("executable", "public"),
    3044: ("executable", ""),
}

# the file name ending each kind must have, so a kind typed against the wrong
# id shows up at once
KIND_SUFFIX = {"executable": ".exe", "library": ".dll", "manifest": ".manifest",
               "fst": ".fst", "pft": ".pft", "bulletin": ".xml"}

# One row of the catalogue as written in catalogue.cpp:
#     {InstallStep::brenix, "brenix.exe", 3002, 1482752, 348541},
Row = collections.namedtuple("Row", "line text step target id raw stored")
ROW_RE = re.compile(r'^\s*\{\s*InstallStep::(\w+)\s*,\s*"((?:[^"\\]|\\.)*)"\s*,'
                    r'\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*\}\s*,?\s*(//.*)?$')

# One payload: name is its first target in the catalogue, targets all of them.
Entry = collections.namedtuple(
    "Entry", "id raw stored kind name same_as note targets rows")

PAYLOADS = []
BY_ID = {}


class Fail(Exception):
    pass


def c_unescape(s):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), s)


def parse_catalogue(path=CATALOGUE_CPP):
    """The rows of kCatalogue, in file order.  Any line inside the table that
    is not a row, a comment or blank stops the run: a row this parser cannot
    read would otherwise silently lose its sizes."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
    except FileNotFoundError:
        raise Fail("%s missing" % path)
    rel = os.path.relpath(path, ROOT)
    rows, inside = [], False
    for n, text in enumerate(lines, 1):
        stripped = text.strip()
        if not inside:
            if re.match(r"^const\s+CatalogueEntry\s+kCatalogue\[\]\s*=\s*\{$", stripped):
                inside = True
            continue
        if stripped == "};":
            break
        if not stripped or stripped.startswith("//"):
            continue
        m = ROW_RE.match(text)
        if not m:
            raise Fail("%s:%d: cannot read catalogue row %r" % (rel, n, stripped))
        rows.append(Row(n, text, m.group(1), c_unescape(m.group(2)),
                        int(m.group(3)), int(m.group(4)), int(m.group(5))))
    else:
        raise Fail("%s: no kCatalogue table" % rel if not inside
                   else "%s: kCatalogue table is not closed" % rel)
    if not rows:
        raise Fail("%s: kCatalogue has no rows" % rel)
    return rows


GROUPS_HEAD = """\
// Payloads whose contents are byte-identical, one group per line, lowest id
// first. Each stays a payload of its own. This list follows the release's
// files: tools/release/make_release.py --apply writes it from them, the sample
// generator makes one content per group, and the catalogue test checks the
// embedded payloads against it.
"""
GROUP_RE = re.compile(r"^\{\s*(\d+(?:\s*,\s*\d+)+)\s*\},$")


def parse_groups(path=GROUPS_INC):
    """The identical groups, each a list of ids, lowest first.  A line that is
    not a group, a comment or blank stops the run."""
    rel = os.path.relpath(path, ROOT)
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
    except FileNotFoundError:
        raise Fail("%s missing" % rel)
    out, seen = [], set()
    for n, text in enumerate(lines, 1):
        stripped = text.strip()
        if not stripped or stripped.startswith("//"):
            continue
        m = GROUP_RE.match(stripped)
        if not m:
            raise Fail("%s:%d: cannot read identical group %r" % (rel, n, stripped))
        ids = [int(x) for x in m.group(1).split(",")]
        if ids != sorted(set(ids)) or seen & set(ids):
            raise Fail("%s:%d: ids must rise and appear in one group only" % (rel, n))
        seen |= set(ids)
        out.append(ids)
    return out


def groups_text(groups_list):
    return (GROUPS_HEAD + "".join("{%s},\n" % ", ".join(map(str, g))
                                  for g in groups_list)).encode("ascii")


def load_payloads(path=CATALOGUE_CPP, groups_path=GROUPS_INC):
    """Join the catalogue's rows, the identical groups and FILES into one
    Entry per payload id (same_as: the lowest id of its group, or None)."""
    rows = parse_catalogue(path)
    same_of = {}
    for g in parse_groups(groups_path):
        for pid in g[1:]:
            same_of[pid] = g[0]
    by_id = collections.OrderedDict()
    for r in rows:
        by_id.setdefault(r.id, []).append(r)
    rel = os.path.relpath(path, ROOT)
    out = []
    for pid in sorted(by_id):
        rs = by_id[pid]
        sizes = {(r.raw, r.stored) for r in rs}
        if len(sizes) > 1:
            raise Fail("%s:%s: the rows of payload %d disagree on its sizes"
                       % (rel, ",".join(str(r.line) for r in rs), pid))
        if pid not in FILES:
            raise Fail("payload %d (%s:%d) has no row in FILES" % (pid, rel, rs[0].line))
        kind, note = FILES[pid]
        same_as = same_of.get(pid)
        targets = []
        for r in rs:
            if r.target not in targets:
                targets.append(r.target)
        out.append(Entry(pid, rs[0].raw, rs[0].stored, kind, targets[0], same_as, note,
                         tuple(targets), tuple(rs)))
    for pid in sorted(set(FILES) - set(by_id)):
        raise Fail("FILES names payload %d, which %s does not use" % (pid, rel))
    for pid in sorted(set(same_of) - set(by_id)):
        raise Fail("%s names payload %d, which %s does not use"
                   % (os.path.relpath(groups_path, ROOT), pid, rel))
    PAYLOADS[:] = out
    BY_ID.clear()
    BY_ID.update((e.id, e) for e in out)


def validate_catalogue():
    ids = [e.id for e in PAYLOADS]
    if ids != list(range(3000, 3000 + len(ids))) or len(ids) != 45:
        raise Fail("catalogue ids must run 3000..3044 without gaps")
    for e in PAYLOADS:
        if e.kind not in KINDS:
            raise Fail("%d: unknown kind %r" % (e.id, e.kind))
        for t in e.targets:
            if not t.lower().endswith(KIND_SUFFIX[e.kind]):
                raise Fail("%d: target %s does not fit kind %s" % (e.id, t, e.kind))
        if e.same_as is not None:
            lead = BY_ID.get(e.same_as)
            if lead is None or lead.same_as is not None:
                raise Fail("%d: same_as must name a payload that is not a copy itself" % e.id)
            if (lead.raw, lead.stored, lead.kind) != (e.raw, e.stored, e.kind):
                raise Fail("%d: copy of %d but sizes or kind differ" % (e.id, lead.id))


def leader(e):
    return BY_ID[e.same_as] if e.same_as is not None else e


def groups():
    g = collections.OrderedDict()
    for e in PAYLOADS:
        g.setdefault(leader(e).id, []).append(e.id)
    return g


# ---------------------------------------------------------------------------
# Deterministic pseudo-random material.  Python's random module is avoided so
# the contents cannot shift with the interpreter version.

def noise(label, n):
    return hashlib.shake_256(label.encode("ascii")).digest(n)


class Rng:
    def __init__(self, label):
        self.label = label.encode("ascii")
        self.pool = b""
        self.counter = 0

    def below(self, n):
        if len(self.pool) < 4:
            self.pool += hashlib.sha256(self.label + struct.pack("<Q", self.counter)).digest()
            self.counter += 1
        v, self.pool = struct.unpack("<I", self.pool[:4])[0], self.pool[4:]
        return v % n

    def pick(self, seq):
        return seq[self.below(len(seq))]


def noise_text(label, n, alphabet):
    # both alphabets divide 256, so every character is equally likely
    raw = noise(label, n)
    return "".join(alphabet[b % len(alphabet)] for b in raw)


B64URL = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
HEX = "0123456789abcdef"


def stem(e):
    base = e.name.replace("\\", "/").rsplit("/", 1)[-1]
    return base.rsplit(".", 1)[0] if "." in base else base


def module_title(e):
    s = e.name.split(".")[0]
    return s[:1].upper() + s[1:]


# ---------------------------------------------------------------------------
# Text kinds.  A text payload is laid out as
#     prefix + head + body blocks + noise lines + padding lines + tail
# The body blocks are plausible content; the size search chooses how many of
# them to keep (body), how many noise characters follow (fill) and which noise
# stream to use (salt).  Padding lines (compress to almost nothing) absorb the
# remaining bytes so the inflated size is always exact.

class TextKind:
    prefix = b""
    encoding = "ascii"
    width = 64
    alphabet = B64URL
    pad_max = 76

    def head(self, e):
        return ""

    def tail(self, e):
        return ""

    def blocks(self, e, rng):
        raise NotImplementedError

    def noise_line(self, chunk):
        raise NotImplementedError

    def pad_line(self, n):
        raise NotImplementedError

    pad_min = 0

    def padding(self, p):
        # p >= pad_min; lines of nearly equal length, each at most pad_max
        # (and so each at least pad_max / 2 >= pad_min when there are several)
        n = -(-p // self.pad_max)
        return "".join(self.pad_line(p // n + (i < p % n)) for i in range(n))

    def body_blocks(self, e, limit):
        """Body blocks in order, generated until their total exceeds limit."""
        rng = Rng("body:%d" % e.id)
        out, total = [], 0
        for b in self.blocks(e, rng):
            b = b.encode(self.encoding)
            out.append(b)
            total += len(b)
            if total > limit:
                break
        return out

    def build(self, e, body_list, body, fill, salt):
        front = (self.prefix + self.head(e).encode(self.encoding)
                 + b"".join(body_list[:body]))
        back = self.tail(e).encode(self.encoding)
        nlines = -(-fill // self.width)
        p = e.raw - len(front) - len(back) - fill - nlines * len(self.noise_line(""))
        # size first: the search probes far too large fills on purpose
        if p < self.pad_min:
            return None
        chars = noise_text("fill:%d:%d" % (e.id, salt), fill, self.alphabet)
        front += "".join(self.noise_line(chars[i:i + self.width])
                         for i in range(0, fill, self.width)).encode("ascii")
        data = front + self.padding(p).encode("ascii") + back
        assert len(data) == e.raw, (e.id, len(data))
        return data

    def check_text(self, e, data):
        if not data.startswith(self.prefix):
            raise Fail("%d: content does not start with %r" % (e.id, self.prefix))
        if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
            raise Fail("%d: line ends are not all CR LF" % e.id)
        if not data.endswith(b"\r\n"):
            raise Fail("%d: last line is not terminated" % e.id)
        return data[len(self.prefix):].decode(self.encoding)


PFT_FIELDS = [
    ("010", "ISBN"), ("011", "ISSN"), ("101", "Idioma"), ("200", "Título"),
    ("205", "Edição"), ("210", "Publicação"), ("215", "Descrição física"),
    ("225", "Série"), ("300", "Nota geral"), ("327", "Conteúdo"),
    ("330", "Resumo"), ("500", "Título uniforme"), ("600", "Assunto - nome"),
    ("606", "Assunto tópico"), ("607", "Assunto geográfico"),
    ("675", "Classificação (CDU)"), ("700", "Autor principal"),
    ("701", "Co-autor"), ("702", "Autoria secundária"), ("710", "Entidade"),
    ("801", "Fonte da catalogação"), ("856", "Acesso eletrônico"),
    ("966", "Localização"), ("995", "Exemplar"),
]
PFT_NOTES = [
    "exibe somente quando presente", "ocorrências repetíveis separadas por ponto e vírgula",
    "pontuação conforme a área correspondente", "não repetir a pontuação final",
    "ordem de citação dos subcampos", "verificar os indicadores antes de exibir",
    "remissiva para o registro de autoridade", "usado também na difusão seletiva",
    "texto em maiúsculas só no título", "área de notas: uma por linha",
]
PFT_TITLES = {
    "cdaut": "Autoridade - registro completo", "isbd": "Descrição bibliográfica (ISBD)",
    "resumo": "Formato resumido", "resumo-a": "Formato resumido de autoridade",
    "detalhado": "Formato detalhado", "in_detalhado": "Formato detalhado - inclusão",
    "in_resumo": "Formato resumido - inclusão", "np405": "Referência bibliográfica (NP 405)",
    "titulo": "Título para listagens",
}
PFT_SEPS = [" : ", " / ", " ; ", ". - ", ", ", " = "]


class PftKind(TextKind):
    # display formats are read by the record formatter as Windows-1252
    encoding = "cp1252"
    pad_min = 8

    def noise_line(self, chunk):
        return "/* " + chunk + " */\r\n"

    def pad_line(self, n):
        return "/* " + "=" * (n - 8) + " */\r\n"

    def blocks(self, e, rng):
        yield "/* %s */\r\n" % PFT_TITLES.get(stem(e), "Formato de exibição")
        yield "/* Veltris 5 - versão %s - formato de exibição */\r\n\r\n" % VERSION
        area = 0
        while True:
            tag, label = rng.pick(PFT_FIELDS)
            tag2, _ = rng.pick(PFT_FIELDS)
            sub = rng.pick("bcdefghz")
            sep = rng.pick(PFT_SEPS)
            shape = rng.below(6)
            if shape == 0:
                area += 1
                yield ("/* Área %d - %s: %s */\r\nif p(v%s) then\r\n"
                       "   v%s^a, if p(v%s^%s) then \"%s\"v%s^%s fi,\r\n"
                       "fi,\r\n" % (area, label, rng.pick(PFT_NOTES), tag, tag, tag, sub, sep, tag, sub))
            elif shape == 1:
                yield ("(if p(v%s) then |%s|+v%s^a, if p(v%s^%s) then \", \"v%s^%s fi fi)/\r\n"
                       % (tag, sep, tag, tag, sub, tag, sub))
            elif shape == 2:
                yield "if a(v%s) then 'Campo %s (%s) não informado'/ fi,\r\n" % (tag, tag, label)
            elif shape == 3:
                yield "\"%s: \"v%s^a+|; |,#\r\n" % (label, tag)
            elif shape == 4:
                yield ("/* %s */\r\nref(['AUT']l(['AUT']'%s='v%s^a), v%s^a%sv%s^a),/\r\n"
                       % (rng.pick(PFT_NOTES), tag2, tag, tag2, sep.strip() or ",", tag))
            else:
                yield ("if s(mpu,v%s^a) <> '' then mpl,'%s'v%s^a%sv%s^%s/ fi,\r\n"
                       % (tag, sep, tag, sep, tag2, sub))

    def check_text(self, e, data):
        text = TextKind.check_text(self, e, data)
        if text.count("/*") != text.count("*/"):
            raise Fail("%d: unbalanced comments" % e.id)
        return text


FST_TECH = ["0", "0", "4", "8", "1"]


class FstKind(TextKind):
    pad_min = 4

    def noise_line(self, chunk):
        return "* " + chunk + "\r\n"

    def pad_line(self, n):
        return "* " + "-" * (n - 4) + "\r\n"

    def blocks(self, e, rng):
        yield ("* %s - tabela de selecao de campos para a inversao\r\n"
               % e.name.replace("\\", "/").rsplit("/", 1)[-1])
        yield "* Veltris 5 versao %s; linha: identificador tecnica formato\r\n" % VERSION
        while True:
            tag, _ = rng.pick(PFT_FIELDS)
            tech = rng.pick(FST_TECH)
            sub = rng.pick("abcdef")
            shape = rng.below(4)
            if shape == 0:
                yield "%s %s v%s\r\n" % (int(tag), tech, tag)
            elif shape == 1:
                yield "%s %s mhu,v%s^%s/\r\n" % (int(tag), tech, tag, sub)
            elif shape == 2:
                yield "%s 8 '/%s/'v%s^a/\r\n" % (int(tag) + 1000, tag, tag)
            else:
                yield "%s %s (|%s_|+v%s^%s/)\r\n" % (int(tag), tech, tag, tag, sub)

    def check_text(self, e, data):
        text = TextKind.check_text(self, e, data)
        for line in text.split("\r\n")[:-1]:
            if line.startswith("*"):
                continue
            parts = line.split(" ", 2)
            if len(parts) != 3 or not parts[0].isdigit() or not parts[1].isdigit():
                raise Fail("%d: bad table line %r" % (e.id, line))
        return text


class XmlKind(TextKind):
    encoding = "utf-8"
    alphabet = HEX
    pad_min = 13

    def noise_line(self, chunk):
        return "  <!-- " + chunk + " -->\r\n"

    def pad_line(self, n):
        return "  <!-- " + "=" * (n - 13) + " -->\r\n"

    def check_text(self, e, data):
        text = TextKind.check_text(self, e, data)
        try:
            return text, ET.fromstring(data)
        except ET.ParseError as ex:
            raise Fail("%d: not well-formed XML: %s" % (e.id, ex))


class ManifestKind(XmlKind):
    def head(self, e):
        return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
                '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\r\n'
                '  <assemblyIdentity type="win32" name="Veltris.%s" version="%s"'
                ' processorArchitecture="x86"/>\r\n' % (module_title(e), VERSION_QUAD))

    def tail(self, e):
        return "</assembly>\r\n"

    def blocks(self, e, rng):
        yield "  <description>Veltris 5 - %s %s</description>\r\n" % (module_title(e), VERSION)
        yield ('  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">\r\n'
               '    <security><requestedPrivileges>\r\n'
               '      <requestedExecutionLevel level="asInvoker" uiAccess="false"/>\r\n'
               '    </requestedPrivileges></security>\r\n  </trustInfo>\r\n')
        yield ('  <dependency><dependentAssembly>\r\n'
               '    <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls"'
               ' version="6.0.0.0" processorArchitecture="*"'
               ' publicKeyToken="6595b64144ccf1df" language="*"/>\r\n'
               '  </dependentAssembly></dependency>\r\n')
        yield ('  <application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>\r\n'
               '    <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>\r\n'
               '  </windowsSettings></application>\r\n')
        while True:
            yield "  <!-- %s -->\r\n" % e.name

    def check_text(self, e, data):
        text, root = XmlKind.check_text(self, e, data)
        ident = root.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
        if ident is None or ident.get("version") != VERSION_QUAD or not ident.get("name"):
            raise Fail("%d: manifest lacks assemblyIdentity %s" % (e.id, VERSION_QUAD))
        return text


BULLETIN_SECTIONS = [
    ("675", "a", "Classificação (CDU)"), ("200", "aef", "Título"),
    ("700", "ab", "Autor"), ("205", "a", "Edição"), ("210", "acd", "Publicação"),
    ("215", "ad", "Descrição física"), ("606", "a", "Assunto"),
    ("966", "ls", "Localização"),
]


class BulletinKind(XmlKind):
    # the bulletin editor expects a byte-order mark on its templates
    prefix = b"\xef\xbb\xbf"

    def head(self, e):
        return ('<?xml version="1.0" encoding="UTF-8"?>\r\n'
                '<boletim tipo="cdu" versao="%s">\r\n' % VERSION)

    def tail(self, e):
        return "</boletim>\r\n"

    def blocks(self, e, rng):
        yield "  <titulo>Boletim bibliográfico por classificação</titulo>\r\n"
        yield '  <ordenacao campo="675" subcampo="a" sentido="crescente"/>\r\n'
        n = 0
        while True:
            tag, subs, label = BULLETIN_SECTIONS[n % len(BULLETIN_SECTIONS)]
            n += 1
            yield '  <secao ordem="%d" campo="%s" subcampos="%s" rotulo="%s"/>\r\n' % (n, tag, subs, label)


# ---------------------------------------------------------------------------
# Binary kinds: stub image + overlay.  The overlay is a text block naming the
# module, then `fill` pseudo-random bytes, then zeros up to the exact size.

class ImageKind:
    pe_dll = False

    def block(self, e):
        lines = ["", "--- Veltris 5 sample release ---",
                 "Module: %s" % e.name, "Version: %s" % VERSION, "Payload: %d" % e.id]
        if e.note:
            lines.append("Edition: %s" % e.note)
        lines.append("Placeholder image; the data after this block only brings "
                     "the file to the size of the released module.")
        return ("\r\n".join(lines) + "\r\n").encode("ascii") + b"\0"

    def build(self, e, image, fill, salt):
        p = e.raw - len(image) - len(self.block(e)) - fill
        if p < 0:
            return None
        return image + self.block(e) + noise("overlay:%d:%d" % (e.id, salt), fill) + bytes(p)

    def check_image(self, e, data, signed_ok=False):
        try:
            info = pe_info(data, signed_ok)
        except Fail as ex:
            raise Fail("%d: %s" % (e.id, ex))
        if info["dll"] != self.pe_dll:
            raise Fail("%d: PE image is %s a DLL" % (e.id, "" if info["dll"] else "not"))
        if not self.pe_dll and info["subsystem"] != 2:
            raise Fail("%d: executable subsystem is %d, not GUI" % (e.id, info["subsystem"]))
        return info


class LibraryKind(ImageKind):
    pe_dll = True


KINDS = {
    "executable": ImageKind(), "library": LibraryKind(), "manifest": ManifestKind(),
    "fst": FstKind(), "pft": PftKind(), "bulletin": BulletinKind(),
}


IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B


def pe_info(data, signed_ok=False):
    """Minimal PE32 header walk: enough to prove the image is a well-formed
    32-bit x86 program or library and to find where the overlay starts.  A
    sample stub must not be signed (its overlay would break the signature);
    a real release's programs may be (signed_ok)."""
    def fail(msg):
        raise Fail("PE: " + msg)
    if len(data) < 0x40 or data[:2] != b"MZ":
        fail("no MZ header")
    off = struct.unpack_from("<I", data, 0x3C)[0]
    if data[off:off + 4] != b"PE\0\0":
        fail("no PE signature")
    machine, nsec, _, _, _, optsize, chars = struct.unpack_from("<HHIIIHH", data, off + 4)
    if machine != IMAGE_FILE_MACHINE_I386:
        fail("machine 0x%x is not x86 (0x14c)" % machine)
    opt = off + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != PE32_MAGIC:
        fail("optional header magic 0x%x is not PE32" % magic)
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    # PE32 layout: NumberOfRvaAndSizes at 92, the data directories from 96
    ndirs = struct.unpack_from("<I", data, opt + 92)[0]
    if ndirs > 4:
        sec_dir = struct.unpack_from("<II", data, opt + 96 + 4 * 8)
        if sec_dir != (0, 0) and not signed_ok:
            fail("image has a certificate table; an overlay would break it")
    end = opt + optsize + 40 * nsec
    for i in range(nsec):
        s = opt + optsize + 40 * i
        raw_size, raw_ptr = struct.unpack_from("<II", data, s + 16)
        if raw_size:
            end = max(end, raw_ptr + raw_size)
    if end > len(data):
        fail("sections run past the end of the file")
    return {"dll": bool(chars & 0x2000), "subsystem": subsystem, "end": end}


# ---------------------------------------------------------------------------
# Stub images

STUB_BUILDS = {
    "executable": ("stub.c", "stub.exe", ["-Os", "-s", "-mwindows", "-static",
                                          "-Wl,--no-insert-timestamp"]),
    # No C runtime: the loader enters DllMain directly (its stdcall symbol on
    # x86), which keeps the image at one page.  The smallest library payload
    # leaves room for a stream of only about 5 KB, less than a statically
    # linked runtime compresses to.
    "library": ("stublib.c", "stublib.dll", ["-Os", "-s", "-shared", "-nostdlib",
                                             "-Wl,-e,_DllMain@12",
                                             "-Wl,--no-insert-timestamp"]),
}


def build_stub(kind, workdir):
    src, out, flags = STUB_BUILDS[kind]
    shutil.copy(os.path.join(HERE, src), os.path.join(workdir, src))
    # relative names and a prefix map keep the build directory out of the image
    cmd = [CC] + flags + ["-ffile-prefix-map=%s=." % workdir, "-o", out, src]
    r = subprocess.run(cmd, cwd=workdir, capture_output=True, text=True)
    if r.returncode != 0:
        raise Fail("stub build failed: %s\n%s" % (" ".join(cmd), r.stderr))
    with open(os.path.join(workdir, out), "rb") as f:
        return f.read()


def build_stubs():
    images = {}
    with tempfile.TemporaryDirectory(prefix="veltris-stub-a-") as a, \
            tempfile.TemporaryDirectory(prefix="veltris-stub-bb-") as b:
        for kind in STUB_BUILDS:
            first, second = build_stub(kind, a), build_stub(kind, b)
            # two directories of different name length: any embedded path or
            # timestamp shows up as a difference here
            if first != second:
                raise Fail("%s stub build is not reproducible" % kind)
            info = pe_info(first)
            if info["end"] != len(first):
                raise Fail("%s stub image already has trailing data" % kind)
            KINDS[kind].check_image(Entry(0, 0, 0, kind, STUB_BUILDS[kind][1], None, "", (), ()), first)
            images[kind] = first
    return images


def sha256(b):
    return hashlib.sha256(b).hexdigest()


# ---------------------------------------------------------------------------
# Size search

def stored_size(data):
    return len(zlib.compress(data, 9))


def find_fill(size_of, lo, hi, target):
    """Fill value whose stream is exactly target bytes, or None.  size_of is
    close to linear in fill, so interpolate, with a bisection step now and
    then in case it is not."""
    s_lo, s_hi = size_of(lo), size_of(hi)
    if s_lo == target:
        return lo
    if s_hi == target:
        return hi
    if not s_lo < target < s_hi:
        return None
    step = 0
    while hi - lo > 1:
        step += 1
        if step % 3 == 0:
            guess = (lo + hi) // 2
        else:
            guess = lo + (target - s_lo) * (hi - lo) // (s_hi - s_lo)
            guess = min(max(guess, lo + 1), hi - 1)
        s = size_of(guess)
        if s == target:
            return guess
        if s < target:
            lo, s_lo = guess, s
        else:
            hi, s_hi = guess, s
    return None


MAX_SALTS = 200


def max_fill(make, body):
    """Largest amount of noise that still fits the inflated size."""
    lo, hi = 0, 1 << 24
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if make(body, mid, 0) is not None:
            lo = mid
        else:
            hi = mid - 1
    return lo


def tune(e, images, log):
    """Search body/fill/salt giving exactly e.stored bytes."""
    kind = KINDS[e.kind]
    target = e.stored
    evals = [0]

    if isinstance(kind, ImageKind):
        image = images[e.kind]
        bodies = [0]
        make = lambda body, fill, salt: kind.build(e, image, fill, salt)
    else:
        body_list = kind.body_blocks(e, e.raw)
        make = lambda body, fill, salt: kind.build(e, body_list, body, fill, salt)
        kmax = 0
        while kmax < len(body_list) and make(kmax + 1, 0, 0) is not None:
            kmax += 1
        # Keep as much plausible body as still leaves room for noise on both
        # sides of the target: the stream must come out below the target with
        # no noise and above it with the most noise that fits.  More body
        # means less room, so both limits fall as body grows.
        margin = max(8, target // 25)
        lo, hi = 0, kmax
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if stored_size(make(mid, max_fill(make, mid), 0)) >= target + margin:
                lo = mid
            else:
                hi = mid - 1
        while lo > 0 and stored_size(make(lo, 0, 0)) > target - margin:
            lo -= 1
        bodies = list(range(lo, -1, -1))

    for body in bodies:
        if make(body, 0, 0) is None:
            continue
        fmax = max_fill(make, body)
        near = None
        for salt in range(MAX_SALTS):
            cache = {}

            def size_of(fill):
                if fill not in cache:
                    evals[0] += 1
                    cache[fill] = stored_size(make(body, fill, salt))
                return cache[fill]

            fill = None
            if near is not None:
                # a new noise stream lands close to where the last one missed
                fill = find_fill(size_of, max(0, near - 48), min(fmax, near + 48), target)
            if fill is None:
                fill = find_fill(size_of, 0, fmax, target)
            if fill is not None:
                log("  %d: body=%d fill=%d salt=%d (%d compressions)"
                    % (e.id, body, fill, salt, evals[0]))
                return {"body": body, "fill": fill, "salt": salt}
            # remember where the bracket closed for the next salt
            below = [f for f, s in cache.items() if s < target]
            near = max(below) if below else 0
    raise Fail("%d: no parameters give a %d-byte stream" % (e.id, target))


def generate(e, params, images):
    kind = KINDS[e.kind]
    if isinstance(kind, ImageKind):
        return kind.build(e, images[e.kind], params["fill"], params["salt"])
    body_list = kind.body_blocks(e, e.raw)
    return kind.build(e, body_list, params["body"], params["fill"], params["salt"])


# ---------------------------------------------------------------------------
# Files

def payload_path(pid, directory=PAYLOAD_DIR):
    return os.path.join(directory, "%d.gz" % pid)


def rc_text():
    lines = ["// Release payloads embedded in the updater: one zlib stream (level 9)",
             "// per installed file.  Written by tools/release/make_release.py;",
             "// regenerate instead of editing.  Paths are relative to resources/,",
             "// so compile with: windres -I resources resources/payloads.rc",
             "#include <winresrc.h>",
             "",
             "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US",
             ""]
    for e in PAYLOADS:
        lines.append('%d GZ "payloads/%d.gz"' % (e.id, e.id))
    return ("\n".join(lines) + "\n").encode("ascii")


def load_tuning():
    try:
        with open(TUNING_FILE) as f:
            return json.load(f)
    except FileNotFoundError:
        return None


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    except FileNotFoundError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return True


def read_stream(e, path):
    """Check the zlib framing of one stored payload and return its content."""
    with open(path, "rb") as f:
        stream = f.read()
    if len(stream) != e.stored:
        raise Fail("%d: stored size %d, catalogue says %d" % (e.id, len(stream), e.stored))
    if stream[:2] != b"\x78\xda":
        raise Fail("%d: header %s is not 78 DA" % (e.id, stream[:2].hex()))
    d = zlib.decompressobj()
    try:
        data = d.decompress(stream)
    except zlib.error as ex:
        raise Fail("%d: inflate failed: %s" % (e.id, ex))
    if not d.eof:
        raise Fail("%d: stream is truncated" % e.id)
    if d.unused_data:
        raise Fail("%d: %d bytes after the end of the stream" % (e.id, len(d.unused_data)))
    if len(data) != e.raw:
        raise Fail("%d: inflated size %d, catalogue says %d" % (e.id, len(data), e.raw))
    # inflate already checks the trailer; this makes the check explicit
    if struct.unpack(">I", stream[-4:])[0] != zlib.adler32(data):
        raise Fail("%d: Adler-32 trailer does not match" % e.id)
    return stream, data


def verify(real=False, expected=None, tuning=None):
    """Check every committed payload.  expected: id -> content from this run;
    without it, contents are rebuilt from tuning.json (images are taken from
    the payloads themselves and checked against the recorded hashes)."""
    errors = []
    contents, streams = {}, {}
    for e in PAYLOADS:
        try:
            streams[e.id], contents[e.id] = read_stream(e, payload_path(e.id))
        except FileNotFoundError:
            errors.append("%d: %s missing" % (e.id, payload_path(e.id)))
        except Fail as ex:
            errors.append(str(ex))
    known = {"%d.gz" % e.id for e in PAYLOADS}
    for name in sorted(os.listdir(PAYLOAD_DIR)) if os.path.isdir(PAYLOAD_DIR) else []:
        if name not in known:
            errors.append("unexpected file resources/payloads/%s" % name)

    # identical groups: same stream; everything else pairwise different
    seen = {}
    for lead, members in groups().items():
        got = {sha256(streams[m]) for m in members if m in streams}
        if len(got) > 1:
            errors.append("payloads %s must be identical" % members)
        for h in {sha256(contents[m]) for m in members if m in contents}:
            if h in seen:
                errors.append("payload %d has the same content as %d" % (lead, seen[h]))
            seen[h] = lead

    if real:
        # the real programs and libraries must be 32-bit x86 images as well
        for e in PAYLOADS:
            if e.id in contents and isinstance(KINDS[e.kind], ImageKind):
                try:
                    KINDS[e.kind].check_image(e, contents[e.id], signed_ok=True)
                except Fail as ex:
                    errors.append(str(ex))
    else:
        if tuning is None:
            tuning = load_tuning()
        if tuning is None:
            errors.append("tools/release/tuning.json missing")
        else:
            for e in PAYLOADS:
                if e.id not in contents:
                    continue
                try:
                    check_sample(e, contents[e.id], expected, tuning)
                except Fail as ex:
                    errors.append(str(ex))
    try:
        with open(RC_FILE, "rb") as f:
            if f.read() != rc_text():
                errors.append("resources/payloads.rc differs from the catalogue")
    except FileNotFoundError:
        errors.append("resources/payloads.rc missing")
    return errors


def check_sample(e, data, expected, tuning):
    lead = leader(e)
    params = tuning["payloads"].get(str(lead.id))
    if params is None:
        raise Fail("%d: no tuning entry" % e.id)
    kind = KINDS[e.kind]
    if isinstance(kind, ImageKind):
        info = kind.check_image(e, data)
        image = data[:info["end"]]
        if sha256(image) != tuning["images"][e.kind]:
            raise Fail("%d: PE image is not the recorded %s stub" % (e.id, e.kind))
        want = kind.build(lead, image, params["fill"], params["salt"])
    else:
        kind.check_text(e, data)
        want = generate(lead, params, None)
    if data != want:
        raise Fail("%d: content differs from what the generator makes" % e.id)
    if sha256(data) != params["sha256"]:
        raise Fail("%d: content hash differs from tuning.json" % e.id)
    if expected is not None and data != expected[lead.id]:
        raise Fail("%d: committed content differs from this run" % e.id)


# ---------------------------------------------------------------------------
# Modes

def cmd_generate(args, log):
    t0 = time.time()
    if zlib.ZLIB_RUNTIME_VERSION != "1.2.13":
        log("note: zlib %s here, committed payloads were made with 1.2.13; "
            "stored sizes are re-searched where needed" % zlib.ZLIB_RUNTIME_VERSION)
    old = load_tuning()
    if not args.force and old is None and any(os.path.exists(payload_path(e.id)) for e in PAYLOADS):
        # --apply removes tuning.json when it installs a real release
        raise Fail("no tools/release/tuning.json, and resources/payloads holds payloads: "
                   "they are a real release; use --force to replace them with the sample")
    if not args.force and old is not None:
        # refuse to overwrite files that this generator did not make (for
        # instance real release files packed with --pack)
        for e in PAYLOADS:
            path = payload_path(e.id)
            if not os.path.exists(path):
                continue
            rec = old["payloads"].get(str(leader(e).id))
            try:
                with open(path, "rb") as f:
                    content = zlib.decompress(f.read())
            except zlib.error:
                content = None
            if rec is None or content is None or sha256(content) != rec["sha256"]:
                raise Fail("%s is not a sample payload from this generator; "
                           "use --force to overwrite it" % path)
    images = build_stubs()
    log("stubs: stub.exe %d bytes, stublib.dll %d bytes (two builds identical)"
        % (len(images["executable"]), len(images["library"])))
    image_hashes = {k: sha256(v) for k, v in images.items()}

    tuning = {"zlib": zlib.ZLIB_RUNTIME_VERSION, "images": image_hashes, "payloads": {}}
    contents, streams = {}, {}
    searched = 0
    for e in PAYLOADS:
        if e.same_as is not None:
            continue
        rec = old["payloads"].get(str(e.id)) if old else None
        data = None
        if rec is not None:
            data = generate(e, rec, images)
            if data is None or len(data) != e.raw or stored_size(data) != e.stored:
                data = None
        if data is None:
            rec = tune(e, images, log)
            searched += 1
            data = generate(e, rec, images)
        rec = {"body": rec["body"], "fill": rec["fill"], "salt": rec["salt"], "sha256": sha256(data)}
        tuning["payloads"][str(e.id)] = rec
        contents[e.id] = data
        streams[e.id] = zlib.compress(data, 9)

    os.makedirs(PAYLOAD_DIR, exist_ok=True)
    changed = 0
    for e in PAYLOADS:
        changed += write_if_changed(payload_path(e.id), streams[leader(e).id])
    changed += write_if_changed(RC_FILE, rc_text())
    changed += write_if_changed(TUNING_FILE, (json.dumps(tuning, indent=1, sort_keys=True) + "\n").encode())
    log("%d payloads (%d searched), %d files changed, %.1f s"
        % (len(PAYLOADS), searched, changed, time.time() - t0))
    errors = verify(expected=contents, tuning=tuning)
    return errors


def find_real_file(directory, e):
    """Every file in directory that may hold payload e: by id, by id with an
    extension, or by any of its catalogue targets."""
    candidates = [str(e.id)]
    candidates += sorted(n for n in os.listdir(directory) if n.startswith("%d." % e.id))
    for target in e.targets:
        rel = target.lstrip("\\").replace("\\", os.sep)
        if e.note:
            candidates.append(os.path.join(e.note, rel))
        # two editions of one program share a target; the bare name would
        # silently feed the same file to both ids
        if sum(target in x.targets for x in PAYLOADS) == 1:
            candidates.append(rel)
    found = [os.path.join(directory, c) for c in candidates
             if os.path.isfile(os.path.join(directory, c))]
    return found, candidates


def row_as_it_should_read(row, raw, stored):
    """The catalogue line with its two sizes replaced, layout kept."""
    m = ROW_RE.match(row.text)
    t = row.text
    return t[:m.start(4)] + str(raw) + t[m.end(4):m.start(5)] + str(stored) + t[m.end(5):]


NAMING = ("name each file by id (3000, 3000.exe) or by a catalogue target "
          "(pft/cat/isbd.pft; the fenmor.exe editions as professional/ and public/fenmor.exe)")


def read_release_files(directory):
    """The content of every payload from a folder of release files, and the
    file each came from.  Every problem is listed: a payload with no file, two
    files for one payload that differ, and a file that fits no payload."""
    if not os.path.isdir(directory):
        raise Fail("%s is not a folder" % directory)
    contents, sources, errors, used = {}, {}, [], set()
    for e in PAYLOADS:
        found, looked = find_real_file(directory, e)
        used.update(os.path.normpath(p) for p in found)
        if not found:
            errors.append("%d: no file for %s (looked for %s, %d.*)"
                          % (e.id, e.name, ", ".join(looked), e.id))
            continue
        datas = []
        for p in found:
            with open(p, "rb") as f:
                datas.append(f.read())
        if any(d != datas[0] for d in datas):
            errors.append("%d: %s differ, but are one payload" % (e.id, ", ".join(found)))
            continue
        contents[e.id], sources[e.id] = datas[0], found[0]
    for dirpath, dirnames, filenames in os.walk(directory):
        dirnames.sort()
        for n in sorted(filenames):
            p = os.path.normpath(os.path.join(dirpath, n))
            if p not in used:
                errors.append("%s fits no payload: %s" % (os.path.relpath(p, directory), NAMING))
    return contents, sources, errors


def real_content_problem(e, data):
    """Why a release file cannot be the payload e, or None: the structure the
    catalogue test demands of the embedded payloads, checked before anything
    is written."""
    if len(data) >= 1 << 32:
        return "%d: %d bytes do not fit a 32-bit size" % (e.id, len(data))
    kind = KINDS[e.kind]
    if isinstance(kind, ImageKind):
        try:
            kind.check_image(e, data, signed_ok=True)
        except Fail as ex:
            return "%s (%s must be a PE32 x86 %s)" % (ex, e.name, "DLL" if kind.pe_dll else "GUI program")
    elif e.kind == "bulletin":
        if not data.startswith(b"\xef\xbb\xbf"):
            return "%d: %s does not start with a UTF-8 byte-order mark" % (e.id, e.name)
    elif re.search(b"(?<!\r)\n", data):
        return "%d: %s has a line that ends in a bare LF, not CR LF" % (e.id, e.name)
    return None


def identical_groups(contents):
    """Ids whose contents are byte-identical, each group lowest id first."""
    by_hash = collections.OrderedDict()
    for pid in sorted(contents):
        by_hash.setdefault(sha256(contents[pid]), []).append(pid)
    return [ids for ids in by_hash.values() if len(ids) > 1]


def format_groups(gs):
    return ", ".join("{%s}" % ",".join(map(str, g)) for g in gs) or "none"


def print_sizes(sizes):
    print("%-5s %9s %9s  %-9s %s" % ("id", "raw", "stored", "catalogue", "source"))
    for e, raw, stored, p in sizes:
        same = "same" if (raw, stored) == (e.raw, e.stored) else "CHANGED"
        print("%-5d %9d %9d  %-9s %s" % (e.id, raw, stored, same, p))


def row_changes(sizes):
    changes = [(row, raw, stored) for e, raw, stored, p in sizes for row in e.rows
               if (raw, stored) != (row.raw, row.stored)]
    return sorted(changes, key=lambda c: c[0].line)


def print_row_changes(changes, verb):
    rel = os.path.relpath(CATALOGUE_CPP, ROOT)
    if not changes:
        print("%s: no row must change" % rel)
        return
    print("%s: %d row%s %s:" % (rel, len(changes), "" if len(changes) == 1 else "s", verb))
    for row, raw, stored in changes:
        print("%s:%d" % (rel, row.line))
        print("-" + row.text)
        print("+" + row_as_it_should_read(row, raw, stored))


def cmd_pack(args, log):
    """Compress real release files and say which catalogue rows must change."""
    contents, sources, errors = read_release_files(args.pack)
    sizes = []
    if args.out:
        os.makedirs(args.out, exist_ok=True)
    for e in PAYLOADS:
        if e.id not in contents:
            continue
        stream = zlib.compress(contents[e.id], 9)
        sizes.append((e, len(contents[e.id]), len(stream), sources[e.id]))
        if args.out:
            write_if_changed(payload_path(e.id, args.out), stream)
    print_sizes(sizes)
    dup = identical_groups(contents)
    print("identical contents: %s" % format_groups(dup))
    # only groups among the files given can be judged
    have = [ids for ids in ([m for m in members if m in contents]
                            for members in groups().values()) if len(ids) > 1]
    if dup != sorted(have):
        print("note: %s says %s; --apply writes the identical contents above"
              % (os.path.relpath(GROUPS_INC, ROOT), format_groups(sorted(have))))
    changes = row_changes(sizes)
    print_row_changes(changes, "must change")
    return errors, 2 if changes else 0


def is_sample(contents, new_groups):
    """Whether these contents are exactly the sample release that tuning.json
    describes, so that --check can keep checking them as sample contents."""
    tuning = load_tuning()
    if tuning is None or new_groups != [g for g in groups().values() if len(g) > 1]:
        return False
    for e in PAYLOADS:
        rec = tuning["payloads"].get(str(leader(e).id))
        if rec is None or sha256(contents[e.id]) != rec["sha256"]:
            return False
    return True


def cmd_apply(args, log):
    """Make the tree carry the release in a folder: the payloads, the
    catalogue's sizes and the identical groups.  Everything is read and
    checked first; a single problem stops it before any file is written."""
    contents, sources, errors = read_release_files(args.apply)
    for e in PAYLOADS:
        if e.id in contents:
            problem = real_content_problem(e, contents[e.id])
            if problem:
                errors.append(problem)
    if errors:
        errors.append("nothing was written: %s, resources/payloads and %s are as they were"
                      % (os.path.relpath(CATALOGUE_CPP, ROOT), os.path.relpath(GROUPS_INC, ROOT)))
        return errors, 1
    streams = {pid: zlib.compress(data, 9) for pid, data in contents.items()}
    sizes = [(e, len(contents[e.id]), len(streams[e.id]), sources[e.id]) for e in PAYLOADS]
    print_sizes(sizes)
    new_groups = identical_groups(contents)
    print("identical contents: %s" % format_groups(new_groups))
    sample = is_sample(contents, new_groups)
    changes = row_changes(sizes)

    with open(CATALOGUE_CPP, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for row, raw, stored in changes:
        lines[row.line - 1] = row_as_it_should_read(row, raw, stored)

    written = []
    for e in PAYLOADS:
        if write_if_changed(payload_path(e.id), streams[e.id]):
            written.append(os.path.relpath(payload_path(e.id), ROOT))
    for path, data in ((RC_FILE, rc_text()), (GROUPS_INC, groups_text(new_groups)),
                       (CATALOGUE_CPP, "\n".join(lines).encode("utf-8"))):
        if write_if_changed(path, data):
            written.append(os.path.relpath(path, ROOT))
    if not sample and os.path.exists(TUNING_FILE):
        # the sample generator's record: it no longer describes the payloads,
        # and without it --check checks them as a real release
        os.remove(TUNING_FILE)
        written.append("removed " + os.path.relpath(TUNING_FILE, ROOT))
    print_row_changes(changes, "written")
    print("files written: %s" % (", ".join(written) or "none, the tree already carries this release"))

    load_payloads()
    validate_catalogue()
    return verify(real=not sample), 0


def prefix_problem(prefix, arch):
    """Why an existing Wine prefix cannot run the 32-bit probe as asked, or
    None.  A 64-bit prefix made before Wine's 32-bit part was installed has no
    32-bit system, and every 32-bit program fails to load kernel32 there."""
    reg = os.path.join(prefix, "system.reg")
    if not os.path.exists(reg):
        return None
    with open(reg, encoding="latin-1") as f:
        head = f.read(4096)
    if ("#arch=%s" % arch) not in head:
        return "is not a %s prefix" % arch
    if arch == "win64" and not os.path.exists(
            os.path.join(prefix, "drive_c", "windows", "syswow64", "kernel32.dll")):
        return "has no 32-bit system"
    return None


def cmd_wine_test(args, log):
    """Link payloads.rc into probe.c and run it under Wine."""
    errors = []
    arch = args.wine_arch
    own = not os.environ.get("WINEPREFIX")
    prefix = os.environ.get("WINEPREFIX") or os.path.join(
        tempfile.gettempdir(), "veltris-release-wine-%s-%d" % (arch, os.getuid()))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("WINEARCH", None)
    stale = prefix_problem(prefix, arch)
    if stale and not own:
        return ["WINEPREFIX %s %s; make it anew or unset WINEPREFIX" % (prefix, stale)]
    if stale:
        log("making the Wine prefix anew: it %s" % stale)
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        shutil.rmtree(prefix)
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        # Wine makes the prefix on the first start, under xvfb-run below
        env["WINEARCH"] = arch
    expected = {}
    for e in PAYLOADS:
        with open(payload_path(e.id), "rb") as f:
            stream = f.read()
        expected[e.id] = (len(stream), zlib.crc32(zlib.decompress(stream)))
    with tempfile.TemporaryDirectory(prefix="veltris-probe-") as tmp:
        obj = os.path.join(tmp, "payloads.o")
        exe = os.path.join(tmp, "probe.exe")
        run = lambda cmd, **kw: subprocess.run(cmd, capture_output=True, text=True, **kw)
        r = run([WINDRES, "-I", os.path.join(ROOT, "resources"), RC_FILE, "-O", "coff", "-o", obj])
        if r.returncode:
            return ["windres failed:\n" + r.stderr]
        r = run([CC, "-O2", "-static", "-o", exe, os.path.join(HERE, "probe.c"), obj, "-lz"])
        if r.returncode:
            return ["probe build failed:\n" + r.stderr]
        argv = ["%d:%d:%s:%s" % (e.id, e.raw, e.kind[0], e.name.split("\\")[-1]) for e in PAYLOADS]
        cmd = ["timeout", "600", "xvfb-run", "-a", "wine", exe] + argv
        log("running probe under Wine (%s, WINEPREFIX=%s)" % (arch, prefix))
        try:
            r = run(cmd, env=env, cwd=tmp)
        finally:
            subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
        out = r.stdout.replace("\r\n", "\n")
        if args.verbose:
            sys.stdout.write(out)
        if r.returncode:
            errors.append("probe exited with %d: %s" % (r.returncode, r.stderr[-2000:]))
    seen_res, ran, types = {}, {}, []
    for line in out.splitlines():
        f = line.split("\t")
        if f[0] == "RES":
            seen_res[int(f[1])] = f[2:]
        elif f[0] in ("RUN", "LOAD"):
            ran[int(f[1])] = f
        elif f[0] == "TYPE":
            types.append(f[1])
        elif f[0] == "ERR":
            errors.append("probe: " + line)
    # "GZ" must be a string-named type; a numeric one would print as #n
    if "GZ" not in types:
        errors.append("probe: no string resource type GZ (types: %s)" % types)
    for e in PAYLOADS:
        got = seen_res.get(e.id)
        stored, crc = expected[e.id]
        want = ["1033", str(stored), str(e.raw), "%08x" % crc, str(stored)]
        if got != want:
            errors.append("%d: probe saw %s, expected lang/stored/raw/crc/consumed %s" % (e.id, got, want))
        if e.kind in ("executable", "library"):
            f = ran.get(e.id)
            base = e.name.split("\\")[-1]
            if f is None:
                errors.append("%d: %s was not started/loaded" % (e.id, base))
            elif f[0] == "RUN" and not (f[2] == "exit=0" and f[3].lower().endswith("\\" + base.lower())
                                        and VERSION in f[4]):
                errors.append("%d: unexpected run result %s" % (e.id, f[2:]))
            elif f[0] == "LOAD" and f[2] != VERSION:
                errors.append("%d: %s returned %r" % (e.id, STUB_EXPORT, f[2]))
    log("probe: %d resources inflated, %d images started or loaded" % (len(seen_res), len(ran)))
    return errors


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--check", action="store_true", help="verify committed payloads only")
    ap.add_argument("--real", action="store_true", help="with --check: payloads are real release files")
    ap.add_argument("--pack", metavar="DIR", help="compress real release files from DIR; print the catalogue rows that must change")
    ap.add_argument("--out", metavar="DIR", help="with --pack: write <id>.gz files here")
    ap.add_argument("--apply", metavar="DIR",
                    help="make the tree carry the release files in DIR: payloads, catalogue sizes, "
                         "identical groups; checks everything before writing anything")
    ap.add_argument("--wine-test", action="store_true", help="probe the payloads through windres and Wine")
    ap.add_argument("--wine-arch", choices=("win64", "win32"), default="win64",
                    help="with --wine-test: a 64-bit (default) or a 32-bit Wine prefix")
    ap.add_argument("--force", action="store_true", help="overwrite payloads not made by this generator")
    ap.add_argument("-v", "--verbose", action="store_true")
    args = ap.parse_args()
    log = lambda msg: print(msg, flush=True)
    status = 0
    try:
        load_payloads()
        validate_catalogue()
        if args.apply:
            errors, status = cmd_apply(args, log)
        elif args.pack:
            errors, status = cmd_pack(args, log)
        elif args.check:
            t0 = time.time()
            # --apply removes tuning.json once the payloads are no longer
            # the sample release
            real = args.real or load_tuning() is None
            if real and not args.real:
                log("no tools/release/tuning.json: checking the payloads as a real release")
            errors = verify(real=real)
            log("checked %d payloads in %.1f s" % (len(PAYLOADS), time.time() - t0))
        elif args.wine_test:
            errors = cmd_wine_test(args, log)
        else:
            errors = cmd_generate(args, log)
    except Fail as ex:
        errors = [str(ex)]
    for err in errors:
        print("ERROR: " + err, file=sys.stderr)
    if errors:
        return 1
    if status == 0:
        print("OK")
    return status


if __name__ == "__main__":
    sys.exit(main())
