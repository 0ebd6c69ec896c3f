// The simulated print spooler: the default printer, local queues and
// connections, their jobs, and RAW jobs started by the program. Sizing calls,
// record packing and last errors behave as on Windows.
#include <winspool.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <set>

#include "computer.h"

namespace {

struct PrinterHandle {
    bool connection;
    size_t index;
    DWORD job_id = 0;  // the job started on this handle and not yet ended
    bool page_open = false;
};

using sim::fail;

// Audit keys of the document and the page started on a handle: addresses
// inside the handle's record, unique while it is open.
const void* document_key(const PrinterHandle* handle) { return reinterpret_cast<const char*>(handle) + 1; }
const void* page_key(const PrinterHandle* handle) { return reinterpret_cast<const char*>(handle) + 2; }

sim::Printer& printer_of(const PrinterHandle* handle) {
    sim::Spooler& spooler = sim::computer().spooler;
    return handle->connection ? spooler.connections[handle->index] : spooler.printers[handle->index];
}

// A handle the program got from OpenPrinterW and has not closed.
PrinterHandle* open_handle(HANDLE handle) {
    return sim::is_open(handle, sim::ResourceKind::printer_handle) ? static_cast<PrinterHandle*>(handle) : nullptr;
}

sim::StartedJob* started_job(PrinterHandle* handle) {
    for (sim::StartedJob& job : printer_of(handle).started) {
        if (job.id == handle->job_id) return &job;
    }
    return nullptr;
}

std::string job_label(const sim::Printer& printer, DWORD id) {
    return sim::utf16_to_utf8(printer.name) + " job " + std::to_string(id);
}

// Lays out records followed by the strings they point to, as the spooler
// does: first the size, then, when the caller's buffer is large enough, the bytes.
class RecordPacker {
public:
    RecordPacker(size_t record_size, size_t count) : records_(record_size * count) {}

    // Room a string takes after the records; null strings take none.
    void count_string(const std::u16string* text) {
        if (text != nullptr) strings_ += (text->size() + 1) * sizeof(char16_t);
    }
    DWORD needed() const { return static_cast<DWORD>(records_ + strings_); }

    void start(LPBYTE buffer) {
        buffer_ = buffer;
        next_string_ = records_;
    }
    LPWSTR put_string(const std::u16string* text) {
        if (text == nullptr) return nullptr;
        LPWSTR place = reinterpret_cast<LPWSTR>(buffer_ + next_string_);
        std::memcpy(place, text->c_str(), (text->size() + 1) * sizeof(char16_t));
        next_string_ += (text->size() + 1) * sizeof(char16_t);
        return place;
    }

private:
    size_t records_;
    size_t strings_ = 0;
    LPBYTE buffer_ = nullptr;
    size_t next_string_ = 0;
};

// The sizing protocol shared by every enumeration: the needed size always,
// ERROR_INSUFFICIENT_BUFFER when the caller's buffer is smaller.
bool buffer_fits(const RecordPacker& packer, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (needed != nullptr) *needed = packer.needed();
    if (returned != nullptr) *returned = 0;
    if (packer.needed() > size || (buffer == nullptr && packer.needed() > 0)) {
        return fail(ERROR_INSUFFICIENT_BUFFER, false);
    }
    return true;
}

SYSTEMTIME submitted_time(const sim::Submission& submitted) {
    SYSTEMTIME st{};
    switch (submitted.kind) {
        case sim::Submission::invalid:
            st = SYSTEMTIME{2026, 13, 0, 32, 25, 61, 61, 1000};  // SystemTimeToFileTime refuses it
            break;
        case sim::Submission::before_1970:
            st = SYSTEMTIME{1969, 12, 3, 31, 23, 59, 59, 0};
            break;
        case sim::Submission::at:
            sim::filetime_to_systemtime(submitted.filetime, &st);
            break;
    }
    return st;
}

const std::u16string kMachine = u"\\\\SHOP-PC";
const std::u16string kUser = u"kassa";
const std::u16string kRaw = u"RAW";

// PRINTER_INFO_2W as both EnumPrintersW and GetPrinterW fill it.
void count_printer_strings(RecordPacker& packer, const sim::Printer& p) {
    for (const std::u16string* text : {&kMachine, &p.name, &p.port, &p.driver, &kRaw}) packer.count_string(text);
}

void put_printer(RecordPacker& packer, const sim::Printer& p, PRINTER_INFO_2W* r) {
    *r = PRINTER_INFO_2W{};
    r->pServerName = packer.put_string(&kMachine);
    r->pPrinterName = packer.put_string(&p.name);
    r->pPortName = packer.put_string(&p.port);
    r->pDriverName = packer.put_string(&p.driver);
    r->pDatatype = packer.put_string(&kRaw);
    r->Attributes = p.attributes;
    r->Status = p.status;
    r->cJobs = p.jobs_count ? *p.jobs_count : static_cast<DWORD>(p.jobs.size());
}

// JOB_INFO_1W as both EnumJobsW and GetJobW fill it.
void count_job_strings(RecordPacker& packer, const sim::Printer& printer, const sim::Job& job) {
    for (const std::u16string* text : {&printer.name, &kMachine, &kUser, &job.document, &kRaw}) {
        packer.count_string(text);
    }
    packer.count_string(job.status_text.empty() ? nullptr : &job.status_text);
}

// `position` counts from 1.
void put_job(RecordPacker& packer, const sim::Printer& printer, const sim::Job& job, DWORD position, JOB_INFO_1W* r) {
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

namespace sim {

namespace {

// Every job id the spooler has handed out or knows of: queued, started,
// deleted, drawn through GDI, taken out by the timeline or still to come in it.
template <typename See>
void visit_job_ids(See see) {
    for (const std::vector<Printer>* list : {&computer().spooler.printers, &computer().spooler.connections}) {
        for (const Printer& printer : *list) {
            for (const Job& job : printer.jobs) see(job.id);
            for (const StartedJob& job : printer.started) see(job.id);
            for (const GdiDoc& doc : printer.gdi_docs) see(doc.job);
            for (DWORD id : printer.deleted_job_ids) see(id);
        }
    }
    for (DWORD id : computer().spooler.left_job_ids) see(id);
    for (const TimelineEvent& event : computer().timeline) {
        if (event.add_job) see(event.add_job->id);
    }
}

}  // namespace

void remove_from_queue(Printer& printer, DWORD id) {
    if (printer.jobs.erase(id) && printer.jobs_count && *printer.jobs_count > 0) *printer.jobs_count -= 1;
}

DWORD next_job_id() {
    DWORD largest = 0;
    visit_job_ids([&](DWORD id) { largest = id > largest ? id : largest; });
    if (largest != 0xFFFFFFFF) return largest + 1;
    // The counter has run out: the lowest id nobody holds.
    std::set<DWORD> used;
    visit_job_ids([&](DWORD id) { used.insert(id); });
    DWORD id = 1;
    while (used.count(id) != 0) ++id;
    return id;
}

}  // namespace sim

extern "C" {

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
    if (sim::call_fails("GetDefaultPrinterW")) return FALSE;
    const sim::Spooler& spooler = sim::computer().spooler;
    if (pcchBuffer == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (spooler.default_error != 0) return fail(spooler.default_error);
    if (!spooler.default_printer) return fail(ERROR_FILE_NOT_FOUND);
    const std::u16string& name = *spooler.default_printer;
    DWORD needed = static_cast<DWORD>(name.size() + 1);  // characters, with the NUL
    if (pszBuffer == nullptr || *pcchBuffer < needed) {
        *pcchBuffer = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(pszBuffer, name.c_str(), needed * sizeof(char16_t));
    *pcchBuffer = needed;
    return TRUE;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (sim::call_fails("EnumPrintersW")) return FALSE;
    const sim::Spooler& spooler = sim::computer().spooler;
    if (pcbNeeded == nullptr || pcReturned == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (Name != nullptr && Name[0] != 0) return fail(ERROR_INVALID_NAME);
    const std::vector<sim::Printer>* source = nullptr;
    if (Flags == PRINTER_ENUM_LOCAL && Level == 2) {
        if (spooler.enum_local_error != 0) return fail(spooler.enum_local_error);
        source = &spooler.printers;
    } else if (Flags == PRINTER_ENUM_CONNECTIONS && Level == 4) {
        if (spooler.enum_connections_error != 0) return fail(spooler.enum_connections_error);
        source = &spooler.connections;
    } else {
        return fail(ERROR_INVALID_LEVEL);
    }

    if (Level == 2) {
        RecordPacker packer(sizeof(PRINTER_INFO_2W), source->size());
        for (const sim::Printer& p : *source) count_printer_strings(packer, p);
        if (!buffer_fits(packer, pPrinterEnum, cbBuf, pcbNeeded, pcReturned)) return FALSE;
        packer.start(pPrinterEnum);
        PRINTER_INFO_2W* records = reinterpret_cast<PRINTER_INFO_2W*>(pPrinterEnum);
        for (size_t i = 0; i < source->size(); ++i) put_printer(packer, (*source)[i], &records[i]);
    } else {
        RecordPacker packer(sizeof(PRINTER_INFO_4W), source->size());
        for (const sim::Printer& p : *source) packer.count_string(&p.name);
        if (!buffer_fits(packer, pPrinterEnum, cbBuf, pcbNeeded, pcReturned)) return FALSE;
        packer.start(pPrinterEnum);
        PRINTER_INFO_4W* records = reinterpret_cast<PRINTER_INFO_4W*>(pPrinterEnum);
        for (size_t i = 0; i < source->size(); ++i) {
            records[i] = PRINTER_INFO_4W{};
            records[i].pPrinterName = packer.put_string(&(*source)[i].name);
            records[i].Attributes = (*source)[i].attributes;
        }
    }
    *pcReturned = static_cast<DWORD>(source->size());
    return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
    if (phPrinter != nullptr) *phPrinter = nullptr;
    if (sim::call_fails("OpenPrinterW")) return FALSE;
    if (phPrinter == nullptr || pPrinterName == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::u16string name = sim::text_of(pPrinterName);
    sim::Spooler& spooler = sim::computer().spooler;
    for (int list = 0; list < 2; ++list) {
        std::vector<sim::Printer>& printers = list == 0 ? spooler.printers : spooler.connections;
        for (size_t i = 0; i < printers.size(); ++i) {
            if (!sim::equal_ascii_nocase(printers[i].name, name)) continue;
            if (printers[i].open_error != 0) return fail(printers[i].open_error);
            // Owned by the computer, not by ClosePrinter: a handle the program
            // never closes is freed with the computer, and no later handle
            // reuses the audit keys inside a closed one's record.
            auto record = std::make_shared<PrinterHandle>(PrinterHandle{list == 1, i});
            sim::computer().kept_alive.push_back(record);
            PrinterHandle* handle = record.get();
            sim::track(handle, sim::ResourceKind::printer_handle, sim::utf16_to_utf8(printers[i].name));
            *phPrinter = handle;
            return TRUE;
        }
    }
    return fail(ERROR_INVALID_PRINTER_NAME);
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    if (sim::call_fails("ClosePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    // A document or page left open stays in the audit.
    sim::untrack(handle);
    sim::overwrite_last_error();
    return TRUE;
}

BOOL WINAPI EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                      LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (sim::call_fails("EnumJobsW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcbNeeded == nullptr || pcReturned == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (Level != 1) return fail(ERROR_INVALID_LEVEL);
    const sim::Printer& printer = printer_of(handle);
    if (printer.enum_jobs_error != 0) return fail(printer.enum_jobs_error);
    std::vector<const sim::Job*> chosen;
    if (FirstJob < printer.jobs.size()) {
        auto it = std::next(printer.jobs.begin(), FirstJob);
        for (; it != printer.jobs.end() && chosen.size() < NoJobs; ++it) chosen.push_back(&*it);
    }

    RecordPacker packer(sizeof(JOB_INFO_1W), chosen.size());
    for (const sim::Job* job : chosen) count_job_strings(packer, printer, *job);
    if (!buffer_fits(packer, pJob, cbBuf, pcbNeeded, pcReturned)) return FALSE;
    packer.start(pJob);
    JOB_INFO_1W* records = reinterpret_cast<JOB_INFO_1W*>(pJob);
    for (size_t i = 0; i < chosen.size(); ++i) {
        put_job(packer, printer, *chosen[i], static_cast<DWORD>(FirstJob + i + 1), &records[i]);
    }
    *pcReturned = static_cast<DWORD>(chosen.size());
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (sim::call_fails("GetPrinterW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcbNeeded == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;
    if (Level != 2) return fail(ERROR_INVALID_LEVEL);
    const sim::Printer& printer = printer_of(handle);
    if (printer.get_printer_error != 0) return fail(printer.get_printer_error);
    RecordPacker packer(sizeof(PRINTER_INFO_2W), 1);
    count_printer_strings(packer, printer);
    if (!buffer_fits(packer, pPrinter, cbBuf, pcbNeeded, nullptr)) return FALSE;
    packer.start(pPrinter);
    put_printer(packer, printer, reinterpret_cast<PRINTER_INFO_2W*>(pPrinter));
    return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (sim::call_fails("GetJobW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcbNeeded == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;  // also for a job that is gone: callers take size 0 for "not there"
    if (Level != 1) return fail(ERROR_INVALID_LEVEL);
    const sim::Printer& printer = printer_of(handle);
    if (printer.get_job_error != 0) return fail(printer.get_job_error);
    const sim::Job* job = printer.jobs.find(JobId);
    if (job == nullptr) return fail(ERROR_INVALID_PARAMETER);
    RecordPacker packer(sizeof(JOB_INFO_1W), 1);
    count_job_strings(packer, printer, *job);
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
    if (sim::call_fails("SetJobW")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (Level != 0) return fail(ERROR_INVALID_LEVEL);
    sim::Printer& printer = printer_of(handle);
    sim::Job* job = printer.jobs.find(JobId);
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
    if (job->delete_error != 0) return fail(job->delete_error);
    sim::remove_from_queue(printer, JobId);
    printer.deleted_job_ids.push_back(JobId);
    for (sim::StartedJob& started : printer.started) {
        if (started.id == JobId) started.deleted = true;
    }
    return TRUE;
}

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
    if (sim::call_fails("StartDocPrinterW")) return 0;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (Level != 1) return fail(ERROR_INVALID_LEVEL);
    if (pDocInfo == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (handle->job_id != 0) return fail(ERROR_INVALID_PRINTER_STATE);  // one document at a time
    sim::Printer& printer = printer_of(handle);
    if (printer.startdoc_error != 0) return fail(printer.startdoc_error);
    const DOC_INFO_1W* info = reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);

    sim::StartedJob started;
    started.id = sim::next_job_id();
    started.document = sim::text_of(info->pDocName);
    started.datatype = sim::text_of(info->pDatatype);
    printer.started.push_back(started);

    sim::Job queued;
    queued.id = started.id;
    queued.document = started.document;
    queued.submitted.filetime = sim::now_filetime();
    printer.jobs.push_back(queued);
    if (printer.jobs_count) *printer.jobs_count += 1;

    handle->job_id = started.id;
    sim::track(document_key(handle), sim::ResourceKind::document, job_label(printer, started.id));
    return started.id;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
    if (sim::call_fails("StartPagePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    sim::StartedJob* job = started_job(handle);
    if (job == nullptr || handle->page_open) return fail(ERROR_INVALID_PRINTER_STATE);
    sim::Printer& printer = printer_of(handle);
    if (printer.startpage_error != 0) return fail(printer.startpage_error);
    job->pages += 1;
    handle->page_open = true;
    sim::track(page_key(handle), sim::ResourceKind::page, job_label(printer, job->id));
    return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
    if (pcWritten != nullptr) *pcWritten = 0;
    if (sim::call_fails("WritePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (pcWritten == nullptr || (pBuf == nullptr && cbBuf > 0)) return fail(ERROR_INVALID_PARAMETER);
    sim::StartedJob* job = started_job(handle);
    if (job == nullptr) return fail(ERROR_SPL_NO_STARTDOC);
    const sim::WriteBehaviour& rule = printer_of(handle).write;
    DWORD offset = static_cast<DWORD>(job->bytes.size());
    if (rule.fail_at && offset == *rule.fail_at) return fail(rule.fail_error);
    DWORD accept = cbBuf;
    if (rule.max_per_call > 0 && accept > rule.max_per_call) accept = rule.max_per_call;
    if (rule.accept_total) {
        DWORD room = *rule.accept_total > offset ? *rule.accept_total - offset : 0;
        if (accept > room) accept = room;
    }
    if (rule.fail_at && *rule.fail_at > offset && accept > *rule.fail_at - offset) accept = *rule.fail_at - offset;
    job->bytes.append(static_cast<const char*>(pBuf), accept);
    *pcWritten = accept;
    return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
    if (sim::call_fails("EndPagePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (!handle->page_open) return fail(ERROR_INVALID_PRINTER_STATE);
    handle->page_open = false;
    sim::untrack(page_key(handle));
    // A scripted failure still ends the page: what is lost is its content.
    if (DWORD error = printer_of(handle).endpage_printer_error) return fail(error);
    sim::overwrite_last_error();
    return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
    if (sim::call_fails("EndDocPrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    sim::StartedJob* job = started_job(handle);
    if (job == nullptr) return fail(ERROR_SPL_NO_STARTDOC);
    // Ending the job ends its page too, but a page left open stays in the
    // audit: the program must end its pages itself.
    handle->page_open = false;
    handle->job_id = 0;
    sim::untrack(document_key(handle));
    sim::Printer& printer = printer_of(handle);
    if (printer.enddoc_printer_error != 0) {
        // The spooler could not commit the job (a full disk, a job cancelled
        // while spooling): it never prints and leaves the queue.
        sim::remove_from_queue(printer, job->id);
        return fail(printer.enddoc_printer_error);
    }
    job->ended = true;
    sim::overwrite_last_error();
    return TRUE;
}

}  // extern "C"
