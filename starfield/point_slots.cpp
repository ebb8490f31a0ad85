#include "starfield/point_slots.h"

#include <cstddef>

void PointSlots::beginUpdate() {
    staged.clear();
    stagedSlot.clear();
    regions.clear();
    run = CopyRun{};
    placeholder = -1;
    openRunRegion = -1;
}

uint32_t PointSlots::take() {
    if (!freed.empty()) {
        const uint32_t s = freed.back();
        freed.pop_back();
        return s;
    }
    if (!cleared.empty()) {
        const uint32_t s = cleared.back();
        cleared.pop_back();
        return s;
    }
    return highWater++;
}

void PointSlots::stage(uint32_t slot, const PointRecord& record) {
    if (slot < stagedAt.size()) {
        const uint32_t at = stagedAt[slot];
        if (at < stagedSlot.size() && stagedSlot[at] == slot) {
            staged[at] = record;
            return;
        }
    } else {
        stagedAt.resize(static_cast<std::size_t>(slot) + 1 + stagedAt.size() / 2);
    }
    const auto index = static_cast<int64_t>(staged.size());
    stagedAt[slot] = static_cast<uint32_t>(index);
    stagedSlot.push_back(slot);
    staged.push_back(record);
    if (run.length > 0 && static_cast<int64_t>(slot) == run.firstSlot + run.length) {
        ++run.length;
        return;
    }
    // Close the open run. The first close only reserves the region that the
    // last run will fill: in a pass the closed run is still the empty initial
    // one, and when clearing it is the pass's last run, already recorded (but
    // perhaps grown by the first cleared slots since, so recorded again).
    if (placeholder < 0) {
        if (openRunRegion >= 0) regions[openRunRegion] = regionOf(run);
        openRunRegion = -1;
        placeholder = static_cast<int>(regions.size());
        regions.push_back(CopyRegion{});
    } else {
        regions.push_back(regionOf(run));
    }
    run = CopyRun{index, static_cast<int64_t>(slot), 1};
}

void PointSlots::finishPass() {
    if (placeholder >= 0) regions[placeholder] = regionOf(run);
    openRunRegion = placeholder;
    placeholder = -1;
}

void PointSlots::clearFreed() {
    while (!freed.empty() && freed.front() == highWater - 1) {
        --highWater;
        freed.erase(freed.begin());
    }
    const PointRecord zero{};
    for (std::size_t i = freed.size(); i-- > 0;) stage(freed[i], zero);
    if (placeholder >= 0) {
        regions[placeholder] = regionOf(run);
    } else if (openRunRegion >= 0) {
        // No run was closed here: the pass's last run may have grown.
        regions[openRunRegion] = regionOf(run);
    }
    placeholder = -1;
    openRunRegion = -1;
    cleared.insert(cleared.end(), freed.begin(), freed.end());
    freed.clear();
    while (!cleared.empty() && cleared.front() == highWater - 1) {
        --highWater;
        cleared.erase(cleared.begin());
    }
}

void PointSlots::reset() {
    highWater = 0;
    stagedSlot.clear();
    stagedAt.clear();
    freed.clear();
    cleared.clear();
    staged.clear();
    regions.clear();
    run = CopyRun{};
    placeholder = -1;
    openRunRegion = -1;
}
