// Threads, as the program uses them to look names up while it waits for
// other things: CreateThread runs the thread's function to its end at once,
// on a clock of the thread's own that starts at the creation time and moves
// only with the thread's own waits; the thread ends at that clock's end.
// Waiting for thread handles moves the main clock to when they ended, or by
// the whole timeout if that comes first: the wait then times out and the
// threads it waited for count as still running for the rest of the process.
// Events are waited for the same way, until a read that sets them completes.
#include <algorithm>
#include <optional>

#include "device_model.h"

namespace sim {

namespace {

ULONGLONG now_ms() {
    return computer().clock.elapsed_ms;
}

// The open thread a handle names; null when it names none.
Thread* thread_of(HANDLE handle) {
    return is_open(handle, ResourceKind::thread) ? static_cast<Thread*>(handle) : nullptr;
}

// When a thread ends, as waiting sees it; unset: never (a thread given up).
std::optional<ULONGLONG> end_of(const Thread& thread) {
    if (thread.given_up) return std::nullopt;
    return thread.end_ms;
}

// Notes in the audit something done under a thread still running.
void note_misuse(const std::string& what) {
    auto marker = std::make_shared<int>(0);
    computer().kept_alive.push_back(marker);
    track(marker.get(), ResourceKind::misuse, what);
}

// The wait of WaitForSingleObject and WaitForMultipleObjects, for threads
// and events alike: each handle is ready when its thread ends, or when its
// event is set (now, or when a pending read that sets it completes).
DWORD wait_for(DWORD count, const HANDLE* handles, bool all, DWORD timeout) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        return fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    settle_device_io(false);
    std::vector<std::optional<ULONGLONG>> ready;
    for (DWORD i = 0; i < count; ++i) {
        Thread* thread = thread_of(handles[i]);
        // Only threads and events are waited for here.
        if (thread == nullptr && event_of(handles[i]) == nullptr) return fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        if (std::count(handles, handles + i, handles[i]) > 0) return fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
        ready.push_back(thread != nullptr ? end_of(*thread) : event_ready_at(handles[i]));
    }
    // When the wait is over: when the first of them is ready, or the last;
    // never unless `ends`. (A plain number: GCC's -O3 takes an optional here
    // for one read uninitialised.)
    ULONGLONG over = 0;
    bool ends = false;
    bool never = false;
    for (const std::optional<ULONGLONG>& at : ready) {
        if (!at) {
            never = never || all;
        } else if (!ends || (all ? *at > over : *at < over)) {
            over = *at;
            ends = true;
        }
    }
    if (never) ends = false;
    ULONGLONG limit = now_ms() + timeout;
    if (ends && (timeout == INFINITE || over <= limit)) {
        computer().clock.elapsed_ms = std::max(now_ms(), over);
        settle_device_io(true);
        DWORD index = 0;
        while (!all && !(ready[index] && *ready[index] <= now_ms())) ++index;
        // A wait that is satisfied takes the signal of an automatic-reset event.
        for (DWORD i = 0; i < count; ++i) {
            Event* event = event_of(handles[i]);
            if (event != nullptr && !event->manual_reset && (all || i == index)) event->signalled = false;
        }
        return WAIT_OBJECT_0 + index;
    }
    // Windows would wait for ever; failing instead ends the test.
    if (timeout == INFINITE) return fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    computer().clock.elapsed_ms = limit;
    settle_device_io(false);
    for (DWORD i = 0; i < count; ++i) {
        Thread* thread = thread_of(handles[i]);
        if (thread != nullptr && (!end_of(*thread) || *end_of(*thread) > limit)) thread->given_up = true;
    }
    return WAIT_TIMEOUT;
}

}  // namespace

bool still_running(const Thread& thread) {
    return thread.ran && (thread.given_up || thread.end_ms > now_ms());
}

bool any_thread_running() {
    for (const auto& thread : computer().threads) {
        if (still_running(*thread)) return true;
    }
    return false;
}

bool held_by_running_thread(const void* resource) {
    auto it = computer().open_resources.find(resource);
    if (it == computer().open_resources.end()) return false;
    const Resource& what = it->second;
    if (what.kind == ResourceKind::thread) return still_running(*static_cast<const Thread*>(resource));
    // Windows Sockets stays started under a thread that may still use it.
    if (what.kind == ResourceKind::winsock && any_thread_running()) return true;
    return what.thread != nullptr && still_running(*what.thread);
}

bool block_held_by_running_thread(const void* block, size_t size) {
    const Computer& pc = computer();
    auto own = pc.thread_blocks.find(const_cast<void*>(block));
    if (own != pc.thread_blocks.end() && still_running(*own->second)) return true;
    const char* start = static_cast<const char*>(block);
    for (const auto& thread : pc.threads) {
        const char* parameter = static_cast<const char*>(thread->parameter);
        if (still_running(*thread) && parameter >= start && parameter < start + size) return true;
    }
    return false;
}

void check_freed_block(const void* block, size_t size) {
    if (!computer().threads.empty() && block_held_by_running_thread(block, size)) {
        note_misuse("heap block of " + std::to_string(size) + " bytes freed under a running thread");
    }
}

void check_cleanup_under_threads() {
    if (any_thread_running()) note_misuse("winsock cleaned up under a running thread");
}

}  // namespace sim

using namespace sim;

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (call_fails("CreateThread")) return nullptr;
    // Suspended threads are not modelled.
    if (lpStartAddress == nullptr || (dwCreationFlags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION)) != 0) {
        return fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
    }
    Computer& pc = computer();
    pc.threads.push_back(std::make_unique<Thread>());
    Thread* thread = pc.threads.back().get();
    thread->number = static_cast<unsigned>(pc.threads.size());
    thread->parameter = lpParameter;
    track(thread, ResourceKind::thread, std::to_string(thread->number));
    if (lpThreadId != nullptr) *lpThreadId = 0x1000 + thread->number * 4;
    // The thread runs now, to its end, with a last error and a clock of its own.
    const DWORD last_error = pc.last_error;
    const ULONGLONG created = pc.clock.elapsed_ms;
    Thread* const caller = pc.current_thread;
    pc.last_error = 0;
    pc.current_thread = thread;
    struct Restore {  // also when the thread ends the process
        Computer& pc;
        Thread* caller;
        ULONGLONG created;
        DWORD last_error;
        ~Restore() {
            pc.current_thread = caller;
            pc.clock.elapsed_ms = created;
            pc.last_error = last_error;
        }
    } restore{pc, caller, created, last_error};
    thread->exit_code = lpStartAddress(lpParameter);
    thread->end_ms = pc.clock.elapsed_ms;
    thread->ran = true;
    return thread;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (call_fails("WaitForSingleObject")) return WAIT_FAILED;
    return wait_for(1, &hHandle, true, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (call_fails("WaitForMultipleObjects")) return WAIT_FAILED;
    return wait_for(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    if (call_fails("GetExitCodeThread")) return FALSE;
    const Thread* thread = thread_of(hThread);
    if (thread == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (lpExitCode == nullptr) return fail(ERROR_INVALID_PARAMETER);
    *lpExitCode = still_running(*thread) ? STILL_ACTIVE : thread->exit_code;
    return TRUE;
}

}  // extern "C"
