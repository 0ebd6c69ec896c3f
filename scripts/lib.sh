# Shared by the scripts: where things are, and how the builds are made.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${MORVIK_BUILD_DIR:-$ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    mkdir -p "$dir"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 ||
            { cat "$dir.configure.log"; return 1; }
    fi
    cmake --build "$dir" -j "$JOBS" >"$dir.build.log" 2>&1 || { cat "$dir.build.log"; return 1; }
}

build_native() { configure_and_build "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug; }
build_sanitize() { configure_and_build "$BUILD/sanitize" -DCMAKE_BUILD_TYPE=Debug -DMORVIK_SANITIZE=ON; }
build_fuzz() {
    CC=clang CXX=clang++ configure_and_build "$BUILD/fuzz" -DCMAKE_BUILD_TYPE=Debug -DMORVIK_FUZZ=ON -DMORVIK_TESTS=OFF
}
# build_windows [FOLDER [cmake options...]]: both exes, in FOLDER/win64 and
# FOLDER/win32 (FOLDER defaults to the build folder).
build_windows() {
    local folder=${1:-$BUILD}
    shift || true
    configure_and_build "$folder/win64" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" "$@"
    configure_and_build "$folder/win32" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" "$@"
}

# wine_env NAME: a private Wine prefix under the build folder; nothing is
# shared with the user's own.
wine_env() {
    export WINEPREFIX="$BUILD/wine/$1"
    export WINEDEBUG=-all
    export LANG=C.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

heading() { printf '\n== %s\n' "$*"; }
