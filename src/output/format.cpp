#include "output/format.h"

#include "base/numbers.h"

namespace {

// Counts every byte of the result; writes those that fit before the NUL.
struct Output {
    char* out;
    size_t room;
    size_t length;
};

void put(Output* output, char c) {
    if (output->length + 1 < output->room) output->out[output->length] = c;
    ++output->length;
}

size_t finish(Output* output) {
    if (output->room > 0) output->out[output->length < output->room ? output->length : output->room - 1] = 0;
    return output->length;
}

// An integer in the base given, right-aligned in `width` (zeros or blanks).
void put_number(Output* output, unsigned long long value, bool negative, unsigned base, unsigned width,
                bool zero_padded) {
    char digits[24];
    unsigned count = 0;
    do {
        unsigned digit = 0;
        value = divide_small(value, base, &digit);
        digits[count++] = "0123456789abcdef"[digit];
    } while (value != 0);
    unsigned used = count + (negative ? 1 : 0);
    if (negative && zero_padded) put(output, '-');
    for (; width > used; --width) put(output, zero_padded ? '0' : ' ');
    if (negative && !zero_padded) put(output, '-');
    while (count > 0) put(output, digits[--count]);
}

}  // namespace

size_t format_text_v(char* out, size_t room, const char* format, va_list args) {
    Output output = {out, room, 0};
    for (const char* p = format; *p != 0; ++p) {
        if (*p != '%') {
            put(&output, *p);
            continue;
        }
        ++p;
        bool zero_padded = *p == '0';
        if (zero_padded) ++p;
        unsigned width = 0;
        for (; *p >= '0' && *p <= '9'; ++p) width = width * 10 + static_cast<unsigned>(*p - '0');
        int longs = 0;
        for (; *p == 'l'; ++p) ++longs;
        switch (*p) {
            case 's':
                for (const char* text = va_arg(args, const char*); text != nullptr && *text != 0; ++text) {
                    put(&output, *text);
                }
                break;
            case 'd': {
                long long value = longs == 2   ? va_arg(args, long long)
                                  : longs == 1 ? va_arg(args, long)
                                               : va_arg(args, int);
                unsigned long long magnitude =
                    value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
                put_number(&output, magnitude, value < 0, 10, width, zero_padded);
                break;
            }
            case 'u':
            case 'x': {
                unsigned long long value = longs == 2   ? va_arg(args, unsigned long long)
                                           : longs == 1 ? va_arg(args, unsigned long)
                                                        : va_arg(args, unsigned);
                put_number(&output, value, false, *p == 'x' ? 16 : 10, width, zero_padded);
                break;
            }
            case '%': put(&output, '%'); break;
            default:  // not a conversion this program uses (the format checker rejects it): stop here
                return finish(&output);
        }
    }
    return finish(&output);
}

size_t format_text(char* out, size_t room, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t length = format_text_v(out, room, format, args);
    va_end(args);
    return length;
}
