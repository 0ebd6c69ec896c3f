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

# decide_32bit: the one answer to "does this kernel run 32-bit programs?",
# exported as MORVIK_32BIT ("yes", or "no: WHY") and found once per run: the
# scripts, setup and the Python harness (tests/wine/winebox.py asks here) all
# act on it. MORVIK_NO_32BIT=1 answers "no" on any machine, to try the fallback.
decide_32bit() {
    if [ -n "${MORVIK_NO_32BIT:-}" ] && [ "$MORVIK_NO_32BIT" != 0 ]; then
        MORVIK_32BIT="no: turned off by MORVIK_NO_32BIT"
    elif [ -z "${MORVIK_32BIT:-}" ]; then
        MORVIK_32BIT="no: not supported by this kernel"
        if kernel_runs_32bit; then MORVIK_32BIT=yes; fi
    fi
    export MORVIK_32BIT
}

# Wine's 32-bit loader answers for itself once installed; before that, a
# 96-byte i386 program that only exits with status 32 (written to the build
# folder: /tmp may forbid running programs). Each with a time limit: Wine's
# 32-bit half was seen to hang under a qemu-user binfmt handler, and a hang
# means no.
kernel_runs_32bit() {
    local loader=/usr/lib/wine/wine probe status=0
    if [ -x "$loader" ]; then
        timeout -k 5 20 "$loader" --version >/dev/null 2>&1
        return
    fi
    mkdir -p "$BUILD"
    probe=$(mktemp "$BUILD/probe-32bit.XXXXXX")
    # ELF header, one loadable segment at 0x08048000, then: mov eax,1; mov ebx,32; int 0x80 (exit(32)).
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0'\
'\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0'\
'\x05\0\0\0\0\x10\0\0\xb8\x01\0\0\0\xbb\x20\0\0\0\xcd\x80' >"$probe"
    chmod +x "$probe"
    timeout -k 5 20 "$probe" >/dev/null 2>&1 || status=$?
    rm -f "$probe"
    [ "$status" -eq 32 ]
}

# say_32bit: the answer, as the test and demo scripts print it.
say_32bit() {
    if [ "$MORVIK_32BIT" = yes ]; then
        echo "32-bit programs: run by this kernel — the x86 exe is run under Wine too"
    else
        echo "32-bit programs: ${MORVIK_32BIT#no: } — the x86 exe is built but not run"
    fi
}

heading() { printf '\n== %s\n' "$*"; }
