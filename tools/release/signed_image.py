#!/usr/bin/env python3
"""Prove that a signed updater is the unsigned build plus a signature.

    signed_image.py UNSIGNED SIGNED

Authenticode signing changes exactly three things in a PE image: it appends
a certificate table (after zero padding to an 8-byte boundary), points the
certificate data directory entry at it, and rewrites the optional header's
checksum.  Every other byte of the signed file must be the unsigned build's
byte at the same offset; this compares all of them.  It then reads the
resource tree of both files and compares every resource, so the report names
the payloads it found equal.  Exit 0 when the files agree, 1 with the reasons
when they do not, 2 for a wrong command line.
"""

import hashlib
import struct
import sys

WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002


class Bad(Exception):
    pass


def headers(data, what):
    """Offsets of the checksum and the certificate directory entry, the
    entry's value, and the section table."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise Bad("%s: no MZ header" % what)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise Bad("%s: no PE signature" % what)
    nsec, optsize = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    if struct.unpack_from("<H", data, opt)[0] != 0x10B:
        raise Bad("%s: not a PE32 image" % what)
    if struct.unpack_from("<I", data, opt + 92)[0] <= 4:
        raise Bad("%s: no certificate data directory entry" % what)
    # PE32: CheckSum at 64 of the optional header, the data directories from
    # 96, the certificate table (security) directory the fifth of them
    cert_entry = opt + 96 + 4 * 8
    sections = []
    for i in range(nsec):
        s = opt + optsize + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))
    rsrc = struct.unpack_from("<II", data, opt + 96 + 2 * 8)
    return {"checksum": opt + 64, "cert_entry": cert_entry,
            "cert": struct.unpack_from("<II", data, cert_entry), "sections": sections, "rsrc": rsrc}


def resources(data, h, what):
    """Every resource as {(type, name, language): bytes}; names are ints or
    strings as the resource directory holds them."""
    rva, size = h["rsrc"]
    if not rva:
        raise Bad("%s: no resource directory" % what)

    def offset(r):
        for va, vsize, rawptr in h["sections"]:
            if va <= r < va + vsize:
                return rawptr + r - va
        raise Bad("%s: RVA 0x%x lies in no section" % (what, r))

    base = offset(rva)

    def entry_name(raw):
        if raw & 0x80000000:
            p = base + (raw & 0x7FFFFFFF)
            n = struct.unpack_from("<H", data, p)[0]
            return data[p + 2:p + 2 + 2 * n].decode("utf-16-le")
        return raw

    def walk(dir_off, path, out):
        named, ids = struct.unpack_from("<HH", data, base + dir_off + 12)
        for i in range(named + ids):
            raw_name, target = struct.unpack_from("<II", data, base + dir_off + 16 + 8 * i)
            key = path + (entry_name(raw_name),)
            if target & 0x80000000:
                if len(key) >= 3:
                    raise Bad("%s: resource tree deeper than three levels" % what)
                walk(target & 0x7FFFFFFF, key, out)
            else:
                data_rva, data_size = struct.unpack_from("<II", data, base + target)
                start = offset(data_rva)
                out[key] = data[start:start + data_size]
        return out

    return walk(0, (), {})


def compare(unsigned, signed):
    """(problems, summary) for the two images."""
    hu, hs = headers(unsigned, "unsigned"), headers(signed, "signed")
    problems = []
    if hu["cert"] != (0, 0):
        problems.append("the unsigned build already has a certificate table")
    cert_off, cert_size = hs["cert"]
    n = len(unsigned)
    if cert_size == 0:
        return ["the signed file has no certificate table"], None
    if cert_off != (n + 7) // 8 * 8:
        problems.append("certificate table at %d, not right after the unsigned image (%d bytes)" % (cert_off, n))
    if cert_off + cert_size != len(signed):
        problems.append("%d bytes follow the certificate table" % (len(signed) - cert_off - cert_size))
    if len(signed) < cert_off or any(signed[n:cert_off]):
        problems.append("the padding before the certificate table is not zeros")
    if cert_off + 8 <= len(signed):
        length, revision, ctype = struct.unpack_from("<IHH", signed, cert_off)
        if revision != WIN_CERT_REVISION_2_0 or ctype != WIN_CERT_TYPE_PKCS_SIGNED_DATA or length > cert_size:
            problems.append("the certificate table is not one PKCS#7 signature "
                            "(length %d, revision 0x%x, type %d)" % (length, revision, ctype))

    # every byte of the unsigned image but the two fields signing rewrites
    if len(signed) < n:
        problems.append("the signed file is shorter than the unsigned build")
    else:
        mine, theirs = bytearray(unsigned), bytearray(signed[:n])
        for field, size in ((hs["checksum"], 4), (hs["cert_entry"], 8)):
            mine[field:field + size] = theirs[field:field + size] = bytes(size)
        if mine != theirs:
            differ = [i for i in range(n) if mine[i] != theirs[i]]
            problems.append("%d bytes of the image differ from the unsigned build, the first at offset 0x%x"
                            % (len(differ), differ[0]))

    ru, rs = resources(unsigned, hu, "unsigned"), resources(signed, hs, "signed")
    if ru.keys() != rs.keys():
        problems.append("the resources differ: %s only in the unsigned build, %s only in the signed file"
                        % (sorted(map(str, ru.keys() - rs.keys())), sorted(map(str, rs.keys() - ru.keys()))))
    changed = sorted(str(k) for k in ru.keys() & rs.keys() if ru[k] != rs[k])
    if changed:
        problems.append("resources with other bytes in the signed file: %s" % ", ".join(changed))
    payloads = [k for k in rs if k[0] == "GZ"]
    summary = ("the signed file is the unsigned build (%d bytes) byte for byte outside the checksum and the "
               "certificate entry, plus a %d-byte certificate table; its %d resources, %d of them GZ payloads "
               "(%d bytes), are the unsigned build's"
               % (n, cert_size, len(rs), len(payloads), sum(len(rs[k]) for k in payloads)))
    return problems, summary


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        unsigned = f.read()
    with open(argv[2], "rb") as f:
        signed = f.read()
    try:
        problems, summary = compare(unsigned, signed)
    except (Bad, struct.error) as ex:
        problems, summary = [str(ex)], None
    for p in problems:
        print("signed_image: %s" % p, file=sys.stderr)
    if problems:
        return 1
    print(summary)
    print("unsigned build sha256 %s" % hashlib.sha256(unsigned).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
