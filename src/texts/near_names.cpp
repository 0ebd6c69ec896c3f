#include "texts/near_names.h"

#include <stdlib.h>

#include "base/wide.h"
#include "output/text_buffer.h"

namespace {

bool left_out_of_names(WCHAR c) {
    return c == L'\t' || c == L' ' || c == L'(' || c == L')' || c == L'-' || c == L'.' || c == L'_';
}

// Whether a queue's folded name equals the folded pattern or, when `loosely`,
// contains it or is contained in it.
bool is_near_name(const WCHAR* name, const WCHAR* pattern, bool loosely) {
    WCHAR* candidate = normalized_name(name);
    bool found = wide_equal(candidate, pattern) ||
                 (loosely && candidate[0] != 0 && (wide_contains(candidate, pattern) || wide_contains(pattern, candidate)));
    free(candidate);
    return found;
}

}  // namespace

WCHAR* normalized_name(const WCHAR* name) {
    WCHAR* folded = static_cast<WCHAR*>(allocate((wide_length(name) + 1) * sizeof(WCHAR)));
    int kept = 0;
    for (const WCHAR* p = name; p != nullptr && *p != 0; ++p) {
        if (!left_out_of_names(*p)) folded[kept++] = *p;
    }
    folded[kept] = 0;
    if (kept > 0) LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, folded, kept, folded, kept);
    return folded;
}

const PrinterEntry* find_near_name(const PrinterInventory& printers, const WCHAR* typed) {
    WCHAR* pattern = normalized_name(typed);
    const PrinterEntry* found = nullptr;
    for (int pass = 0; pass < 2 && found == nullptr && pattern[0] != 0; ++pass) {
        for (int i = 0; i < printers.printer_count && found == nullptr; ++i) {
            if (is_near_name(printers.printers[i].name, pattern, pass == 1)) found = &printers.printers[i];
        }
    }
    free(pattern);
    return found;
}
