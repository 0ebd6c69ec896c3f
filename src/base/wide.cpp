#include "base/wide.h"

namespace {

WCHAR fold_ascii(WCHAR c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c + (L'a' - L'A')) : c;
}

}  // namespace

size_t wide_length(const WCHAR* text) {
    size_t length = 0;
    if (text != nullptr) {
        while (text[length] != 0) ++length;
    }
    return length;
}

bool wide_equal_nocase(const WCHAR* a, const WCHAR* b) {
    if (a == nullptr) a = L"";
    if (b == nullptr) b = L"";
    for (size_t i = 0;; ++i) {
        if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
        if (a[i] == 0) return true;
    }
}

bool wide_equal_nocase_n(const WCHAR* a, const WCHAR* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
    }
    return true;
}

bool wide_equal(const WCHAR* a, const WCHAR* b) {
    if (a == nullptr) a = L"";
    if (b == nullptr) b = L"";
    for (size_t i = 0;; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
}

namespace {

bool contains(const WCHAR* text, const WCHAR* fragment, bool fold) {
    size_t text_length = wide_length(text);
    size_t fragment_length = wide_length(fragment);
    for (size_t start = 0; start + fragment_length <= text_length; ++start) {
        size_t i = 0;
        while (i < fragment_length &&
               (fold ? fold_ascii(text[start + i]) == fold_ascii(fragment[i]) : text[start + i] == fragment[i])) {
            ++i;
        }
        if (i == fragment_length) return true;
    }
    return false;
}

}  // namespace

bool wide_contains(const WCHAR* text, const WCHAR* fragment) {
    return contains(text, fragment, false);
}

bool wide_contains_nocase(const WCHAR* text, const WCHAR* fragment) {
    if (text == nullptr || fragment == nullptr || text[0] == 0) return false;
    return contains(text, fragment, true);
}

void wide_copy(WCHAR* room, size_t room_units, const WCHAR* text) {
    if (room_units == 0) return;
    size_t i = 0;
    if (text != nullptr) {
        for (; i + 1 < room_units && text[i] != 0; ++i) room[i] = text[i];
        // A character outside the BMP is two units: never keep half of it.
        if (text[i] != 0 && i > 0 && IS_HIGH_SURROGATE(room[i - 1])) --i;
    }
    room[i] = 0;
}
