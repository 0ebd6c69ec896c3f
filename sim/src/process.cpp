// Process-wide Windows services: the last error, the error mode, the end of
// the process, and the C runtime's allocator as the program sees it.
#include <cstdlib>

#include "computer.h"

extern "C" {

DWORD WINAPI GetLastError(void) { return sim::computer().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { sim::computer().last_error = dwErrCode; }

UINT WINAPI SetErrorMode(UINT uMode) {
    sim::call_fails("SetErrorMode");  // it cannot fail; logged for the order of calls
    UINT previous = sim::computer().error_mode;
    sim::computer().error_mode = uMode;
    return previous;
}

void WINAPI ExitProcess(UINT uExitCode) {
    sim::call_fails("ExitProcess");
    throw sim::ProcessExit{uExitCode};
}

// The linker routes malloc, calloc and realloc here (--wrap), so that a test
// can make the N-th allocation fail as if memory had run out.
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);

static bool allocation_fails() {
    sim::Computer& pc = sim::computer();
    ++pc.allocation_count;
    return pc.fail_allocation_nth != 0 && pc.allocation_count == pc.fail_allocation_nth;
}

static void* remember(void* block, size_t size) {
    sim::Computer& pc = sim::computer();
    if (block != nullptr && pc.program_running) pc.program_blocks[block] = size;
    if (block != nullptr && pc.current_thread != nullptr) pc.thread_blocks[block] = pc.current_thread;
    return block;
}

void* __wrap_malloc(size_t size) { return allocation_fails() ? nullptr : remember(__real_malloc(size), size); }

void* __wrap_calloc(size_t count, size_t size) {
    return allocation_fails() ? nullptr : remember(__real_calloc(count, size), count * size);
}

void* __wrap_realloc(void* block, size_t size) {
    if (allocation_fails()) return nullptr;  // the old block stays as it was
    auto& blocks = sim::computer().program_blocks;
    auto known = blocks.find(block);
    size_t old_size = known != blocks.end() ? known->second : 0;
    if (known != blocks.end()) blocks.erase(known);
    void* moved = __real_realloc(block, size);
    if (moved == nullptr && old_size != 0) blocks[block] = old_size;
    return remember(moved, size);
}

void __wrap_free(void* block) {
    sim::Computer& pc = sim::computer();
    auto known = block != nullptr ? pc.program_blocks.find(block) : pc.program_blocks.end();
    if (known != pc.program_blocks.end()) {
        sim::check_freed_block(block, known->second);
        pc.program_blocks.erase(known);
    }
    if (block != nullptr) pc.thread_blocks.erase(block);
    __real_free(block);
}

}  // extern "C"
