// Binary-tree match finder. Every position is a node in the tree of its
// first two bytes; `hashHeads` holds each tree's root, the newest position.
// A tree is ordered by the byte strings starting at its positions, smaller
// strings under the smaller child, larger or equal ones under the larger
// child; a new position always becomes the root and the old tree is split
// around it. Newer positions sit nearer the root, so the first source
// reaching a length is also the nearest one.
//
// A search (at most 257 bytes compared) and an insertion (at most 50)
// change a tree the same way: both stop at the first candidate sharing 50
// bytes. So positions the parser will put into the trees anyway can be
// searched before it asks for them, searches of different trees can run
// interleaved and insertions of neighbouring positions in pairs; each tree
// still sees its positions in order, and the results are those of walking
// one position at a time.
//
// Format facts: a source q is usable from p only when q > p + 4 - W, so
// distances stay at most W - 5; formatted offsets are 0..2 for the repeated
// offsets and distance + 2 otherwise; no match may reach the last byte of a
// 32768-byte frame, so every frame ends with a literal.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"
#include "compress/lzx/lzx_search_job.h"
#include "compress/lzx/lzx_tree_walk.h"

namespace treepak {

namespace lzxenc {
namespace {

// Searches first .. last - 1 with the same walks, up to kWalksInFlight at
// once: trees of different keys share no node, so their walks are
// independent.
// Each step of a walk ends by prefetching the node and bytes of its next
// candidate, and the other walks' steps run before it needs them, so the
// cache misses of several walks overlap. Each tree still takes its
// positions in order: a position whose key is being walked, or waits,
// waits too (at most kMaxDeferred of them), and later positions go first.
// Insertions do not interleave this way (InsertPositions walks them in
// pairs, in step): the inner positions of a long match follow their
// source's neighbours, whose nodes the previous walk has just brought into
// the cache, and rotating among walks only costs there.
// The results go to offsetRows and specBest, row q - specFirst.
constexpr uint32_t kMaxDeferred = 8;

struct WalkState {
    const uint8_t* cur;  // p's bytes
    uint32_t* node;      // the candidate's node
    uint32_t cand;
    uint32_t pos;
    uint32_t limit;
    uint32_t key;
    uint32_t lens[2];    // side 0: candidates larger than p, side 1: smaller
    uint32_t* links[2];  // where the next candidate of each side goes
    uint32_t best;
    uint32_t improved;  // entries in the walk's improvement list
};

void SearchPositions(LzxEncoder* e, uint32_t first, uint32_t last) {
    const Trees t = TreesOf(e, first);
    const uint32_t rowBase = e->specFirst;
    if (last - first == 1) {
        e->specBest[first - rowBase] =
            WalkOne<WalkMode::kSearch>(t, first, first + 4 - e->windowSize, kMaxCompare, &e->offsetRows[first - rowBase]);
        return;
    }
    const uint8_t* const window = t.window;
    const uint32_t origin = t.origin;
    const uint32_t limitBias = 4 - e->windowSize;  // q + 4 - W
    constexpr uint32_t K = kWalksInFlight;
    constexpr uint32_t most = kMaxCompare;
    WalkState walks[K];
    // Searches note each length that beats the earlier ones and its
    // candidate, and spread them over the offset table when they end.
    uint32_t improvedLength[K][kMaxCompare + 1];
    uint32_t improvedCand[K][kMaxCompare + 1];
    uint32_t order[K];  // slots of the running walks
    uint32_t freeSlots[K];
    uint32_t n = 0, freeCount = K;
    for (uint32_t k = 0; k < K; ++k) freeSlots[k] = K - 1 - k;
    uint32_t deferred[kMaxDeferred];
    uint32_t deferredKeys[kMaxDeferred];
    uint32_t deferredCount = 0;
    uint32_t next = first;

    auto keyBusy = [&](uint32_t key, uint32_t deferredBefore) {
        bool busy = false;
        for (uint32_t k = 0; k < n; ++k) busy |= walks[order[k]].key == key;
        for (uint32_t k = 0; k < deferredBefore; ++k) busy |= deferredKeys[k] == key;
        return busy;
    };
    auto start = [&](uint32_t q, uint32_t key) {
        const uint32_t limit = q + limitBias;
        uint32_t& head = t.heads[key];
        const uint32_t c = head;
        head = q;
        uint32_t* const node = t.Node(q);
        if (AtOrBelow(c, limit)) {
            node[0] = node[1] = 0;
            e->specBest[q - rowBase] = 0;
            return;
        }
        uint32_t* const candNode = t.Node(c);
        __builtin_prefetch(candNode);
        Prefetch(window, c - origin + LZX_MIN_MATCH);
        OffsetRow& row = e->offsetRows[q - rowBase];
        row.offsets[LZX_MIN_MATCH] = q + 2 - c;  // the nearest source: the two-byte match
        row.longFills = 0;
        const uint32_t slot = freeSlots[--freeCount];
        WalkState& w = walks[slot];
        w.cur = window + (q - origin);
        w.node = candNode;
        w.cand = c;
        w.pos = q;
        w.limit = limit;
        w.key = key;
        w.lens[0] = w.lens[1] = LZX_MIN_MATCH;
        w.links[0] = node;
        w.links[1] = node + 1;
        w.best = LZX_MIN_MATCH;
        w.improved = 0;
        order[n++] = slot;
    };
    // Starts what may start, in position order, until K walks run.
    auto fill = [&] {
        uint32_t kept = 0;
        for (uint32_t d = 0; d < deferredCount; ++d) {
            const uint32_t key = deferredKeys[d];
            if (n < K && !keyBusy(key, kept)) {
                start(deferred[d], key);
            } else {
                deferred[kept] = deferred[d];
                deferredKeys[kept++] = key;
            }
        }
        deferredCount = kept;
        while (n < K && next != last && deferredCount < kMaxDeferred) {
            const uint32_t q = next++;
            const uint32_t key = KeyAt(window + (q - origin));
            if (keyBusy(key, deferredCount)) {
                deferred[deferredCount] = q;
                deferredKeys[deferredCount++] = key;
            } else {
                start(q, key);
            }
        }
    };

    fill();
    while (n != 0) {
        bool ended = false;
        for (uint32_t i = 0; i < n;) {
            const uint32_t slot = order[i];
            WalkState& w = walks[slot];
            const uint32_t c = w.cand;
            const uint8_t* src = window + (c - origin);
            const uint8_t* cur = w.cur;
            uint32_t* const node = w.node;
            const uint32_t candLarger = node[0];
            const uint32_t candSmaller = node[1];
            uint32_t lens0 = w.lens[0], lens1 = w.lens[1];
            const uint32_t m = CommonLength(src, cur, std::min(lens0, lens1), most);
            // Deep walks improve on their best only in the first few steps.
            if (m > w.best) {
                const uint32_t at = w.improved++;
                improvedLength[slot][at] = m;
                improvedCand[slot][at] = c;
                w.best = m;
            }
            bool done;
            if (m >= kLongMatch) {
                *w.links[0] = candLarger;
                *w.links[1] = candSmaller;
                done = true;
            } else {
                // The side is a coin toss on most data, so it indexes
                // rather than branches (written as selects, the compilers
                // turn the group back into a branch): side 0 when the
                // candidate is larger, which links it on that side and
                // follows its smaller child, side 1 the other way round.
                const uint32_t side = src[m] > cur[m] ? 0 : 1;
                *w.links[side] = c;
                w.links[side] = node + (side ^ 1);
                const uint32_t mOnLarger = m & (side - 1);  // m on side 0, else 0
                lens0 = std::max(lens0, mOnLarger);
                lens1 = std::max(lens1, m - mOnLarger);
                const uint32_t following = side != 0 ? candLarger : candSmaller;
                done = AtOrBelow(following, w.limit);
                if (done) {
                    *w.links[0] = *w.links[1] = 0;
                } else {
                    uint32_t* const followingNode = t.Node(following);
                    __builtin_prefetch(followingNode);
                    Prefetch(window, following - origin + std::min(lens0, lens1));
                    w.node = followingNode;
                    w.cand = following;
                    w.lens[0] = lens0;
                    w.lens[1] = lens1;
                }
            }
            if (!done) {
                ++i;
                continue;
            }
            {
                OffsetRow* row = &e->offsetRows[w.pos - rowBase];
                uint32_t from = LZX_MIN_MATCH + 1;
                for (uint32_t k = 0; k < w.improved; ++k) {
                    const uint32_t to = improvedLength[slot][k];
                    FillWalkOffsets(row, from, to, w.pos + 2 - improvedCand[slot][k]);
                    from = to + 1;
                }
                e->specBest[w.pos - rowBase] = w.best;
            }
            ended = true;
            freeSlots[freeCount++] = slot;
            order[i] = order[--n];
        }
        if (ended && (deferredCount != 0 || next != last)) fill();
    }
}

// True unless a match of distance 1 longer than 16 bytes could start at y:
// such a match (a run) inserts only y + 1 of its inner positions, so no
// position past y + 1 may be searched ahead of y. The bytes y - 1 .. y + 16
// must all be equal for it.
inline bool NoLongRunAt(const LzxEncoder* e, uint32_t y) {
    if (y <= e->windowOrigin) return true;  // nothing before y
    const uint8_t* b = e->windowBuffer + (y - e->windowOrigin) - 1;
    uint64_t x0, x1, y0, y1;
    std::memcpy(&x0, b, 8);
    std::memcpy(&x1, b + 1, 8);
    std::memcpy(&y0, b + 8, 8);
    std::memcpy(&y1, b + 9, 8);
    return x0 != x1 || y0 != y1 || b[16] != b[17];
}

// Smaller windows have small trees whose walks mostly hit the cache: there
// the batches cost more than the overlap saves, and p is searched alone.
constexpr uint32_t kSearchAheadWindow = 1u << 20;

// Searches p and the positions after it that the parser will put into the
// trees whatever it decides: p + 1 always (the next search or the first
// inner position of p's match), later ones while no run can start before
// them. All of them lie below `end`, the chunk's end.
void SearchAhead(LzxEncoder* e, uint32_t p, uint32_t end) {
    uint32_t last = p + 1;
    if (e->windowSize >= kSearchAheadWindow) {
        if (last < end) ++last;
        while (last - p < kSearchBatch && last < end && NoLongRunAt(e, last - 2)) ++last;
    }
    e->specFirst = p;
    // After a long match the next one is likely long too (near copies): p
    // goes first, alone, and when its match is long, so that the parser
    // takes it whole and only inserts the positions inside it, nothing is
    // searched ahead.
    if (e->afterLongMatch && last - p > 1) {
        e->specEnd = p + 1;
        SearchPositions(e, p, p + 1);
        if (e->specBest[0] >= kLongMatch) return;
        SearchPositions(e, p + 1, last);
    } else {
        SearchPositions(e, p, last);
    }
    e->specEnd = last;
}

// A repeated offset that matches as far as the best match is always the
// cheaper way to code it, so such lengths are rewritten to use it.
void PreferRepeats(LzxEncoder* e, OffsetRow* row, uint32_t p, uint32_t best) {
    const uint8_t* cur = WindowAt(e, p);
    const uint32_t m0 = CommonLength(cur - e->r0, cur, 0, best);
    if (m0 == best) {
        FillOffsets(row, LZX_MIN_MATCH, best, 0);
        return;
    }
    if (m0 >= LZX_MIN_MATCH) FillOffsets(row, LZX_MIN_MATCH, m0, 0);
    if (m0 > kLongMatch) return;
    const uint32_t m1 = CommonLength(cur - e->r1, cur, 0, best);
    if (m1 == best) {
        FillOffsets(row, LZX_MIN_MATCH, best, 1);
        return;
    }
    if (m1 > m0) FillOffsets(row, std::max(m0 + 1, LZX_MIN_MATCH), m1, 1);
    const uint32_t m2 = CommonLength(cur - e->r2, cur, 0, best);
    const uint32_t covered = std::max(m0, m1);
    if (m2 == best)
        FillOffsets(row, LZX_MIN_MATCH, best, 2);
    else if (m2 > covered)
        FillOffsets(row, std::max(covered + 1, LZX_MIN_MATCH), m2, 2);
}

// A search job in use gives p's results, unless p's key is left to the
// encoder; from jobOwnFrom on p goes into the encoder's trees as well.
void SearchWithJob(LzxEncoder* e, uint32_t p) {
    e->specFirst = p;
    e->specEnd = p + 1;
    if (JobTaints(e, p)) {
        SearchPositions(e, p, p + 1);
        return;
    }
    e->specBest[0] = TakeJobRecord(e, p, &e->offsetRows[0]);
    if (p >= e->jobOwnFrom) WalkOne<WalkMode::kInsert>(TreesOf(e, p), p, p + 4 - e->windowSize, kLongMatch, nullptr);
}

}  // namespace

uint32_t FindMatches(LzxEncoder* e, uint32_t p, uint32_t end) {
    if (e->job && p >= e->jobFrom) {
        if (p - e->specFirst >= e->specEnd - e->specFirst) SearchWithJob(e, p);
    } else if (p - e->specFirst >= e->specEnd - e->specFirst) {
        SearchAhead(e, p, end);
    }
    const uint32_t index = p - e->specFirst;
    OffsetRow* row = &e->offsetRows[index];
    e->bestRow = row;
    uint32_t best = e->specBest[index];
    e->afterLongMatch = best >= kLongMatch;
    if (best == 0) return 0;
    PreferRepeats(e, row, p, best);

    const uint32_t room = kFrameMask - (p & kFrameMask);
    if (best > room) best = room < LZX_MIN_MATCH ? 0 : room;
    return best;
}

void InsertPositions(LzxEncoder* e, uint32_t first, uint32_t last, uint32_t fixedLimit) {
    // Searched ahead: in the trees already.
    if (first - e->specFirst < e->specEnd - e->specFirst) first = e->specEnd;
    if (static_cast<int32_t>(last - first) <= 0) return;
    const Trees t = TreesOf(e, first);
    const uint32_t bias = 4 - e->windowSize;
    auto limitOf = [&](uint32_t q) { return fixedLimit != 0 ? fixedLimit : q + bias; };
    uint32_t q = first;
    if (e->job && last > e->jobFrom) {
        // Positions of a job's stretch are in its trees, unless their key
        // is left to the encoder or they come after jobOwnFrom.
        for (; q != last; ++q)
            if (q < e->jobFrom || q >= e->jobOwnFrom || JobTaints(e, q))
                WalkOne<WalkMode::kInsert>(t, q, limitOf(q), kLongMatch, nullptr);
        return;
    }
    // Neighbouring positions walk two trees side by side, in step: inside a
    // long match their walks mostly mirror each other (q + 1 meets the
    // neighbours of the nodes q meets), so the second walk's sides follow
    // the first's, which the branch predictor learns, and the two walks'
    // loads overlap.
    for (; last - q >= 2; q += 2) {
        const uint8_t* b = t.window + (q - t.origin);
        if (b[0] == b[1] && b[1] == b[2]) {  // q and q + 1 share a tree: one after the other
            WalkOne<WalkMode::kInsert>(t, q, limitOf(q), kLongMatch, nullptr);
            WalkOne<WalkMode::kInsert>(t, q + 1, limitOf(q + 1), kLongMatch, nullptr);
            continue;
        }
        Walk a{}, c{};
        bool liveA = BeginWalk<WalkMode::kInsert>(t, q, limitOf(q), nullptr, &a);
        bool liveC = BeginWalk<WalkMode::kInsert>(t, q + 1, limitOf(q + 1), nullptr, &c);
        while (liveA && liveC) {
            liveA = StepWalk<WalkMode::kInsert>(t, kLongMatch, nullptr, &a);
            liveC = StepWalk<WalkMode::kInsert>(t, kLongMatch, nullptr, &c);
        }
        while (liveA) liveA = StepWalk<WalkMode::kInsert>(t, kLongMatch, nullptr, &a);
        while (liveC) liveC = StepWalk<WalkMode::kInsert>(t, kLongMatch, nullptr, &c);
    }
    if (q != last) WalkOne<WalkMode::kInsert>(t, q, limitOf(q), kLongMatch, nullptr);
}

uint32_t OffsetOfLength(const OffsetRow* row, uint32_t length) {
    if (length <= kLongMatch) return row->offsets[length];
    for (uint32_t k = row->longFills; k-- > 0;) {
        const LongFill& fill = row->longFill[k];
        if (length >= fill.from && length <= fill.to) return fill.offset;
    }
    TP_ASSERT(false);  // the walk's fills cover every length up to its best
    return 0;
}

void ForgetSearchesAhead(LzxEncoder* e) { e->specFirst = e->specEnd = 0; }

void RemovePosition(LzxEncoder* e, uint32_t p, uint32_t limit) {
    if (e->job && p >= e->jobFrom && p < e->jobOwnFrom && !JobTaints(e, p)) return;  // the job's to do
    uint32_t& head = e->hashHeads[KeyAt(WindowAt(e, p))];
    if (head != p) return;
    const Trees t = TreesOf(e, p);
    uint32_t* const pNode = t.Node(p);
    if (p <= limit) {
        head = 0;
        pNode[0] = pNode[1] = 0;
        return;
    }
    uint32_t a = pNode[0];
    uint32_t b = pNode[1];
    if (a <= limit) a = 0;
    if (b <= limit) b = 0;
    // Merge the two subtrees by recency: the newer root goes up first.
    uint32_t* slot = &head;
    for (;;) {
        if (b < a) {
            if (a <= limit) {
                *slot = 0;
                return;
            }
            *slot = a;
            slot = t.Node(a) + 1;
            a = *slot;
        } else {
            if (b <= limit) {
                *slot = 0;
                return;
            }
            *slot = b;
            slot = t.Node(b);
            b = *slot;
        }
    }
}

}  // namespace lzxenc

}  // namespace treepak
