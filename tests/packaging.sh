#!/usr/bin/env bash
# packaging.sh -- checks of the player's side of the project, run by ctest.
#   packaging.sh man SOURCE_DIR
#       the man page shows no groff warning and names every key of the
#       sample config.conf
#   packaging.sh play SOURCE_DIR BUILD_DIR
#       the README's build in BUILD_DIR, with GoogleTest and libvterm hidden,
#       builds the game without -Werror; cpack makes a .deb and a tarball
#       that hold the game, its man page and the sample config
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
empty="$build.empty-pkgconfig"
rm -rf "$build" "$empty"
mkdir -p "$empty"
PKG_CONFIG_PATH="$empty" PKG_CONFIG_LIBDIR="$empty" cmake -S "$src" -B "$build" \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$build.configure.log" 2>&1 ||
    fail "configuring failed: $(cat "$build.configure.log")"
grep -c 'tests off' "$build.configure.log" | grep -qx 1 ||
    fail "configuring did not say once that the tests are off: $(cat "$build.configure.log")"
! grep -rq -- -Werror "$build/CMakeFiles/zelvane.dir" || fail "the player's build has -Werror"
cmake --build "$build" -j"$(nproc)" >"$build.build.log" 2>&1 || fail "build failed: $(cat "$build.build.log")"
[ -x "$build/zelvane" ] || fail "no game in $build"

(cd "$build" && cpack -G DEB && cpack -G TGZ) >"$build.cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$build.cpack.log")"
deb=$(echo "$build"/zelvane_*.deb)
tgz=$(echo "$build"/zelvane-*.tar.gz)
[ -f "$deb" ] && [ -f "$tgz" ] || fail "no .deb or tarball in $build"
contents=$(dpkg-deb -c "$deb")
tarball=$(tar -tzf "$tgz")
for file in bin/zelvane share/man/man6/zelvane.6 share/zelvane/config.conf \
    share/doc/zelvane/README.md; do
    grep -q "\./usr/$file\$" <<<"$contents" || fail "$deb lacks /usr/$file: $contents"
    grep -q "/$file\$" <<<"$tarball" || fail "$tgz lacks $file: $tarball"
done
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "$deb is not in section games"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "$deb has no computed dependencies"
echo "play build: tests off, no -Werror; $(basename "$deb") and $(basename "$tgz") hold the game"
