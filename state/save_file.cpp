#include "state/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "files/safe_write.h"
#include "numeric/constants.h"
#include "state/panel_choices.h"
#include "state/settings_file.h"

namespace {

// ------------------------------------------------------------------ checks

const char* finiteIn(double v, double lo, double hi, const char* outside) {
    if (!std::isfinite(v)) return "not a finite number";
    return v < lo || v > hi ? outside : nullptr;
}

bool unitLength(const Vec3d& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) &&
           std::fabs(std::sqrt(dot(v, v)) - 1.0) <= SAVE_DIRECTION_TOLERANCE;
}

// One of the entries of the panel's combo.
template <typename T, size_t N>
bool offered(uint64_t value, const Choice<T> (&choices)[N]) {
    return value <= UINT32_MAX && choiceName(choices, static_cast<T>(value)) != nullptr;
}

int32_t asInt32(const SaveValue& v) { return static_cast<int32_t>(static_cast<uint32_t>(v.word)); }

const char* checkForward(const SaveValue& v, const SaveValue*) {
    return unitLength(v.vector) ? nullptr : "not a finite vector of unit length";
}

enum FieldIndex : size_t { FIELD_FORWARD = 8, FIELD_UP = 9 };

const char* checkUp(const SaveValue& v, const SaveValue* earlier) {
    if (!unitLength(v.vector)) return "not a finite vector of unit length";
    if (std::fabs(dot(v.vector, earlier[FIELD_FORWARD].vector)) > SAVE_DIRECTION_TOLERANCE)
        return "not perpendicular to forward";
    return nullptr;
}

const char* checkViewAngle(const SaveValue& v, const SaveValue*) {
    return finiteIn(v.number, VIEW_ANGLE_MIN, VIEW_ANGLE_MAX, "outside 1 to 90");
}

const char* checkWavelength(const SaveValue& v, const SaveValue*) {
    return finiteIn(v.single, CHANNEL_WAVELENGTH_MIN, CHANNEL_WAVELENGTH_MAX, "outside 1e-08 to 0.0001 metres");
}

const char* checkMagnitude(const SaveValue& v, const SaveValue*) {
    return finiteIn(v.single, MAX_MAGNITUDE_MIN, MAX_MAGNITUDE_MAX, "outside 4 to 16");
}

const char* checkSpeedLevel(const SaveValue& v, const SaveValue*) {
    const int32_t level = asInt32(v);
    return level < MIN_SPEED_LEVEL || level > MAX_SPEED_LEVEL ? "outside -100 to 50" : nullptr;
}

const char* checkDisplayFont(const SaveValue& v, const SaveValue*) {
    return v.word > DISPLAY_FONT_SIZE_MAX ? "outside 0 to 18" : nullptr;
}

const char* checkControlFont(const SaveValue& v, const SaveValue*) {
    return v.word < CONTROL_FONT_SCALE_MIN || v.word > CONTROL_FONT_SCALE_MAX ? "outside 1 to 4" : nullptr;
}

const char* checkVoxelChunks(const SaveValue& v, const SaveValue*) {
    return offered(v.word, VOXEL_CHOICES) ? nullptr : "not one of the Max Voxels choices";
}

const char* checkStarsGen(const SaveValue& v, const SaveValue*) {
    return offered(v.word, STARS_GEN_CHOICES) ? nullptr : "not one of the Max stars gen choices";
}

const char* checkStarsGpu(const SaveValue& v, const SaveValue*) {
    return offered(v.word, POINT_CAPACITY_CHOICES) ? nullptr : "not one of the Max stars gc choices";
}

const char* checkPosition(const SaveValue& v, const SaveValue*) {
    return withinSpace(v.fixed.integer) ? nullptr : OUTSIDE_SPACE;
}

const char* checkFlag(const SaveValue& v, const SaveValue*) { return v.word > 1 ? "not 0 or 1" : nullptr; }

// ------------------------------------------------------- values in the program

SaveValue word(uint64_t w) {
    SaveValue v;
    v.word = w;
    return v;
}
SaveValue single(float f) {
    SaveValue v;
    v.single = f;
    return v;
}
SaveValue number(double d) {
    SaveValue v;
    v.number = d;
    return v;
}
SaveValue fixed(FixedCoord c) {
    SaveValue v;
    v.fixed = c;
    return v;
}
SaveValue vector(Vec3d d) {
    SaveValue v;
    v.vector = d;
    return v;
}

Settings& st(const SaveTarget& t) { return *t.settings; }
Viewpoint& vw(const SaveTarget& t) { return *t.view; }

// A speed level below the lowest a file may hold (the comma key has no lower
// bound) is saved as that lowest level: both mean standing still, and the
// program never writes a file it would refuse to read.
int32_t savedSpeedLevel(const Viewpoint& v) { return std::max<int32_t>(v.speedLevel, MIN_SPEED_LEVEL); }

#define POSITION_FIELD(NAME, AXIS, OFFSET)                                                                     \
    {NAME, SaveKind::FIXED, OFFSET, checkPosition, [](const SaveTarget& t) { return fixed(vw(t).position[AXIS]); }, \
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { vw(t).position[AXIS] = v.fixed; }}

#define WAVELENGTH_FIELD(NAME, CHANNEL, OFFSET)                                                           \
    {NAME, SaveKind::F32, OFFSET, checkWavelength,                                                        \
     [](const SaveTarget& t) { return single(st(t).channelWavelength[CHANNEL]); },                        \
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).channelWavelength[CHANNEL] = v.single; }}

#define FLAG_FIELD(NAME, MEMBER, OFFSET)                                                                 \
    {NAME, SaveKind::FLAG, OFFSET, checkFlag, [](const SaveTarget& t) { return word(st(t).MEMBER ? 1 : 0); }, \
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).MEMBER = v.word != 0; }}

}  // namespace

// The file layout. Every field lies at the next multiple of its alignment (the
// largest power of two dividing its size, at most 16); gaps hold 0xFF. The
// offsets are written out for the reader and checked against that rule below.
constexpr SaveField SAVE_FIELDS[SAVE_FIELD_COUNT] = {
    {"magic", SaveKind::MAGIC, 0, nullptr, nullptr, nullptr},
    {"version", SaveKind::VERSION, 8, nullptr, nullptr, nullptr},
    {"reserved", SaveKind::RESERVED, 12, nullptr, nullptr, nullptr},
    {"seedFirst", SaveKind::U32, 16, nullptr, [](const SaveTarget& t) { return word(st(t).seed.first); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).seed.first = static_cast<uint32_t>(v.word); }},
    {"seedSecond", SaveKind::U32, 20, nullptr, [](const SaveTarget& t) { return word(st(t).seed.second); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) {
         st(t).seed.second = static_cast<uint32_t>(v.word);
     }},
    // 24..31: padding
    POSITION_FIELD("positionX", 0, 32),
    POSITION_FIELD("positionY", 1, 48),
    POSITION_FIELD("positionZ", 2, 64),
    // The two directions are one orientation: forward is stored with up, so
    // that a file ending or failing between them never pairs a new forward
    // with an old up (which could be parallel to it).
    {"forward", SaveKind::VEC3, 80, checkForward, [](const SaveTarget& t) { return vector(vw(t).forward); },
     nullptr},
    {"up", SaveKind::VEC3, 104, checkUp, [](const SaveTarget& t) { return vector(vw(t).up); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue* earlier) {
         vw(t).forward = earlier[FIELD_FORWARD].vector;
         vw(t).up = v.vector;
     }},
    {"viewAngle", SaveKind::F64, 128, checkViewAngle, [](const SaveTarget& t) { return number(st(t).viewAngle); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).viewAngle = v.number; }},
    WAVELENGTH_FIELD("wavelengthRed", 0, 136),
    WAVELENGTH_FIELD("wavelengthGreen", 1, 140),
    WAVELENGTH_FIELD("wavelengthBlue", 2, 144),
    {"maxMagnitude", SaveKind::F32, 148, checkMagnitude, [](const SaveTarget& t) { return single(st(t).maxMagnitude); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).maxMagnitude = v.single; }},
    {"speedLevel", SaveKind::I32, 152, checkSpeedLevel,
     [](const SaveTarget& t) { return word(static_cast<uint32_t>(savedSpeedLevel(vw(t)))); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { vw(t).speedLevel = asInt32(v); }},
    {"displayFontSize", SaveKind::U32, 156, checkDisplayFont,
     [](const SaveTarget& t) { return word(st(t).displayFontSize); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) {
         st(t).displayFontSize = static_cast<uint32_t>(v.word);
     }},
    {"controlFontScale", SaveKind::U32, 160, checkControlFont,
     [](const SaveTarget& t) { return word(st(t).controlFontScale); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) {
         st(t).controlFontScale = static_cast<uint32_t>(v.word);
     }},
    {"maxVoxelChunks", SaveKind::U32, 164, checkVoxelChunks,
     [](const SaveTarget& t) { return word(st(t).maxVoxelChunks); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) {
         st(t).maxVoxelChunks = static_cast<uint32_t>(v.word);
     }},
    {"maxStarsGen", SaveKind::U32, 168, checkStarsGen,
     [](const SaveTarget& t) { return word(static_cast<uint32_t>(st(t).maxStarsGen)); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).maxStarsGen = v.word; }},
    {"maxStarsGpu", SaveKind::U32, 172, checkStarsGpu,
     [](const SaveTarget& t) { return word(static_cast<uint32_t>(st(t).pointCapacity)); },
     [](const SaveTarget& t, const SaveValue& v, const SaveValue*) { st(t).pointCapacity = v.word; }},
    FLAG_FIELD("panelOnRight", panelOnRight, 176),
    FLAG_FIELD("showCrosshair", showCrosshair, 177),
    FLAG_FIELD("multisampling", multisampling, 178),
};

#undef POSITION_FIELD
#undef WAVELENGTH_FIELD
#undef FLAG_FIELD

namespace {

constexpr uint32_t kindSize(SaveKind kind) {
    switch (kind) {
        case SaveKind::MAGIC:
        case SaveKind::F64:
            return 8;
        case SaveKind::FIXED:
            return 16;
        case SaveKind::VEC3:
            return 24;
        case SaveKind::FLAG:
            return 1;
        default:
            return 4;
    }
}

// The largest power of two dividing the size, at most 16.
constexpr uint32_t alignmentOf(uint32_t size) { return std::min<uint32_t>(size & (~size + 1), 16); }

constexpr size_t alignUp(size_t at, uint32_t alignment) { return (at + alignment - 1) / alignment * alignment; }

// The offsets of the table follow the alignment rule, and the last field ends at byte 179.
constexpr bool layoutFollowsTheRule(const SaveField* fields, size_t count) {
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        at = alignUp(at, alignmentOf(kindSize(fields[i].kind)));
        if (fields[i].offset != at) return false;
        at += kindSize(fields[i].kind);
    }
    return at == SAVE_FILE_SIZE;
}

// ---------------------------------------------------------- little-endian bytes

void putWord(uint8_t* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t getWord(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

void encode(SaveKind kind, const SaveValue& v, uint8_t* out) {
    switch (kind) {
        case SaveKind::MAGIC:
            putWord(out, SAVE_MAGIC, 8);
            break;
        case SaveKind::VERSION:
            putWord(out, SAVE_VERSION, 4);
            break;
        case SaveKind::RESERVED:
            putWord(out, 0, 4);
            break;
        case SaveKind::U32:
        case SaveKind::I32:
            putWord(out, v.word, 4);
            break;
        case SaveKind::F32:
            putWord(out, std::bit_cast<uint32_t>(v.single), 4);
            break;
        case SaveKind::F64:
            putWord(out, std::bit_cast<uint64_t>(v.number), 8);
            break;
        case SaveKind::FIXED:
            putWord(out, v.fixed.fraction, 8);
            putWord(out + 8, static_cast<uint64_t>(v.fixed.integer), 8);
            break;
        case SaveKind::VEC3:
            putWord(out, std::bit_cast<uint64_t>(v.vector.x), 8);
            putWord(out + 8, std::bit_cast<uint64_t>(v.vector.y), 8);
            putWord(out + 16, std::bit_cast<uint64_t>(v.vector.z), 8);
            break;
        case SaveKind::FLAG:
            out[0] = static_cast<uint8_t>(v.word);
            break;
    }
}

SaveValue decode(SaveKind kind, const uint8_t* in) {
    SaveValue v;
    switch (kind) {
        case SaveKind::MAGIC:
            v.word = getWord(in, 8);
            break;
        case SaveKind::VERSION:
        case SaveKind::RESERVED:
        case SaveKind::U32:
        case SaveKind::I32:
            v.word = getWord(in, 4);
            break;
        case SaveKind::F32:
            v.single = std::bit_cast<float>(static_cast<uint32_t>(getWord(in, 4)));
            break;
        case SaveKind::F64:
            v.number = std::bit_cast<double>(getWord(in, 8));
            break;
        case SaveKind::FIXED:
            v.fixed.fraction = getWord(in, 8);
            v.fixed.integer = static_cast<int64_t>(getWord(in + 8, 8));
            break;
        case SaveKind::VEC3:
            v.vector = {std::bit_cast<double>(getWord(in, 8)), std::bit_cast<double>(getWord(in + 8, 8)),
                        std::bit_cast<double>(getWord(in + 16, 8))};
            break;
        case SaveKind::FLAG:
            v.word = in[0];
            break;
    }
    return v;
}

}  // namespace

static_assert(layoutFollowsTheRule(SAVE_FIELDS, SAVE_FIELD_COUNT), "the save file layout breaks the alignment rule");
static_assert(SAVE_FIELDS[FIELD_FORWARD].offset == 80 && SAVE_FIELDS[FIELD_UP].offset == 104,
              "the orientation's field indices do not match the table");

uint32_t saveKindSize(SaveKind kind) { return kindSize(kind); }

std::string formatSaveValue(SaveKind kind, const SaveValue& v) {
    char text[128];
    switch (kind) {
        case SaveKind::MAGIC:
            std::snprintf(text, sizeof text, "0x%016" PRIX64, v.word);
            break;
        case SaveKind::I32:
            std::snprintf(text, sizeof text, "%" PRId32, static_cast<int32_t>(static_cast<uint32_t>(v.word)));
            break;
        case SaveKind::F32:
            std::snprintf(text, sizeof text, "%.17g", static_cast<double>(v.single));
            break;
        case SaveKind::F64:
            std::snprintf(text, sizeof text, "%.17g", v.number);
            break;
        case SaveKind::FIXED:
            std::snprintf(text, sizeof text, "%" PRIu64 " %" PRId64, v.fixed.fraction, v.fixed.integer);
            break;
        case SaveKind::VEC3:
            std::snprintf(text, sizeof text, "%.17g %.17g %.17g", v.vector.x, v.vector.y, v.vector.z);
            break;
        default:
            std::snprintf(text, sizeof text, "%" PRIu64, v.word);
            break;
    }
    return text;
}

std::vector<uint8_t> buildSaveImage(const SaveTarget& target) {
    std::vector<uint8_t> image;
    for (const SaveField& f : SAVE_FIELDS) {
        const uint32_t size = kindSize(f.kind);
        const size_t at = alignUp(image.size(), alignmentOf(size));
        image.resize(at + size, SAVE_PADDING);
        encode(f.kind, f.get != nullptr ? f.get(target) : SaveValue{}, image.data() + at);
    }
    return image;
}

void walkSaveImage(const uint8_t* data, size_t length,
                   const std::function<void(size_t, const SaveValue&, const SaveValue*)>& take) {
    SaveValue values[SAVE_FIELD_COUNT];
    size_t at = 0;
    for (size_t i = 0; i < SAVE_FIELD_COUNT; ++i) {
        const SaveField& f = SAVE_FIELDS[i];
        const uint32_t size = kindSize(f.kind);
        at = alignUp(at, alignmentOf(size));
        if (at + size > length) throw std::runtime_error(LOAD_TRUNCATED);
        values[i] = decode(f.kind, data + at);
        at += size;
        if (f.kind == SaveKind::MAGIC && values[i].word != SAVE_MAGIC) throw std::runtime_error(LOAD_BAD_MAGIC);
        if (f.kind == SaveKind::VERSION && values[i].word > SAVE_VERSION) throw std::runtime_error(LOAD_BAD_VERSION);
        if (f.check != nullptr) {
            if (const char* why = f.check(values[i], values)) {
                throw std::runtime_error(std::string("invalid ") + f.name + " in save file: " +
                                         formatSaveValue(f.kind, values[i]) + " is " + why);
            }
        }
        take(i, values[i], values);
    }
}

void applySaveImage(const uint8_t* data, size_t length, const SaveTarget& target) {
    walkSaveImage(data, length, [&target](size_t i, const SaveValue& value, const SaveValue* earlier) {
        if (SAVE_FIELDS[i].set != nullptr) SAVE_FIELDS[i].set(target, value, earlier);
    });
}

void saveState(const std::string& path, const SaveTarget& target) {
    const std::vector<uint8_t> image = buildSaveImage(target);
    WriteOptions options;
    options.regularFileOnly = true;
    const WriteResult written = writeFileSafely(path, image.data(), image.size(), options);
    if (written.ok) return;
    switch (written.failedAt) {
        case WriteStep::WRITE:
            throw std::runtime_error(SAVE_WRITE_FAILED);
        case WriteStep::CLOSE:
            throw std::runtime_error(SAVE_CLOSE_FAILED);
        default:
            throw std::runtime_error(written.errorNumber != 0 ? std::strerror(written.errorNumber) : written.error);
    }
}

int readSaveFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& errorText) {
    // Only a regular file is opened, and never in a way that waits: a FIFO
    // or a device in its place would hang the program or act on the device.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        errorText = std::strerror(error);
        return error;
    }
    if (!S_ISREG(st.st_mode)) throw SaveFileNotAFile(st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        errorText = std::strerror(error);
        return error;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // swapped since the check
        const mode_t mode = st.st_mode;
        ::close(fd);
        throw SaveFileNotAFile(mode);
    }
    // Nothing after the last field is ever used: a huge file costs no memory.
    bytes.assign(std::min<size_t>(static_cast<size_t>(st.st_size), SAVE_FILE_SIZE), 0);
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got != bytes.size()) {
        ::close(fd);
        throw std::runtime_error(LOAD_READ_FAILED);
    }
    if (::close(fd) != 0) throw std::runtime_error(LOAD_CLOSE_FAILED);
    return 0;
}

int loadState(const std::string& path, std::string& errorText, const SaveTarget& target) {
    std::vector<uint8_t> bytes;
    if (const int error = readSaveFile(path, bytes, errorText); error != 0) return error;
    applySaveImage(bytes.data(), bytes.size(), target);
    return 0;
}

SaveFileNotAFile::SaveFileNotAFile(mode_t mode)
    : std::runtime_error(std::string("the save file is ") + (fileKindName(mode) ? fileKindName(mode) : "gone") +
                         ", not a regular file: it is neither read nor written") {}

namespace {

// The format version of an image of a later program, or 0.
uint64_t newerVersion(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 12 || getWord(bytes.data(), 8) != SAVE_MAGIC) return 0;
    const uint64_t version = getWord(bytes.data() + 8, 4);
    return version > SAVE_VERSION ? version : 0;
}

}  // namespace

SaveFileStatus loadSaveFile(const std::string& path, const SaveTarget& target) {
    SaveFileStatus status;
    try {
        std::vector<uint8_t> bytes;
        const int error = readSaveFile(path, bytes, status.problem);
        if (error == ENOENT) {  // ABSENT
            loadSettingsFile(settingsFilePath(path), *target.settings, status.settingsProblems);
            return status;
        }
        if (error != 0) {
            status.condition = SaveFileCondition::UNREADABLE;
            loadSettingsFile(settingsFilePath(path), *target.settings, status.settingsProblems);
            return status;
        }
        // A later format: nothing of it is taken, and it is never written over.
        if (const uint64_t version = newerVersion(bytes); version != 0) {
            status.condition = SaveFileCondition::NEWER;
            status.problem = "the save file is of a newer version of Starloom (format version " +
                             std::to_string(version) + "): nothing is read from it";
            return status;
        }
        applySaveImage(bytes.data(), bytes.size(), target);
        status.condition = SaveFileCondition::READ;
    } catch (const SaveFileNotAFile& e) {
        status.condition = SaveFileCondition::NOT_A_FILE;
        status.problem = e.what();
        return status;
    } catch (const std::exception& e) {
        status.condition = SaveFileCondition::UNREADABLE;
        status.problem = e.what();
    }
    loadSettingsFile(settingsFilePath(path), *target.settings, status.settingsProblems);
    return status;
}

std::string unreadableName(const std::string& path, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return path + ".unreadable-" + stamp;
}

void saveGuarded(const std::string& path, const SaveTarget& target, SaveFileStatus& status, std::time_t now,
                 std::string& movedTo) {
    movedTo.clear();
    switch (status.condition) {
        case SaveFileCondition::NEWER:
            throw std::runtime_error("the save file is of a newer version of Starloom and is never written over: "
                                     "the state was not saved");
        case SaveFileCondition::NOT_A_FILE:
            throw std::runtime_error(status.problem);
        case SaveFileCondition::UNREADABLE: {
            // The file a link leads to is the one kept; the link stays.
            const std::string file = resolveWritePath(path);
            const std::string aside = unreadableName(file, now);
            std::string to = aside;
            int error = 0;
            for (int n = 2;; ++n) {
                if (renameWithoutReplacing(file, to)) {
                    movedTo = to;
                    break;
                }
                error = errno;
                if (error != EEXIST || n > 1000) break;
                to = aside + "-" + std::to_string(n);
            }
            // A file that is gone already leaves nothing to keep.
            if (movedTo.empty() && error != ENOENT) {
                throw std::runtime_error("the unreadable save file could not be moved aside to " + to + " (" +
                                         std::strerror(error) + "): the state was not saved");
            }
            status.condition = SaveFileCondition::ABSENT;
            break;
        }
        default: {
            // A newer program may have saved there since: its file is never
            // written over either.
            std::vector<uint8_t> bytes;
            std::string ignored;
            try {
                if (readSaveFile(path, bytes, ignored) != 0) bytes.clear();
            } catch (const std::runtime_error&) {
                bytes.clear();  // saveState says what is wrong with the path
            }
            if (newerVersion(bytes) != 0) {
                status.condition = SaveFileCondition::NEWER;
                throw std::runtime_error("the save file is of a newer version of Starloom and is never written over: "
                                         "the state was not saved");
            }
            break;
        }
    }
    saveState(path, target);
    status.condition = SaveFileCondition::READ;
    status.problem.clear();
    saveSettingsFile(settingsFilePath(path), *target.settings);
}

std::string saveDirectoryPath() {
    const std::string folder = std::string("/") + BRAND_FOLDER + "/";
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] != '\0') {
        return std::string(data) + folder;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/share" + folder;
    }
    return std::string(".") + folder;
}

std::string dataFolderOf(const std::string& saveFile) {
    if (saveFile.empty()) return saveDirectoryPath();
    const size_t slash = saveFile.find_last_of('/');
    return slash == std::string::npos ? std::string() : saveFile.substr(0, slash + 1);
}
