// The virtual clock: system time, local time, the tick count and Sleep. Only
// Sleep moves it, by exactly its argument, and at once.
#include <cstdio>

#include "computer.h"

namespace {

constexpr ULONGLONG kTicksPerMs = 10000;
constexpr ULONGLONG kMsPerDay = 86400000;
// Days from 0000-03-01 (the civil calendar's origin below) to 1601-01-01.
constexpr int64_t kDaysTo1601 = 584694;

// Days since 0000-03-01 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe);
}

void civil_from_days(int64_t days, int* year, unsigned* month, unsigned* day) {
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (*month <= 2));
}

bool is_leap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned days_in_month(unsigned year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

}  // namespace

void sim::filetime_to_systemtime(ULONGLONG filetime, SYSTEMTIME* out) {
    ULONGLONG ms = filetime / kTicksPerMs;
    int64_t days = static_cast<int64_t>(ms / kMsPerDay);
    ULONGLONG in_day = ms % kMsPerDay;
    int year;
    unsigned month, day;
    civil_from_days(days + kDaysTo1601, &year, &month, &day);
    out->wYear = static_cast<WORD>(year);
    out->wMonth = static_cast<WORD>(month);
    out->wDay = static_cast<WORD>(day);
    out->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    out->wHour = static_cast<WORD>(in_day / 3600000);
    out->wMinute = static_cast<WORD>(in_day / 60000 % 60);
    out->wSecond = static_cast<WORD>(in_day / 1000 % 60);
    out->wMilliseconds = static_cast<WORD>(in_day % 1000);
}

namespace sim {

// "YYYY-MM-DDTHH:MM:SS[.mmm]Z" to a file time.
bool parse_utc(const std::string& text, ULONGLONG* filetime) {
    SYSTEMTIME st{};
    unsigned y, mo, d, h, mi, s, ms = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%n", &y, &mo, &d, &h, &mi, &s, &used) != 6) return false;
    std::string rest = text.substr(static_cast<size_t>(used));
    if (rest.size() == 5 && rest[0] == '.' && rest[4] == 'Z') {
        if (std::sscanf(rest.c_str() + 1, "%3u", &ms) != 1) return false;
    } else if (rest != "Z") {
        return false;
    }
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    st.wMilliseconds = static_cast<WORD>(ms);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return false;
    *filetime = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return true;
}

}  // namespace sim

extern "C" {

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    sim::call_fails("GetSystemTimeAsFileTime");  // cannot fail; logged only
    ULONGLONG now = sim::now_filetime();
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(now);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(now >> 32);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (sim::call_fails("SystemTimeToFileTime")) return FALSE;
    const SYSTEMTIME& st = *lpSystemTime;
    // Windows checks every field but the day of the week.
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999) {
        return sim::fail(ERROR_INVALID_PARAMETER);
    }
    int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay) - kDaysTo1601;
    ULONGLONG ms = static_cast<ULONGLONG>(days) * kMsPerDay + st.wHour * 3600000ULL + st.wMinute * 60000ULL +
                   st.wSecond * 1000ULL + st.wMilliseconds;
    ULONGLONG ft = ms * kTicksPerMs;
    lpFileTime->dwLowDateTime = static_cast<DWORD>(ft);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(ft >> 32);
    return TRUE;
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    sim::call_fails("GetSystemTime");
    sim::filetime_to_systemtime(sim::now_filetime(), lpSystemTime);
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    sim::call_fails("GetLocalTime");
    int64_t offset = static_cast<int64_t>(sim::computer().clock.utc_offset_minutes) * 60000 * 10000;
    sim::filetime_to_systemtime(static_cast<ULONGLONG>(static_cast<int64_t>(sim::now_filetime()) + offset), lpSystemTime);
}

DWORD WINAPI GetTickCount(void) {
    sim::call_fails("GetTickCount");
    const sim::ClockState& clock = sim::computer().clock;
    return static_cast<DWORD>(clock.start_tick + clock.elapsed_ms);  // wraps after 49.7 days, as on Windows
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    sim::call_fails("Sleep");
    sim::computer().clock.elapsed_ms += dwMilliseconds;
}

}  // extern "C"
