// Fuzzes the number arguments: whatever the text, the value is the leading
// ASCII digits, 2^64 - 1 when they are more than that, or 0.
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "app/dispatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<WCHAR> text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<WCHAR>(data[i] | (data[i + 1] << 8)));
    text.push_back(0);
    WCHAR* argv[] = {nullptr, nullptr, nullptr, text.data()};
    unsigned long long value = parse_number(4, argv, 3, L"20");
    unsigned long long expected = 0;
    for (size_t i = 0; text[i] >= L'0' && text[i] <= L'9'; ++i) {
        unsigned __int128 next = static_cast<unsigned __int128>(expected) * 10 + (text[i] - L'0');
        expected = next > ~0ULL ? ~0ULL : static_cast<unsigned long long>(next);
    }
    if (value != expected) abort();
    return 0;
}
