// The star field: around the viewpoint, an octree of voxels whose stars have
// been generated, ordered by a priority that falls with distance and level,
// kept within memory limits and a time budget per pass, and resumed where it
// stopped. Decides for every generated star whether it is a point, a near star
// or a foreground disc, and publishes what the display uploads as plain host
// arrays and counts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "galaxy/galaxy.h"
#include "starfield/appearance.h"
#include "starfield/foreground.h"
#include "starfield/generation_pool.h"
#include "starfield/labels.h"
#include "starfield/point_slots.h"
#include "starfield/search_result.h"
#include "starfield/star_generation.h"
#include "starfield/star_record.h"
#include "starfield/view_limits.h"
#include "starfield/voxel_queue.h"
#include "starfield/voxel_random.h"

// Chunk index in bits 31..16, entry in bits 15..0. 0 means none.
using VoxelHandle = uint32_t;
inline constexpr VoxelHandle ROOT_VOXEL = 2;
// The root voxel's minimum corner on every axis, grid units: -2^30.
inline constexpr uint32_t ROOT_CORNER = 0xC0000000u;
inline constexpr uint32_t VOXEL_CHUNK_SIZE = 65536;

struct Voxel {
    StarRecord* stars = nullptr;  // sorted by key, descending; null if none; FREE_VOXEL marks a free entry
    uint32_t parent = 0;          // parent handle * 8 + octant; next free entry when free
    uint32_t x = 0, y = 0, z = 0;  // minimum corner, grid units (two's complement)
    uint32_t node = 0;            // plane node covering the voxel
    uint32_t count = 0;           // stars
    uint32_t shownUpTo = 0;       // stars 0..shownUpTo-1 are shown in some form
    uint32_t nearUpTo = 0;        // stars 0..nearUpTo-1 were examined for the near list
    uint16_t components = 0;      // bit per contributing galaxy component
    uint8_t firstTier = 0;
    uint8_t lastTier = 0;
    uint8_t level = 0;            // 1..18
    uint8_t childMask = 0;        // bit o: child octant o exists
};

inline StarRecord* const FREE_VOXEL = reinterpret_cast<StarRecord*>(~uintptr_t{0});

// The capacities, each in force and requested (a change takes effect at the next update).
inline constexpr uint32_t DEFAULT_MAX_VOXEL_CHUNKS = 16;
// A voxel's parent link packs the parent's handle (chunk << 16 | entry) times
// eight plus the octant into 32 bits, so the pool can hold at most this many chunks.
inline constexpr uint32_t MAX_VOXEL_CHUNKS = 8191;
inline constexpr uint64_t DEFAULT_MAX_STARS_GEN = 10000000;
inline constexpr uint64_t DEFAULT_POINT_CAPACITY = 3000000;
inline constexpr uint64_t DEFAULT_FRAME_TIMEOUT_NS = 40000000;
inline constexpr uint64_t DEFAULT_FRAME_LOOKAHEAD_NS = 100000000;

// The viewpoint of a new save file (integer parts, position units).
inline constexpr int64_t DEFAULT_VIEWPOINT[3] = {-7003708179394623, -24996773029325252, 1127289819641451};

// Order of the change flags handed to each update.
enum ChangeFlag { CHANGE_VIEWPOINT, CHANGE_SETTINGS, CHANGE_SWAP_CHAIN, CHANGE_LABELS, CHANGE_COUNT };

// What the user sets of the star field: the galaxy seed, the capacities
// ("Max Voxels" in chunks of 65,536 voxels, "Max stars gen", "Max stars gc"),
// the pass timings ("Frame timeout", "Frame lookahead") and the threads that
// generate stars (the pass's own included: helpers generate the children the
// pass reaches next and it inserts them in its own order, so that what it
// builds is the same for every count). They reach the engine with each update's input only, so
// nobody else ever writes what a running pass reads.
struct StarFieldSettings {
    GalaxySeed seed{};
    uint32_t maxVoxelChunks = DEFAULT_MAX_VOXEL_CHUNKS;
    uint64_t maxStarsGen = DEFAULT_MAX_STARS_GEN;
    uint64_t pointCapacity = DEFAULT_POINT_CAPACITY;
    uint64_t frameTimeoutNs = DEFAULT_FRAME_TIMEOUT_NS;
    uint64_t frameLookaheadNs = DEFAULT_FRAME_LOOKAHEAD_NS;
    unsigned generationThreads = hardwareThreads();
};

// What the application hands to an update.
struct StarFieldInput {
    int64_t position[3] = {0, 0, 0};  // integer parts of the viewpoint
    double velocity[3] = {0, 0, 0};   // position units * 2^64 per second
    uint8_t changes[CHANGE_COUNT] = {0, 0, 0, 0};
    ChannelConstants channels;
    ViewLimits limits;  // for the magnitude, view angle and display height in force
    StarFieldSettings settings;
    bool labelsNeedDistance = false;  // a label shows the distance: rebuild every update
    // The selected star (whatever selected it): marked and named even when
    // the search results do not hold it.
    bool hasSelection = false;
    SearchResult selection;
    // Places marked on the sky (the bookmarks): each gets a marker at its
    // position and its name as its label's first line, before the search
    // results (which fill the markers that are left).
    std::vector<SearchResult> places;
    // The labels beside found stars: the display font (none: no labels), the
    // two "Text:" choices and the font size index.
    const DisplayFont* font = nullptr;
    uint8_t labelChoice[LABEL_CHOICES] = {LABEL_NONE, LABEL_NONE};
    int displayFontSize = DEFAULT_DISPLAY_FONT_SIZE;
    // Once the Frame Timeout has passed, go on generating until
    // yieldRequested is raised (or the pass completes): a frame slower than
    // the budget then finds the worker still at work instead of idle.
    bool runUntilCollected = false;
};

// Nanoseconds of the steady clock.
uint64_t steadyClockNs();

// What an update publishes for the display.
struct StarFieldResults {
    std::vector<CopyRegion> regions;   // point buffer copies (moved out each update)
    std::vector<PointRecord> staged;   // their source records
    uint32_t pointHighWater = 0;       // points in the point buffer
    uint32_t clearedFree = 0;          // of which cleared free slots
    uint32_t nearCount = 0;
    int64_t generationViewpoint[3] = {0, 0, 0};
    std::vector<uint32_t> highlightWords;  // 16 words per marker
    std::vector<int64_t> highlightPositions;  // the marked stars' positions, 3 per marker
    uint32_t highlightCount = 0;       // markers
    uint32_t placeMarkCount = 0;       // of which the first are marked places
    std::vector<LabelVertex> labelVertices;  // 6 per label glyph
    std::vector<LabelBox> labelBoxes;        // one per marker: its label's extent
    uint32_t labelGlyphCount = 0;      // label glyphs
    bool labelsRebuilt = false;        // markers and labels were rebuilt (their counts may be 0)
    bool redraw = false;               // capacities changed: everything was regenerated
};

// Counters for the panel and the command-line tool.
struct StarFieldStats {
    uint64_t passes = 0;
    uint64_t starsGenerated = 0;
    uint64_t voxelsCreated = 0;
    uint64_t evictions = 0;
    uint64_t childrenPrefetched = 0;  // handed to helper threads
    uint64_t prefetchesUsed = 0;      // of those, taken by the pass as they were
    uint64_t prefetchesStale = 0;     // reached after their parent's entry had changed: generated again
};

struct ChildPrefetch;  // star_field.cpp
struct LocatedStar;    // locate.h
struct PickView;       // pick.h
struct PickedStar;     // pick.h

struct StarField {
    explicit StarField(const Galaxy& galaxy);
    ~StarField();
    StarField(const StarField&) = delete;
    StarField& operator=(const StarField&) = delete;

    // ------------------------------------------------------------- interface
    // One update: takes the inputs, applies capacity changes, runs or resumes
    // a pass under the generation lock and publishes the results.
    void update(const StarFieldInput& input);
    // True while a pass is interrupted and will resume at the next update.
    bool unfinished() const { return queue.resumePriority != 0; }

    // One generation pass from resumePriority (0 starts a new pass).
    void pass(int resumePriority);
    // Creates one voxel; true when memory is exhausted and the pass must stop.
    bool createChild(uint32_t item, int priority);
    void enqueueChild(int parentLastTier, VoxelHandle parent, int octant, int level, uint32_t x, uint32_t y,
                      uint32_t z, int64_t bound);
    // Frees memory by dropping the lowest-priority work; true when a voxel was deleted.
    bool evict(int priority);
    void deleteVoxel(VoxelHandle h);
    // 0 when the pool is full.
    VoxelHandle allocateVoxel();

    Voxel& voxel(VoxelHandle h) { return chunks[h >> 16][h & 0xFFFF]; }
    const Voxel& voxel(VoxelHandle h) const { return chunks[h >> 16][h & 0xFFFF]; }
    bool isLive(VoxelHandle h) const { return voxel(h).stars != FREE_VOXEL; }
    // Squared box distance (grid units, saturating) of a voxel from the generation viewpoint.
    uint64_t boxDistance(uint32_t x, uint32_t y, uint32_t z, int level) const;
    // Squared distance of a star from the generation viewpoint: upper halves of the 128-bit squares.
    uint64_t starDistance(const StarRecord& s) const;

    // ------------------------------------------------------------------ state
    const Galaxy& galaxy;
    // What the last update was given: the view limits and the settings in
    // force. generatedSeed is the seed of the stars in memory (a new seed
    // regenerates from the root at the next update).
    ViewLimits limits{};
    StarFieldSettings settings;
    GalaxySeed generatedSeed;

    // Voxel pool.
    std::vector<std::unique_ptr<Voxel[]>> chunks;
    uint32_t maxChunks = DEFAULT_MAX_VOXEL_CHUNKS;  // in force
    VoxelHandle freeHead = 0;
    uint32_t liveVoxels = 0;

    VoxelQueue queue;

    uint64_t starsInMemory = 0;
    uint64_t maxStarsGen = DEFAULT_MAX_STARS_GEN;  // in force
    // Raised from another thread when a pass that runs until collected should
    // end at the end of the bucket it is in: a frame wants its results, or a
    // thread waits for the generation lock. The application lowers it before
    // each update.
    std::atomic<bool> yieldRequested{false};
    bool runUntilCollected = false;  // of the running update
    // The time source of the pass budget (tests substitute a clock of their own).
    uint64_t (*clock)() = steadyClockNs;

    PointSlots points;
    std::vector<StarRecord*> nearList;
    ForegroundTable foreground;

    int64_t position[3] = {0, 0, 0};
    int64_t previousPosition[3] = {0, 0, 0};
    int64_t generationViewpoint[3] = {0, 0, 0};
    int64_t lastPassViewpoint[3] = {1, 1, 1};
    double velocity[3] = {0, 0, 0};
    uint64_t cellDensity[GALAXY_MAX_COMPONENTS] = {};
    ChannelConstants channels;

    // Catalog search results, nearest first. The search writes them and an update reads them for the highlights, possibly
    // on different threads at once, so they have a lock of their own.
    std::vector<SearchResult> searchResults;
    std::mutex resultsMutex;

    StarFieldResults results;
    StarFieldStats stats;

    // What the labels are built with, from the last update's input.
    const DisplayFont* labelFont = nullptr;
    uint8_t labelChoice[LABEL_CHOICES] = {LABEL_NONE, LABEL_NONE};
    int labelFontSize = DEFAULT_DISPLAY_FONT_SIZE;
    bool hasSelection = false;
    SearchResult selection;
    std::vector<SearchResult> places;

  private:
    // Held exclusively by a pass, shared by the catalog search and by
    // locating a name. Taken on another thread than the pass's, it first asks
    // a pass that runs until collected to yield, so that the wait is short.
    std::shared_mutex generationLock;
    std::shared_lock<std::shared_mutex> lockGenerationShared();
    friend void search(StarField&, GalaxySeed, std::vector<SearchResult>&, uint32_t, int64_t, int64_t, int64_t,
                       double, double);
    friend bool locateStar(StarField&, GalaxySeed, std::string_view, LocatedStar&, std::string&);
    friend bool pickStar(StarField&, const PickView&, double, double, PickedStar&);

    void buildPool();
    void discardAll();
    void startPass();
    void reexamine(VoxelHandle h);
    void classify(Voxel& v, uint64_t d2, bool existing);
    void hide(StarRecord& s);
    // Returns an allocated entry of the pool to the free list.
    void freeVoxel(VoxelHandle h);
    void removeNear(StarRecord& s);
    void ensurePoint(StarRecord& s);
    bool pointAvailable() const;
    void buildHighlights();
    // The next item of the bucket in the order pop would give it.
    bool nextItem(int bucket, uint32_t& item);
    // Hands children the pass will reach soon to the helper threads.
    void prefetchAhead(int bucket);
    // Adds a child item to the look ahead's batch, unless it is prefetched already.
    void prefetchChild(uint32_t item, int priority);
    // At the end of a pass: when it will resume, finishes the children
    // handed out and keeps them; otherwise forgets them all.
    void settlePrefetch();

    GenerationWorkspace workspace;
    std::unique_ptr<ChildPrefetch> prefetch;  // null while one thread generates
    // Items of the bucket being processed, taken from the queue ahead of the
    // pass so that their children can be prefetched; the next one is last.
    std::vector<uint32_t> pending;
    bool prefetchIdle = false;  // the last look ahead found nothing more to hand out
};

// Runs updates with `input` until the pass is complete (the change flags count
// for the first update only), calling `afterEach` after every update when
// given; returns the number of updates. What the command-line tool, a picture
// without a window, the tests and the benchmarks do to fill a field at a place.
uint64_t runUntilComplete(StarField& field, StarFieldInput input, const std::function<void()>& afterEach = {});

// Priority of a voxel (or child to be created) of level L and first tier T
// with squared box distance D2: 3000 inside, else 3000 - 64(T+L) - 32e - f
// with e the top bit of D2 and f its six leading bits, clamped to 0..3000.
int voxelPriority(uint64_t d2, int tier, int level);
// (d2 >> 16) <= bound << 2(24 - tier - level), without overflow.
bool withinBound(uint64_t d2, int64_t bound, int tier, int level);
// Squared distance in grid units (saturating) from the grid cell of a position
// (its top 32 bits) to the box of a voxel; 0 inside.
uint64_t gridBoxDistance(const int64_t at[3], uint32_t x, uint32_t y, uint32_t z, int level);
// The 16 words of the highlight marker of result i (0-based).
void highlightMarker(uint32_t i, uint32_t words[16]);

// A voxel as the parent of children to be created (or explored by the search).
struct VoxelParent {
    uint32_t x = 0, y = 0, z = 0;
    int level = 1;
    uint32_t node = PLANE_ROOT;
    uint16_t components = 0;
    int lastTier = 0;
};

// A child voxel worked out from its parent: corner, plane node, densities,
// component mask and tiers. False when no component contributes.
struct ChildPlan {
    uint32_t x = 0, y = 0, z = 0;
    int level = 0;
    uint32_t node = 0;
    uint16_t components = 0;
    int firstTier = 0, lastTier = 0;
    uint64_t total = 0;
};
bool planChild(const Galaxy& galaxy, const VoxelParent& parent, int octant, ChildPlan& plan,
               uint64_t* densities);
// The generation input of a planned voxel: its corner, level, components and
// plane node, the densities planChild filled in, and the seed drawn from its
// corner and level.
VoxelRequest voxelRequestFor(const ChildPlan& plan, const uint64_t* densities, GalaxySeed seed);
// A planned voxel, or one of the pool, as the parent of its own children.
VoxelParent parentOf(const ChildPlan& plan);
VoxelParent parentOf(const Voxel& v);
// The root voxel as a parent: the whole galaxy, with each of its `count` components.
VoxelParent rootParent(uint32_t count);
