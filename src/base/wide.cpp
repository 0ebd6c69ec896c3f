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

void wide_copy(WCHAR* room, size_t room_units, const WCHAR* text) {
    if (room_units == 0) return;
    size_t i = 0;
    if (text != nullptr) {
        for (; i + 1 < room_units && text[i] != 0; ++i) room[i] = text[i];
    }
    room[i] = 0;
}
