#include "base/ascii.h"

namespace {

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

bool ascii_equal_nocase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (fold(*a) != fold(*b)) return false;
        if (*a == 0) return true;
    }
}
