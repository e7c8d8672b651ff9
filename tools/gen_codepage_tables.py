#!/usr/bin/env python3
"""Generates the built-in code page mapping tables (src/charset/tables/).

Reads each code page's standard mapping from sources on this machine:
Python's codecs, glibc iconv (through ctypes), glibc's charmap files in
/usr/share/i18n/charmaps, for a few Mac pages nothing else carries, Perl's
Encode module and, for IBM pages glibc lacks, ICU's uconv (icu-devtools). Writes one blob per code page in the stored format:

  blob      = flag 'c' + base64(container)   (or 'x' + base64(payload))
  container = E1 A7 94 B3, uint32 LE payload length, bzip2 stream
  payload   = 'a' | 'x' (ASCII-based or not), 'u',
              single-byte records (byte delta, uint16 LE code delta) ... 0,
              double-byte records (uint16 LE key delta, uint16 LE code delta) ... 0 0

Encode patches ('d' payloads) are written for double-byte pages where the
source's own encoder chooses a different byte sequence than "first mapping
wins" would.

Usage: tools/gen_codepage_tables.py [output-dir]   (default: src/charset/tables)
"""

import base64
import bz2
import codecs
import ctypes
import ctypes.util
import gzip
import os
import re
import shutil
import subprocess
import sys

MAGIC = bytes([0xE1, 0xA7, 0x94, 0xB3])
MAX_PIECE = 60000          # longest string literal written
LINE = 100                 # base64 characters per source line
MAX_FILE = 50000           # approximate bytes of blob text per generated file

SB_DECODE_BUCKETS = 283
SB_ENCODE_BUCKETS = 269

# (code page, source kind, source name). Kinds: py (Python codec), iconv
# (glibc iconv name), charmap (glibc charmap file), perl (Perl Encode name),
# uconv (ICU converter name, single-byte pages).
SINGLE_BYTE = [
    (37, 'py', 'cp037'), (437, 'py', 'cp437'), (500, 'py', 'cp500'),
    (708, 'iconv', 'ASMO-708'), (720, 'py', 'cp720'), (737, 'py', 'cp737'),
    (775, 'py', 'cp775'), (850, 'py', 'cp850'), (852, 'py', 'cp852'),
    (855, 'py', 'cp855'), (857, 'py', 'cp857'), (858, 'py', 'cp858'),
    (860, 'py', 'cp860'), (861, 'py', 'cp861'), (862, 'py', 'cp862'),
    (863, 'py', 'cp863'), (864, 'py', 'cp864'), (865, 'py', 'cp865'),
    (866, 'py', 'cp866'), (869, 'py', 'cp869'), (870, 'iconv', 'IBM870'),
    (874, 'py', 'cp874'), (875, 'py', 'cp875'), (1026, 'py', 'cp1026'),
    (1047, 'iconv', 'IBM1047'), (1140, 'py', 'cp1140'),
    (1141, 'iconv', 'IBM1141'), (1142, 'iconv', 'IBM1142'),
    (1143, 'iconv', 'IBM1143'), (1144, 'iconv', 'IBM1144'),
    (1145, 'iconv', 'IBM1145'), (1146, 'iconv', 'IBM1146'),
    (1147, 'iconv', 'IBM1147'), (1148, 'iconv', 'IBM1148'),
    (1149, 'iconv', 'IBM1149'),
    (1250, 'py', 'cp1250'), (1251, 'py', 'cp1251'), (1252, 'py', 'cp1252'),
    (1253, 'py', 'cp1253'), (1254, 'py', 'cp1254'), (1255, 'py', 'cp1255'),
    (1256, 'py', 'cp1256'), (1257, 'py', 'cp1257'), (1258, 'py', 'cp1258'),
    (10000, 'py', 'mac_roman'), (10004, 'py', 'mac_arabic'),
    (10005, 'perl', 'MacHebrew'), (10006, 'py', 'mac_greek'),
    (10007, 'py', 'mac_cyrillic'), (10010, 'py', 'mac_romanian'),
    (10017, 'iconv', 'MAC-UK'), (10021, 'perl', 'MacThai'),
    (10029, 'py', 'mac_latin2'), (10079, 'py', 'mac_iceland'),
    (10081, 'py', 'mac_turkish'), (10082, 'py', 'mac_croatian'),
    (20105, 'charmap', 'ISO_646.IRV'), (20106, 'iconv', 'DIN_66003'),
    (20107, 'iconv', 'SEN_850200_B'), (20108, 'iconv', 'NS_4551-1'),
    (20127, 'py', 'ascii'), (20261, 'iconv', 'T.61-8BIT'),
    (20269, 'iconv', 'ISO_6937'), (20273, 'py', 'cp273'),
    (20277, 'iconv', 'IBM277'), (20278, 'iconv', 'IBM278'),
    (20280, 'iconv', 'IBM280'), (20284, 'iconv', 'IBM284'),
    (20285, 'iconv', 'IBM285'), (20290, 'iconv', 'IBM290'),
    (20297, 'iconv', 'IBM297'), (20420, 'iconv', 'IBM420'),
    (20423, 'iconv', 'IBM423'), (20424, 'py', 'cp424'),
    (20838, 'uconv', 'ibm-838'), (20866, 'py', 'koi8_r'),
    (20871, 'iconv', 'IBM871'), (20880, 'iconv', 'IBM880'),
    (20905, 'iconv', 'IBM905'), (20924, 'iconv', 'IBM924'),
    (21025, 'iconv', 'IBM1025'), (21866, 'py', 'koi8_u'),
    (28591, 'py', 'iso8859_1'), (28592, 'py', 'iso8859_2'),
    (28593, 'py', 'iso8859_3'), (28594, 'py', 'iso8859_4'),
    (28595, 'py', 'iso8859_5'), (28596, 'py', 'iso8859_6'),
    (28597, 'py', 'iso8859_7'), (28598, 'py', 'iso8859_8'),
    (28599, 'py', 'iso8859_9'), (28603, 'py', 'iso8859_13'),
    (28605, 'py', 'iso8859_15'), (38598, 'py', 'iso8859_8'),
]

# (code page, kind, name, decode buckets, encode buckets)
DOUBLE_BYTE = [
    (932, 'py', 'cp932', 4919, 4919),
    (936, 'iconv', 'CP936', 7649, 7649),
    (949, 'py', 'cp949', 7669, 7669),
    (950, 'py', 'cp950', 7649, 7649),
    (1361, 'py', 'johab', 7669, 7669),
    (10001, 'perl', 'MacJapanese', 4919, 4919),
    (51932, 'py', 'euc_jp', 4919, 4919),
    (51936, 'py', 'gb2312', 7649, 7649),
    (51949, 'py', 'euc_kr', 7669, 7669),
]

# Deliberate departures from the source data: byte -> code unit.
OVERRIDES = {
    28591: {0x80: 0x20AC},
}


# ---------------------------------------------------------------- sources

class Iconv:
    """Minimal glibc iconv(3) access through ctypes."""

    def __init__(self):
        self.libc = ctypes.CDLL(ctypes.util.find_library('c'), use_errno=True)
        self.libc.iconv_open.restype = ctypes.c_void_p
        self.libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        self.libc.iconv.restype = ctypes.c_size_t
        self.libc.iconv.argtypes = [ctypes.c_void_p,
                                    ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                                    ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
        self.libc.iconv_close.argtypes = [ctypes.c_void_p]

    def open(self, to, frm):
        cd = self.libc.iconv_open(to.encode(), frm.encode())
        if cd is None or cd == ctypes.c_void_p(-1).value:
            return None
        return cd

    def close(self, cd):
        self.libc.iconv_close(cd)

    def run(self, cd, data):
        """Converts data completely or returns None."""
        self.libc.iconv(cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(bytes(data), len(data))
        out = ctypes.create_string_buffer(64)
        pin = ctypes.c_char_p(ctypes.addressof(inbuf))
        nin = ctypes.c_size_t(len(data))
        pout = ctypes.c_char_p(ctypes.addressof(out))
        nout = ctypes.c_size_t(64)
        r = self.libc.iconv(cd, ctypes.byref(pin), ctypes.byref(nin), ctypes.byref(pout), ctypes.byref(nout))
        if r == ctypes.c_size_t(-1).value or nin.value != 0:
            return None
        r = self.libc.iconv(cd, None, None, ctypes.byref(pout), ctypes.byref(nout))
        if r == ctypes.c_size_t(-1).value:
            return None
        return out.raw[:64 - nout.value]


ICONV = None


def one_unit(u16le):
    """The single BMP code unit of a UTF-16LE result, or None."""
    if u16le is None or len(u16le) != 2:
        return None
    u = u16le[0] | (u16le[1] << 8)
    if 0xD800 <= u <= 0xDFFF:
        return None
    return u


def lead_trail_pairs():
    for lead in range(0x80, 0x100):
        for trail in range(0x20, 0x100):
            yield (lead << 8) | trail


class PySource:
    def __init__(self, name):
        codecs.lookup(name)
        self.name = name

    def decode(self, data):
        try:
            s = bytes(data).decode(self.name)
        except (UnicodeDecodeError, ValueError):
            return None
        return one_unit(s.encode('utf-16-le'))

    def encode(self, unit):
        try:
            return chr(unit).encode(self.name)
        except (UnicodeEncodeError, ValueError):
            return None


class IconvSource:
    def __init__(self, name):
        self.dec = ICONV.open('UTF-16LE', name)
        self.enc = ICONV.open(name, 'UTF-16LE')
        if self.dec is None or self.enc is None:
            raise LookupError(name)

    def decode(self, data):
        return one_unit(ICONV.run(self.dec, data))

    def encode(self, unit):
        return ICONV.run(self.enc, bytes([unit & 0xFF, unit >> 8]))


class CharmapSource:
    """A glibc charmap file (single-byte entries only)."""

    def __init__(self, name):
        path = os.path.join('/usr/share/i18n/charmaps', name + '.gz')
        if not os.path.exists(path):
            raise LookupError(name)
        self.map = {}
        pat = re.compile(r'^<U([0-9A-Fa-f]{4})>\s+/x([0-9a-fA-F]{2})\s')
        with gzip.open(path, 'rt', encoding='latin-1') as f:
            for line in f:
                m = pat.match(line)
                if m:
                    self.map.setdefault(int(m.group(2), 16), int(m.group(1), 16))
        self.rev = {}
        for b in sorted(self.map):
            self.rev.setdefault(self.map[b], bytes([b]))

    def decode(self, data):
        return self.map.get(data[0]) if len(data) == 1 else None

    def encode(self, unit):
        return self.rev.get(unit)


PERL_DECODE = r'''
use strict; use Encode;
my $e = find_encoding($ARGV[0]) or exit 2;
my $dbcs = $ARGV[1];
sub one { my $b = shift; my $s = eval { $e->decode($b, Encode::FB_CROAK) };
  return if !defined $s || length($s) != 1 || ord($s) > 0xFFFF; return ord($s); }
for my $b (1..255) { my $u = one(chr($b)); printf "%x %x\n", $b, $u if defined $u; }
if ($dbcs) { for my $l (0x80..0xFF) { for my $t (0x20..0xFF) {
  my $u = one(chr($l).chr($t)); printf "%x %x\n", ($l << 8) | $t, $u if defined $u; } } }
'''

PERL_ENCODE = r'''
use strict; use Encode;
my $e = find_encoding($ARGV[0]) or exit 2;
while (my $line = <STDIN>) { chomp $line; my $u = hex($line);
  my $b = eval { $e->encode(chr($u), Encode::FB_CROAK) };
  print defined $b ? unpack("H*", $b) : "-", "\n"; }
'''


class PerlSource:
    def __init__(self, name, dbcs):
        if shutil.which('perl') is None:
            raise LookupError(name)
        out = subprocess.run(['perl', '-e', PERL_DECODE, name, '1' if dbcs else '0'],
                             capture_output=True, text=True)
        if out.returncode != 0:
            raise LookupError(name)
        self.name = name
        self.map = {}
        for line in out.stdout.split('\n'):
            if line:
                k, u = line.split()
                self.map[int(k, 16)] = int(u, 16)
        self.enc_cache = None

    def decode(self, data):
        key = data[0] if len(data) == 1 else (data[0] << 8) | data[1]
        return self.map.get(key)

    def prepare_encode(self, units):
        units = sorted(set(units))
        out = subprocess.run(['perl', '-e', PERL_ENCODE, self.name],
                             input=''.join('%x\n' % u for u in units),
                             capture_output=True, text=True, check=True)
        res = out.stdout.split('\n')
        self.enc_cache = {u: (None if r == '-' else bytes.fromhex(r)) for u, r in zip(units, res)}

    def encode(self, unit):
        return self.enc_cache.get(unit)


class UconvSource:
    """A single-byte page through ICU's uconv, one byte at a time (strict:
    a byte without a mapping stops the conversion)."""

    def __init__(self, name, dbcs):
        if dbcs or shutil.which('uconv') is None:
            raise LookupError(name)
        self.map = {}
        for b in range(1, 256):
            out = subprocess.run(['uconv', '-f', name, '-t', 'UTF-16LE', '--from-callback', 'stop'],
                                 input=bytes([b]), capture_output=True)
            if out.returncode == 0:
                u = one_unit(out.stdout)
                if u is not None:
                    self.map[b] = u
        if not self.map:
            raise LookupError(name)

    def decode(self, data):
        return self.map.get(data[0]) if len(data) == 1 else None

    def encode(self, unit):
        return None


def open_source(kind, name, dbcs):
    if kind == 'py':
        return PySource(name)
    if kind == 'iconv':
        return IconvSource(name)
    if kind == 'charmap':
        return CharmapSource(name)
    if kind == 'perl':
        return PerlSource(name, dbcs)
    if kind == 'uconv':
        return UconvSource(name, dbcs)
    raise ValueError(kind)


def describe(kind, name):
    return {'py': 'Python codec', 'iconv': 'glibc iconv', 'charmap': 'glibc charmap file',
            'perl': 'Perl Encode', 'uconv': 'ICU uconv'}[kind] + ' "' + name + '"'


# ---------------------------------------------------------------- tables

def read_mapping(cp, src, dbcs):
    single = {}
    for b in range(1, 256):
        u = src.decode(bytes([b]))
        if u is not None:
            single[b] = u
    double = {}
    if dbcs:
        for key in lead_trail_pairs():
            if (key >> 8) in single:
                continue
            u = src.decode(bytes([key >> 8, key & 0xFF]))
            if u is not None:
                double[key] = u
    for b, u in OVERRIDES.get(cp, {}).items():
        single[b] = u
    return single, double


def is_ascii_based(single, lenient):
    """True when every byte 0x01-0x7F is ASCII. With lenient (the Perl Mac
    tables), bytes the source leaves out count as ASCII too: Apple's tables
    give DEL no mapping, and Perl's Mac Hebrew table leaves out the ASCII
    bytes that Apple marks with a direction."""
    if lenient:
        return all(single.get(b, b) == b for b in range(1, 0x80)) and 0x41 in single
    return all(single.get(b) == b for b in range(1, 0x80))


def table_payload(single, double, ascii_based):
    p = bytearray(b'a' if ascii_based else b'x')
    p += b'u'
    pb = pc = 0
    for b in sorted(single):
        if ascii_based and b < 0x80:
            continue
        p.append(b - pb)
        p += ((single[b] - pc) & 0xFFFF).to_bytes(2, 'little')
        pb, pc = b, single[b]
    p.append(0)
    pk = pc = 0
    for k in sorted(double):
        p += ((k - pk) & 0xFFFF).to_bytes(2, 'little')
        p += ((double[k] - pc) & 0xFFFF).to_bytes(2, 'little')
        pk, pc = k, double[k]
    p += b'\0\0'
    return bytes(p)


def default_encoding(single, double, ascii_based):
    """What the encode table gives when the first mapping added wins."""
    enc = {}
    for b in sorted(single):
        if ascii_based and b < 0x80:
            continue
        enc.setdefault(single[b], bytes([b]))
    for k in sorted(double):
        enc.setdefault(double[k], bytes([k >> 8, k & 0xFF]))
    return enc


def patch_payload(cp, src, single, double, ascii_based):
    """A 'd' payload that makes the encode table agree with the source's
    encoder, or None when it already does."""
    # Single-byte codecs derive their encoder from the decode table (last
    # duplicate wins), so only the double-byte encoders are an independent
    # statement of the preferred byte sequence.
    if cp in OVERRIDES or not double:
        return None
    enc = default_encoding(single, double, ascii_based)
    units = set(single.values()) | set(double.values())
    if isinstance(src, PerlSource):
        src.prepare_encode(units)
    remove, add1, add2 = [], [], []
    for u in sorted(units):
        if ascii_based and u < 0x80:
            continue
        want = src.encode(u)
        have = enc.get(u)
        if want == have:
            continue
        if want is None:
            remove.append(u)
            continue
        # Only sequences the decode side knows are taken over.
        if len(want) == 1 and want[0] in single and single[want[0]] == u:
            remove.append(u)
            add1.append((want[0], u))
        elif len(want) == 2 and ((want[0] << 8) | want[1]) in double and double[(want[0] << 8) | want[1]] == u:
            remove.append(u)
            add2.append(((want[0] << 8) | want[1], u))
    if not remove:
        return None
    p = bytearray(b'a' if ascii_based else b'x')
    p += b'd'
    for u in remove:
        p += u.to_bytes(2, 'little')
    p += b'\0\0'
    for b, u in add1:
        p.append(b)
        p += u.to_bytes(2, 'little')
    p.append(0)
    for v, u in add2:
        p += v.to_bytes(2, 'little')
        p += u.to_bytes(2, 'little')
    p += b'\0\0'
    return bytes(p), len(remove), len(add1) + len(add2)


def make_blob(payload):
    packed = MAGIC + len(payload).to_bytes(4, 'little') + bz2.compress(payload, 9)
    c = 'c' + base64.b64encode(packed).decode('ascii')
    x = 'x' + base64.b64encode(payload).decode('ascii')
    return x if len(x) < len(c) else c


# ---------------------------------------------------------------- output

HEADER = '// Generated by tools/gen_codepage_tables.py; do not edit.\n'


def split_pieces(blob):
    return [blob[i:i + MAX_PIECE] for i in range(0, len(blob), MAX_PIECE)]


def literal_lines(piece):
    return ['    "%s"' % piece[i:i + LINE] for i in range(0, len(piece), LINE)]


def write_if_changed(path, text):
    try:
        with open(path, encoding='ascii') as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, 'w', encoding='ascii', newline='\n') as f:
        f.write(text)


def main():
    global ICONV
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'src', 'charset', 'tables')
    os.makedirs(outdir, exist_ok=True)
    ICONV = Iconv()

    entries = []     # dicts, sorted by code page later
    missing = []
    jobs = [(cp, k, n, False, SB_DECODE_BUCKETS, SB_ENCODE_BUCKETS) for cp, k, n in SINGLE_BYTE]
    jobs += [(cp, k, n, True, db, eb) for cp, k, n, db, eb in DOUBLE_BYTE]
    for cp, kind, name, dbcs, dbk, ebk in jobs:
        try:
            src = open_source(kind, name, dbcs)
        except LookupError:
            missing.append((cp, describe(kind, name)))
            print('%5d: no source (%s), left out' % (cp, describe(kind, name)), file=sys.stderr)
            continue
        single, double = read_mapping(cp, src, dbcs)
        ascii_based = is_ascii_based(single, kind == 'perl')
        payload = table_payload(single, double, ascii_based)
        patch = patch_payload(cp, src, single, double, ascii_based)
        note = describe(kind, name)
        if ascii_based and any(b not in single for b in range(1, 0x80)):
            note += ', bytes it leaves out below 0x80 taken as ASCII'
        entries.append(dict(cp=cp, source=note, dbcs=dbcs, ascii=ascii_based,
                            dbk=dbk, ebk=ebk, blob=make_blob(payload),
                            patch=make_blob(patch[0]) if patch else None,
                            patchinfo=patch[1:] if patch else None,
                            nsingle=len(single), ndouble=len(double)))
        print('%5d: %-32s %s %4d single %5d double, payload %6d, blob %6d%s' % (
            cp, describe(kind, name), 'a' if ascii_based else 'x', len(single), len(double),
            len(payload), len(entries[-1]['blob']),
            ', patch %d removed %d added' % patch[1:] if patch else ''), file=sys.stderr)

    entries.sort(key=lambda e: e['cp'])

    # Blob files, filled up to MAX_FILE bytes each, single-byte pages first.
    files = []
    cur, size = [], 0
    for e in sorted(entries, key=lambda e: (e['dbcs'], e['cp'])):
        n = len(e['blob']) + len(e['patch'] or '')
        if cur and size + n > MAX_FILE:
            files.append(cur)
            cur, size = [], 0
        cur.append(e)
        size += n
    if cur:
        files.append(cur)

    old = [f for f in os.listdir(outdir) if re.match(r'CodePageBlobs\d+\.cpp$', f)]
    for f in old:
        if int(re.findall(r'\d+', f)[0]) > len(files):
            os.remove(os.path.join(outdir, f))

    for i, group in enumerate(files, 1):
        out = [HEADER, '// Code page mapping blobs, part %d.\n' % i,
               '#include "charset/tables/CodePageBlobs.h"\n\n',
               'namespace tarvex {\nnamespace tables {\n']
        for e in group:
            for what, blob in (('', e['blob']), ('Patch', e['patch'])):
                if blob is None:
                    continue
                pieces = split_pieces(blob)
                names = []
                for j, piece in enumerate(pieces):
                    nm = 'kCp%d%s_%d' % (e['cp'], what, j)
                    names.append(nm)
                    out.append('\nstatic const char %s[] =\n%s;\n' % (nm, '\n'.join(literal_lines(piece))))
                arr = 'kCp%d%s' % (e['cp'], what)
                out.append('extern const char* const %s[];\n' % arr)
                out.append('const char* const %s[] = {%s};\n' % (arr, ', '.join(names)))
        out.append('\n}  // namespace tables\n}  // namespace tarvex\n')
        write_if_changed(os.path.join(outdir, 'CodePageBlobs%d.cpp' % i), ''.join(out))

    idx = [HEADER, '// The index of the built-in code page tables, sorted by code page.\n//\n',
           '// Data sources (read on the generating machine):\n']
    for e in entries:
        idx.append('//   %5d  %s%s\n' % (e['cp'], e['source'],
                                         ', 0x80 -> U+20AC' if e['cp'] == 28591 else ''))
    for cp, what in missing:
        idx.append('//   %5d  left out: no source found (%s)\n' % (cp, what))
    idx.append('\n#include "charset/tables/CodePageBlobs.h"\n\nnamespace tarvex {\nnamespace tables {\n\n')
    for e in entries:
        idx.append('extern const char* const kCp%d[];\n' % e['cp'])
        if e['patch']:
            idx.append('extern const char* const kCp%dPatch[];\n' % e['cp'])
    idx.append('\nconst CodePageBlobEntry kCodePageBlobs[] = {\n')
    for e in entries:
        np = len(split_pieces(e['blob']))
        if e['patch']:
            patch = 'kCp%dPatch, %d' % (e['cp'], len(split_pieces(e['patch'])))
        else:
            patch = 'nullptr, 0'
        idx.append('    {%d, kCp%d, %d, %s, %d, %d, %s, %s},\n' % (
            e['cp'], e['cp'], np, patch, e['dbk'], e['ebk'],
            'true' if e['dbcs'] else 'false', 'true' if e['ascii'] else 'false'))
    idx.append('};\n\nconst uint32_t kCodePageBlobCount = %d;\n\n' % len(entries))
    idx.append('}  // namespace tables\n}  // namespace tarvex\n')
    write_if_changed(os.path.join(outdir, 'CodePageBlobIndex.cpp'), ''.join(idx))
    print('%d tables in %d blob files; left out: %s' % (
        len(entries), len(files), ', '.join(str(cp) for cp, _ in missing) or 'none'), file=sys.stderr)


if __name__ == '__main__':
    main()
