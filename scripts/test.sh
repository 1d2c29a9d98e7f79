#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the tests need when it is missing, builds everything under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v pkg-config >/dev/null || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/vterm.h ] || need+=(libvterm-dev)
# Unicode's data, against which the committed width tables are checked.
[ -f /usr/share/unicode/EastAsianWidth.txt ] || need+=(unicode-data)
# The packaging checks: the .deb's dependencies, and the man page.
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
command -v groff >/dev/null || need+=(groff-base)
# What distributions check the packages with.
command -v lintian >/dev/null || need+=(lintian)
command -v desktop-file-validate >/dev/null || need+=(desktop-file-utils)
command -v appstreamcli >/dev/null || need+=(appstream)
# The Windows build: cross-compiler, GoogleTest's sources, and wine to run it.
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
[ -d /usr/src/googletest ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
# The browser build: Emscripten, Debian's Chromium to play it headless, a
# CJK font for its screenshot, and npm for xterm.js and puppeteer-core.
command -v emcmake >/dev/null || need+=(emscripten)
command -v chromium >/dev/null || need+=(chromium)
command -v npm >/dev/null || need+=(npm)
[ -f /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc ] || need+=(fonts-noto-cjk)
# The GBK locale's sources, for localedef; the workflows' test reads them
# with PyYAML.
[ -f /usr/share/i18n/charmaps/GBK.gz ] || need+=(locales)
python3 -c 'import yaml' 2>/dev/null || need+=(python3 python3-yaml)
# The fuzz targets need clang with its libFuzzer runtime; without root they
# are skipped rather than required.
fuzz=yes
if ! command -v clang++ >/dev/null || ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
        need+=(clang libclang-rt-14-dev)
    else
        fuzz=no
    fi
fi
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "test.sh: missing packages: ${need[*]}" >&2
        echo "test.sh: install them as root: apt-get install -y ${need[*]}" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

# The Windows build, cross-built into build-test/win with its own wine
# prefix; the native test program runs both under wine. Its zip is packed
# and looked into.
cmake -S . -B build-test/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DZELVANE_TESTS=ON \
    -DZELVANE_WERROR=ON >/dev/null
cmake --build build-test/win -j"$(nproc)"
if [ ! -f build-test/win/wineprefix/system.reg ]; then
    WINEPREFIX="$PWD/build-test/win/wineprefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1
fi
(cd build-test/win && cpack -G ZIP >/dev/null)
python3 - build-test/win/zelvane-*-windows-x86_64.zip <<'EOF'
import sys, zipfile
names = {n.split("/")[-1] for n in zipfile.ZipFile(sys.argv[1]).namelist()}
missing = {"zelvane.exe", "config.conf", "README.txt", "LICENSE.txt"} - names
sys.exit("test.sh: the Windows zip lacks %s" % ", ".join(sorted(missing)) if missing else 0)
EOF
# The exe carries its icon and its version resource.
resources=$(x86_64-w64-mingw32-windres -i build-test/win/zelvane.exe -O rc 2>/dev/null)
for want in RT_GROUP_ICON VERSIONINFO '"ProductVersion", "1.0.0"'; do
    grep -qF "$want" <<<"$resources" || { echo "test.sh: zelvane.exe lacks $want" >&2; exit 1; }
done

# The play build as other Unixes' compilers see it: clang with its warnings
# as errors (for Apple clang's), and strict POSIX without GNU extensions.
if command -v clang++ >/dev/null; then
    cmake -S . -B build-test/clang -DCMAKE_CXX_COMPILER=clang++ -DZELVANE_TESTS=OFF -DZELVANE_WERROR=ON >/dev/null
    cmake --build build-test/clang --target zelvane -j"$(nproc)"
fi
cmake -S . -B build-test/posix -DZELVANE_TESTS=OFF -DZELVANE_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=-U_GNU_SOURCE -D_POSIX_C_SOURCE=200809L" >/dev/null
cmake --build build-test/posix --target zelvane -j"$(nproc)"

# The page in build-web/web, with the terminal and the test driver from the
# lock file; the native tests play it in Chromium.
npm ci --no-audit --no-fund --loglevel=error >/dev/null
emcmake cmake -S . -B build-web -DZELVANE_WERROR=ON >/dev/null
cmake --build build-web -j"$(nproc)"

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DZELVANE_SANITIZE=ON -DZELVANE_TESTS=ON \
    -DZELVANE_WERROR=ON -DZELVANE_WIN_BUILD="$PWD/build-test/win" \
    -DZELVANE_WEB_BUILD="$PWD/build-web" >/dev/null
cmake --build build-test -j"$(nproc)"
(cd build-test && ctest --output-on-failure --timeout 300) | tee build-test/ctest.log

# Then every fuzz target briefly, so that they keep compiling and holding.
if [ "$fuzz" = yes ]; then
    bash scripts/fuzz.sh --runs 5000
else
    echo "test.sh: fuzz targets skipped: clang and libclang-rt-14-dev are not installed"
fi
# The test count stays the last word.
grep -E 'tests passed|tests failed' build-test/ctest.log | tail -1
