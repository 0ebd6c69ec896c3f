// A printer's queue of jobs. A purge deletes hundreds of jobs one by one, so
// a job is found by its id and taken out without moving the others; the
// queue still lists in arrival order, as EnumJobsW and GetJobW report it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace sim {

// When a job entered its queue.
struct Submission {
    enum Kind { at, invalid, before_1970 } kind = at;
    ULONGLONG filetime = 0;  // for Kind::at
};

struct Job {
    DWORD id = 0;
    std::u16string document;
    DWORD status = 0;
    std::u16string status_text;
    Submission submitted;
    DWORD delete_error = 0;
};

// Used like a vector (tests build queues with push_back and read them with
// [] and range-for). Ids may repeat, as a scenario may list them so;
// an id names the first such job in the queue. A queued job's id must not be
// changed in place: the index would not follow it.
class JobQueue {
    using Arrivals = std::map<uint64_t, Job>;  // by arrival number: the queue's order

    // Walks the jobs in queue order, hiding the arrival numbers.
    template <typename Base, typename Value>
    class Walk {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = Job;
        using difference_type = std::ptrdiff_t;
        using pointer = Value*;
        using reference = Value&;

        Walk() = default;
        explicit Walk(Base base) : base_(base) {}
        Value& operator*() const { return base_->second; }
        Value* operator->() const { return &base_->second; }
        Walk& operator++() {
            ++base_;
            return *this;
        }
        Walk operator++(int) { return Walk(base_++); }
        Walk& operator--() {
            --base_;
            return *this;
        }
        Walk operator--(int) { return Walk(base_--); }
        bool operator==(const Walk&) const = default;

    private:
        Base base_{};
    };

public:
    using iterator = Walk<Arrivals::iterator, Job>;
    using const_iterator = Walk<Arrivals::const_iterator, const Job>;

    JobQueue() = default;
    JobQueue(std::initializer_list<Job> jobs);

    size_t size() const { return arrivals_.size(); }
    bool empty() const { return arrivals_.empty(); }
    iterator begin() { return iterator(arrivals_.begin()); }
    iterator end() { return iterator(arrivals_.end()); }
    const_iterator begin() const { return const_iterator(arrivals_.begin()); }
    const_iterator end() const { return const_iterator(arrivals_.end()); }

    void push_back(const Job& job);
    void clear();
    // As a vector's: drops jobs from the end, or appends default ones.
    void resize(size_t count);
    // The job at `position` from the front; walks the queue, for tests.
    Job& operator[](size_t position);
    const Job& operator[](size_t position) const;

    // The first queued job with this id; null when the queue has none.
    Job* find(DWORD id);
    const Job* find(DWORD id) const;
    // That job's place from 0 (the queue's size when absent); walks the
    // queue, which only GetJobW's Position needs.
    size_t position_of(DWORD id) const;
    // Takes that job out; false when the queue has none.
    bool erase(DWORD id);

private:
    // The arrival number of the first queued job with this id; null when none.
    std::optional<uint64_t> arrival_of(DWORD id) const;

    Arrivals arrivals_;
    std::set<std::pair<DWORD, uint64_t>> by_id_;  // (id, arrival number) of every queued job
    uint64_t next_arrival_ = 0;
};

}  // namespace sim
