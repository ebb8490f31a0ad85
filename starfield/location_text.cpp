#include "starfield/location_text.h"

#include <xxhash.h>

#include <bit>
#include <cstring>

namespace {

// Digits and upper-case letters, without I, L, O and U (which read like
// other characters or words).
constexpr char DIGITS[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr size_t PAYLOAD_BYTES = 104;
constexpr size_t CHECK_BYTES = 6;
constexpr size_t TOTAL_BYTES = PAYLOAD_BYTES + CHECK_BYTES;  // 880 bits: 176 digits of 5 bits
constexpr size_t DIGIT_COUNT = TOTAL_BYTES * 8 / 5;
constexpr size_t PREFIX_LENGTH = sizeof LOCATION_PREFIX - 1;
static_assert(PREFIX_LENGTH + DIGIT_COUNT == LOCATION_TEXT_LENGTH);
// Seed of the checksum, so that it is this format's own.
constexpr uint64_t CHECK_SEED = 0x5354524C4F4F4D31ull;
// Directions are unit vectors at right angles to within this.
constexpr double DIRECTION_TOLERANCE = 1e-6;

void put(unsigned char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t get(const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
    return value;
}

uint64_t checksum(const unsigned char* payload) {
    return XXH64(payload, PAYLOAD_BYTES, CHECK_SEED) & ((uint64_t{1} << (8 * CHECK_BYTES)) - 1);
}

}  // namespace

std::string_view pastedText(std::string_view text) {
    const char* blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string encodeLocation(const Location& place) {
    unsigned char bytes[TOTAL_BYTES];
    unsigned char* at = bytes;
    for (const FixedCoord& c : place.position) {
        put(at, static_cast<uint64_t>(c.integer), 8);
        put(at + 8, c.fraction, 8);
        at += 16;
    }
    for (const Vec3d& v : {place.forward, place.up}) {
        for (double d : {v.x, v.y, v.z}) {
            put(at, std::bit_cast<uint64_t>(d), 8);
            at += 8;
        }
    }
    put(at, place.seed.first, 4);
    put(at + 4, place.seed.second, 4);
    put(bytes + PAYLOAD_BYTES, checksum(bytes), CHECK_BYTES);

    // Five bits per digit, most significant first.
    std::string text = LOCATION_PREFIX;
    uint32_t buffer = 0;
    int bits = 0;
    for (unsigned char b : bytes) {
        buffer = (buffer << 8) | b;
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text += DIGITS[(buffer >> bits) & 31];
        }
    }
    return text;
}

bool decodeLocation(std::string_view text, Location& place, std::string& error) {
    const std::string_view t = pastedText(text);
    if (t.substr(0, PREFIX_LENGTH) != LOCATION_PREFIX) {
        // "starloom" and a version other than this one.
        if (t.substr(0, 8) == std::string_view(LOCATION_PREFIX, 8) && t.find(':') != std::string_view::npos &&
            t.find(':') > 8)
            error = "this location text is of another format version than this program reads (" +
                    std::string(LOCATION_PREFIX) + "...)";
        else
            error = std::string("not a location text: it must begin with ") + LOCATION_PREFIX;
        return false;
    }
    const std::string_view digits = t.substr(PREFIX_LENGTH);
    unsigned char bytes[TOTAL_BYTES];
    size_t count = 0;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : digits) {
        const char* d = c == '\0' ? nullptr : std::strchr(DIGITS, c);
        if (d == nullptr) {
            error = "the location text holds a character it cannot hold";
            return false;
        }
        buffer = (buffer << 5) | static_cast<uint32_t>(d - DIGITS);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            if (count < TOTAL_BYTES) bytes[count] = static_cast<unsigned char>(buffer >> bits);
            ++count;
        }
    }
    if (digits.size() != DIGIT_COUNT) {
        error = digits.size() < DIGIT_COUNT ? "the location text is cut short" : "the location text is too long";
        return false;
    }
    if (get(bytes + PAYLOAD_BYTES, CHECK_BYTES) != checksum(bytes)) {
        error = "the location text was changed: its checksum does not match";
        return false;
    }

    Location p;
    const unsigned char* at = bytes;
    for (FixedCoord& c : p.position) {
        c.integer = static_cast<int64_t>(get(at, 8));
        c.fraction = get(at + 8, 8);
        at += 16;
    }
    for (Vec3d* v : {&p.forward, &p.up}) {
        v->x = std::bit_cast<double>(get(at, 8));
        v->y = std::bit_cast<double>(get(at + 8, 8));
        v->z = std::bit_cast<double>(get(at + 16, 8));
        at += 24;
    }
    p.seed.first = static_cast<uint32_t>(get(at, 4));
    p.seed.second = static_cast<uint32_t>(get(at + 4, 4));
    for (const FixedCoord& c : p.position) {
        if (!withinSpace(c.integer)) {
            error = std::string("the location text's position lies ") + OUTSIDE_SPACE;
            return false;
        }
    }
    if (!isOrthonormal(p.forward, p.up, DIRECTION_TOLERANCE)) {
        error = "the location text's view direction and up vector are not unit vectors at right angles";
        return false;
    }
    place = p;
    return true;
}
