// Event objects, as the program waits on them for overlapped reads and
// writes: unnamed, manual or automatic reset. Waiting for them is in
// threads.cpp, with the waits for threads.
#include "device_model.h"

namespace sim {

Event* event_of(HANDLE handle) {
    return is_open(handle, ResourceKind::event) ? static_cast<Event*>(handle) : nullptr;
}

void set_event(HANDLE handle) {
    if (Event* event = event_of(handle)) event->signalled = true;
}

void reset_event(HANDLE handle) {
    if (Event* event = event_of(handle)) event->signalled = false;
}

}  // namespace sim

using namespace sim;

extern "C" {

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
    if (call_fails("CreateEventW")) return nullptr;
    // Named events, shared between processes, are not modelled.
    if (lpName != nullptr) return fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
    std::vector<std::unique_ptr<Event>>& events = tables().events;
    events.push_back(std::make_unique<Event>(Event{bManualReset != FALSE, bInitialState != FALSE}));
    Event* event = events.back().get();
    track(event, ResourceKind::event, std::to_string(events.size()));
    SetLastError(ERROR_SUCCESS);  // as Windows: ERROR_ALREADY_EXISTS would name a shared one
    return event;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    if (call_fails("SetEvent")) return FALSE;
    if (event_of(hEvent) == nullptr) return fail(ERROR_INVALID_HANDLE);
    set_event(hEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    if (call_fails("ResetEvent")) return FALSE;
    if (event_of(hEvent) == nullptr) return fail(ERROR_INVALID_HANDLE);
    reset_event(hEvent);
    return TRUE;
}

}  // extern "C"
