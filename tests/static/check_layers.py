#!/usr/bin/env python3
"""Include-direction check of the whole tree (ARCHITECTURE.md draws the layers):
    check_layers.py SOURCE_DIR

Every quoted #include of a source file is resolved the way the compiler finds it (beside the
including file, from the tree's root, or by a bare name through a part's include directories)
and must be written from the tree's root (only generated headers go by their name); it must
land in the including file's own folder or in a folder its layer may include; the
portable layers include no Windows or COM header at all. Prints each include that breaks the
rules and exits 1 if there is any. There are no exceptions: where a lower layer must reach the
one above it, it does so through an interface of its own layer that the upper one implements.
"""
import os
import re
import sys

# Folder -> the folders its files may include besides their own. A folder is a part of the tree
# (dsp/kernels, plugin/gui) or one program, test or benchmark folder (tools/vsthost, tests/fft).
PRODUCT = ["common/com", "common/audio", "common/text", "dsp/kernels", "dsp/spectral", "dsp/resampler", "dsp/comserver",
           "plugin/vst", "plugin/engine", "plugin/gui", "plugin/editor", "plugin/bridge"]
ALLOWED = {
    "common/com": [],
    "common/audio": [],
    "common/text": [],
    "dsp/kernels": [],
    "dsp/spectral": ["dsp/kernels"],
    "dsp/resampler": ["dsp/kernels", "common/audio"],
    "dsp/comserver": ["dsp/spectral", "dsp/resampler", "dsp/kernels", "common/com"],
    "plugin/vst": [],
    "plugin/engine": [],
    "plugin/gui": ["plugin/vst", "common/com"],
    "plugin/editor": ["plugin/gui", "plugin/vst", "common/com"],
    "plugin/bridge": ["plugin/editor", "plugin/gui", "plugin/engine", "plugin/vst", "common/com", "common/audio",
                      "common/text"],
    # Examples are written as a user would: the server through its interface header, the
    # plug-in through the VST declarations.
    "examples/*": ["dsp/comserver/sonvex_h.h", "plugin/vst", "plugin/engine", "common/com"],
    # Programs see the server through its interface header only (sonvex_h.h, generated from
    # dsp/comserver/sonvex.idl), and share code through tools/common; a whole conversion is
    # sized by the resampler's own counting rule, a header that includes nothing of ours.
    "tools/*": ["tools/common", "dsp/comserver/sonvex_h.h", "dsp/resampler/output_count.h", "plugin/vst",
                "plugin/engine", "common/com", "common/text"],
    "tests/support": PRODUCT + ["tools/*", "examples/*"],
    "tests/*": PRODUCT + ["tools/*", "examples/*", "tests/support"],
    "bench/*": PRODUCT + ["tests/support"],
}

# The portable layers, and the platform headers they do without.
PORTABLE = ["common/audio", "dsp/kernels", "dsp/spectral", "dsp/resampler"]
PLATFORM_HEADER = re.compile(r'^\s*#\s*include\s*<(windows|objbase|oleauto|ocidl|oaidl|unknwn|ole2|wtypes|'
                             r'combaseapi|winbase|malloc)\.h>', re.MULTILINE | re.IGNORECASE)

# Headers the build generates outside the source tree, with the folder they belong to.
GENERATED = {"sonvex_h.h": "dsp/comserver/sonvex_h.h", "engine_interfaces_h.h": "plugin/engine/engine_interfaces_h.h"}

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp", ".rc", ".def")
SKIPPED_TOP = {".git", "build", "out"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The folder rule that governs a tree-relative path, or None outside every folder."""
    parts = path.split("/")
    two = "/".join(parts[:2])
    if two in ALLOWED:
        return two
    if len(parts) > 2 and parts[0] + "/*" in ALLOWED:
        return two
    return None


def allowed(including_folder, target):
    if target.startswith(including_folder + "/"):
        return True
    rule = including_folder if including_folder in ALLOWED else including_folder.split("/")[0] + "/*"
    for entry in ALLOWED[rule]:
        if entry.endswith("/*"):
            if target.startswith(entry[:-1]):
                return True
        elif target == entry or target.startswith(entry + "/"):
            return True
    return False


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    files = []
    for directory, subdirs, names in os.walk(root):
        relative = os.path.relpath(directory, root)
        if relative == ".":
            subdirs[:] = [d for d in subdirs if d not in SKIPPED_TOP and not d.startswith("build-")]
        files += [os.path.normpath(os.path.join(relative, n)).replace(os.sep, "/")
                  for n in names if n.endswith(SOURCE_SUFFIXES)]
    known = set(files)
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)

    violations = []
    for f in sorted(files):
        folder = folder_of(f)
        if folder is None:
            continue
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            content = text.read()
        includes = INCLUDE.findall(content)
        if folder in PORTABLE:
            for header in PLATFORM_HEADER.findall(content):
                violations.append(f"{f}: includes <{header}.h>, but {folder} is portable C++")
        for name in includes:
            # One include style: from the tree's root, so that a name says where the file lies.
            if name not in known and name not in GENERATED:
                violations.append(f'{f}: includes "{name}", which is not a path from the tree\'s root')
            beside = os.path.normpath(os.path.join(os.path.dirname(f), name)).replace(os.sep, "/")
            if beside in known:
                candidates = [beside]
            elif name in known:
                candidates = [name]
            elif name in GENERATED:
                candidates = [GENERATED[name]]
            else:
                # A bare name found through include directories: any file of that name may be it.
                candidates = [c for c in by_name.get(os.path.basename(name), []) if c.endswith("/" + name)]
            if not candidates or any(allowed(folder, c) for c in candidates):
                continue
            target_folder = folder_of(candidates[0]) or os.path.dirname(candidates[0])
            violations.append(f'{f}: includes "{name}" ({candidates[0]}), but {folder} may not include {target_folder}')

    for v in violations:
        print(v)
    print(f"{len(files)} files, {len(violations)} include(s) against the layers")
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
