#include "base/memory.h"

#include <stdlib.h>
#include <windows.h>

void out_of_memory() {
    ExitProcess(EXIT_OUT_OF_MEMORY);
}

void* allocate(size_t size) {
    void* block = malloc(size);
    if (block == nullptr) out_of_memory();
    return block;
}
