// Code page conversions (UTF-8 and the ANSI code page 1251 of a Russian
// Windows) and invariant lower-casing, with Windows' rules for sizes,
// terminators and ill-formed input.
#include <cstring>

#include "computer.h"

namespace {

using sim::fail;

constexpr char16_t kReplacement = 0xFFFD;

// Code page 1251, bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F.
// 0x98 has no character and maps to U+0098, as Windows maps it.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

// Code page 866, the OEM code page of a Russian console, bytes 0xB0 to 0xDF
// (box drawing) and 0xF0 to 0xFF; 0x80 to 0xAF are U+0410 to U+043F, 0xE0 to
// 0xEF U+0440 to U+044F.
constexpr char16_t kCp866Box[48] = {
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
};
constexpr char16_t kCp866Top[16] = {
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

char16_t cp866_to_unit(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte < 0xB0) return static_cast<char16_t>(0x0410 + (byte - 0x80));
    if (byte < 0xE0) return kCp866Box[byte - 0xB0];
    if (byte < 0xF0) return static_cast<char16_t>(0x0440 + (byte - 0xE0));
    return kCp866Top[byte - 0xF0];
}

char16_t cp1251_to_unit(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return static_cast<char16_t>(0x0410 + (byte - 0xC0));
    return kCp1251High[byte - 0x80];
}

// 0 when the unit has no byte in code page 1251.
unsigned char unit_to_cp1251(char16_t unit) {
    if (unit < 0x80) return static_cast<unsigned char>(unit);
    if (unit >= 0x0410 && unit <= 0x044F) return static_cast<unsigned char>(0xC0 + (unit - 0x0410));
    for (int i = 0; i < 64; ++i) {
        if (kCp1251High[i] == unit) return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

// Decodes UTF-8 as Windows does: every maximal ill-formed subpart becomes one
// U+FFFD (overlong forms and encoded surrogates included). Returns false when
// something was replaced.
bool decode_utf8(const unsigned char* bytes, size_t count, std::u16string* out) {
    bool clean = true;
    size_t i = 0;
    while (i < count) {
        unsigned char b = bytes[i];
        if (b < 0x80) {
            out->push_back(b);
            ++i;
            continue;
        }
        int needed = 0;
        uint32_t cp = 0;
        unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            needed = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            needed = 2;
            cp = b & 0x0F;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            needed = 3;
            cp = b & 0x07;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            out->push_back(kReplacement);
            clean = false;
            ++i;
            continue;
        }
        size_t j = i + 1;
        int got = 0;
        while (got < needed && j < count) {
            unsigned char c = bytes[j];
            unsigned char lo = got == 0 ? low : 0x80;
            unsigned char hi = got == 0 ? high : 0xBF;
            if (c < lo || c > hi) break;
            cp = (cp << 6) | (c & 0x3F);
            ++got;
            ++j;
        }
        if (got < needed) {
            out->push_back(kReplacement);
            clean = false;
            i = j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i = j;
    }
    return clean;
}

// Encodes UTF-16 as UTF-8; a lone surrogate becomes U+FFFD, as on Windows.
void encode_utf8(const char16_t* units, size_t count, std::string* out) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

// Invariant lower case of the scripts a shop's printers and queues are named
// in: Latin, Latin-1, Latin Extended-A and Cyrillic (Kazakh letters included).
char16_t lower_unit(char16_t u) {
    if (u >= u'A' && u <= u'Z') return static_cast<char16_t>(u + 32);
    if (u < 0x00C0) return u;
    if (u <= 0x00DE) return u == 0x00D7 ? u : static_cast<char16_t>(u + 32);
    if (u == 0x0130) return u'i';  // capital I with dot: plain i, without the dot
    if (u >= 0x0100 && u <= 0x0137) return static_cast<char16_t>(u | 1);
    if (u >= 0x0139 && u <= 0x0148) return (u & 1) ? static_cast<char16_t>(u + 1) : u;
    if (u >= 0x014A && u <= 0x0177) return static_cast<char16_t>(u | 1);
    if (u == 0x0178) return 0x00FF;
    if (u >= 0x0179 && u <= 0x017E) return (u & 1) ? static_cast<char16_t>(u + 1) : u;
    if (u >= 0x0400 && u <= 0x040F) return static_cast<char16_t>(u + 0x50);
    if (u >= 0x0410 && u <= 0x042F) return static_cast<char16_t>(u + 0x20);
    if ((u >= 0x0460 && u <= 0x0481) || (u >= 0x048A && u <= 0x04BF)) return static_cast<char16_t>(u | 1);
    if (u == 0x04C0) return 0x04CF;
    if (u >= 0x04C1 && u <= 0x04CE) return (u & 1) ? static_cast<char16_t>(u + 1) : u;
    if (u >= 0x04D0 && u <= 0x052F) return static_cast<char16_t>(u | 1);
    return u;
}

// Hands a converted text to the caller's buffer by Windows' rules: a size
// query with room 0, ERROR_INSUFFICIENT_BUFFER when it does not fit.
template <typename Unit, typename Out>
int deliver(const std::basic_string<Unit>& result, Out* destination, int room) {
    if (result.empty()) return fail(ERROR_NO_UNICODE_TRANSLATION);
    if (result.size() > 0x7FFFFFFF) return fail(ERROR_INSUFFICIENT_BUFFER);
    int size = static_cast<int>(result.size());
    if (room == 0) return size;
    if (room < size) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(destination, result.data(), result.size() * sizeof(Unit));
    return size;
}

}  // namespace

namespace sim {

std::u16string text_of(const WCHAR* text, size_t limit) {
    std::u16string result;
    for (const WCHAR* p = text; p != nullptr && *p != 0 && result.size() < limit; ++p) {
        result.push_back(static_cast<char16_t>(*p));
    }
    return result;
}

bool starts_with_ascii_nocase(const std::u16string& text, const std::u16string& prefix) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (fold(text[i]) != fold(prefix[i])) return false;
    }
    return true;
}

bool equal_ascii_nocase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && starts_with_ascii_nocase(a, b);
}

void overwrite_last_error() { SetLastError(computer().clean_up_error); }

std::u16string oem_to_utf16(const std::string& bytes) {
    std::u16string units;
    for (unsigned char byte : bytes) units.push_back(cp866_to_unit(byte));
    return units;
}

std::u16string utf8_to_utf16(const std::string& text) {
    std::u16string result;
    decode_utf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &result);
    return result;
}

std::string utf16_to_utf8(const std::u16string& text) {
    std::string result;
    encode_utf8(text.data(), text.size(), &result);
    return result;
}

}  // namespace sim

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (sim::call_fails("MultiByteToWideChar")) return 0;
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (CodePage != CP_UTF8 && CodePage != CP_ACP && CodePage != 1251) return fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) return fail(1004 /* ERROR_INVALID_FLAGS */);
    size_t count = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string result;
    if (CodePage == CP_UTF8) {
        bool clean = decode_utf8(bytes, count, &result);
        if (!clean && (dwFlags & MB_ERR_INVALID_CHARS)) return fail(ERROR_NO_UNICODE_TRANSLATION);
    } else {
        for (size_t i = 0; i < count; ++i) result.push_back(cp1251_to_unit(bytes[i]));
    }
    return deliver(result, lpWideCharStr, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (sim::call_fails("WideCharToMultiByte")) return 0;
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const char16_t* units = reinterpret_cast<const char16_t*>(lpWideCharStr);
    size_t count = 0;
    if (cchWideChar == -1) {
        while (units[count] != 0) ++count;
        ++count;
    } else {
        count = static_cast<size_t>(cchWideChar);
    }
    std::string result;
    if (CodePage == CP_UTF8) {
        // UTF-8 has no default character; Windows refuses one.
        if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) return fail(ERROR_INVALID_PARAMETER);
        if (dwFlags != 0) return fail(1004 /* ERROR_INVALID_FLAGS */);
        encode_utf8(units, count, &result);
    } else if (CodePage == CP_ACP || CodePage == 1251) {
        char fallback = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
        bool used = false;
        for (size_t i = 0; i < count; ++i) {
            unsigned char byte = unit_to_cp1251(units[i]);
            if (byte == 0 && units[i] != 0) {
                result.push_back(fallback);
                used = true;
                // A surrogate pair is one character and takes one default character.
                if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
                    units[i + 1] <= 0xDFFF) {
                    ++i;
                }
            } else {
                result.push_back(static_cast<char>(byte));
            }
        }
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used ? TRUE : FALSE;
    } else {
        return fail(ERROR_INVALID_PARAMETER);
    }
    return deliver(result, lpMultiByteStr, cbMultiByte);
}

int WINAPI LCMapStringW(LCID, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr, int cchDest) {
    if (sim::call_fails("LCMapStringW")) return 0;
    if (lpSrcStr == nullptr || cchSrc == 0 || cchSrc < -1 || cchDest < 0 || (cchDest > 0 && lpDestStr == nullptr)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwMapFlags != LCMAP_LOWERCASE) return fail(1004 /* ERROR_INVALID_FLAGS */);
    const char16_t* units = reinterpret_cast<const char16_t*>(lpSrcStr);
    std::u16string result;
    if (cchSrc == -1) {
        for (size_t i = 0; units[i] != 0; ++i) result.push_back(lower_unit(units[i]));
        result.push_back(0);
    } else {
        for (int i = 0; i < cchSrc; ++i) result.push_back(lower_unit(units[i]));
    }
    return deliver(result, lpDestStr, cchDest);
}

}  // extern "C"
