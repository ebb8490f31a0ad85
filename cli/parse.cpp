#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli.h"
#include "starfield/navigation.h"

bool parseWord(const char* text, ExtFloat& out) {
    if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X') || std::strlen(text) != 18) return false;
    uint64_t w = 0;
    for (int i = 2; i < 18; ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        w = (w << 4) | static_cast<uint64_t>(digit);
    }
    out = ExtFloat{w};
    return true;
}

namespace {

// Decimal digits in the one way of writing a number: no sign of its own, no
// blanks, no leading zeros ("0" itself is fine).
bool plainDigits(const char* text) {
    if (text[0] < '0' || text[0] > '9' || (text[0] == '0' && text[1] != '\0')) return false;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

}  // namespace

bool parseInt64(const char* text, int64_t& out) {
    const char* digits = text[0] == '-' ? text + 1 : text;
    if (!plainDigits(digits) || (digits != text && std::strcmp(digits, "0") == 0)) return false;
    errno = 0;
    const long long v = std::strtoll(text, nullptr, 10);
    if (errno != 0) return false;
    out = v;
    return true;
}

bool parseInt32(const char* text, int32_t& out) {
    int64_t v = 0;
    if (!parseInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool parseUint64(const char* text, uint64_t& out) {
    if (!plainDigits(text)) return false;
    errno = 0;
    const unsigned long long v = std::strtoull(text, nullptr, 10);
    if (errno != 0) return false;
    out = v;
    return true;
}

bool parseDouble(const char* text, double& out) {
    if (*text == '\0' || std::strchr(" \t\n", *text)) return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (*end != '\0') return false;
    out = v;
    return true;
}

bool parseAt(int argc, char** argv, int& i, int64_t at[3]) {
    if (i + 3 >= argc) {
        std::printf("error: --at needs three arguments X Y Z\n");
        return false;
    }
    for (int a = 0; a < 3; ++a) {
        if (!parseInt64(argv[i + 1 + a], at[a])) {
            std::printf("error: '%s' is not a signed 64-bit integer\n", argv[i + 1 + a]);
            return false;
        }
        if (!withinSpace(at[a])) {
            std::printf("error: --at %s is %s\n", argv[i + 1 + a], OUTSIDE_SPACE);
            return false;
        }
    }
    i += 3;
    return true;
}

bool parseUintOption(int argc, char** argv, int& i, uint64_t& out, uint64_t lo, uint64_t hi) {
    if (i + 1 >= argc || !parseUint64(argv[i + 1], out) || out < lo || out > hi) {
        std::printf("error: %s needs an integer %" PRIu64 "..%" PRIu64 "\n", argv[i], lo, hi);
        return false;
    }
    ++i;
    return true;
}

std::string formatWord(ExtFloat value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%016" PRIX64, value.w);
    return buf;
}

void printWordField(const char* field, ExtFloat value) {
    std::printf("%s %s %.10g\n", field, formatWord(value).c_str(), toDouble(value));
}

bool wantsHelp(int argc, char** argv, const CliValueOption* valued) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
        // The values of an option are its own, whatever they look like.
        for (const CliValueOption* o = valued; o != nullptr && o->name != nullptr; ++o) {
            if (std::strcmp(argv[i], o->name) == 0) {
                i += o->values;
                break;
            }
        }
    }
    return false;
}
