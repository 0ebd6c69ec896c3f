// Scripted changes of the simulated computer at given virtual times: a job
// leaves the queue, paper runs out, the default printer changes. Each event is
// applied once, at the first simulated call made at or after its time, so the
// program sees it exactly when it would poll after a Sleep.
#include "computer.h"

namespace sim {

namespace {

void apply(const TimelineEvent& event) {
    if (event.set_default) computer().spooler.default_printer = *event.set_default;
    std::optional<QueuePlace> place = find_queue(event.printer);
    if (!place) return;
    Printer& printer = printer_at(*place);
    if (event.remove_job && printer.jobs.find(*event.remove_job) != nullptr) {
        computer().spooler.left_job_ids.push_back(*event.remove_job);
        remove_from_queue(printer, *event.remove_job);
    }
    if (event.add_job) {
        Job job = *event.add_job;
        if (job.id == 0) job.id = next_job_id();
        add_to_queue(printer, job);
    }
    if (event.set_status) printer.status = *event.set_status;
    if (event.set_attributes) printer.attributes = *event.set_attributes;
    if (event.set_job_status) {
        if (Job* job = printer.jobs.find(event.set_job_status->id)) job->status = event.set_job_status->status;
    }
    if (event.set_enum_jobs_error) printer.enum_jobs_error = *event.set_enum_jobs_error;
    if (event.set_get_job_error) printer.get_job_error = *event.set_get_job_error;
}

}  // namespace

void apply_due_events() {
    Computer& pc = computer();
    // A thread's clock runs ahead of the program's: only the main thread's calls see events.
    if (pc.current_thread != nullptr) return;
    const long long now = static_cast<long long>(pc.clock.elapsed_ms);
    for (;;) {
        // The earliest due event not yet applied; equal times keep their listed order.
        TimelineEvent* next = nullptr;
        for (TimelineEvent& event : pc.timeline) {
            if (!event.applied && event.at_ms <= now && (next == nullptr || event.at_ms < next->at_ms)) next = &event;
        }
        if (next == nullptr) return;
        next->applied = true;
        apply(*next);
    }
}

}  // namespace sim
