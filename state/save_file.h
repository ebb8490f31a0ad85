// The save file: the galaxy seed, the viewpoint, the display settings and the
// star-field engine's capacities in a little-endian binary image of 179 bytes.
//
// One table (SAVE_FIELDS) lists the fields in file order with their offset,
// kind, how to check a value read from a file and where it lives in the
// program; writing, reading, the defaults check and starloom-cli's printout
// all walk it. Free of any window or GPU header, so that starloom-cli and the
// tests link it without the renderer.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "starfield/navigation.h"
#include "state/settings.h"

inline constexpr uint64_t SAVE_MAGIC = 0x990A1A0A0D7867F3;  // bytes F3 67 78 0D 0A 1A 0A 99
inline constexpr uint32_t SAVE_VERSION = 1;
inline constexpr size_t SAVE_FILE_SIZE = 179;
inline constexpr uint8_t SAVE_PADDING = 0xFF;

// Tolerance of the unit-length and perpendicularity checks of the two
// direction vectors. Navigation keeps them within about 1e-15.
inline constexpr double SAVE_DIRECTION_TOLERANCE = 1e-6;

// The exact texts of the errors saveState and loadState throw.
inline constexpr const char* SAVE_WRITE_FAILED = "failed to write save file";
inline constexpr const char* SAVE_CLOSE_FAILED = "error closing save file on write";
inline constexpr const char* LOAD_SEEK_FAILED = "error in seek while loading save file";
inline constexpr const char* LOAD_READ_FAILED = "failed to read save file";
inline constexpr const char* LOAD_CLOSE_FAILED = "error closing save file on read";
inline constexpr const char* LOAD_TRUNCATED = "load from file of insufficient size, may have been truncated";
inline constexpr const char* LOAD_BAD_MAGIC = "invalid save file";
inline constexpr const char* LOAD_BAD_VERSION = "invalid file version";

// Where the saved values live: the settings (the galaxy seed and the star
// field's capacities among them) and the viewpoint.
struct SaveTarget {
    Settings* settings = nullptr;
    Viewpoint* view = nullptr;
};

// How a field is stored. MAGIC, VERSION and RESERVED frame the file and live
// nowhere in the program.
enum class SaveKind : uint8_t { MAGIC, VERSION, RESERVED, U32, I32, F32, F64, FIXED, VEC3, FLAG };

// A field's value; the member its kind names is the one in use.
struct SaveValue {
    uint64_t word = 0;    // MAGIC, VERSION, RESERVED, U32, FLAG; I32 as its 32-bit pattern
    float single = 0;     // F32
    double number = 0;    // F64
    FixedCoord fixed{};   // FIXED: low word (fraction), then high word (signed integer part)
    Vec3d vector{};       // VEC3
};

struct SaveField {
    const char* name;
    SaveKind kind;
    uint32_t offset;
    // Why a value read from a file must not be applied, or null when it may.
    // `earlier` holds the values of the fields before this one.
    const char* (*check)(const SaveValue& value, const SaveValue* earlier);
    // Reads the value to save from the target.
    SaveValue (*get)(const SaveTarget& target);
    // Stores a checked value into the target; null for a value stored with a later field.
    void (*set)(const SaveTarget& target, const SaveValue& value, const SaveValue* earlier);
};

// Bytes a field of this kind takes in the file.
uint32_t saveKindSize(SaveKind kind);

// Every field in file order.
inline constexpr size_t SAVE_FIELD_COUNT = 24;
extern const SaveField SAVE_FIELDS[SAVE_FIELD_COUNT];

// A value as starloom-cli prints it: integers in decimal, floating-point
// numbers with %.17g, a position as its low and high word, a vector as three
// numbers, the magic in hexadecimal.
std::string formatSaveValue(SaveKind kind, const SaveValue& value);

// The whole file image of the target's current values (179 bytes, gaps 0xFF).
std::vector<uint8_t> buildSaveImage(const SaveTarget& target);

// Walks an image field by field in file order: decodes each value, checks it
// and hands it to `take`, with the values before it. Throws std::runtime_error
// at the first field that lies beyond `length`, has the wrong magic or version,
// or fails its check (the message names the field); the fields handed over
// before stay handed over. Bytes after the last field are ignored.
void walkSaveImage(const uint8_t* data, size_t length,
                   const std::function<void(size_t index, const SaveValue& value, const SaveValue* earlier)>& take);

// Applies an image to the target field by field, as walkSaveImage reads them.
void applySaveImage(const uint8_t* data, size_t length, const SaveTarget& target);

// Writes the image through the safe write (files/safe_write.h): into a
// temporary file beside the file (a symbolic link is followed to it), synced,
// then renamed over it. A path that is a folder, a FIFO, a device or a socket
// is refused and never opened. On failure the file at `path` is left as it
// was and std::runtime_error is thrown: the strerror text of a failure to
// create or rename, SAVE_WRITE_FAILED, SAVE_CLOSE_FAILED, or why the path is
// refused.
void saveState(const std::string& path, const SaveTarget& target);

// Thrown when the save path is not a regular file; the message says what it is.
struct SaveFileNotAFile : std::runtime_error {
    explicit SaveFileNotAFile(mode_t mode);
};

// Reads the first SAVE_FILE_SIZE bytes of the file (what lies beyond is never
// used). Only a regular file is opened, and never in a way that waits.
// Returns 0, or errno when the file cannot be found or opened (errorText then
// holds strerror(errno)); throws SaveFileNotAFile, or std::runtime_error with
// LOAD_READ_FAILED or LOAD_CLOSE_FAILED.
int readSaveFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& errorText);

// Reads the file and applies it to the target (readSaveFile, then
// applySaveImage). 0 when it was read and applied.
int loadState(const std::string& path, std::string& errorText, const SaveTarget& target);

// What the last load found at the save path, which decides what a save may do
// there: a file the program could not read whole is never written over.
enum class SaveFileCondition : uint8_t {
    ABSENT,      // no file: a save creates it
    READ,        // read whole: a save replaces it
    UNREADABLE,  // there but not read whole (damaged, cut short, not readable):
                 // moved aside before the first save
    NEWER,       // of a newer format version: never written over, nothing taken from it
    NOT_A_FILE,  // a folder, FIFO, device or socket: neither read nor written
};

struct SaveFileStatus {
    SaveFileCondition condition = SaveFileCondition::ABSENT;
    std::string problem;  // why it was not read whole (strerror(ENOENT) when absent)
    // What could not be read of the settings file beside it (state/settings_file.h).
    std::vector<std::string> settingsProblems;
};

// Loads the file over the target as loadState does, without throwing, and
// says what was found; then the settings file beside it (unless the save file
// is of a newer version or no file at all).
SaveFileStatus loadSaveFile(const std::string& path, const SaveTarget& target);

// The name an unreadable save file is kept under: "PATH.unreadable-" and the
// local date and time, e.g. "default.sav.unreadable-20261209-141502".
std::string unreadableName(const std::string& path, std::time_t when);

// Saves as the last load allows. An unreadable file (the one a link leads to)
// is first renamed to unreadableName(file, now), or with "-2", "-3"... when
// that is taken, and `movedTo` gets that path (empty when nothing was moved).
// A newer file (also one a newer program saved since the load) or a path that
// is not a regular file throws and is left alone, as does an unreadable one
// that cannot be moved aside; otherwise as saveState, and then the settings
// file beside it is written. After a save the condition is READ.
void saveGuarded(const std::string& path, const SaveTarget& target, SaveFileStatus& status, std::time_t now,
                 std::string& movedTo);

// Where the save file lives: $XDG_DATA_HOME (or ~/.local/share) + "/tarnwick/".
std::string saveDirectoryPath();
// The data folder of a save file given by its path (its folder, with a
// trailing '/', or empty for the current folder); for none (empty), the
// save folder. The settings file and the bookmarks live there too.
std::string dataFolderOf(const std::string& saveFile);
