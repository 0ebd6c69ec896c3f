// Where the exe starts, in place of the C runtime's start-up code, which
// brings TLS callbacks, pseudo-relocations and exception filters this
// program never needs, and a fifth of the file. msvcrt.dll still splits the
// command line exactly as every C program on Windows gets it; global
// constructors still run; wmain's result ends the process.
#include <windows.h>

#include "base/memory.h"

extern "C" int wmain(int argc, wchar_t** argv);

// msvcrt.dll's own start-up call, as the C runtime makes it.
struct StartupInfo {
    int new_mode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                                      StartupInfo* info);

// The linker's list of global constructors: a count (or -1), the
// constructors, a null.
typedef void (*Constructor)();
extern "C" Constructor __CTOR_LIST__[];

void run_global_constructors() {
    size_t count = reinterpret_cast<size_t>(__CTOR_LIST__[0]);
    if (count == static_cast<size_t>(-1)) {
        for (count = 0; __CTOR_LIST__[count + 1] != nullptr; ++count) {
        }
    }
    for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();  // in the order the C runtime runs them
}

extern "C" void __cdecl morvik_start() {
    int argc = 0;
    wchar_t** argv = nullptr;
    wchar_t** env = nullptr;
    StartupInfo info = {0};
    // No wildcard expansion: "*" is a printer name like any other.
    if (__wgetmainargs(&argc, &argv, &env, 0, &info) < 0) out_of_memory();  // no memory for the arguments
    run_global_constructors();
    ExitProcess(static_cast<UINT>(wmain(argc, argv)));
}
