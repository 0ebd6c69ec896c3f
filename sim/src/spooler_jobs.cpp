// The simulated spooler's jobs: listing, querying and controlling the jobs of
// a queue, and the RAW jobs the program starts, writes and ends on a handle.
#include <iterator>
#include <vector>

#include "spooler.h"

using namespace sim;

namespace {

// Audit keys of the document and the page started on a handle: addresses
// inside the handle's record, unique while it is open.
const void* document_key(const PrinterHandle* handle) { return reinterpret_cast<const char*>(handle) + 1; }
const void* page_key(const PrinterHandle* handle) { return reinterpret_cast<const char*>(handle) + 2; }

StartedJob* started_by_program(Printer& printer, DWORD id) {
    for (StartedJob& job : printer.started) {
        if (job.id == id) return &job;
    }
    return nullptr;
}

StartedJob* started_job(PrinterHandle* handle) {
    return handle->job_id == 0 ? nullptr : started_by_program(printer_of(handle), handle->job_id);
}

// What EndDocPrinter and AbortPrinter check first: an open handle with a job
// started on it. Null after setting the error.
PrinterHandle* handle_with_job(HANDLE hPrinter, StartedJob** job) {
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE, static_cast<PrinterHandle*>(nullptr));
    *job = started_job(handle);
    if (*job == nullptr) return fail(ERROR_SPL_NO_STARTDOC, static_cast<PrinterHandle*>(nullptr));
    return handle;
}

// The job leaves the handle, its page with it; a page the program left open
// and did not cancel stays in the audit.
void close_document(PrinterHandle* handle) {
    handle->page_open = false;
    handle->job_id = 0;
    untrack(document_key(handle));
}

SYSTEMTIME submitted_time(const Submission& submitted) {
    SYSTEMTIME st{};
    switch (submitted.kind) {
        case Submission::invalid:
            st = SYSTEMTIME{2026, 13, 0, 32, 25, 61, 61, 1000};  // SystemTimeToFileTime refuses it
            break;
        case Submission::before_1970:
            st = SYSTEMTIME{1969, 12, 3, 31, 23, 59, 59, 0};
            break;
        case Submission::at:
            filetime_to_systemtime(submitted.filetime, &st);
            break;
    }
    return st;
}

// JOB_INFO_1W as both EnumJobsW and GetJobW fill it.
void count_job_strings(RecordPacker& packer, const Printer& printer, const Job& job) {
    for (const std::u16string* text : {&printer.name, &kMachine, &kUser, &job.document, &kRaw}) {
        packer.count_string(text);
    }
    packer.count_string(job.status_text.empty() ? nullptr : &job.status_text);
}

// `position` counts from 1.
void put_job(RecordPacker& packer, const Printer& printer, const Job& job, DWORD position, JOB_INFO_1W* r) {
    *r = JOB_INFO_1W{};
    r->JobId = job.id;
    r->pPrinterName = packer.put_string(&printer.name);
    r->pMachineName = packer.put_string(&kMachine);
    r->pUserName = packer.put_string(&kUser);
    r->pDocument = packer.put_string(&job.document);
    r->pDatatype = packer.put_string(&kRaw);
    r->pStatus = packer.put_string(job.status_text.empty() ? nullptr : &job.status_text);
    r->Status = job.status;
    r->Position = position;
    r->TotalPages = 1;
    r->Submitted = submitted_time(job.submitted);
}

}  // namespace

extern "C" {

BOOL WINAPI EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                      LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (call_fails("EnumJobsW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcbNeeded == nullptr || pcReturned == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (Level != 1) return fail(ERROR_INVALID_LEVEL);
    Printer& printer = printer_of(handle);
    if (printer.enum_jobs_error != 0) return fail(printer.enum_jobs_error);
    std::vector<const Job*> chosen;
    if (FirstJob < printer.jobs.size()) {
        auto it = std::next(printer.jobs.begin(), FirstJob);
        for (; it != printer.jobs.end() && chosen.size() < NoJobs; ++it) chosen.push_back(&*it);
    }

    RecordPacker packer(sizeof(JOB_INFO_1W), chosen.size());
    for (const Job* job : chosen) count_job_strings(packer, printer, *job);
    if (grew_between_calls(printer.grow_between_calls, packer, sizeof(JOB_INFO_1W), pJob, cbBuf, pcbNeeded)) {
        return FALSE;
    }
    if (emptied_between_calls(printer.shrink_between_calls, packer, pJob, cbBuf)) return TRUE;  // no jobs now
    if (!buffer_fits(packer, pJob, cbBuf, pcbNeeded, pcReturned)) return FALSE;
    packer.start(pJob);
    JOB_INFO_1W* records = reinterpret_cast<JOB_INFO_1W*>(pJob);
    for (size_t i = 0; i < chosen.size(); ++i) {
        put_job(packer, printer, *chosen[i], static_cast<DWORD>(FirstJob + i + 1), &records[i]);
    }
    *pcReturned = static_cast<DWORD>(chosen.size());
    return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (call_fails("GetJobW")) return FALSE;
    Printer* queried = queried_printer(hPrinter, Level, 1, pcbNeeded);
    if (queried == nullptr) return FALSE;
    Printer& printer = *queried;
    if (printer.get_job_fails_silently) return FALSE;  // the last error stays as it was
    if (printer.get_job_error != 0) return fail(printer.get_job_error);
    const Job* job = printer.jobs.find(JobId);
    if (job == nullptr) return fail(ERROR_INVALID_PARAMETER);
    RecordPacker packer(sizeof(JOB_INFO_1W), 1);
    count_job_strings(packer, printer, *job);
    if (grew_between_calls(printer.grow_between_calls, packer, sizeof(JOB_INFO_1W), pJob, cbBuf, pcbNeeded)) {
        return FALSE;
    }
    if (emptied_between_calls(printer.shrink_between_calls, packer, pJob, cbBuf)) {
        return fail(ERROR_INVALID_PARAMETER);  // gone in between; the size stays 0 as for any job not there
    }
    if (!buffer_fits(packer, pJob, cbBuf, pcbNeeded, nullptr)) return FALSE;
    packer.start(pJob);
    DWORD position = static_cast<DWORD>(printer.jobs.position_of(JobId) + 1);
    put_job(packer, printer, *job, position, reinterpret_cast<JOB_INFO_1W*>(pJob));
    return TRUE;
}

// Commands only (level 0): changing a job's record is not modelled. Deleting
// (and cancelling, which means the same since Windows NT) takes the job out of
// the queue; pause and resume set and clear JOB_STATUS_PAUSED; restart is
// accepted and changes nothing; any other command is ERROR_INVALID_PARAMETER.
BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE, DWORD Command) {
    if (call_fails("SetJobW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (Level != 0) return fail(ERROR_INVALID_LEVEL);
    Printer& printer = printer_of(handle);
    Job* job = printer.jobs.find(JobId);
    if (job == nullptr) return fail(ERROR_INVALID_PARAMETER);
    switch (Command) {
        case JOB_CONTROL_PAUSE:
            job->status |= JOB_STATUS_PAUSED;
            return TRUE;
        case JOB_CONTROL_RESUME:
            job->status &= ~static_cast<DWORD>(JOB_STATUS_PAUSED);
            return TRUE;
        case JOB_CONTROL_RESTART:
            return TRUE;
        case JOB_CONTROL_CANCEL:
        case JOB_CONTROL_DELETE:
            break;
        default:
            return fail(ERROR_INVALID_PARAMETER);
    }
    // A job the program started has no scenario record of its own.
    StartedJob* mine = started_by_program(printer, JobId);
    DWORD refusal = mine != nullptr ? printer.started_job_delete_error : job->delete_error;
    if (refusal != 0) return fail(refusal);
    printer.deleted_job_ids.push_back(JobId);
    if (mine != nullptr) mine->deleted = true;
    // A job still held by the handle it was started on leaves with that handle.
    if (mine == nullptr || !mine->handle_open) remove_from_queue(printer, JobId);
    return TRUE;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
    if (call_fails("StartDocPrinterW")) return 0;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (Level != 1) return fail(ERROR_INVALID_LEVEL);
    if (pDocInfo == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (handle->job_id != 0) return fail(ERROR_INVALID_PRINTER_STATE);  // one document at a time
    Printer& printer = printer_of(handle);
    if (printer.startdoc_error != 0) return fail(printer.startdoc_error);
    const DOC_INFO_1W* info = reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);

    StartedJob started;
    started.document = text_of(info->pDocName);
    started.datatype = text_of(info->pDatatype);
    started.id = queue_new_job(printer, started.document);
    printer.started.push_back(started);

    handle->job_id = started.id;
    handle->started_job = started.id;
    track(document_key(handle), ResourceKind::document, job_label(printer, started.id));
    return started.id;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
    if (call_fails("StartPagePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    StartedJob* job = started_job(handle);
    if (job == nullptr || handle->page_open) return fail(ERROR_INVALID_PRINTER_STATE);
    Printer& printer = printer_of(handle);
    if (printer.startpage_error != 0) return fail(printer.startpage_error);
    job->pages += 1;
    handle->page_open = true;
    track(page_key(handle), ResourceKind::page, job_label(printer, job->id));
    return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
    if (pcWritten != nullptr) *pcWritten = 0;
    if (call_fails("WritePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcWritten == nullptr || (pBuf == nullptr && cbBuf > 0)) return fail(ERROR_INVALID_PARAMETER);
    StartedJob* job = started_job(handle);
    if (job == nullptr) return fail(ERROR_SPL_NO_STARTDOC);
    const WriteBehaviour& rule = printer_of(handle).write;
    DWORD accept = 0;
    if (!rule.accepts(static_cast<DWORD>(job->bytes.size()), cbBuf, &accept)) return fail(rule.fail_error);
    job->bytes.append(static_cast<const char*>(pBuf), accept);
    *pcWritten = accept;
    return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
    if (call_fails("EndPagePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (!handle->page_open) return fail(ERROR_INVALID_PRINTER_STATE);
    handle->page_open = false;
    untrack(page_key(handle));
    // A scripted failure still ends the page: what is lost is its content.
    if (DWORD error = printer_of(handle).endpage_printer_error) return fail(error);
    overwrite_last_error();
    return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
    if (call_fails("EndDocPrinter")) return FALSE;
    StartedJob* job = nullptr;
    PrinterHandle* handle = handle_with_job(hPrinter, &job);
    if (handle == nullptr) return FALSE;
    // Ending the job ends its page too, but a page left open stays in the
    // audit: the program must end its pages itself.
    close_document(handle);
    Printer& printer = printer_of(handle);
    if (printer.enddoc_printer_error != 0) {
        // The spooler could not commit the job (a full disk, a job cancelled
        // while spooling): it never prints and leaves the queue.
        remove_from_queue(printer, job->id);
        return fail(printer.enddoc_printer_error);
    }
    job->ended = true;
    overwrite_last_error();
    return TRUE;
}

// Cancels the raw job started on the handle, page and all: it never prints
// and leaves the queue.
BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
    if (call_fails("AbortPrinter")) return FALSE;
    StartedJob* job = nullptr;
    PrinterHandle* handle = handle_with_job(hPrinter, &job);
    if (handle == nullptr) return FALSE;
    Printer& printer = printer_of(handle);
    if (printer.abort_error != 0) return fail(printer.abort_error);
    if (handle->page_open) untrack(page_key(handle));  // cancelled with the job
    close_document(handle);
    remove_from_queue(printer, job->id);
    job->aborted = true;
    overwrite_last_error();
    return TRUE;
}

}  // extern "C"

namespace sim {

void close_started_job(PrinterHandle* handle) {
    Printer& printer = printer_of(handle);
    StartedJob* job = started_by_program(printer, handle->started_job);
    if (job == nullptr) return;
    job->handle_open = false;
    if (!job->deleted) return;
    if (handle->page_open) untrack(page_key(handle));
    if (handle->job_id != 0) close_document(handle);
    remove_from_queue(printer, job->id);
}

}  // namespace sim
