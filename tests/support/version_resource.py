#!/usr/bin/env python3
"""Reads the VERSIONINFO resource of Windows modules back from the files.
  version_resource.py FILE...            prints each file's fixed and string values
  version_resource.py --check ENTRY...   checks them; ENTRY is FILE=PRODUCT,VERSION,COMPANY
                                         [--vendor-version N] for Brisane.dll
                                         [--typelib-version X.Y] for Sonvex2.dll
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

RT_VERSION = '16'
FIXED_SIGNATURE = 0xFEEF04BD
REQUIRED = ('CompanyName', 'FileDescription', 'FileVersion', 'LegalCopyright', 'OriginalFilename',
            'ProductName', 'ProductVersion')


def align(offset):
    return (offset + 3) & ~3


def parse_block(blob, offset):
    """One version block: (key, value bytes, value length, type, children, end offset)."""
    length, value_length, kind = struct.unpack_from('<HHH', blob, offset)
    end = offset + length
    at = offset + 6
    key_end = at
    while blob[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = blob[at:key_end].decode('utf-16-le')
    at = align(key_end + 2)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = blob[at:at + value_bytes]
    at = align(at + value_bytes)
    children = []
    while at < end:
        child = parse_block(blob, at)
        children.append(child)
        at = align(child[-1])
    return key, value, value_length, kind, children, end


def read(path):
    """{'fixed': {...}, 'strings': {...}} of the file's version resource, or None."""
    blobs = [b for (t, _, _), b in pe_resources.resources(path).items() if t == RT_VERSION]
    if not blobs:
        return None
    key, value, _, _, children, _ = parse_block(blobs[0], 0)
    if key != 'VS_VERSION_INFO' or len(value) < 52:
        raise ValueError('malformed VS_VERSION_INFO')
    fields = struct.unpack_from('<13I', value)
    if fields[0] != FIXED_SIGNATURE:
        raise ValueError('VS_FIXEDFILEINFO signature 0x%08X' % fields[0])

    def quad(high, low):
        return '%d.%d.%d.%d' % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)

    fixed = {'FileVersion': quad(fields[2], fields[3]), 'ProductVersion': quad(fields[4], fields[5]),
             'FileType': fields[9]}
    strings = {}
    for child in children:
        if child[0] != 'StringFileInfo':
            continue
        for table in child[4]:
            for entry in table[4]:
                strings[entry[0]] = entry[1].decode('utf-16-le').rstrip('\0')
    return {'fixed': fixed, 'strings': strings}


def show(path, info):
    print('%s:' % os.path.basename(path))
    if info is None:
        print('  no version resource')
        return
    print('  fixed FileVersion %s, ProductVersion %s' % (info['fixed']['FileVersion'], info['fixed']['ProductVersion']))
    for name in sorted(info['strings']):
        print('  %-16s %s' % (name, info['strings'][name]))


def check(path, product, version, company, vendor_version=None, typelib_version=None):
    faults = []
    info = read(path)
    show(path, info)
    if info is None:
        return ['no version resource']
    strings, fixed = info['strings'], info['fixed']
    for name in REQUIRED:
        if not strings.get(name):
            faults.append('%s missing' % name)
    quad = version + '.0' * (3 - version.count('.'))
    for name in ('FileVersion', 'ProductVersion'):
        if strings.get(name) != version:
            faults.append('%s "%s", want "%s"' % (name, strings.get(name), version))
        if fixed[name] != quad:
            faults.append('fixed %s %s, want %s' % (name, fixed[name], quad))
    if strings.get('ProductName') != product:
        faults.append('ProductName "%s", want "%s"' % (strings.get('ProductName'), product))
    if strings.get('CompanyName') != company:
        faults.append('CompanyName "%s", want "%s"' % (strings.get('CompanyName'), company))
    if company not in strings.get('LegalCopyright', ''):
        faults.append('LegalCopyright does not name %s' % company)
    if strings.get('OriginalFilename', '').lower() != os.path.basename(path).lower():
        faults.append('OriginalFilename "%s" is not the file\'s name' % strings.get('OriginalFilename'))
    want_type = 2 if path.lower().endswith('.dll') else 1
    if fixed['FileType'] != want_type:
        faults.append('file type %d, want %d' % (fixed['FileType'], want_type))
    if vendor_version is not None:
        major, minor, patch = (int(p) for p in version.split('.')[:3])
        if major * 1000 + minor * 100 + patch * 10 != vendor_version:
            faults.append('version %s does not match the vendor version %d' % (version, vendor_version))
    if typelib_version is not None:
        if not version.startswith(typelib_version + '.'):
            faults.append('version %s does not match the type library\'s %s' % (version, typelib_version))
        typelib = [b for (t, n, _), b in pe_resources.resources(path).items() if t == 'TYPELIB']
        if not typelib or ('Sonvex %s Type Library' % typelib_version).encode() not in typelib[0]:
            faults.append('the embedded type library does not say Sonvex %s' % typelib_version)
    return faults


def main(argv):
    if not argv or argv[0] != '--check':
        for path in argv:
            show(path, read(path))
        return 0
    failed = checked = 0
    args = argv[1:]
    i = 0
    while i < len(args):
        path, entry = args[i].split('=', 1)
        product, version, company = entry.split(',', 2)
        extra = {}
        while i + 1 < len(args) and args[i + 1].startswith('--'):
            extra[args[i + 1][2:].replace('-', '_')] = args[i + 2]
            i += 2
        if 'vendor_version' in extra:
            extra['vendor_version'] = int(extra['vendor_version'])
        faults = check(path, product, version, company, **extra)
        for fault in faults:
            print('  FAULT: %s' % fault)
        failed += bool(faults)
        checked += 1
        i += 1
    print('%d module(s) checked, %d with faults' % (checked, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
