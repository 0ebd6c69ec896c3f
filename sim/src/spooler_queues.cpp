// The spooler's queues as its calls, GDI and the timeline share them: finding
// a queue by name, giving out job ids, and jobs joining and leaving a queue.
#include <set>

#include "computer.h"

namespace sim {

bool WriteBehaviour::accepts(DWORD offset, DWORD offered, DWORD* accepted) const {
    if (fail_at && offset == *fail_at) return false;
    DWORD accept = offered;
    if (max_per_call > 0 && accept > max_per_call) accept = max_per_call;
    if (accept_total) {
        DWORD room = *accept_total > offset ? *accept_total - offset : 0;
        if (accept > room) accept = room;
    }
    if (fail_at && *fail_at > offset && accept > *fail_at - offset) accept = *fail_at - offset;
    *accepted = accept;
    return true;
}

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

std::optional<QueuePlace> find_queue(const std::u16string& name) {
    const Spooler& spooler = computer().spooler;
    for (bool connection : {false, true}) {
        const std::vector<Printer>& list = connection ? spooler.connections : spooler.printers;
        for (size_t i = 0; i < list.size(); ++i) {
            if (equal_ascii_nocase(list[i].name, name)) return QueuePlace{connection, i};
        }
    }
    return std::nullopt;
}

Printer& printer_at(QueuePlace place) {
    Spooler& spooler = computer().spooler;
    return place.connection ? spooler.connections[place.index] : spooler.printers[place.index];
}

std::string job_label(const Printer& printer, DWORD id) {
    return utf16_to_utf8(printer.name) + " job " + std::to_string(id);
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

void add_to_queue(Printer& printer, const Job& job) {
    printer.jobs.push_back(job);
    if (printer.jobs_count) *printer.jobs_count += 1;
}

DWORD queue_new_job(Printer& printer, const std::u16string& document) {
    Job queued;
    queued.id = next_job_id();
    queued.document = document;
    queued.submitted.filetime = now_filetime();
    add_to_queue(printer, queued);
    return queued.id;
}

void remove_from_queue(Printer& printer, DWORD id) {
    if (printer.jobs.erase(id) && printer.jobs_count && *printer.jobs_count > 0) *printer.jobs_count -= 1;
}

}  // namespace sim
