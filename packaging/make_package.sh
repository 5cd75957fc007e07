#!/usr/bin/env bash
# Makes one architecture's installer and zip from a built Windows tree:
#   make_package.sh TREE BUILD_DIR OUT_DIR [RELEASE_VERSION]
# TREE is win32 or win64. Lays the tree's installation out in BUILD_DIR/package, or in
# $PACKAGE_WORK (cmake --install), then writes OUT_DIR/sonvex2-brisane-VERSION-TREE-setup.exe and
# OUT_DIR/sonvex2-brisane-VERSION-TREE.zip. RELEASE_VERSION defaults to the build's; an older
# one makes the package that the upgrade test installs first.
set -euo pipefail
tree=$1 build=$(realpath "$2") out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
out=$(realpath "$out")
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version_of() { sed -n "s/^set($1 \([0-9.]*\))$/\1/p" "$here/../cmake/SonvexVersion.cmake"; }
release=${4:-$(version_of SONVEX_RELEASE_VERSION)}
name=sonvex2-brisane-$release-$tree

work=${PACKAGE_WORK:-$build/package}
stage=$work/stage
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$stage" >/dev/null
# MinGW import libraries: nothing a COM client or a host links against.
rm -rf "$stage/lib"
[ -f "$stage/Brisane.dll" ] || { echo "make_package: $stage has no Brisane.dll" >&2; exit 1; }

# The installer's file lists: every laid-out file but the plug-in, which goes to the plug-in
# folder. Removal runs deepest folder first.
files=$work/files
mkdir -p "$files"
(
  cd "$stage"
  find . -type d | sed 's|^\./\?||' | sort | while read -r dir; do
    win=${dir//\//\\}
    printf 'SetOutPath "$INSTDIR%s"\n' "${win:+\\$win}"
    find "./$dir" -maxdepth 1 -type f ! -path ./Brisane.dll | sort | while read -r f; do
      printf 'File "%s"\n' "$stage/${f#./}"
    done
  done >"$files/install.nsh"
  find . -type f ! -path ./Brisane.dll | sed 's|^\./||' | sort | while read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done >"$files/uninstall.nsh"
  find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while read -r dir; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${dir//\//\\}"
  done >>"$files/uninstall.nsh"
)

makensis -V2 -DTREE="$tree" -DVERSION="$release" -DSTAGE="$stage" -DFILES="$files" \
  -DOUTFILE="$out/$name-setup.exe" "$here/installer.nsi" >"$work/makensis.log" \
  || { cat "$work/makensis.log"; exit 1; }

# The zip: the same files, the plug-in in VstPlugins/.
zipdir=$work/zip/$name
mkdir -p "$zipdir/VstPlugins"
cp -r "$stage/." "$zipdir/"
mv "$zipdir/Brisane.dll" "$zipdir/VstPlugins/"
rm -f "$out/$name.zip"
(cd "$work/zip" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
rm -rf "$work/zip"
echo "$out/$name-setup.exe"
