#include "starfield/locate.h"

#include <cstdio>
#include <mutex>
#include <shared_mutex>

#include "galaxy/star_name.h"
#include "starfield/location_text.h"
#include "starfield/search.h"
#include "starfield/star_field.h"

namespace {

constexpr int FIRST_STAR_LEVEL = 2;

int levelOfLetter(char c) {
    for (int d = 0; d < 21; ++d) {
        if (LATTICE_ALPHABET[d] == c) return d;
    }
    return -1;
}

// The cells of a level: the root's corner -2^30 on each axis and its edge 2^31
// grid units, cut into cells of 2^(32 - level).
int64_t lowestCell(int level) { return int64_t{static_cast<int32_t>(ROOT_CORNER)} >> (32 - level); }
int64_t highestCell(int level) { return -lowestCell(level) - 1; }

std::string quoted(std::string_view text) {
    std::string q = "'";
    for (char c : text) {
        // Control characters would garble the message line.
        q += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    }
    return q + "'";
}

}  // namespace

bool parseStarName(std::string_view text, StarName& name, std::string& error) {
    const std::string_view t = pastedText(text);
    const std::string shown = quoted(t);
    const size_t dash1 = t.find('-');
    const size_t dash2 = dash1 == std::string_view::npos ? dash1 : t.find('-', dash1 + 1);
    if (t.empty() || dash2 == std::string_view::npos || t.find('-', dash2 + 1) != std::string_view::npos) {
        error = shown + " is not a star name: a name is a level letter, a voxel code and a star number "
                        "joined by '-', like S-MNQW-1";
        return false;
    }
    const std::string_view letter = t.substr(0, dash1);
    const std::string_view code = t.substr(dash1 + 1, dash2 - dash1 - 1);
    const std::string_view number = t.substr(dash2 + 1);

    const int level = letter.size() == 1 ? levelOfLetter(letter[0]) : -1;
    if (level < FIRST_STAR_LEVEL || level > DEEPEST_LEVEL) {
        error = shown + ": the level letter must be one upper-case letter from D to X";
        return false;
    }
    int32_t cell[3];
    switch (parseLatticeCode(code.data(), code.size(), cell[0], cell[1], cell[2])) {
        case LatticeCodeError::NONE: break;
        case LatticeCodeError::EMPTY: error = shown + ": the voxel code is missing"; return false;
        case LatticeCodeError::NOT_A_LETTER:
            error = shown + ": a voxel code uses only the upper-case letters BCDFGHJKLMNPQRSTVWXYZ";
            return false;
        case LatticeCodeError::LEADING_B: error = shown + ": a voxel code never starts with B"; return false;
        case LatticeCodeError::TOO_LARGE: error = shown + ": the voxel code is too long"; return false;
    }
    for (int a = 0; a < 3; ++a) {
        if (cell[a] < lowestCell(level) || cell[a] > highestCell(level)) {
            error = shown + ": the voxel code names a cell outside the galaxy at level " + letter[0];
            return false;
        }
    }
    // The number as "%d" writes it: digits, no sign, no leading zero.
    uint64_t n = 0;
    bool digits = !number.empty() && number[0] != '0' && number.size() <= 10;
    for (char c : number) {
        if (c < '0' || c > '9') digits = false;
        if (digits) n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!digits || n > INT32_MAX) {
        error = shown + ": the star number must be a whole number from 1 (without leading zeros)";
        return false;
    }
    name.level = level;
    for (int a = 0; a < 3; ++a) name.cell[a] = cell[a];
    name.number = static_cast<uint32_t>(n);
    return true;
}

bool locateStar(const Galaxy& galaxy, GalaxySeed seed, const ChannelConstants& channels, const StarName& name,
                LocatedStar& out, std::string& error, GenerationWorkspace& ws) {
    uint32_t corner[3];
    for (int a = 0; a < 3; ++a) corner[a] = static_cast<uint32_t>(name.cell[a]) << (32 - name.level);
    char code[LATTICE_CODE_SIZE];
    char* end = code;
    latticeCode(code, end, name.cell[0], name.cell[1], name.cell[2]);
    char voxelName[48];
    std::snprintf(voxelName, sizeof voxelName, "%c-%s", LATTICE_ALPHABET[name.level], code);

    // Down from the root, one octant per level, each child planned from its
    // parent as the star field plans it when it creates the voxel.
    VoxelParent parent = rootParent(galaxy.count);
    ChildPlan plan;
    uint64_t densities[GALAXY_MAX_COMPONENTS] = {};
    for (int level = 2; level <= name.level; ++level) {
        if (parent.level + parent.lastTier >= DEEPEST_LEVEL) {
            error = std::string("no star ") + voxelName + "-" + std::to_string(name.number) +
                    ": the octree ends above this voxel (its level " + std::to_string(parent.level) +
                    " ancestor already holds the faintest stars)";
            return false;
        }
        const uint32_t half = uint32_t{1} << (32 - level);
        int octant = 0;
        if ((corner[0] - parent.x) & half) octant |= 4;
        if ((corner[1] - parent.y) & half) octant |= 2;
        if ((corner[2] - parent.z) & half) octant |= 1;
        if (!planChild(galaxy, parent, octant, plan, densities)) {
            error = std::string("no star ") + voxelName + "-" + std::to_string(name.number) +
                    ": the galaxy has no stars in this voxel";
            return false;
        }
        parent = parentOf(plan);
    }

    const size_t n = generateVoxelStars(galaxy, voxelRequestFor(plan, densities, seed), plan.firstTier,
                                        plan.lastTier, channels, ws);
    if (name.number > n) {
        error = std::string("no star ") + voxelName + "-" + std::to_string(name.number) + ": voxel " + voxelName +
                " holds " + std::to_string(n) + (n == 1 ? " star" : " stars");
        return false;
    }
    SearchResult& r = out.found;
    r = SearchResult{};
    r.star = ws.unsorted[static_cast<uint32_t>(ws.order[name.number - 1])];
    r.level = static_cast<uint8_t>(plan.level);
    r.firstTier = static_cast<uint8_t>(plan.firstTier);
    r.cellX = static_cast<uint32_t>(name.cell[0]);
    r.cellY = static_cast<uint32_t>(name.cell[1]);
    r.cellZ = static_cast<uint32_t>(name.cell[2]);
    r.drawNumber = uint32_t{r.star.drawIndex} + 1;
    r.starNumber = name.number;
    nameStar(r);
    out.corner[0] = plan.x;
    out.corner[1] = plan.y;
    out.corner[2] = plan.z;
    out.lastTier = plan.lastTier;
    out.components = plan.components;
    out.node = plan.node;
    out.voxelStars = static_cast<uint32_t>(n);
    return true;
}

bool locateStar(StarField& field, GalaxySeed seed, std::string_view text, LocatedStar& out, std::string& error) {
    StarName name;
    if (!parseStarName(text, name, error)) return false;
    GenerationWorkspace ws;
    ChannelConstants channels;
    {
        const auto lock = field.lockGenerationShared();
        channels = field.channels;
    }
    return locateStar(field.galaxy, seed, channels, name, out, error, ws);
}
