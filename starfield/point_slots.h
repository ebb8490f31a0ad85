// Point slots: where each star shown as a point lives in the display's point
// buffer, and the records and copy regions that bring that buffer up to date
// after a pass. Only changed slots are uploaded, coalesced into runs of
// consecutive slots; a freed slot is zeroed on the display side before it is
// handed out again.
#pragma once

#include <cstdint>
#include <vector>

#include "starfield/star_record.h"

// One buffer copy: byte offsets into the staged records and the point buffer.
struct CopyRegion {
    uint64_t srcOffset = 0;
    uint64_t dstOffset = 0;
    uint64_t size = 0;
    friend bool operator==(const CopyRegion&, const CopyRegion&) = default;
};

// The run of consecutive slots being staged.
struct CopyRun {
    int64_t firstStaging = -100;
    int64_t firstSlot = -100;
    int64_t length = 0;
};

struct PointSlots {
    uint32_t highWater = 0;            // slots in use or freed
    std::vector<uint32_t> freed;       // freed during this update, display copy not yet cleared
    std::vector<uint32_t> cleared;     // free, display copy already zero
    std::vector<PointRecord> staged;   // records to upload this update
    std::vector<CopyRegion> regions;   // where they go; region 0 is the placeholder of the first run
    CopyRun run;                       // the open run
    int placeholder = -1;              // region that receives the open run when the update ends
    int openRunRegion = -1;            // region already holding the open run (the pass's last run)
    std::vector<uint32_t> stagedSlot;  // slot of each staged record
    std::vector<uint32_t> stagedAt;    // per slot: its staging index, valid when stagedSlot agrees

    // Start of an update: nothing staged, no regions, no open run.
    void beginUpdate();
    // A slot for a new point: the last slot freed in this update, else the last
    // cleared slot, else a new one at the high-water mark.
    uint32_t take();
    void release(uint32_t slot) { freed.push_back(slot); }
    // Stages the record for a slot and adds the slot to the runs. A slot staged
    // again in the same update has its staged record replaced instead, so that
    // no two regions of an update write the same slot (the order in which the
    // regions are applied would otherwise decide which record survives).
    void stage(uint32_t slot, const PointRecord& record);
    // After the pass: the placeholder receives the open run.
    void finishPass();
    // Stages zero records for the slots freed in this update (lowering the
    // high-water mark instead where the freed slot is just below it) and moves
    // them to the cleared list.
    void clearFreed();
    // Forgets every slot (the display's buffer is then treated as empty).
    void reset();
    // Points on display: the high-water mark less the cleared free slots.
    uint32_t displayed() const { return highWater - static_cast<uint32_t>(cleared.size()); }

  private:
    CopyRegion regionOf(const CopyRun& r) const {
        return {static_cast<uint64_t>(r.firstStaging) * 16, static_cast<uint64_t>(r.firstSlot) * 16,
                static_cast<uint64_t>(r.length) * 16};
    }
};
