#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# packaging.sh -- checks of the player's side of the project, run by ctest.
#   packaging.sh man SOURCE_DIR
#       the man page shows no groff warning and names every key of the
#       sample config.conf
#   packaging.sh play SOURCE_DIR BUILD_DIR
#       the README's build in BUILD_DIR, with GoogleTest and libvterm hidden,
#       builds the game without -Werror; `cmake --install` puts it in bin/;
#       cpack makes a .deb and a tarball that hold the same files, the game
#       in games/; lintian, desktop-file-validate and appstreamcli find
#       nothing to warn about
#   packaging.sh repro SOURCE_DIR BUILD_DIR
#       two builds, one of them of a copy of the sources elsewhere, with one
#       SOURCE_DATE_EPOCH, make byte-identical packages
set -euo pipefail
what=$1 src=$2
fail() {
    echo "packaging.sh: $*" >&2
    exit 1
}

if [ "$what" = man ]; then
    page="$src/doc/zelvane.6"
    warnings=$(groff -man -z -ww "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
    for key in $(grep -o '^[a-z_]*=' "$src/config/config.conf"); do
        grep -q "^\.BI ${key%=}= " "$page" || fail "$page does not describe ${key%=}"
    done
    echo "man page: no warning, every key described"
    exit 0
fi

build=$3

# The README's build of the sources in $1 into $2, without the test
# libraries, and its .deb and tarball.
play_build() {
    local from=$1 to=$2 empty="$2.empty-pkgconfig"
    rm -rf "$to" "$empty"
    mkdir -p "$empty"
    PKG_CONFIG_PATH="$empty" PKG_CONFIG_LIBDIR="$empty" cmake -S "$from" -B "$to" \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$to.configure.log" 2>&1 ||
        fail "configuring failed: $(cat "$to.configure.log")"
    cmake --build "$to" -j2 >"$to.build.log" 2>&1 || fail "build failed: $(cat "$to.build.log")"
    (cd "$to" && cpack -G DEB && cpack -G TGZ) >"$to.cpack.log" 2>&1 ||
        fail "cpack failed: $(cat "$to.cpack.log")"
    deb=$(echo "$to"/zelvane_*.deb)
    tgz=$(echo "$to"/zelvane-*.tar.gz)
    [ -f "$deb" ] && [ -f "$tgz" ] || fail "no .deb or tarball in $to"
}

if [ "$what" = repro ]; then
    export SOURCE_DATE_EPOCH=1700000000
    play_build "$src" "$build.a"
    first=("$deb" "$tgz")
    # The same files elsewhere: the tracked ones and the new ones of a
    # checkout, or all of them.
    copy="$build.src"
    rm -rf "$copy" && mkdir -p "$copy"
    if git -C "$src" rev-parse 2>/dev/null; then
        (cd "$src" && git ls-files -co --exclude-standard -z |
            tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$copy"
    else
        cp -a "$src/." "$copy"
    fi
    play_build "$copy" "$build.b/deeper"
    cmp "${first[0]}" "$deb" || fail "two builds made different packages: ${first[0]} $deb"
    cmp "${first[1]}" "$tgz" || fail "two builds made different tarballs: ${first[1]} $tgz"
    echo "reproducible: $(basename "$deb") and $(basename "$tgz") alike from two places"
    exit 0
fi

# A umask that would hide everything from everyone else.
(umask 077 && play_build "$src" "$build")
deb=$(echo "$build"/zelvane_*.deb) tgz=$(echo "$build"/zelvane-*.tar.gz)
grep -c 'tests off' "$build.configure.log" | grep -qx 1 ||
    fail "configuring did not say once that the tests are off: $(cat "$build.configure.log")"
! grep -rq -- -Werror "$build/CMakeFiles/zelvane.dir" || fail "the player's build has -Werror"
[ -x "$build/zelvane" ] || fail "no game in $build"
cmake --install "$build" --prefix "$build.install" >/dev/null
[ -x "$build.install/bin/zelvane" ] && [ ! -e "$build.install/games" ] ||
    fail "cmake --install did not put the game in bin/: $(find "$build.install")"

contents=$(dpkg-deb -c "$deb")
tarball=$(tar -tzf "$tgz")
files=(games/zelvane share/man/man6/zelvane.6.gz share/zelvane/config.conf
    share/doc/zelvane/README.md share/doc/zelvane/copyright share/doc/zelvane/changelog.gz
    share/applications/zelvane.desktop share/icons/hicolor/scalable/apps/zelvane.svg
    share/metainfo/org.example.zelvane.metainfo.xml)
for file in "${files[@]}"; do
    grep -q "\./usr/$file\$" <<<"$contents" || fail "$deb lacks /usr/$file: $contents"
    grep -q "/$file\$" <<<"$tarball" || fail "$tgz lacks $file: $tarball"
done
[ "$(grep -c -v '/$' <<<"$contents")" -eq ${#files[@]} ] &&
    [ "$(grep -c -v '/$' <<<"$tarball")" -eq ${#files[@]} ] ||
    fail "the packages hold other files: $contents $tarball"
# 755 for directories and the game, 644 for the rest, under that umask.
bad=$(awk '!(($1 ~ /^d/ || $6 ~ /games\/zelvane$/) ? $1 == "drwxr-xr-x" || $1 == "-rwxr-xr-x" : $1 == "-rw-r--r--")' <<<"$contents")
[ -z "$bad" ] || fail "$deb has other modes than 755 and 644: $bad"
for gz in man/man6/zelvane.6.gz doc/zelvane/changelog.gz; do
    [ "$(dd if="$build.install/share/$gz" bs=1 skip=3 count=1 2>/dev/null | od -An -tu1 | tr -d ' ')" = 0 ] ||
        fail "$gz keeps a name or time (not gzip -n)"
done
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "$deb is not in section games"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "$deb has no computed dependencies"

# What distributions run on it.
tags=$(lintian --allow-root --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1) ||
    fail "lintian: $tags"
desktop-file-validate "$build.install/share/applications/zelvane.desktop" ||
    fail "desktop-file-validate finds fault with the desktop entry"
appstreamcli validate --no-net --pedantic "$build.install/share/metainfo/org.example.zelvane.metainfo.xml" ||
    fail "appstreamcli finds fault with the AppStream data"
echo "play build: tests off, no -Werror; $(basename "$deb") and $(basename "$tgz") hold the game, lintian and the validators are content"
