#!/usr/bin/env python3
"""Lists the resources of a PE file as "TYPE NAME LANGUAGE" lines, or with TYPE and NAME given
writes that resource's bytes to standard output."""
import struct
import sys


def sections(data):
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE file')
    count = struct.unpack_from('<H', data, pe + 6)[0]
    optional_size = struct.unpack_from('<H', data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from('<II', data, directories + 2 * 8)
    table = optional + optional_size
    result = []
    for i in range(count):
        name, vsize, rva, rawsize, rawptr = struct.unpack_from('<8sIIII', data, table + 40 * i)
        result.append((rva, max(vsize, rawsize), rawptr))
    return rsrc_rva, result


def rva_to_offset(rva, secs):
    for start, size, raw in secs:
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError('rva outside sections')


def entries(data, base, offset):
    named, ids = struct.unpack_from('<HH', data, offset + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from('<II', data, offset + 16 + 8 * i)
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            length = struct.unpack_from('<H', data, at)[0]
            key = data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
        else:
            key = str(name)
        yield key, target


def resources(path):
    """Every resource of the PE file: {(type, name, language): bytes}, ids as decimal text."""
    data = open(path, 'rb').read()
    rsrc_rva, secs = sections(data)
    found = {}
    if rsrc_rva == 0:
        return found
    base = rva_to_offset(rsrc_rva, secs)
    for type_name, t in entries(data, base, base):
        for res_name, n in entries(data, base, base + (t & 0x7FFFFFFF)):
            for lang, leaf in entries(data, base, base + (n & 0x7FFFFFFF)):
                rva, size = struct.unpack_from('<II', data, base + leaf)
                off = rva_to_offset(rva, secs)
                found[(type_name, res_name, lang)] = data[off:off + size]
    return found


def main():
    found = resources(sys.argv[1])
    if len(sys.argv) == 4:
        for (t, n, _), blob in found.items():
            if t == sys.argv[2] and n == sys.argv[3]:
                sys.stdout.buffer.write(blob)
                return 0
        return 1
    for t, n, lang in sorted(found):
        print(t, n, lang)
    return 0


if __name__ == '__main__':
    sys.exit(main())
