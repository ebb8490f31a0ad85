// Star generation on several threads: the helper pool's contract, and passes
// that build bit for bit the same field and uploads whatever the thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "numeric/constants.h"
#include "starfield/generation_pool.h"
#include "starfield/search.h"
#include "starfield/star_field.h"
#include "starfield/star_field_digest.h"
#include "tests/galaxy_fixture.h"

namespace {

// A task that records which thread ran it; a gated one waits inside its run
// until the gate opens.
struct ProbeTask {
    PoolTask task;
    std::thread::id ranOn{};
    std::atomic<int> runs{0};
    bool gated = false, open = false;
    std::atomic<bool> inside{false};
    std::mutex mutex;
    std::condition_variable gate;

    ProbeTask() {
        task.run = [](void* self, GenerationWorkspace&) {
            auto& t = *static_cast<ProbeTask*>(self);
            t.inside = true;
            std::unique_lock lock(t.mutex);
            t.gate.wait(lock, [&] { return !t.gated || t.open; });
            t.ranOn = std::this_thread::get_id();
            ++t.runs;
        };
        task.context = this;
    }
    void openGate() {
        std::lock_guard lock(mutex);
        open = true;
        gate.notify_all();
    }
};

TEST(GenerationPool, WithoutHelpersFinishRunsTheTaskOnTheCallingThread) {
    GenerationPool pool(0);
    GenerationWorkspace ws;
    ProbeTask a, b;
    pool.submit(a.task);
    pool.submit(b.task);
    EXPECT_TRUE(pool.finish(b.task, ws));  // out of order: b alone runs
    EXPECT_EQ(b.runs, 1);
    EXPECT_EQ(b.ranOn, std::this_thread::get_id());
    EXPECT_EQ(a.runs, 0);
    EXPECT_EQ(a.task.state, TASK_QUEUED);
    EXPECT_TRUE(pool.finish(b.task, ws));  // done already: not run again
    EXPECT_EQ(b.runs, 1);
    // Settling takes a back unrun; finishing an idle task runs nothing.
    pool.settle();
    EXPECT_EQ(a.task.state, TASK_IDLE);
    EXPECT_FALSE(pool.finish(a.task, ws));
    EXPECT_EQ(a.runs, 0);
}

// A single task wakes a sleeping helper, a batch every helper: held inside,
// the tasks of a round all start only when as many helpers woke. (The pause
// first lets the helpers fall asleep.)
TEST(GenerationPool, HelpersWakeForSingleTasksAndBatches) {
    GenerationPool pool(3);
    GenerationWorkspace ws;
    for (int size : {1, 3}) {
        SCOPED_TRACE(size);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::vector<ProbeTask> tasks(size);
        std::vector<PoolTask*> batch;
        for (ProbeTask& t : tasks) {
            t.gated = true;
            batch.push_back(&t.task);
        }
        pool.submit(batch.data(), batch.size());
        auto allInside = [&] {
            return std::all_of(tasks.begin(), tasks.end(), [](const ProbeTask& t) { return t.inside.load(); });
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!allInside() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(allInside()) << "not as many helpers woke as tasks came";
        for (ProbeTask& t : tasks) t.openGate();
        for (ProbeTask& t : tasks) pool.finish(t.task, ws);
    }
}

// While a helper runs the task the caller needs, the caller runs the others;
// destroyed, the pool waits for a running task and drops the queued ones.
TEST(GenerationPool, CallerRunsOthersWhileAHelperRunsTheNeededTaskDestructionWaitsForIt) {
    ProbeTask held, other[3], last, queued;
    held.gated = last.gated = true;
    std::thread opener;
    {
        GenerationPool pool(1);
        GenerationWorkspace ws;
        pool.submit(held.task);
        while (!held.inside) std::this_thread::yield();  // the helper has it
        for (ProbeTask& t : other) pool.submit(t.task);
        opener = std::thread([&] {  // once the caller has worked through the queue
            while (other[2].runs == 0) std::this_thread::yield();
            held.openGate();
        });
        EXPECT_TRUE(pool.finish(held.task, ws));
        opener.join();
        pool.submit(last.task);
        while (!last.inside) std::this_thread::yield();
        pool.submit(queued.task);
        opener = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            last.openGate();
        });
    }
    opener.join();
    EXPECT_EQ(held.runs, 1);
    EXPECT_NE(held.ranOn, std::this_thread::get_id());
    for (ProbeTask& t : other) {
        EXPECT_EQ(t.runs, 1);
        EXPECT_EQ(t.ranOn, std::this_thread::get_id());
    }
    EXPECT_EQ(last.runs, 1);
    EXPECT_EQ(last.task.state, TASK_DONE);
    EXPECT_EQ(queued.runs, 0);
    EXPECT_EQ(queued.task.state, TASK_IDLE);
}

// A clock that advances a millisecond at every reading: budgeted passes stop
// after the same buckets every run.
std::atomic<uint64_t> fakeNow{0};
uint64_t fakeClock() { return fakeNow += 1000000; }

// The fifth reading starts a search on another thread and returns once it
// waits for the generation lock.
StarField* searchTarget = nullptr;
std::thread searchThread;
int searchClockReads = 0;
uint64_t clockStartingASearch() {
    if (++searchClockReads == 5) {
        searchThread = std::thread(
            [] { searchNearest(*searchTarget, searchTarget->settings.seed, DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]); });
        while (!searchTarget->yieldRequested) std::this_thread::yield();
    }
    return fakeClock();
}

std::unique_ptr<StarField> fakeClockField(uint64_t maxStars, uint64_t timeoutNs, unsigned threads = 1) {
    auto f = fieldWith(maxStars);
    f->settings.frameTimeoutNs = timeoutNs;
    f->settings.generationThreads = threads;
    f->clock = fakeClock;
    return f;
}

struct Flight {
    const char* name;
    const int64_t* start = DEFAULT_VIEWPOINT;
    uint64_t maxStars = 150000;
    uint64_t maxPoints = 40000;
    uint64_t timeoutNs = 2500000;  // about two buckets of the fake clock per update
    int steps = 3;
    int64_t step[3] = {0, 0, 0};  // position units per step
};

// The field's digest covers the near list and what a search reads.
struct Outcome {
    std::vector<uint64_t> fields;   // digest of the star field after each step
    std::vector<uint64_t> uploads;  // of each update's staged records and regions: as many as updates
    uint64_t evictions = 0, prefetched = 0;
};

// The invariants tying stars, slots, the near list and the foreground table together.
void checkConsistency(const StarField& f, const std::vector<PointRecord>& gpu) {
    std::vector<const StarRecord*> owner(f.points.highWater, nullptr);
    uint64_t stars = 0;
    uint32_t liveVoxels = 0;
    for (VoxelHandle h = 0; h < f.chunks.size() * VOXEL_CHUNK_SIZE; ++h) {
        if (!f.isLive(h)) continue;
        const Voxel& v = f.voxel(h);
        ++liveVoxels;
        stars += v.count;
        if (h != ROOT_VOXEL) {
            const Voxel& parent = f.voxel(v.parent >> 3);
            ASSERT_NE(parent.stars, FREE_VOXEL);
            ASSERT_TRUE(parent.childMask & (1u << (v.parent & 7)));
            ASSERT_EQ(parent.level + 1, v.level);
            ASSERT_LE(v.level + v.firstTier, DEEPEST_LEVEL);  // a band beyond the deepest holds nothing
        }
        ASSERT_LE(v.nearUpTo, v.shownUpTo);
        ASSERT_LE(v.shownUpTo, v.count);
        for (uint32_t i = 0; i < v.count; ++i) {
            const StarRecord& s = v.stars[i];
            if (i > 0) {
                ASSERT_GE(v.stars[i - 1].key, s.key);
            }
            if (s.state == STAR_NEAR) {
                ASSERT_LT(s.slot, f.nearList.size());
                ASSERT_EQ(f.nearList[s.slot], &s);
            } else if (s.slot != NO_SLOT) {
                ASSERT_LT(s.slot, owner.size());
                ASSERT_EQ(owner[s.slot], nullptr);
                owner[s.slot] = &s;
            }
            if (s.foreground) {
                ASSERT_LE(s.foreground, f.foreground.count);
                ASSERT_EQ(f.foreground.owner[s.foreground - 1], &s);
            }
            if (i >= v.shownUpTo) {
                ASSERT_EQ(s.slot, NO_SLOT);
            }
        }
    }
    ASSERT_EQ(stars, f.starsInMemory);
    ASSERT_EQ(liveVoxels, f.liveVoxels);
    ASSERT_LE(f.foreground.count, MAX_FOREGROUND);
    for (uint32_t i = 0; i < f.foreground.count; ++i) {
        const StarRecord* s = f.foreground.owner[i];
        ASSERT_EQ(s->foreground, i + 1);
        ASSERT_EQ(f.foreground.entries[i].x, s->x);
        ASSERT_EQ(f.foreground.entries[i].colour, colourWord(*s));
    }
    // The display side: every slot below the mark holds its owner's record or zeros.
    for (uint32_t slot = 0; slot < f.points.highWater; ++slot) {
        const PointRecord expected = owner[slot] ? makePointRecord(*owner[slot]) : PointRecord{};
        ASSERT_EQ(gpu[slot], expected) << "slot " << slot;
    }
}

// A flight of whole steps, each checked against the limits and invariants on one thread.
Outcome fly(unsigned threads, const Flight& flight) {
    auto f = fakeClockField(flight.maxStars, flight.timeoutNs, threads);
    f->settings.pointCapacity = flight.maxPoints;
    Outcome out;
    std::vector<PointRecord> gpu(flight.maxPoints + 16);
    int64_t p[3] = {flight.start[0], flight.start[1], flight.start[2]};
    for (int i = 0; i < flight.steps; ++i) {
        StarFieldInput in = inputAt(p, i == 0);
        in.changes[CHANGE_VIEWPOINT] = 1;
        do {
            updateAsSet(*f, in);
            in.changes[CHANGE_VIEWPOINT] = in.changes[CHANGE_SETTINGS] = 0;
            applyRegions(*f, gpu);
            out.uploads.push_back(uploadDigest(f->results));
        } while (f->unfinished());
        out.fields.push_back(starFieldDigest(*f));
        if (threads == 1) {
            EXPECT_LT(f->starsInMemory, flight.maxStars);
            EXPECT_LE(f->points.highWater, flight.maxPoints);
            checkConsistency(*f, gpu);
        }
        for (int a = 0; a < 3; ++a) p[a] += flight.step[a];
    }
    out.evictions = f->stats.evictions;
    out.prefetched = f->stats.childrenPrefetched;
    return out;
}

// The default viewpoint in pieces; a flight across the disc with room for few
// stars and points (every pass evicts); the centre and the halo in whole passes.
TEST(ParallelGeneration, SameFieldForEveryThreadCount) {
    const int64_t parsecs10 = static_cast<int64_t>(10 / UNIT_PARSECS_DOUBLE);
    const int64_t parsecs50 = static_cast<int64_t>(50 / UNIT_PARSECS_DOUBLE);
    const int64_t centre[3] = {1000, -2000, 3000};
    const int64_t halo[3] = {20000000000000000, -5000000000000000, 40000000000000000};
    const uint64_t whole = ~uint64_t{0} >> 1;  // one update per step
    const Flight flights[] = {
        {.name = "default viewpoint in pieces", .steps = 1},
        {.name = "tiny limits, evicting", .maxStars = 40000, .maxPoints = 12000, .steps = 6,
         .step = {parsecs10, parsecs10 / 2, 0}},
        {.name = "galactic centre", .start = centre, .timeoutNs = whole, .steps = 2, .step = {0, 0, parsecs50}},
        {.name = "halo", .start = halo, .timeoutNs = whole, .steps = 2, .step = {0, 0, parsecs50}},
    };
    for (const Flight& flight : flights) {
        SCOPED_TRACE(flight.name);
        const Outcome one = fly(1, flight);
        EXPECT_EQ(one.prefetched, 0u);  // one thread generates everything itself
        if (flight.maxStars == 40000) {
            EXPECT_GT(one.evictions, 100u);
        }
        for (unsigned threads : {2u, 3u, 8u}) {
            SCOPED_TRACE(threads);
            const Outcome many = fly(threads, flight);
            EXPECT_GT(many.prefetched, 0u);
            EXPECT_EQ(many.fields, one.fields);
            EXPECT_EQ(many.uploads, one.uploads);
        }
    }
}

// A child generated ahead whose parent's entry describes another voxel by the
// time the pass reaches it (freed and handed out again) is generated anew:
// the entries are rewritten between updates, alike on one thread and on two.
TEST(ParallelGeneration, ChildOfAParentThatChangedIsGeneratedAgain) {
    auto one = fakeClockField(100000, 20000000, 1), two = fakeClockField(100000, 20000000, 2);
    StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, true);
    // Deep enough that children are generated ahead and kept between updates.
    for (int i = 0; i < 60; ++i) {
        updateAsSet(*one, in);
        updateAsSet(*two, in);
        in.changes[CHANGE_SETTINGS] = 0;
    }
    ASSERT_TRUE(one->unfinished());
    ASSERT_EQ(starFieldDigest(*one), starFieldDigest(*two));
    // Every parent of a child still to be created loses a component (of
    // several) in both fields, once for each such child.
    for (int b = one->queue.resumePriority; b >= one->queue.cutoff; --b) {
        one->queue.peek(b, [&](uint32_t item) {
            if (item & ITEM_EXISTING) return true;
            for (StarField* f : {one.get(), two.get()}) {
                uint16_t& components = f->voxel(item >> 3).components;
                if (std::popcount(components) > 1) components &= static_cast<uint16_t>(components - 1);
            }
            return true;
        });
    }
    StarFieldInput resume = inputAt(DEFAULT_VIEWPOINT, false);
    do {
        updateAsSet(*one, resume);
        updateAsSet(*two, resume);
        ASSERT_EQ(uploadDigest(one->results), uploadDigest(two->results));
    } while (one->unfinished());
    EXPECT_FALSE(two->unfinished());
    EXPECT_EQ(starFieldDigest(*one), starFieldDigest(*two));
    EXPECT_GT(two->stats.prefetchesStale, 0u);
}

// With the budget spent, a pass that runs until collected goes on until asked
// to yield (a search waits for the generation lock); any other stops at once.
TEST(ParallelGeneration, RunUntilCollectedHoldsThePassUntilAsked) {
    auto make = [] { return fakeClockField(100000, 0); };
    StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, true);
    auto budgeted = make();
    updateAsSet(*budgeted, in);
    EXPECT_TRUE(budgeted->unfinished());

    in.runUntilCollected = true;
    auto held = make();
    updateAsSet(*held, in);
    EXPECT_FALSE(held->unfinished());  // nobody asked: the pass ran to its end

    // A search from inside the pass (its clock) asks it to yield; resumed, it completes the same field.
    auto concurrent = make();
    concurrent->settings.generationThreads = 2;
    concurrent->clock = clockStartingASearch;
    searchTarget = concurrent.get();
    searchClockReads = 0;
    updateAsSet(*concurrent, in);
    searchThread.join();
    EXPECT_TRUE(concurrent->unfinished());
    EXPECT_EQ(concurrent->searchResults.size(), SEARCH_LIMIT);
    StarFieldInput resume = inputAt(DEFAULT_VIEWPOINT, false);
    while (concurrent->unfinished()) updateAsSet(*concurrent, resume);
    EXPECT_EQ(concurrent->starsInMemory, held->starsInMemory);
    EXPECT_EQ(concurrent->liveVoxels, held->liveVoxels);
}

}  // namespace
