// What the simulated spooler's calls share: the printer handle, and the
// packing of records with their strings into the caller's buffer.
#pragma once

#include <winspool.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "computer.h"

namespace sim {

struct PrinterHandle {
    QueuePlace queue;
    DWORD job_id = 0;  // the job started on this handle and not yet ended
    bool page_open = false;
    DWORD started_job = 0;  // the last job started on this handle, ended or not
};

// A handle the program got from OpenPrinterW and has not closed; null otherwise.
PrinterHandle* open_handle(HANDLE handle);

// What closing a handle does to the job started on it: a job deleted while
// its document was open leaves the queue now, and neither its document nor
// its page is left open.
void close_started_job(PrinterHandle* handle);

inline Printer& printer_of(const PrinterHandle* handle) { return printer_at(handle->queue); }

// Names in every record, as on a shop's computer.
inline const std::u16string kMachine = u"\\\\SHOP-PC";
inline const std::u16string kUser = u"kassa";
inline const std::u16string kRaw = u"RAW";

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
bool buffer_fits(const RecordPacker& packer, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned);

// A fill call (a buffer large enough for the answer as it stands) that a
// scripted count says finds the answer grown by one record in between: it
// fails with ERROR_INSUFFICIENT_BUFFER and names the larger size. Uses up one
// of the count.
bool grew_between_calls(unsigned& count, const RecordPacker& packer, size_t record_size, LPBYTE buffer, DWORD size,
                        LPDWORD needed);
// Whether a fill call is one of the first `count` to find the queue emptied in
// between; uses up one of the count.
bool emptied_between_calls(unsigned& count, const RecordPacker& packer, LPBYTE buffer, DWORD size);

// The printer record of an open handle (what GetPrinterW and GetJobW check
// first, in Windows' order: the handle, the size pointer, then cleared, the
// level); null after setting the error.
Printer* queried_printer(HANDLE handle, DWORD level, DWORD wanted_level, LPDWORD needed);

}  // namespace sim
