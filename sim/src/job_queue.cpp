// The job queue: an ordered map by arrival and an index by id.
#include "job_queue.h"

namespace sim {

JobQueue::JobQueue(std::initializer_list<Job> jobs) {
    for (const Job& job : jobs) push_back(job);
}

void JobQueue::push_back(const Job& job) {
    uint64_t arrival = next_arrival_++;
    arrivals_.emplace(arrival, job);
    by_id_.emplace(job.id, arrival);
}

void JobQueue::clear() {
    arrivals_.clear();
    by_id_.clear();
}

void JobQueue::resize(size_t count) {
    while (arrivals_.size() > count) {
        auto last = std::prev(arrivals_.end());
        by_id_.erase({last->second.id, last->first});
        arrivals_.erase(last);
    }
    while (arrivals_.size() < count) push_back(Job{});
}

Job& JobQueue::operator[](size_t position) { return std::next(arrivals_.begin(), position)->second; }

const Job& JobQueue::operator[](size_t position) const { return std::next(arrivals_.begin(), position)->second; }

std::optional<uint64_t> JobQueue::arrival_of(DWORD id) const {
    // Arrival numbers rise, so the lowest pair of an id is its first job.
    auto it = by_id_.lower_bound({id, 0});
    if (it == by_id_.end() || it->first != id) return std::nullopt;
    return it->second;
}

Job* JobQueue::find(DWORD id) {
    std::optional<uint64_t> arrival = arrival_of(id);
    return arrival ? &arrivals_.at(*arrival) : nullptr;
}

const Job* JobQueue::find(DWORD id) const {
    std::optional<uint64_t> arrival = arrival_of(id);
    return arrival ? &arrivals_.at(*arrival) : nullptr;
}

size_t JobQueue::position_of(DWORD id) const {
    std::optional<uint64_t> arrival = arrival_of(id);
    if (!arrival) return arrivals_.size();
    return static_cast<size_t>(std::distance(arrivals_.begin(), arrivals_.find(*arrival)));
}

bool JobQueue::erase(DWORD id) {
    std::optional<uint64_t> arrival = arrival_of(id);
    if (!arrival) return false;
    arrivals_.erase(*arrival);
    by_id_.erase({id, *arrival});
    return true;
}

}  // namespace sim
