#!/usr/bin/env python3
"""Mutation check of the unit tests: plants small, realistic slips one at a
time and reports which of them the tests notice.

Run by hand (not part of CI):

    python3 tools/mutate.py            # every mutant
    python3 tools/mutate.py --check    # only verify that every snippet is found once
    python3 tools/mutate.py --only poisson --only foreground

The working tree (tracked and untracked, not ignored files) is mirrored into a
scratch directory (default /tmp/starloom-mutate/src) with one Release build
directory beside it that is reused from run to run, so the worktree itself is
never touched. For each mutant the snippet is replaced in the scratch copy,
the unit-test binary is rebuilt (and, for the worker hand-off, the small
ThreadSanitizer hand-off binary), the whole gtest suite runs under a time
limit (in --shards parallel parts, each stopping at its first failure), and
the file is restored. A mutant is caught when a test fails, crashes
or runs into the time limit; one that does not compile is reported apart and
not counted.

Every mutant is a search/replace of a code snippet that must occur exactly
once in its file, so the list survives files being moved: only the snippet has
to be found, and a mutant whose snippet has gone is reported as stale.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@dataclass
class Mutant:
    name: str
    file: str
    find: str
    replace: str
    what: str


M = Mutant
MUTANTS = [
    # ------------------------------------------------------------ numeric/
    M("pow-tiny-shift", "numeric/ext_float.h",
      "(n < -63 ? 63 : -n)", "(n < -64 ? 63 : -n)",
      "power-of-two step: the shift of a tiny exponent's fraction is capped one too late"),
    M("pow-point-in-word", "numeric/ext_float.h",
      "const bool pointInWord = n >= 1;", "const bool pointInWord = n > 1;",
      "power-of-two step: the binary point counted inside the word from n = 2 only"),
    M("sub-far-apart", "numeric/ext_float.h",
      "if (d <= -63) return a;\n    return detail::addAligned(a, b, true);",
      "if (d < -63) return a;\n    return detail::addAligned(a, b, true);",
      "sub: a subtrahend exactly 63 binades below no longer dropped"),
    M("touint-edge", "numeric/ext_float.h",
      "if (e == 32833) return M << 1;", "if (e == 32833) return M;",
      "toUint64: the top binade loses its last shift"),
    M("constant-digits", "numeric/constants.h",
      "SUN_ABS_MAG = xf::fromDecimal(483, -2)", "SUN_ABS_MAG = xf::fromDecimal(438, -2)",
      "a quoted constant with two digits swapped"),

    # ------------------------------------------------------------- galaxy/
    M("arms-fade-late", "galaxy/arms.cpp",
      "if (step > 39) density", "if (step > 40) density",
      "arm growth: the outer half's density fades from a step later"),
    M("arms-cell-overlap", "galaxy/galaxy.cpp",
      "return lo <= hi ? node.bound : 0;", "return lo < hi ? node.bound : 0;",
      "arm bound: a voxel sharing a single z value with the tube gets no stars"),
    M("cell-face-copy", "galaxy/galaxy.cpp",
      "dy = faceDistance(static_cast<int64_t>(c.centre[1]), y, side);",
      "dy = faceDistance(static_cast<int64_t>(c.centre[1]), x, side);",
      "smooth cell density: y's face distance measured from x (copy and paste)"),
    M("sphere-inverse", "galaxy/galaxy.cpp",
      "ellipsoidQ(dx, dy, dz, c.invRadiusXY2, c.invRadiusXY2, q)",
      "ellipsoidQ(dx, dy, dz, c.invRadiusXY2, c.invRadiusZ2, q)",
      "uniform sphere measured with the flattening it does not have"),
    M("element-end-plane", "galaxy/galaxy.cpp",
      "(ux - e.dx) >= 0) return 0;", "(ux - e.dx) > 0) return 0;",
      "arm element: points exactly on the end plane counted twice"),
    M("spectral-floor", "galaxy/populations.cpp",
      "while (cls < 7 && !greaterEqual(star.temperature, xf::fromInt32(CLASS_FLOORS[cls]))) ++cls;",
      "while (cls < 7 && greaterEqual(xf::fromInt32(CLASS_FLOORS[cls]), star.temperature)) ++cls;",
      "spectral class: a star exactly at a class floor falls into the class below"),
    M("hidden-levels", "galaxy/populations.cpp",
      "for (int k = 1; k <= 17; ++k) p.hiddenFraction[k]", "for (int k = 1; k < 17; ++k) p.hiddenFraction[k]",
      "hidden fractions: the last level before the deepest left out"),
    M("lattice-top-face", "galaxy/star_name.cpp",
      "inner + 4 + (20 * ur + 16) * ur", "inner + 4 + (20 * ur + 12) * ur",
      "star name: the top face of a shell numbered from the wrong offset"),
    M("lattice-inverse-face-order", "galaxy/star_name.cpp",
      "px = static_cast<int64_t>(offset % side) - sr - 1;\n        py = static_cast<int64_t>(offset / side) - sr - 1;",
      "py = static_cast<int64_t>(offset % side) - sr - 1;\n        px = static_cast<int64_t>(offset / side) - sr - 1;",
      "star name read back: x and y of a shell's bottom and top faces swapped"),
    M("lattice-inverse-side-walk", "galaxy/star_name.cpp",
      "py = (sw - 5) / 2 - 3 * sr;", "py = (sw - 3) / 2 - 3 * sr;",
      "star name read back: the points of a shell's second side one step along"),
    M("lattice-code-leading-b", "galaxy/star_name.cpp",
      "if (i == 0 && digit == 0) return LatticeCodeError::LEADING_B;", "",
      "star name read back: a code with a leading B accepted as the same cell"),

    # ---------------------------------------------------------- starfield/
    M("poisson-medium-edge", "starfield/poisson.cpp",
      "if (mean < POISSON_MEDIUM_MEAN)", "if (mean <= POISSON_MEDIUM_MEAN)",
      "Poisson: mean exactly 18 drawn by the small-mean method"),
    M("poisson-large-edge", "starfield/poisson.cpp",
      "if (mean < POISSON_LARGE_MEAN)", "if (mean <= POISSON_LARGE_MEAN)",
      "Poisson: mean exactly 38 drawn by the medium method"),
    M("poisson-below-tie", "starfield/poisson.cpp",
      "a.e > b.e : a.m < b.m", "a.e > b.e : a.m <= b.m",
      "Poisson: a product equal to e^-mean counts as below it"),
    M("poisson-16-words", "starfield/poisson.cpp",
      "left = 8;", "left = 7;",
      "Poisson medium method: seven uniforms from two draws instead of eight"),
    M("poisson-16-middle", "starfield/poisson.cpp",
      "multiplyBy(p, 2 * v + 1, 17)", "multiplyBy(p, 2 * v + 2, 17)",
      "Poisson medium method: the uniform taken at the slice's top, not its middle"),
    M("poisson-exp-whole", "starfield/poisson.cpp",
      "return {p << 1, whole + 1};", "return {p << 1, whole};",
      "Poisson: e^-mean off by a factor of two"),
    M("poisson-ptrs-shift", "starfield/poisson.cpp",
      "add(lambda, xf::fromDecimal(43, -2))", "add(lambda, xf::fromDecimal(45, -2))",
      "Poisson large method: a constant of the transformation mistyped"),
    M("tier-seed-zero", "starfield/voxel_random.cpp",
      "if (tier == 0) return voxelSeed;", "if (tier < 0) return voxelSeed;",
      "tier 0 hashed like the later tiers"),
    M("voxel-seed-sign", "starfield/voxel_random.cpp",
      "static_cast<uint32_t>(ys >> 5)", "(y >> 5)",
      "voxel seed: y shifted without its sign"),
    M("positions-seed", "starfield/star_generation.cpp",
      "uint64_t positionState = seed;", "uint64_t positionState = voxel.seed;",
      "positions drawn from the voxel's stream instead of the tier's"),
    M("appearance-seed", "starfield/star_generation.cpp",
      "computeAppearance(out.data() + first, static_cast<uint32_t>(out.size() - first), table, L, tier, seed,",
      "computeAppearance(out.data() + first, static_cast<uint32_t>(out.size() - first), table, L, tier, voxel.seed,",
      "appearance drawn from the voxel's stream instead of the tier's"),
    M("rejection-edge", "starfield/star_generation.cpp",
      "<= threshold) continue;", "< threshold) continue;",
      "rejection: a candidate exactly at the threshold accepted"),
    M("rejection-scale", "starfield/star_generation.cpp",
      "(static_cast<u128>(u) * bound) >> 64)", "(static_cast<u128>(u) * bound) >> 63)",
      "rejection threshold twice what it should be"),
    M("draw-index-align", "starfield/star_generation.cpp",
      "drawIndex = (drawIndex + (end - start) + 3) & ~3u;", "drawIndex = drawIndex + (end - start);",
      "appearance: population groups not started on a multiple of four"),
    M("last-tier-cap", "starfield/star_generation.cpp",
      "last = std::min(DEEPEST_LEVEL - level, last);", "last = std::min(DEEPEST_LEVEL - level - 1, last);",
      "last tier: one tier short of the deepest level"),
    M("evict-cutoff", "starfield/star_field.cpp",
      "while (queue.cutoff <= priority) {", "while (queue.cutoff < priority) {",
      "eviction stops one bucket below the priority it makes room for"),
    M("evict-stars-limit", "starfield/star_field.cpp",
      "while (starsInMemory + n >= maxStarsGen ||", "while (starsInMemory + n > maxStarsGen ||",
      "star limit: memory may fill up to the limit itself"),
    M("evict-points-limit", "starfield/star_field.cpp",
      "pointsInUse() + n >= settings.pointCapacity)", "pointsInUse() + n > settings.pointCapacity)",
      "point limit: slots may fill up to the limit itself"),
    M("evict-keeps-parents", "starfield/star_field.cpp",
      "if (h == ROOT_VOXEL || voxel(h).childMask != 0) continue;", "if (h == ROOT_VOXEL) continue;",
      "eviction deletes a voxel whose children are alive"),
    M("discard-keeps-points", "starfield/star_field.cpp",
      "    points.reset();\n    queue.release();", "    queue.release();",
      "a restart from the root leaves the old field's points in their slots"),
    M("within-bound-zero", "starfield/star_field.cpp",
      "if (shift <= 0)", "if (shift < 0)",
      "bound test: tier + level = 24 takes the left-shift branch"),
    M("box-distance-hi", "starfield/star_field.cpp",
      "const int64_t hi = lo + static_cast<int64_t>(edge);", "const int64_t hi = lo + static_cast<int64_t>(edge) - 1;",
      "box distance: the far face counted outside"),
    M("children-deepest", "starfield/star_field.cpp",
      "if (plan.level + plan.lastTier < DEEPEST_LEVEL) {", "if (plan.level + plan.lastTier <= DEEPEST_LEVEL) {",
      "children queued below the deepest level"),
    M("priority-inside", "starfield/star_field.cpp",
      "if (d2 == 0) return QUEUE_TOP_PRIORITY;", "if (d2 == 1) return QUEUE_TOP_PRIORITY;",
      "priority: the inside test on the wrong distance"),
    M("release-slot", "starfield/foreground.cpp",
      "table.owner[slot - 1]->foreground = static_cast<uint8_t>(slot);",
      "table.owner[slot - 1]->foreground = static_cast<uint8_t>(slot - 1);",
      "foreground release: the moved star told its index instead of its slot"),
    M("release-second-last", "starfield/foreground.cpp",
      "if (slot != table.count) {", "if (slot + 1 < table.count) {",
      "foreground release: the second-to-last entry is not moved"),
    M("release-owner-clear", "starfield/foreground.cpp",
      "    table.owner[table.count - 1] = nullptr;\n", "",
      "foreground release: the vacated owner pointer left behind"),
    M("foreground-last-tier", "starfield/foreground.cpp",
      "for (int t = voxel.firstTier; t <= voxel.lastTier; ++t) {",
      "for (int t = voxel.firstTier; t < voxel.lastTier; ++t) {",
      "foreground radius: the voxel's last tier never matched"),
    M("foreground-distance", "starfield/foreground.h",
      "return d2 < limits.foregroundDistance &&", "return d2 <= limits.foregroundDistance &&",
      "foreground test: the distance limit itself counted inside"),
    M("queue-refill", "starfield/voxel_queue.cpp",
      "bk.fill = bk.head == NONE ? 0 : ITEMS_PER_BLOCK;", "bk.fill = bk.head == NONE ? 0 : ITEMS_PER_BLOCK - 1;",
      "queue: the block under an emptied one is taken as one short"),
    M("slots-lower-mark", "starfield/point_slots.cpp",
      "while (!freed.empty() && freed.front() == highWater - 1) {",
      "while (!freed.empty() && freed.front() == highWater) {",
      "point slots: freeing the top slot never lowers the mark"),
    M("locate-one-tier", "starfield/locate.cpp",
      "plan.firstTier,\n                                        plan.lastTier, channels, ws);",
      "plan.firstTier,\n                                        plan.firstTier, channels, ws);",
      "locate: only the voxel's first tier generated, so the numbers name other stars"),
    M("search-old-galaxy", "starfield/search.cpp",
      "const bool poolCurrent = field.generatedSeed == seed;", "const bool poolCurrent = true;",
      "search: the stars of the old galaxy offered after a new seed, before the field regenerates"),
    M("location-checksum-short", "starfield/location_text.cpp",
      "if (get(bytes + PAYLOAD_BYTES, CHECK_BYTES) != checksum(bytes)) {",
      "if (get(bytes + PAYLOAD_BYTES, CHECK_BYTES - 4) != (checksum(bytes) & 0xFFFF)) {",
      "location text: only 16 bits of the checksum compared"),
    M("strafe-cross", "starfield/navigation.cpp",
      "cross(F, U) * rightIn", "cross(U, F) * rightIn",
      "navigation: the cross product swapped"),

    # ---------------------------------------------------- app/ (the hand-off)
    M("handoff-any-labels", "state/program_state.h",
      "settingsChanged | swapChainRecreated | labelsChanged;", "settingsChanged | swapChainRecreated;",
      "a labels change alone starts no pass"),
    M("handoff-done-unlocked", "app/worker_thread.cpp",
      """        {
            // Succeeds only while the main thread waits on doneSignal (or has
            // given up doneLock at shutdown), so the notification reaches it.
            std::lock_guard<std::mutex> done(w.doneMutex);
            w.donePosted = true;
        }""",
      "        w.donePosted = true;",
      "worker: the done flag set outside its lock"),
    M("handoff-running-late", "app/worker_thread.cpp",
      """    worker.job->running.store(true);
    {""",
      "    {",
      "start: the running flag not raised before the worker is woken"),
    M("handoff-busy-engine", "app/worker_thread.cpp",
      "const bool unfinished = !busy && hooks.unfinished != nullptr",
      "const bool unfinished = hooks.unfinished != nullptr",
      "hand-off: the engine asked about unfinished work while a pass runs in it"),
    M("handoff-restart-kept", "app/worker_thread.cpp",
      "        tracker.restartPending = false;\n", "",
      "hand-off: a remembered change never forgotten"),
    M("handoff-previous", "app/worker_thread.cpp",
      "if (!previous) return false;", "if (previous) return false;",
      "hand-off: a finished pass collected only when none was running"),
    M("handoff-stop-unlock", "app/worker_thread.cpp",
      "if (worker.doneLock.owns_lock()) worker.doneLock.unlock();", "",
      "stop: the main thread keeps its done lock while the last pass ends"),
    M("handoff-wait-flag", "app/worker_thread.cpp",
      "if (tracker.waitForPass) waitForJob(worker);", "if (!tracker.waitForPass) waitForJob(worker);",
      "hand-off: waiting in the starting frame only when not asked to"),

    # ----------------------------------------------------------- save file
    M("save-truncation-edge", "state/save_file.cpp",
      "if (at + size > length) throw std::runtime_error(LOAD_TRUNCATED);",
      "if (at + size >= length) throw std::runtime_error(LOAD_TRUNCATED);",
      "load: a file of exactly the right length taken as truncated"),
    M("save-version-edge", "state/save_file.cpp",
      "values[i].word > SAVE_VERSION) throw",
      "values[i].word >= SAVE_VERSION) throw",
      "load: the current version refused"),
    M("save-padding", "state/save_file.cpp",
      "image.resize(at + size, SAVE_PADDING);",
      "image.resize(at + size, 0);",
      "save: gaps filled with zeros instead of 0xFF"),
    M("save-alignment", "state/save_file.cpp",
      "return std::min<uint32_t>(size & (~size + 1), 16);",
      "return std::min<uint32_t>(size & (~size + 1), 8);",
      "layout: fields of 16 bytes aligned to 8"),
    M("save-perpendicular", "state/save_file.cpp",
      "if (std::fabs(dot(v.vector, earlier[FIELD_FORWARD].vector)) > SAVE_DIRECTION_TOLERANCE)",
      "if (dot(v.vector, earlier[FIELD_FORWARD].vector) > SAVE_DIRECTION_TOLERANCE)",
      "load: an up vector leaning against forward accepted"),
    M("save-flag", "state/save_file.cpp",
      'return v.word > 1 ? "not 0 or 1" : nullptr;',
      'return v.word > 2 ? "not 0 or 1" : nullptr;',
      "load: a flag byte of 2 accepted"),
    M("save-no-fsync", "files/safe_write.cpp",
      "if (r.ok && ::fsync(::fileno(out)) != 0)",
      "if (false)",
      "write: the temporary file renamed before it reached the disk"),
    M("write-removes-the-file", "files/safe_write.cpp",
      "    if (!r.ok) {\n        ::unlink(temporary.c_str());",
      "    if (!r.ok) {\n        ::unlink(path.c_str());",
      "write: a failure removes the old file instead of the temporary one"),
    M("write-replaces-devices", "files/safe_write.cpp",
      "        if (!S_ISREG(st.st_mode)) {",
      "        if (false) {",
      "write: a device or FIFO replaced by a regular file"),
    M("save-unreadable-overwritten", "state/save_file.cpp",
      "if (renameWithoutReplacing(file, to)) {",
      "if (true) {",
      "save: an unreadable save file written over instead of kept"),
    M("save-position-unchecked", "state/save_file.cpp",
      "return withinSpace(v.fixed.integer) ? nullptr : OUTSIDE_SPACE;",
      "return nullptr;",
      "load: a position beyond the edge of space accepted"),
    M("navigation-one-edge", "starfield/navigation.cpp",
      "v < -POSITION_LIMIT ? -POSITION_LIMIT : v > POSITION_LIMIT",
      "v > POSITION_LIMIT",
      "navigation: flying past the lower edge of space"),
    M("space-edge-excluded", "starfield/navigation.h",
      "coordinate >= -POSITION_LIMIT && coordinate <= POSITION_LIMIT",
      "coordinate > -POSITION_LIMIT && coordinate <= POSITION_LIMIT",
      "edge of space: a position exactly on the lower edge counted outside"),
    M("location-outside-accepted", "starfield/location_text.cpp",
      "if (!withinSpace(c.integer)) {", "if (false) {",
      "location text: a position beyond the edge of space accepted"),
    M("location-alphabet", "starfield/location_text.cpp",
      '"0123456789ABCDEFGHJKMNPQRSTVWXYZ"', '"0123456789ABCDEFGHJKMNPQRSTVWXZY"',
      "location text: two digits of the alphabet swapped, so texts of earlier builds read wrongly"),
    M("location-check-seed", "starfield/location_text.cpp",
      "CHECK_SEED = 0x5354524C4F4F4D31ull", "CHECK_SEED = 0x5354524C4F4F4D32ull",
      "location text: another checksum seed, so texts of earlier builds are refused"),

    # ------------------------------------------------- star-name lattice edges
    M("lattice-bisect-top", "galaxy/star_name.cpp",
      "above = 1321123;", "above = 1321122;",
      "star name read back: the bisection cannot reach the last shell"),
    M("lattice-code-overflow", "galaxy/star_name.cpp",
      "if (n > (~uint64_t{0} - static_cast<uint64_t>(digit)) / 21) tooLarge = true;",
      "if (n > ~uint64_t{0} / 21) tooLarge = true;",
      "star name read back: a code just above 2^64 - 1 wraps instead of being refused"),
    M("exact-tie-away", "numeric/exact_math.cpp",
      "if (rest > half || (rest == half && (q & 1))) ++q;", "if (rest >= half) ++q;",
      "fourth power: an exact tie rounded away from zero instead of to even"),

    # ---------------------------------------------------- generation pool
    M("pool-batch-wakes-one", "starfield/generation_pool.cpp",
      "    else\n        workReady.notify_all();", "    else\n        workReady.notify_one();",
      "pool: a batch of tasks wakes a single helper"),
    M("pool-stop-wakes-one", "starfield/generation_pool.cpp",
      "    workReady.notify_all();\n    for (std::thread& t : threads) t.join();",
      "    workReady.notify_one();\n    for (std::thread& t : threads) t.join();",
      "pool: stopping wakes one helper, the others are never joined"),
    M("pool-single-no-wake", "starfield/generation_pool.cpp",
      "    if (count == 1)\n        workReady.notify_one();", "    if (count == 1)\n        {}",
      "pool: a single task wakes no helper"),

    # ------------------------------------------------------- view limits
    M("create-bound-off-by-one", "starfield/view_limits.cpp",
      "S / (radiusSq * 0.0125) - 1)", "S / (radiusSq * 0.0125))",
      "view limits: the creation bound one too large"),
    M("keep-bound-margin", "starfield/view_limits.cpp",
      "saturatingUint64(1.1 * S /", "saturatingUint64(1.0 * S /",
      "view limits: no margin between creating and keeping a voxel"),
    M("foreground-height", "starfield/view_limits.cpp",
      "const double fs = h * 6.283185307179586", "const double fs = (h - 1) * 6.283185307179586",
      "view limits: the foreground size from the height less one"),
    M("background-height", "state/settings.cpp",
      "static_cast<int32_t>(displayHeight) * 360;", "static_cast<int32_t>(displayHeight + 1) * 360;",
      "background light: the display value from the height plus one"),

    # --------------------------------------------------- Caps Lock, navigation over time
    M("caps-roll", "starfield/navigation.cpp",
      "const double roll = k * (held(navkey::D)", "const double roll = (held(navkey::D)",
      "Caps Lock: roll not slowed"),
    M("caps-yaw", "starfield/navigation.cpp",
      "const double yaw = k * (held(navkey::X)", "const double yaw = (held(navkey::X)",
      "Caps Lock: yaw not slowed"),
    M("turn-behind-short", "starfield/navigation.cpp",
      "const double remaining = std::atan2(s, c);", "const double remaining = std::atan2(s == 0 ? 1 : s, c);",
      "a half turn in one long frame stops at 135 degrees"),
    M("speed-key-repeat", "starfield/navigation.cpp",
      "const bool pressed = e.down && !keys.down[e.key];", "const bool pressed = e.down;",
      "navigation over time: a key already down changes the speed again"),
    M("speed-top-level", "starfield/navigation.cpp",
      "view.speedLevel < MAX_SPEED_LEVEL) view.speedLevel += 1;", "view.speedLevel <= MAX_SPEED_LEVEL) view.speedLevel += 1;",
      "navigation over time: the period key goes past the highest speed"),

    # --------------------------------------------------- strict command line
    M("cli-hex-lower-digit", "cli/parse.cpp",
      "digit = c - 'a' + 10;", "digit = c - 'a' + 11;",
      "starloom-cli: lower-case hexadecimal digits read one too high"),
    M("cli-hex-lower-f", "cli/parse.cpp",
      "else if (c >= 'a' && c <= 'f')", "else if (c >= 'a' && c <= 'e')",
      "starloom-cli: a lower-case f refused"),
    M("cli-leading-zero", "cli/parse.cpp",
      " || (text[0] == '0' && text[1] != '\\0')) return false;", ") return false;",
      "starloom-cli: numbers with leading zeros accepted"),
    M("cli-minus-zero", "cli/parse.cpp",
      " || (digits != text && std::strcmp(digits, \"0\") == 0)) return false;", ") return false;",
      "starloom-cli: -0 accepted"),

    # --------------------------------------------------- settings file
    M("settings-comment-rewritten", "state/settings_file.cpp",
      "return t.empty() || t[0] == '#';", "return t.empty();",
      "settings file: a comment line read as a setting"),
    M("settings-bad-value-overwritten", "state/settings_file.cpp",
      "if (entry == nullptr || !entry->set(probe, value)) continue;", "if (entry == nullptr) continue;",
      "settings file: a value the program cannot read written over"),
    M("settings-value-untrimmed", "state/settings_file.cpp",
      "value = trimmed(line.substr(equals + 1));", "value = line.substr(equals + 1);",
      "settings file: blanks around a value make it unreadable"),

    # ------------------------------------------- safe write, kept save files
    M("write-mode-lost", "files/safe_write.cpp",
      "        ::fchmod(fd, old->st_mode & 07777);\n", "",
      "write: the new file loses the old one's permissions"),
    M("write-relative-link", "files/safe_write.cpp",
      'p = target[0] == \'/\' ? std::string(target) : folderOf(p) + "/" + target;', "p = std::string(target);",
      "write: a relative link resolved against the working folder"),
    M("write-planted-link", "files/safe_write.cpp",
      "O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC", "O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC",
      "write: a link planted at the temporary's name followed"),
    M("write-stream-not-emptied", "files/safe_write.cpp",
      "S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0", "S_ISREG(st.st_mode) && false",
      "write: a regular file reached through a stream keeps its old tail"),
    M("write-device-for-settings", "files/safe_write.cpp",
      "            if (options.regularFileOnly)\n", "            if (false)\n",
      "write: a file that must be regular written into a device"),
    M("save-kept-name-reused", "state/save_file.cpp",
      "if (error != EEXIST || n > 1000) break;", "break;",
      "save: a second unreadable file in the same second not kept under a name of its own"),
    M("save-newer-overwritten", "state/save_file.cpp",
      "            if (newerVersion(bytes) != 0) {\n                status.condition",
      "            if (false) {\n                status.condition",
      "save: a newer program's file saved there since is written over"),

    # ------------------------------------------- the panel on the program state
    M("panel-magnitude-no-limits", "ui/control_panel.cpp",
      "            s.settings.maxMagnitude = magnitude;\n            s.requests.viewLimits = true;\n",
      "            s.settings.maxMagnitude = magnitude;\n",
      "panel: a new faintest magnitude asks for no new view limits"),
    M("panel-shape-unflagged", "ui/control_panel.cpp",
      "STAR_SHAPE_CHOICES, s.settings.starShape)) {\n        s.changes.settingsChanged = 1;",
      "STAR_SHAPE_CHOICES, s.settings.starShape)) {\n",
      "panel: a new star shape starts no pass"),
    M("panel-reset-fonts-labels", "ui/control_panel.cpp",
      "if (s.settings.displayFontSize != 3) s.changes.labelsChanged = 1;", "",
      "panel: resetting the display font leaves the labels as they were"),

    # ---------------------------------------------- labels, exposure
    M("labels-no-spare", "starfield/labels.cpp",
      "constexpr double SPARE = 1;", "constexpr double SPARE = 0;",
      "labels: boxes that touch count as apart"),
    M("labels-drop-max", "starfield/labels.cpp",
      "if (drop > LABEL_DROP_MAX) continue;", "if (drop >= LABEL_DROP_MAX) continue;",
      "labels: a label the largest drop would clear is left out"),
    M("labels-last-glyph", "starfield/labels.cpp",
      "if (glyphs + count > maxGlyphs) break;", "if (glyphs + count >= maxGlyphs) break;",
      "labels: a label that exactly fills the glyph buffer is left out"),
    M("exposure-percentile", "render/exposure.cpp",
      "(light.size() - 1) * 99 / 100", "light.size() * 99 / 100",
      "auto exposure: the percentile one block too high"),
    M("exposure-brightest-limit", "render/exposure.cpp",
      "std::min(AUTO_EXPOSURE_KEY / average, AUTO_EXPOSURE_BRIGHTEST / brightest)",
      "std::max(AUTO_EXPOSURE_KEY / average, AUTO_EXPOSURE_BRIGHTEST / brightest)",
      "auto exposure: the brightest part no longer held below the shoulder"),
    M("exposure-time-constant", "render/exposure.cpp",
      "std::exp(-seconds / AUTO_EXPOSURE_SECONDS)", "std::exp(-seconds * AUTO_EXPOSURE_SECONDS)",
      "auto exposure: the time constant inverted"),
    M("exposure-settling", "render/exposure.cpp",
      "std::abs(std::log(current / target)) > 0.02", "std::abs(std::log(current / target)) > 0.2",
      "auto exposure: settled while still 20 % away"),

    # ------------------------------------ bookmarks on the sky, mouse presses
    M("place-marks-unnamed", "starfield/labels.cpp",
      "(static_cast<int>(i) == alwaysNamed || i < namedFirst)", "(static_cast<int>(i) == alwaysNamed)",
      "marked places: labelled only when a Text: choice writes names"),
    M("place-marks-other-galaxy", "state/bookmarks.cpp",
      "|| !(place.seed == seed)) continue;", ") continue;",
      "marked places: a bookmark of another galaxy marked in this one"),
    M("place-marks-name-cut", "state/bookmarks.cpp",
      "& 0xC0) == 0x80) {", "& 0xC0) == 0xC0) {",
      "marked places: a long name cut inside a character"),
    M("place-marks-hidden-km", "app/star_field_link.cpp",
      "PLACE_MARK_HIDDEN_WITHIN = 14959787.07;", "PLACE_MARK_HIDDEN_WITHIN = 149597870.7;",
      "marked places: the astronomical unit in kilometres, not in position units"),
    M("place-marks-selected-place", "app/star_field_link.cpp",
      "for (size_t i = draw.placeMarkCount; i < n && selected < 0; ++i) {",
      "for (size_t i = 0; i < n && selected < 0; ++i) {",
      "marked places: a place at the selected star's position taken for the star"),
    M("mouse-stale-capture", "ui/control_panel.cpp",
      "return ImGui::IsPopupOpen(\"\", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel) || imguiWindowAt(x, y);",
      "return ImGui::GetIO().WantCaptureMouse || imguiWindowAt(x, y);",
      "mouse: a press right after leaving the panel still counted as the panel's"),
]


def tree_files():
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, check=True,
                         capture_output=True, text=True).stdout
    return [f for f in out.splitlines() if f and os.path.isfile(os.path.join(ROOT, f))]


def mirror(src_dir):
    """Copies changed files into the scratch tree and removes files gone from the worktree."""
    files = set(tree_files())
    for f in files:
        data = open(os.path.join(ROOT, f), "rb").read()
        dst = os.path.join(src_dir, f)
        if os.path.exists(dst) and open(dst, "rb").read() == data:
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as out:
            out.write(data)
    for dirpath, _, names in os.walk(src_dir):
        for n in names:
            rel = os.path.relpath(os.path.join(dirpath, n), src_dir)
            if rel not in files:
                os.remove(os.path.join(dirpath, n))


def run(cmd, timeout, cwd=None):
    """Runs cmd in its own process group; returns (exit code or 'timeout', output)."""
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return "timeout", out


def needs_tsan(m):
    return m.file.startswith("app/")


def locate(m, files):
    """The file that holds the mutant's snippet: its named file, or else the one
    source file (tests aside) where the snippet occurs, should it have moved.
    None unless the snippet occurs exactly once."""
    def count(f):
        path = os.path.join(ROOT, f)
        return open(path, errors="replace").read().count(m.find) if os.path.isfile(path) else 0
    if count(m.file) == 1:
        return m.file
    hits = [(f, count(f)) for f in files if f.endswith((".cpp", ".h")) and not f.startswith("tests/")]
    hits = [(f, n) for f, n in hits if n > 0]
    return hits[0][0] if len(hits) == 1 and hits[0][1] == 1 else None


def build(build_dir, jobs, tsan):
    targets = ["starloom_tests"] + (["starloom_handoff_tsan"] if tsan else [])
    code, out = run(["cmake", "--build", build_dir, "-j", str(jobs), "--target"] + targets, 1800)
    return code == 0, out


def run_shards(build_dir, timeout, shards, fail_fast):
    """Runs the unit-test binary in `shards` parallel parts (gtest sharding);
    returns (exit code or 'timeout', joined output) of the first part that
    failed, else of the last one."""
    binary = os.path.join(build_dir, "tests", "starloom_tests")
    procs = []
    for i in range(shards):
        env = dict(os.environ, GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(i))
        args = [binary, "--gtest_brief=1"] + (["--gtest_fail_fast"] if fail_fast else [])
        procs.append(subprocess.Popen(args, cwd=os.path.join(build_dir, "tests"), env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, text=True, start_new_session=True))
    deadline = time.time() + timeout
    result = (0, "")
    for p in procs:
        try:
            out, _ = p.communicate(timeout=max(1, deadline - time.time()))
            code = p.returncode
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, _ = p.communicate()
            code = "timeout"
        if code != 0 and result[0] == 0:
            result = (code, out)
    return result


def run_tests(build_dir, timeout, tsan, shards=2, fail_fast=True):
    """Returns None when everything passed, else a short reason."""
    code, out = run_shards(build_dir, timeout, shards, fail_fast)
    if code == "timeout":
        return "unit tests hit the %ds limit" % timeout
    if code != 0:
        failed = sorted({l.split()[3] for l in out.splitlines() if l.startswith("[  FAILED  ]") and
                         len(l.split()) > 3 and "." in l.split()[3]})
        return ("failed: " + ", ".join(failed[:4]) + (" ..." if len(failed) > 4 else "")) if failed \
            else "unit tests exited with %s" % code
    if tsan:
        env_cmd = ["env", "TSAN_OPTIONS=halt_on_error=1:exitcode=66:detect_deadlocks=0",
                   os.path.join(build_dir, "tests", "starloom_handoff_tsan"), "--gtest_brief=1"]
        code, out = run(env_cmd, timeout)
        if code == "timeout":
            return "hand-off under ThreadSanitizer hit the %ds limit" % timeout
        if code != 0:
            return "hand-off under ThreadSanitizer exited with %s" % code
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--scratch", default="/tmp/starloom-mutate")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=60, help="seconds per test-binary run")
    ap.add_argument("--shards", type=int, default=2, help="parallel parts the unit tests run in")
    ap.add_argument("--only", action="append", default=[], help="run mutants whose name contains this")
    ap.add_argument("--check", action="store_true", help="only check that every snippet is found once")
    args = ap.parse_args()

    mutants = [m for m in MUTANTS if not args.only or any(o in m.name for o in args.only)]
    files = tree_files()
    stale = []
    for m in mutants:
        where = locate(m, files)
        if where is None:
            stale.append(m)
            print("stale: %-22s %s: snippet not found exactly once" % (m.name, m.file))
        elif where != m.file:
            print("moved: %-22s %s -> %s" % (m.name, m.file, where))
            m.file = where
    if args.check:
        areas = {}
        for m in MUTANTS:
            areas[m.file.split("/")[0]] = areas.get(m.file.split("/")[0], 0) + 1
        print("%d mutants (%s), %d stale" % (len(MUTANTS), ", ".join("%s %d" % a for a in sorted(areas.items())),
                                             len(stale)))
        return 1 if stale else 0
    mutants = [m for m in mutants if m not in stale]
    # Slips in headers rebuild most of the tree twice: they come last, so
    # that the quick ones report first.
    mutants.sort(key=lambda m: m.file.endswith(".h"))

    src = os.path.join(args.scratch, "src")
    bld = os.path.join(args.scratch, "build")
    os.makedirs(src, exist_ok=True)
    mirror(src)
    if not os.path.exists(os.path.join(bld, "CMakeCache.txt")):
        code, out = run(["cmake", "-S", src, "-B", bld, "-DCMAKE_BUILD_TYPE=Release", "-DSTARLOOM_BENCH=OFF"], 600)
        if code != 0:
            sys.exit("configure failed:\n" + out)
    start = time.time()
    ok, out = build(bld, args.jobs, True)
    if not ok:
        sys.exit("the unmutated tree does not build:\n" + out[-4000:])
    t0 = time.time()
    reason = run_tests(bld, args.timeout, True, args.shards, False)
    if reason:
        sys.exit("the unmutated tree fails its tests: " + reason)
    print("baseline: built and passed (tests %.1fs)" % (time.time() - t0), flush=True)

    caught, survived, broken = [], [], []
    for i, m in enumerate(mutants, 1):
        path = os.path.join(src, m.file)
        original = open(path).read()
        t0 = time.time()
        try:
            with open(path, "w") as f:
                f.write(original.replace(m.find, m.replace, 1))
            ok, out = build(bld, args.jobs, needs_tsan(m))
            if not ok:
                broken.append(m)
                verdict = "does not compile"
            else:
                reason = run_tests(bld, args.timeout, needs_tsan(m), args.shards)
                if reason:
                    caught.append(m)
                    verdict = "caught (" + reason + ")"
                else:
                    survived.append(m)
                    verdict = "SURVIVED"
        finally:
            with open(path, "w") as f:
                f.write(original)
        print("[%2d/%d] %-22s %5.0fs  %s" % (i, len(mutants), m.name, time.time() - t0, verdict), flush=True)

    counted = len(caught) + len(survived)
    print()
    print("caught %d of %d mutants (%.0f%%) in %.0f min; %d did not compile, %d stale" %
          (len(caught), counted, 100.0 * len(caught) / max(counted, 1), (time.time() - start) / 60, len(broken),
           len(stale)))
    for m in survived:
        print("  survived: %-22s %s: %s" % (m.name, m.file, m.what))
    for m in broken:
        print("  no build: %-22s %s: %s" % (m.name, m.file, m.what))
    # Leave the scratch build matching the unmutated tree for the next run.
    build(bld, args.jobs, True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
