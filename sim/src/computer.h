// The simulated computer: one process-wide state that tests build directly
// (or from a scenario text) and that every simulated Windows call reads and
// changes. Texts are kept as UTF-8 std::string or std::u16string, never as
// wchar_t strings.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

#include "device_records.h"
#include "job_queue.h"
#include "network.h"

namespace sim {

enum class StdoutKind { pipe, console, file, null, invalid };
enum class StdinKind { bytes, real, null, invalid };

struct StdinState {
    StdinKind kind = StdinKind::bytes;
    std::string bytes;      // for StdinKind::bytes
    size_t position = 0;
    DWORD then_error = ERROR_BROKEN_PIPE;  // what the read after the last byte fails with; 0: succeeds with 0 bytes
    bool finished = false;  // real stdin reached its end
    // "pieces": each read hands out (the rest of) the next piece, an empty one
    // as a read that succeeds with 0 bytes; `bytes` is then unused.
    bool in_pieces = false;
    std::vector<std::string> pieces;
    size_t piece = 0;
    DWORD file_type = FILE_TYPE_PIPE;  // what GetFileType says of it
};

struct ClockState {
    ULONGLONG start_filetime = 0;  // 100 ns units since 1601, UTC
    ULONGLONG elapsed_ms = 0;      // moved by Sleep only
    LONG utc_offset_minutes = 0;
    DWORD start_tick = 0;
};

struct FaultRule {
    std::string function;        // simulated function name, as the SDK spells it
    unsigned nth = 0;            // 1-based call number that fails; 0: every call
    std::optional<DWORD> error;  // the last error it leaves; unset: it fails without setting one
};

// What the audit tracks.
enum class ResourceKind {
    printer_handle,
    document,
    page,
    device_context,
    font,
    registry_key,
    device_list,
    device_handle,
    local_memory,
    heap_block,  // a block of the program's own heap still held when wmain returned
    winsock,     // a WSAStartup not yet matched by WSACleanup
    socket,
    address_info,  // a GetAddrInfoW result not given back with FreeAddrInfoW
    thread,        // a thread handle not closed
    event,         // an event handle not closed
    misuse,        // not a resource: something freed or cleaned up under a thread still running
};

struct Thread;

struct Resource {
    ResourceKind kind;
    std::string name;
    const Thread* thread = nullptr;  // the thread that opened it; null: the program's main thread
};

// A thread the program started. The simulator runs its function to its end
// when it is created, on a clock of its own that starts then and moves only
// with the thread's waits (a name's lookup, Sleep); it ends at that clock's
// end. A handle is the record's address.
struct Thread {
    unsigned number = 0;   // 1 for the program's first thread: the audit's name for it
    ULONGLONG end_ms = 0;  // virtual ms after the start, as the main clock counts them
    DWORD exit_code = 0;
    bool ran = false;       // its function has returned
    bool given_up = false;  // a wait for it timed out: it runs for the rest of the process
    const void* parameter = nullptr;
};

// A job the program started, with everything it handed over.
struct StartedJob {
    DWORD id = 0;
    std::u16string document;
    std::u16string datatype;
    std::string bytes;
    unsigned pages = 0;
    bool ended = false;
    bool aborted = false;  // AbortPrinter cancelled it: it left the queue
    bool deleted = false;
    bool handle_open = true;  // the handle it was started on is not closed yet
};

// How a writer (WritePrinter, or WriteFile on a pipe or file) takes bytes.
struct WriteBehaviour {
    DWORD max_per_call = 0;               // 0: no limit per call
    std::optional<DWORD> accept_total;    // then success with 0 written
    std::optional<DWORD> fail_at;         // 0-based byte offset in the job or the output
    DWORD fail_error = ERROR_GEN_FAILURE;

    // False when a call offering `offered` bytes at `offset` fails; else the
    // bytes it takes.
    bool accepts(DWORD offset, DWORD offered, DWORD* accepted) const;
};

// One write the program made to a device or a connection: where ("\\?\usb#..."
// as the scenario names the device, "192.168.1.50:9100") and the bytes taken.
struct SentBytes {
    std::string to;
    std::string bytes;
};

// The font a text was drawn with, as CreateFontW was given it.
struct GdiFont {
    std::u16string face;
    int height = 0;
    int weight = 0;
};

// One TextOutW call on a page: where, exactly the units it was given, and the selected font.
struct GdiText {
    int x = 0;
    int y = 0;
    std::u16string text;
    GdiFont font;
};

// A document the program started through GDI (StartDocW), with what it drew.
struct GdiDoc {
    DWORD job = 0;
    std::u16string document;
    unsigned pages = 0;
    bool ended = false;      // EndDoc succeeded
    bool aborted = false;    // AbortDoc cancelled it: its job left the queue
    bool abandoned = false;  // the device context was deleted while the document was open
    std::vector<GdiText> text;
};

struct Printer {
    std::u16string name;
    std::u16string port;
    std::u16string driver;
    DWORD attributes = 0;
    DWORD status = 0;
    std::optional<DWORD> jobs_count;  // cJobs as the spooler reports it; unset: the queue's length
    DWORD open_error = 0;
    DWORD startdoc_error = 0;
    DWORD startpage_error = 0;
    DWORD enum_jobs_error = 0;
    DWORD get_printer_error = 0;
    DWORD get_job_error = 0;          // every GetJobW on the queue fails with it
    bool get_job_fails_silently = false;  // every GetJobW on the queue fails without setting an error
    DWORD endpage_printer_error = 0;  // EndPagePrinter fails with it (the page is ended all the same)
    DWORD enddoc_printer_error = 0;   // EndDocPrinter fails with it and the job is dropped
    DWORD abort_error = 0;            // AbortPrinter fails with it and the job stays as it was
    DWORD started_job_delete_error = 0;  // SetJobW deleting a job the program started fails with it
    // The first N fill calls (a record read's second call, with the size the
    // first reported) find the answer grown by a record (122 and a larger
    // size), or the queue emptied (EnumJobsW: no jobs; GetJobW: 87).
    unsigned grow_between_calls = 0;
    unsigned shrink_between_calls = 0;
    WriteBehaviour write;
    JobQueue jobs;
    std::vector<StartedJob> started;
    std::vector<DWORD> deleted_job_ids;

    // Printing through the driver (GDI).
    std::map<int, int> devcaps;  // GetDeviceCaps answers by index (HORZRES, LOGPIXELSY...); absent: 0
    DWORD createdc_error = 0;
    DWORD startdoc_gdi_error = 0;
    DWORD endpage_error = 0;
    int startdoc_gdi_result = -1;   // what StartDocW returns with startdoc_gdi_error: SP_ERROR, or 0
    int endpage_error_result = -1;  // what EndPage returns with endpage_error: SP_ERROR, or 0
    DWORD enddoc_error = 0;
    std::vector<GdiDoc> gdi_docs;
};

struct Spooler {
    std::optional<std::u16string> default_printer;
    DWORD default_error = 0;
    DWORD enum_local_error = 0;
    DWORD enum_connections_error = 0;
    unsigned enum_grow_between_calls = 0;  // EnumPrintersW's first N fill calls find a printer more
    std::vector<Printer> printers;     // local queues, in listing order
    std::vector<Printer> connections;  // opened like queues; they hold no jobs
    std::vector<DWORD> left_job_ids;   // jobs the timeline took out of a queue: their ids stay used
};

struct DeviceTables;  // device lists, keys and handles handed out (device_model.h)

struct Devices {
    UsbDevices usb;
    LptDevices lpt;
    std::shared_ptr<DeviceTables> tables;  // made on first use; not for tests to set
};

struct JobStatusChange {
    DWORD id = 0;
    DWORD status = 0;
};

// A scripted change, applied once, at the first simulated call made when the
// virtual clock has reached `at_ms` after the start (at_ms <= 0: before the
// program's first call). Every kind set in one event is applied, in the order
// below; a kind that names a job not in the queue, or a printer that does not
// exist, does nothing.
struct TimelineEvent {
    long long at_ms = 0;
    std::u16string printer;                   // a local queue or connection, ASCII case ignored
    std::optional<DWORD> remove_job;          // job id
    std::optional<Job> add_job;               // id 0: the next free id when applied
    std::optional<DWORD> set_status;          // printer status bits
    std::optional<DWORD> set_attributes;      // printer attribute bits
    std::optional<JobStatusChange> set_job_status;
    std::optional<std::optional<std::u16string>> set_default;  // set: the new default (inner unset: none)
    std::optional<DWORD> set_enum_jobs_error;  // the queue's enum_jobs_error from then on
    std::optional<DWORD> set_get_job_error;    // the queue's get_job_error from then on
    bool applied = false;
};

struct Computer {
    Spooler spooler;
    std::vector<TimelineEvent> timeline;
    Devices devices;
    std::vector<std::pair<std::u16string, TcpPortKey>> tcp_ports;  // by port name, ASCII case ignored
    Network network;

    StdoutKind stdout_kind = StdoutKind::pipe;
    std::optional<DWORD> console_max_write;  // a longer WriteConsoleW fails with 8, as on Windows 7
    WriteBehaviour stdout_write;             // how a pipe or file takes WriteFile's bytes
    StdinState stdin_state;
    bool read_console = true;
    ClockState clock;
    std::map<DWORD, std::u16string> messages;  // overrides of the built-in table
    std::vector<DWORD> removed_messages;        // codes that have no text at all

    // Captured output: pipe and file bytes as written, console text as UTF-16.
    std::string stdout_bytes;
    std::u16string console_text;
    bool forward_output = false;  // simwin: copy output to the real stdout at once
    unsigned flush_count = 0;
    std::u16string console_input_read;  // what ReadConsoleW handed out
    std::vector<SentBytes> sent;        // every write to a device or connection, in order

    // Process-wide Windows state.
    DWORD last_error = 0;
    DWORD clean_up_error = ERROR_SUCCESS;  // what clean-up calls leave as the last error
    // Tests: what every call not made to fail leaves as the last error, as a
    // Windows call that succeeds may; a program that reads it after a failure
    // that set none then shows it.
    std::optional<DWORD> stale_error;
    UINT error_mode = 0;

    // Fault injection and bookkeeping.
    std::vector<FaultRule> faults;
    std::map<std::string, unsigned> call_counts;
    std::vector<std::string> call_log;
    unsigned fail_allocation_nth = 0;  // 1-based; 0 = never
    unsigned allocation_count = 0;
    // The program's heap blocks while it runs: ExitProcess gives them back,
    // as the end of a real process does.
    bool program_running = false;
    std::unordered_map<void*, size_t> program_blocks;  // with their sizes
    std::unordered_map<void*, const Thread*> thread_blocks;  // those a thread allocated, with the thread
    std::vector<std::unique_ptr<Thread>> threads;  // every thread the program started, in order
    Thread* current_thread = nullptr;               // the one whose function runs now; null: the main thread
    // Printer handles, device contexts, fonts and GDI audit keys live until the
    // next computer, so no later one takes a closed one's address: a stale
    // handle stays invalid.
    std::vector<std::shared_ptr<const void>> kept_alive;
    // The audit: what the program holds open, by handle or record address.
    std::map<const void*, Resource> open_resources;
};

// The one simulated computer of this process.
Computer& computer();

// Back to a new computer: no printers, stdout a pipe, empty stdin, default clock.
void reset();

// Builds the computer from a scenario text (JSON, UTF-8); unknown keys are ignored.
// Throws std::runtime_error with a readable reason when the text is not a scenario.
void load_scenario(const std::string& json_text);

// The final state as the JSON text simwin's --state-out writes.
std::string state_json();

// Records a call of a simulated function and tells whether it must fail now;
// when it must, the last error is already set to the injected error.
bool call_fails(const char* function);

// Applies the timeline events that are due at the current virtual time and not
// applied yet, in time order (ties in listed order). call_fails does it first.
void apply_due_events();

// The id the spooler gives the next job: one more than the largest id it has
// seen anywhere (queues, started and deleted jobs, scripted jobs), or 1; past
// 4294967295, the lowest id not in use (a job id is never 0).
DWORD next_job_id();

// Takes a job out of its queue (the spooler's count, when scripted, goes down
// with it); nothing happens when the queue does not hold it.
void remove_from_queue(Printer& printer, DWORD id);
// Puts a job at the end of its queue; a scripted count goes up with it.
void add_to_queue(Printer& printer, const Job& job);
// Queues the job StartDocPrinterW or StartDocW starts: the next free id,
// status 0, submitted now. Returns its id.
DWORD queue_new_job(Printer& printer, const std::u16string& document);

// Where a queue is kept. Handles and device contexts hold the place, not the
// record, which moves when a test adds queues.
struct QueuePlace {
    bool connection = false;
    size_t index = 0;
};
// A local queue, else a connection, by name, ignoring ASCII case as the
// spooler does; unset when none has it.
std::optional<QueuePlace> find_queue(const std::u16string& name);
Printer& printer_at(QueuePlace place);
// How the audit names a document or page: "<queue> job <id>".
std::string job_label(const Printer& printer, DWORD id);

// Threads (threads.cpp). Whether a thread still runs: a wait for it timed
// out, or it ends later than now. What a running thread holds is no leak:
// what it opened, the heap blocks it allocated and the block its parameter
// points into.
bool still_running(const Thread& thread);
bool any_thread_running();
bool held_by_running_thread(const void* resource);
bool block_held_by_running_thread(const void* block, size_t size);
// The program frees a heap block: one that a running thread holds is noted
// as a misuse in the audit.
void check_freed_block(const void* block, size_t size);
// WSACleanup takes Windows Sockets away: under a running thread, a misuse.
void check_cleanup_under_threads();

// The audit of open resources.
void track(const void* resource, ResourceKind kind, const std::string& name);
bool untrack(const void* resource);
// Whether `resource` is open and of that kind.
bool is_open(const void* resource, ResourceKind kind);
// "printer handle", "local memory", ...: the names leaks() and the state file
// give, which tests and outside checks compare.
const char* kind_name(ResourceKind kind);
std::vector<std::string> leaks();

// Texts at the API boundary: a program's UTF-16 string (null: empty), cut to
// `limit` units; names compared ignoring the case of ASCII letters only, as
// the spooler and the device manager compare them.
std::u16string text_of(const WCHAR* text, size_t limit = static_cast<size_t>(-1));
bool equal_ascii_nocase(const std::u16string& a, const std::u16string& b);
bool starts_with_ascii_nocase(const std::u16string& text, const std::u16string& prefix);

// Clean-up calls on Windows leave their own last error behind; so does the
// simulator, so that code which reads the error of a failure too late is caught.
void overwrite_last_error();

// A failing call's end: sets the last error and gives what the call returns
// on failure (FALSE unless another value is given: 0, nullptr,
// INVALID_HANDLE_VALUE, SP_ERROR...).
template <typename Result = BOOL>
Result fail(DWORD error, Result result = Result{}) {
    SetLastError(error);
    return result;
}

// Text conversions used inside the simulator.
std::u16string utf8_to_utf16(const std::string& text);
// Bytes in the OEM code page 866 a Russian Windows console shows them in.
std::u16string oem_to_utf16(const std::string& bytes);
std::string utf16_to_utf8(const std::u16string& text);

// Virtual clock helpers.
ULONGLONG now_filetime();
void filetime_to_systemtime(ULONGLONG filetime, SYSTEMTIME* out);
bool parse_utc(const std::string& text, ULONGLONG* filetime);

// Thrown by ExitProcess; caught by the runner, which turns it into an exit code.
struct ProcessExit {
    UINT code;
};

// Runs the program's wmain with UTF-8 arguments (argument 0 is added) and
// returns its exit code, also when it ended through ExitProcess.
int run_program(const std::vector<std::string>& args);
// The same with UTF-16 arguments, which may hold what UTF-8 cannot (lone surrogates).
int run_program_utf16(const std::vector<std::u16string>& args);

}  // namespace sim
