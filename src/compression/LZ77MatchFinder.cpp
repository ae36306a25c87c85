#include "compression/LZ77MatchFinder.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/MemoryAccess.h"

// How the finder gets the plain walk's answer cheaply:
//
// - Blocks. The input is cut into blocks of 32768 positions, the window
//   length, and each block's positions are sorted once by a hash of their
//   first four bytes. A chain is then two ascending runs of positions: the
//   previous block's from i - 32768 on and the current block's below i.
// - Keys. A candidate whose first four bytes differ from i's cannot score 4,
//   so with no search limit the runs hash the bytes themselves. With a
//   limit, where every candidate of the key counts, they hash the key and
//   skip the other keys that share the hash.
// - Order. Candidates are visited oldest first, as defined, and the search
//   stops once the distance caps every later candidate below the best.
// - Long strings. A candidate that scores 12 or more shares its first 12
//   bytes with i. Where a block has many positions of one 4-byte hash, it
//   also sorts them by a hash of 12 bytes; the search walks those sharing
//   i's 12 bytes first and falls back to the 4-byte run only if that finds
//   no score of 12.
// - Short scores. Where no candidate can score 12 (the 12-byte search found
//   none), or where the runs are short anyway, the 4-byte runs are scanned
//   in one tight pass. It compares, with two masked loads, the leading
//   bytes a candidate needs to beat the best, and scores only a new best.
// - Rejection. A search compares the eight bytes that end where a candidate
//   would have to go beyond the best: nearly every loser fails there. Where
//   no visit budget applies, that one masked comparison is all a loop over
//   the entries does (CandidateSearch::Sweep); a branchy visit per entry
//   cost more than the candidates' loads.
// - Periodic data puts long stretches of equally spaced entries in a run,
//   none of which can beat the first; they are stepped over in one go
//   (CandidateSearch::SkipPeriodic).
// - Long agreements are measured through a cache of where data stops
//   repeating at a distance, so a long repeat met again is not rescanned.

namespace {

constexpr uint32_t kBlock = 32768;
constexpr uint32_t kNoBlock = 0xFFFFFFFFu;
constexpr uint32_t kStop = 0xFFFFFFFFu;
constexpr uint32_t kShortGram = 4;
constexpr uint32_t kLongGram = 12;
constexpr uint32_t kMaxBits = 15;
constexpr uint32_t kMinBits = 8;
// A 4-byte run this long in a block gets the 12-byte index.
constexpr uint32_t kHotRun = 64;
// Searches in long runs first try this many visits of the 4-byte run; after
// kQuickTrial tries in a block, only while at least half succeed.
// Fewer visits send more searches to the 12-byte index, which periodic
// patterns make slow.
constexpr uint32_t kQuickVisits = 32;
constexpr uint32_t kQuickTrial = 32;
// Candidates are first compared directly; longer agreements go through the
// repeat cache.
constexpr uint32_t kDirectCompare = 64;
constexpr uint32_t kPrefetchAhead = 4;
// Sorting runs in up to this many lanes (see SortRunsInLanes).
constexpr uint32_t kMaxLanes = 2;

uint32_t NibbleKey(const uint8_t* b) {
  return ((b[0] & 0x0Fu) << 12) | ((b[1] & 0x0Fu) << 8) | ((b[2] & 0x0Fu) << 4) | (b[3] & 0x0Fu);
}

uint32_t ShortHash(uint32_t word) { return word * 0x9E3779B1u; }

uint32_t LongHash(const uint8_t* p) {
  uint64_t h = Load64(p) * 0x9E3779B97F4A7C15ull;
  h ^= Load32(p + 8) * 0xC2B2AE3D27D4EB4Full;
  return static_cast<uint32_t>((h ^ (h >> 29)) >> 32);
}

// Leading equal bytes of a and b, at most cap.
uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t cap) {
  uint32_t k = 0;
  while (k + 8 <= cap) {
    const uint64_t x = Load64(a + k) ^ Load64(b + k);
    if (x != 0) return k + FirstDifferingByte(x);
    k += 8;
  }
  while (k < cap && a[k] == b[k]) ++k;
  return k;
}

// Where data stops repeating at a given distance: End(x, delta) is the first
// j >= x + delta with src[j] != src[j - delta], or n. Answers are kept as
// intervals, filed by distance and by the stretch of input where they were
// asked for, so that scanning a long repeat is paid about once per stretch.
class RepeatCache {
 public:
  void Begin(const uint8_t* src, uint32_t n) {
    src_ = src;
    n_ = n;
    if (++generation_ == 0) {
      std::memset(entries_, 0, sizeof entries_);
      generation_ = 1;
    }
  }

  uint32_t End(uint32_t x, uint32_t delta) {
    assert(delta > 0 && x + delta <= n_);
    const uint32_t from = x + delta;
    const uint32_t stretch = from >> kStretchBits;
    Entry* home = Set(delta, stretch);
    if (const Entry* e = Covering(home, delta, from)) return e->to;
    // Most repeats end within a few dozen bytes, sooner than the earlier
    // stretches can be looked through.
    const uint32_t near = std::min(kNearScan, n_ - from);
    uint32_t to = from + CommonPrefix(src_ + from, src_ + x, near);
    if (to == from + near && to < n_) {
      // An interval asked for a little earlier may reach this far.
      for (uint32_t back = 1; back <= kLookBack && back <= stretch; ++back) {
        if (const Entry* e = Covering(Set(delta, stretch - back), delta, from)) {
          Store(home, delta, e->from, e->to);
          return e->to;
        }
      }
      to += CommonPrefix(src_ + to, src_ + to - delta, n_ - to);
    }
    Store(home, delta, from, to);
    return to;
  }

 private:
  static constexpr uint32_t kSetBits = 12;
  static constexpr uint32_t kStretchBits = 12;
  static constexpr uint32_t kLookBack = 8;
  static constexpr uint32_t kNearScan = 256;
  static constexpr int kWays = 4;
  struct Entry {
    uint32_t generation;
    uint32_t delta;
    uint32_t from;  // src[j] == src[j - delta] for from <= j < to
    uint32_t to;    // src[to] != src[to - delta], or to == n
  };

  Entry* Set(uint32_t delta, uint32_t stretch) {
    return entries_[((delta * 0x9E3779B1u) ^ (stretch * 0x85EBCA6Bu)) >> (32 - kSetBits)];
  }
  const Entry* Covering(const Entry* set, uint32_t delta, uint32_t from) const {
    for (int w = 0; w < kWays; ++w) {
      const Entry& e = set[w];
      if (e.generation == generation_ && e.delta == delta && e.from <= from && from <= e.to) return &e;
    }
    return nullptr;
  }
  void Store(Entry* set, uint32_t delta, uint32_t from, uint32_t to) {
    // Newest first; the oldest falls out.
    std::memmove(set + 1, set, sizeof(Entry) * (kWays - 1));
    set[0] = Entry{generation_, delta, from, to};
  }

  const uint8_t* src_ = nullptr;
  uint32_t n_ = 0;
  uint32_t generation_ = 0;
  Entry entries_[1u << kSetBits][kWays] = {};
};

// The shortest period, up to kShortestPeriods, of the kDirectCompare bytes at
// x, or 0.
constexpr uint32_t kShortestPeriods = 32;
uint32_t ShortPeriod(const uint8_t* src, uint32_t n, uint32_t x) {
  if (x + kDirectCompare > n) return 0;
  const uint8_t* p = src + x;
  const uint64_t head = Load64(p);
  for (uint32_t period = 1; period <= kShortestPeriods; ++period) {
    if (Load64(p + period) == head &&
        CommonPrefix(p + period, p, kDirectCompare - period) == kDirectCompare - period) {
      return period;
    }
  }
  return 0;
}

// Common prefix of positions i and p, at most cap. Long agreements are
// taken from where the data stops repeating: at the distance i - p, or,
// where both sides repeat a short period, where each side's repetition ends.
uint32_t LongCommonLength(RepeatCache& repeats, const uint8_t* src, uint32_t n, uint32_t i, uint32_t p,
                          uint32_t cap) {
  assert(p < i && cap <= n - i);
  uint32_t k = std::min(cap, kDirectCompare);
  const uint32_t c = CommonPrefix(src + i, src + p, k);
  if (c < k || k == cap) return c;
  for (;;) {
    // src[i + k - kDirectCompare, i + k) == src[p + k - kDirectCompare, p + k)
    const uint32_t period = ShortPeriod(src, n, i + k - kDirectCompare);
    if (period == 0) return std::min(repeats.End(p + k, i - p) - i, cap);
    const uint32_t at = k - kDirectCompare;
    const uint32_t own = repeats.End(i + at, period) - (i + at);
    const uint32_t theirs = repeats.End(p + at, period) - (p + at);
    if (own != theirs) return std::min(at + std::min(own, theirs), cap);
    k = at + own;
    if (k >= cap) return cap;
    const uint32_t step = std::min(cap - k, kDirectCompare);
    const uint32_t more = CommonPrefix(src + i + k, src + p + k, step);
    k += more;
    if (more < step || k == cap) return k;
  }
}

// Positions of one block sorted by a hash and, within a hash, by position:
// hash h owns order[start[h] .. start[h + 1]).
struct SortedRuns {
  uint32_t bits;
  uint16_t order[kBlock];  // offsets within the block
  uint16_t start[(1u << kMaxBits) + 1];

  uint32_t Bucket(uint32_t hash) const { return hash >> (32 - bits); }
};

struct BlockIndex {
  uint32_t block;
  bool longSorted;
  SortedRuns shortRuns;
  SortedRuns longRuns;             // only positions of hot short runs, once needed
  uint8_t hot[1u << kMaxBits];     // by short bucket
};

// What sorting a block's positions works in; nothing in it outlives one
// SortBlock or SortLong.
struct SortScratch {
  uint16_t bucketOf[kBlock];    // by entry
  uint16_t hotOffsets[kBlock];  // by entry, when not every position is sorted
  uint16_t laneCounts[(1u << kMaxBits) * kMaxLanes];  // by bucket, then lane
};

}  // namespace

struct LZ77MatchFinder::Tables {
  BlockIndex blocks[2];  // by block parity
  // First entry of each run of the previous block still inside the window.
  uint16_t shortCursor[(1u << kMaxBits) + 1];
  uint16_t longCursor[(1u << kMaxBits) + 1];
  SortScratch sort;
  RepeatCache repeats;
};

namespace {

LZ77MatchFinder::Tables g_processTables;

// Counting sort of count entries by bucket: entry e is the offset
// offsets[e] (e itself without offsets) in bucket bucketOf[e]; entries keep
// their order within a bucket, and the run of bucket h becomes
// order[start[h] .. start[h + 1]). With more than one lane, the entries are
// counted and placed in that many parts side by side, so that a bucket met
// over and over (periodic data has few) does not wait on itself as often;
// other data sorts faster in one. The arrays never overlap: saying so lets
// the compiler keep the lanes' loads ahead of their stores.
template <uint32_t kLanes>
void SortRunsInLanes(uint16_t* __restrict counts, uint16_t* __restrict order, uint16_t* __restrict start,
                     uint32_t buckets, const uint16_t* __restrict bucketOf, const uint16_t* __restrict offsets,
                     uint32_t count) {
  static_assert(kLanes <= kMaxLanes, "counts holds kMaxLanes per bucket");
  assert(count <= kBlock);
  std::memset(counts, 0, sizeof(uint16_t) * buckets * kLanes);
  const uint32_t part = (count + kLanes - 1) / kLanes;
  for (uint32_t k = 0; k < part; ++k) {
    for (uint32_t lane = 0; lane < kLanes; ++lane) {
      const uint32_t e = lane * part + k;
      if (e < count) ++counts[bucketOf[e] * kLanes + lane];
    }
  }
  // Counts become where each lane's entries of a bucket go.
  uint32_t total = 0;
  for (uint32_t h = 0; h < buckets; ++h) {
    start[h] = static_cast<uint16_t>(total);
    for (uint32_t lane = 0; lane < kLanes; ++lane) {
      const uint32_t c = counts[h * kLanes + lane];
      counts[h * kLanes + lane] = static_cast<uint16_t>(total);
      total += c;
    }
  }
  start[buckets] = static_cast<uint16_t>(total);
  for (uint32_t k = 0; k < part; ++k) {
    for (uint32_t lane = 0; lane < kLanes; ++lane) {
      const uint32_t e = lane * part + k;
      if (e < count) {
        order[counts[bucketOf[e] * kLanes + lane]++] = offsets ? offsets[e] : static_cast<uint16_t>(e);
      }
    }
  }
}

// Whether most entries fall in few buckets, as periodic data makes them:
// samples kRepeatStride apart mostly agree. The stride is a multiple of the
// periods up to 6 and of 8, 10, 12 and 16.
constexpr uint32_t kRepeatStride = 240;
bool FewBuckets(const uint16_t* bucketOf, uint32_t count) {
  uint32_t pairs = 0;
  uint32_t equal = 0;
  for (uint32_t e = kRepeatStride; e < count; e += kRepeatStride) {
    ++pairs;
    equal += bucketOf[e] == bucketOf[e - kRepeatStride];
  }
  return equal * 2 > pairs;
}

// Sorts count entries by scratch.bucketOf: the block's positions 0 .. count - 1,
// or with hotOnly the offsets listed in scratch.hotOffsets.
void SortRuns(SortScratch& scratch, SortedRuns& runs, bool hotOnly, uint32_t count) {
  const uint32_t buckets = 1u << runs.bits;
  const uint16_t* const offsets = hotOnly ? scratch.hotOffsets : nullptr;
  if (FewBuckets(scratch.bucketOf, count)) {
    SortRunsInLanes<kMaxLanes>(scratch.laneCounts, runs.order, runs.start, buckets, scratch.bucketOf, offsets,
                               count);
  } else {
    SortRunsInLanes<1>(scratch.laneCounts, runs.order, runs.start, buckets, scratch.bucketOf, offsets, count);
  }
}

// One pass over entries of 4-byte runs, for scores below kLongGram, or any
// score when `deep` is set; twelve bytes of i are held in registers. Entries
// come oldest first, as in the plain walk, and the first highest score wins.
class ShortScan {
 public:
  ShortScan(RepeatCache& repeats, const uint8_t* src, uint32_t n, uint32_t i, bool deep)
      : repeats_(repeats), src_(src), n_(n), i_(i), global_(n - i - 1), head_(Load64(src + i)),
        tail_(Load32(src + i + 8)), deep_(deep) {
    assert(i + kLongGram <= n);
  }

  LZ77MatchFinder::Match best{0, 0};
  bool going = true;

  // The entries [from, end) of a run of the block at blockBase, up to i.
  // One comparison per entry ends the pass: entries at or past i, and
  // entries too close to i to beat the best, are both past `stop`. Another
  // passes over every entry that does not agree with i on the bytes it
  // would need to beat the best, so only a new best is scored.
  void Run(const SortedRuns& runs, uint32_t blockBase, uint32_t from, uint32_t end) {
    if (!going) return;
    uint32_t bestLength = best.length;
    uint32_t bestAt = i_ - best.distance;
    // A score is below the distance.
    uint32_t stop = i_ - std::min(i_, bestLength + 1);
    uint64_t headNeed;
    uint32_t tailNeed;
    Needs(bestLength, &headNeed, &tailNeed);
    for (uint32_t c = from; c < end; ++c) {
      const uint32_t q = blockBase + runs.order[c];
      if (q >= stop) {
        going = false;
        break;
      }
      const uint64_t x = Load64(src_ + q) ^ head_;
      if ((x & headNeed) != 0) continue;
      if (((Load32(src_ + q + 8) ^ tail_) & tailNeed) != 0) continue;
      const uint32_t length = Score(q, x);
      if (length <= bestLength) continue;
      bestLength = length;
      bestAt = q;
      stop = i_ - 1 - length;
      if (length == global_) {
        going = false;
        break;
      }
      Needs(bestLength, &headNeed, &tailNeed);
    }
    best = LZ77MatchFinder::Match{bestLength, i_ - bestAt};
  }

 private:
  // Masks of the leading bytes that a candidate must share with i to score
  // above bestLength: at least the four that every candidate shares, at
  // most the twelve held here.
  static void Needs(uint32_t bestLength, uint64_t* head, uint32_t* tail) {
    const uint32_t bytes = std::min(std::max(bestLength + 1, kShortGram), kLongGram);
    *head = bytes >= 8 ? ~0ull : (1ull << (8 * bytes)) - 1;
    *tail = bytes <= 8 ? 0u : static_cast<uint32_t>((1ull << (8 * (bytes - 8))) - 1);
  }

  // The score of q, whose first four bytes equal i's; x: the first eight
  // bytes of q and i exclusive-ored.
  uint32_t Score(uint32_t q, uint64_t x) const {
    const uint32_t cap = std::min(i_ - q - 1, global_);
    uint32_t length;
    if ((x >> 32) != 0) {
      length = FirstDifferingByte(x);
    } else {
      const uint32_t y = Load32(src_ + q + 8) ^ tail_;
      length = y != 0 ? 8 + FirstDifferingByte(y) : kLongGram;
    }
    if (length == kLongGram && deep_ && cap > kLongGram) {
      return LongCommonLength(repeats_, src_, n_, i_, q, cap);
    }
    return std::min(length, cap);
  }

  RepeatCache& repeats_;
  const uint8_t* src_;
  uint32_t n_;
  uint32_t i_;
  uint32_t global_;
  uint64_t head_;
  uint32_t tail_;
  bool deep_;
};

}  // namespace

// One search: the candidates seen so far and the best of them.
class LZ77MatchFinder::CandidateSearch {
  // What a candidate must share with i to score above `length`: the eight
  // bytes that end at byte `length`, or, while that is short, the first
  // max(length + 1, 4) bytes. Needs eight bytes at i.
  class Need {
   public:
    Need(const uint8_t* cur, uint32_t length)
        : at_(length >= 8 ? length - 7 : 0),
          bytes_(Load64(cur + at_)),
          mask_(length >= 7 ? ~0ull : (1ull << (8 * std::max(length + 1, kShortGram))) - 1) {}
    bool Rejects(const uint8_t* cand) const { return ((Load64(cand + at_) ^ bytes_) & mask_) != 0; }

   private:
    uint32_t at_;
    uint64_t bytes_;
    uint64_t mask_;
  };
  // Sweep looks for a periodic stretch after this many entries.
  static constexpr uint32_t kPeriodCheck = 16;

 public:
  CandidateSearch(RepeatCache& repeats, const uint8_t* src, uint32_t n, uint32_t i)
      : repeats_(repeats), src_(src), n_(n), i_(i), cur_(src + i), global_(n - i - 1),
        word_(Load32(src + i)) {}

  LZ77MatchFinder::Match best{0, 0};
  bool going = true;
  bool exhausted = false;  // the visit budget ran out before the search ended
  uint32_t budget = 0xFFFFFFFFu;

  // The entries [from, end) of a run of the block at blockBase, whose entries
  // share `gram` bytes, where i has kLongGram bytes. A tight pass: one masked
  // comparison per entry, of the bytes that a candidate needs to beat the
  // best, and a full comparison only for those that pass; every
  // kPeriodCheck entries, a periodic stretch is stepped over.
  void Sweep(const SortedRuns& runs, uint32_t blockBase, uint32_t from, uint32_t end,
             uint32_t gram) {
    assert(i_ + kLongGram <= n_);
    if (!going) return;
    uint32_t stop = i_ - std::min(i_, best.length + 1);  // a score is below the distance
    Need need(cur_, best.length);
    for (uint32_t c = from; c < end;) {
      const uint32_t limit = std::min(end, c + kPeriodCheck);
      for (;;) {
        c = FirstToCompare(runs, blockBase, c, limit, stop, need);
        if (c == limit) break;
        const uint32_t q = blockBase + runs.order[c];
        if (q >= stop) {
          going = false;
          return;
        }
        const uint32_t length = CommonLength(q, std::min(i_ - q - 1, global_));
        ++c;
        if (length <= best.length) continue;
        best = LZ77MatchFinder::Match{length, i_ - q};
        if (length == global_) {
          going = false;
          return;
        }
        stop = i_ - 1 - length;
        need = Need(cur_, length);
      }
      if (c >= end) return;
      // kPeriodCheck entries have gone by: if the last ones are equally
      // spaced, they may start a periodic stretch.
      const uint32_t last = c - 1;
      const uint32_t q = blockBase + runs.order[last];
      const uint32_t s = blockBase + runs.order[c];
      if (s - q != q - (blockBase + runs.order[last - 1]) || best.distance == i_ - q) continue;
      // Rejected by `need`, or compared and not better: it shares at most
      // best.length bytes with i, and under 4 while the best is that short.
      const uint32_t known = best.length >= kShortGram ? best.length : kNone;
      c = SkipPeriodic(runs, blockBase, last, end, q, s, gram, known);
      if (c == kStop) {
        going = false;
        return;
      }
    }
  }

  // Visits the entries [from, end) of a 4-byte run of the block at blockBase,
  // below i, one at a time, so that a visit budget holds and periodic
  // stretches are met at once. Needs only the bytes before n.
  void Run(const SortedRuns& runs, uint32_t blockBase, uint32_t from, uint32_t end) {
    uint32_t lastGap = 0;
    for (uint32_t c = from; going && c < end;) {
      const uint32_t q = blockBase + runs.order[c];
      if (q >= i_) break;
      // Candidates lie anywhere in the window; ask for the next ones early.
      if (c + kPrefetchAhead < end) __builtin_prefetch(src_ + blockBase + runs.order[c + kPrefetchAhead]);
      uint32_t known;
      if (Visit(q, &known)) {
        lastGap = 0;
        ++c;
        continue;
      }
      if (!going || c + 1 >= end) break;
      const uint32_t s = blockBase + runs.order[c + 1];
      const uint32_t gap = s - q;
      uint32_t next = c + 1;
      if (gap == lastGap && s < i_) next = SkipPeriodic(runs, blockBase, c, end, q, s, kShortGram, known);
      lastGap = gap;
      if (next == kStop) going = false;
      c = next;
    }
  }

 private:
  // Scores q; true when it becomes the best. Leaves in *known what is known
  // of the common prefix of i and q: kNone for "below 4", an exact length
  // with kExact set, or else that it is at most best.length.
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr uint32_t kExact = 0x80000000u;

  bool Visit(uint32_t q, uint32_t* known) {
    const uint32_t d = i_ - q;
    *known = kNone;
    if (budget-- == 0) {
      exhausted = true;
      going = false;
      return false;
    }
    if (d - 1 <= best.length) {
      going = false;
      return false;
    }
    // To win, q must agree with i up to the byte at best.length. Past a few
    // bytes, the eight that end there are compared at once: that rejects
    // nearly every loser, so the first four (a hash collision in the run)
    // are left to the full comparison.
    const uint8_t* cand = src_ + q;
    if (best.length < 8 && Load32(cand) != word_) return false;
    *known = best.length;
    const bool mayWin = best.length < 8
                            ? cand[best.length] == cur_[best.length]
                            : Load64(cand + best.length - 7) == Load64(cur_ + best.length - 7);
    if (!mayWin) return false;
    const uint32_t length = CommonLength(q, std::min(d - 1, global_));
    if (length <= best.length) {
      *known = length | kExact;
      return false;
    }
    best = LZ77MatchFinder::Match{length, d};
    if (length == global_) going = false;
    return true;
  }

  // Common prefix of i and p, at most cap.
  uint32_t CommonLength(uint32_t p, uint32_t cap) const {
    return LongCommonLength(repeats_, src_, n_, i_, p, cap);
  }

  // The first entry in [c, limit) that is past stop or that `need` does not
  // reject; limit if none.
  uint32_t FirstToCompare(const SortedRuns& runs, uint32_t blockBase, uint32_t c, uint32_t limit,
                          uint32_t stop, const Need& need) const {
    for (; c < limit; ++c) {
      const uint32_t q = blockBase + runs.order[c];
      if (q >= stop || !need.Rejects(src_ + q)) return c;
    }
    return limit;
  }

  // q (entry c) did not win and s is the next entry. If the data from q on
  // repeats with period s - q, the entries up to the end of that repetition
  // are exactly q shifted by whole periods (any other position there has the
  // bytes, hence the hash, of a position between q and s, which is not in
  // the run). Each shares with i no more than q does, except possibly the
  // one whose repetition ends exactly where q's agreement with i ends.
  // Returns the index of the next entry worth visiting, or kStop.
  uint32_t SkipPeriodic(const SortedRuns& runs, uint32_t blockBase, uint32_t c, uint32_t end,
                        uint32_t q, uint32_t s, uint32_t gram, uint32_t known) {
    const uint32_t stop = i_ - best.length - 1;  // entries from here on cannot win
    const uint32_t period = s - q;
    if (s >= stop || s + period + gram > n_ ||
        Load32(src_ + q + period) != Load32(src_ + s + period)) {
      return c + 1;
    }
    const uint32_t runEnd = repeats_.End(q, period);
    if (runEnd < s + period + gram) return c + 1;
    const uint32_t last = std::min({runEnd - gram, blockBase + kBlock - 1, n_ - 5});
    const uint32_t lastAligned = q + (last - q) / period * period;
    if (lastAligned <= s) return c + 1;

    const uint32_t common = CommonWithin(q, period, runEnd, known);
    const uint32_t exception = runEnd - common;
    uint32_t target;
    if (exception > q && exception <= lastAligned && (exception - q) % period == 0 &&
        exception < stop) {
      target = exception;
    } else if (lastAligned >= stop) {
      return kStop;
    } else {
      target = lastAligned;
    }
    const uint32_t index = c + (target - q) / period;
    // The entries must be as described; anything else means the stretch is
    // not what it seemed, and the plain walk goes on.
    if (index >= end || blockBase + runs.order[index] != target) return c + 1;
    return target == exception ? index : index + 1;
  }

  // The exact common prefix of i and q, known to be at most best.length,
  // where the data from q repeats with `period` up to runEnd.
  uint32_t CommonWithin(uint32_t q, uint32_t period, uint32_t runEnd, uint32_t known) const {
    const uint8_t* cand = src_ + q;
    if (known == kNone) return CommonPrefix(cur_, cand, 4);
    if (known & kExact) return known & ~kExact;
    // They share at most best.length bytes. Compare one period; past it, each
    // side goes on repeating until its own repetition ends.
    const uint32_t head = std::min(period, best.length);
    uint32_t common = CommonPrefix(cur_, cand, head);
    if (common == period && period < best.length) {
      const uint32_t own = repeats_.End(i_, period) - i_;
      const uint32_t theirs = runEnd - q;
      common = std::min(own, theirs);
      if (own == theirs) {
        // Both repetitions end at the same place and the agreement goes on.
        common += LongCommonLength(repeats_, src_, n_, i_ + common, q + common, best.length - common);
      }
    }
    return common;
  }

  RepeatCache& repeats_;
  const uint8_t* src_;
  uint32_t n_;
  uint32_t i_;
  const uint8_t* cur_;
  uint32_t global_;
  uint32_t word_;
};

LZ77MatchFinder::Tables& LZ77MatchFinder::ProcessTables() { return g_processTables; }

LZ77MatchFinder::LZ77MatchFinder(Tables& tables, const uint8_t* src, uint32_t n, int32_t searchLimit)
    : tables_(tables),
      src_(src),
      n_(n),
      searchLimit_(searchLimit > 0 ? static_cast<uint32_t>(searchLimit) : 0),
      limited_(searchLimit_ < kBlock),
      block_(kNoBlock) {
  assert(n >= 5);
  tables_.blocks[0].block = kNoBlock;
  tables_.blocks[1].block = kNoBlock;
  tables_.repeats.Begin(src, n);
}

void LZ77MatchFinder::SortBlock(uint32_t block) {
  Tables& t = tables_;
  BlockIndex& index = t.blocks[block & 1];
  index.block = block;
  index.longSorted = false;
  const uint32_t base = block * kBlock;
  const uint32_t count = std::min(kBlock, n_ - 4 - base);  // later positions are never candidates
  // About two positions per hash: fewer hashes cost less to sort than the
  // extra entries cost to pass over.
  uint32_t bits = kMinBits;
  while (bits < kMaxBits && (2u << bits) < count) ++bits;

  const uint8_t* p = src_ + base;
  SortedRuns& runs = index.shortRuns;
  runs.bits = bits;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t word = limited_ ? NibbleKey(p + k) : Load32(p + k);
    t.sort.bucketOf[k] = static_cast<uint16_t>(runs.Bucket(ShortHash(word)));
  }
  SortRuns(t.sort, runs, false, count);
  if (limited_) return;
  for (uint32_t h = 0; h < (1u << bits); ++h) {
    index.hot[h] = static_cast<uint32_t>(runs.start[h + 1] - runs.start[h]) >= kHotRun;
  }
}

// The 12-byte index of a block, made the first time a search needs it.
void LZ77MatchFinder::SortLong(uint32_t block) {
  Tables& t = tables_;
  BlockIndex& index = t.blocks[block & 1];
  if (index.longSorted) return;
  index.longSorted = true;
  const uint32_t base = block * kBlock;
  const uint32_t count = std::min(kBlock, n_ - 4 - base);
  const uint32_t longCount = n_ - base >= kLongGram ? std::min(count, n_ - kLongGram + 1 - base) : 0;
  const uint8_t* p = src_ + base;
  SortedRuns& runs = index.longRuns;
  runs.bits = std::max(kMinBits, index.shortRuns.bits - 2);
  // Only the positions of hot runs are sorted. Every offset is written and
  // only the hot ones are kept (their short bucket is hashed again rather
  // than stored for every block), cheaper than a branch that mispredicts;
  // then only those are hashed on 12 bytes.
  uint32_t kept = 0;
  for (uint32_t k = 0; k < longCount; ++k) {
    t.sort.hotOffsets[kept] = static_cast<uint16_t>(k);
    kept += index.hot[index.shortRuns.Bucket(ShortHash(Load32(p + k)))];
  }
  for (uint32_t e = 0; e < kept; ++e) {
    t.sort.bucketOf[e] = static_cast<uint16_t>(runs.Bucket(LongHash(p + t.sort.hotOffsets[e])));
  }
  SortRuns(t.sort, runs, true, kept);
  if (block + 1 == block_) {
    std::memcpy(t.longCursor, index.longRuns.start,
                sizeof(uint16_t) * ((1u << index.longRuns.bits) + 1));
  }
}

void LZ77MatchFinder::EnterBlock(uint32_t block) {
  Tables& t = tables_;
  // The window reaches back into the previous block.
  if (block > 0 && t.blocks[(block - 1) & 1].block != block - 1) SortBlock(block - 1);
  SortBlock(block);
  block_ = block;
  if (block > 0) {
    const BlockIndex& prev = t.blocks[(block - 1) & 1];
    std::memcpy(t.shortCursor, prev.shortRuns.start,
                sizeof(uint16_t) * ((1u << prev.shortRuns.bits) + 1));
    if (prev.longSorted) {
      std::memcpy(t.longCursor, prev.longRuns.start,
                  sizeof(uint16_t) * ((1u << prev.longRuns.bits) + 1));
    }
  }
  quickTries_ = 0;
  quickFailures_ = 0;
}

LZ77MatchFinder::Match LZ77MatchFinder::Find(uint32_t i) {
  assert(i < n_ - 4);
  if (searchLimit_ == 0) return Match{0, 0};
  const uint32_t block = i / kBlock;
  assert(block_ == kNoBlock || block >= block_);
  if (block != block_) EnterBlock(block);
  return limited_ ? FindLimited(i) : FindAll(i);
}

namespace {

// The entries of run `bucket` of the previous block at or after offset o.
uint32_t LiveFrom(const SortedRuns& runs, uint16_t* cursor, uint32_t bucket, uint32_t o) {
  uint32_t c = cursor[bucket];
  // The cursor moves forward only: searches come in increasing order.
  assert(c == runs.start[bucket] || runs.order[c - 1] < o);
  const uint32_t end = runs.start[bucket + 1];
  while (c < end && runs.order[c] < o) ++c;
  cursor[bucket] = static_cast<uint16_t>(c);
  return c;
}

}  // namespace

LZ77MatchFinder::Match LZ77MatchFinder::FindAll(uint32_t i) {
  Tables& t = tables_;
  const uint32_t base = block_ * kBlock;
  const uint32_t o = i - base;
  const BlockIndex& now = t.blocks[block_ & 1];
  const BlockIndex* prev = block_ > 0 ? &t.blocks[(block_ - 1) & 1] : nullptr;
  const uint32_t shortHash = ShortHash(Load32(src_ + i));
  const uint32_t nowShort = now.shortRuns.Bucket(shortHash);
  const uint32_t prevShort = prev ? prev->shortRuns.Bucket(shortHash) : 0;
  // i's 4-byte runs, oldest first: the previous block's from the first entry
  // inside the window, then this block's; visit(runs, blockBase, from, end).
  auto eachShortRun = [&](auto&& visit) {
    if (prev) {
      visit(prev->shortRuns, base - kBlock, LiveFrom(prev->shortRuns, t.shortCursor, prevShort, o),
            prev->shortRuns.start[prevShort + 1]);
    }
    visit(now.shortRuns, base, now.shortRuns.start[nowShort], now.shortRuns.start[nowShort + 1]);
  };
  auto searchShort = [&](CandidateSearch& search) {
    eachShortRun([&](const SortedRuns& runs, uint32_t blockBase, uint32_t from, uint32_t end) {
      search.Run(runs, blockBase, from, end);
    });
  };
  // The tight pass; needs twelve bytes at i.
  auto scanShort = [&](bool deep) {
    ShortScan scan(t.repeats, src_, n_, i, deep);
    eachShortRun([&](const SortedRuns& runs, uint32_t blockBase, uint32_t from, uint32_t end) {
      scan.Run(runs, blockBase, from, end);
    });
    return scan.best;
  };

  const bool nowHot = now.hot[nowShort] != 0;
  const bool prevHot = prev && prev->hot[prevShort] != 0;
  if (i + kLongGram <= n_ && (nowHot || prevHot)) {
    // A long run: periodic data is usually settled in a few visits; other
    // data is sent to the 12-byte index once this block shows it is that
    // kind.
    if (quickTries_ < kQuickTrial || quickFailures_ * 2 < quickTries_) {
      CandidateSearch quick(t.repeats, src_, n_, i);
      quick.budget = kQuickVisits;
      searchShort(quick);
      ++quickTries_;
      if (!quick.exhausted) return quick.best;
      ++quickFailures_;
    }
    // Every candidate that can score kLongGram shares its first kLongGram
    // bytes with i: they are all in the 12-byte runs, or in the short runs
    // of a block whose run is not long.
    CandidateSearch search(t.repeats, src_, n_, i);
    const uint32_t longHash = LongHash(src_ + i);
    if (prev) {
      if (prevHot) {
        SortLong(block_ - 1);
        const uint32_t b = prev->longRuns.Bucket(longHash);
        search.Sweep(prev->longRuns, base - kBlock, LiveFrom(prev->longRuns, t.longCursor, b, o),
                     prev->longRuns.start[b + 1], kLongGram);
      } else {
        search.Sweep(prev->shortRuns, base - kBlock,
                     LiveFrom(prev->shortRuns, t.shortCursor, prevShort, o),
                     prev->shortRuns.start[prevShort + 1], kShortGram);
      }
    }
    if (nowHot) {
      SortLong(block_);
      const uint32_t b = now.longRuns.Bucket(longHash);
      search.Sweep(now.longRuns, base, now.longRuns.start[b], now.longRuns.start[b + 1], kLongGram);
    } else {
      search.Sweep(now.shortRuns, base, now.shortRuns.start[nowShort],
                   now.shortRuns.start[nowShort + 1], kShortGram);
    }
    if (search.best.length >= kLongGram) return search.best;
    return scanShort(false);  // no candidate scores kLongGram
  }
  if (i + kLongGram <= n_) return scanShort(true);  // short runs: any score

  CandidateSearch search(t.repeats, src_, n_, i);
  searchShort(search);
  return search.best;
}

// The literal chain itself: the entries of i's key, the first searchLimit_
// of them.
LZ77MatchFinder::Match LZ77MatchFinder::FindLimited(uint32_t i) {
  Tables& t = tables_;
  const uint32_t base = block_ * kBlock;
  const uint32_t o = i - base;
  const uint8_t* cur = src_ + i;
  const uint32_t global = n_ - i - 1;
  const uint32_t word = Load32(cur);
  const uint32_t key = NibbleKey(cur);
  const uint32_t shortHash = ShortHash(key);
  Match best{0, 0};
  uint32_t visited = 0;
  // False once no later candidate can count.
  auto visit = [&](uint32_t q) {
    const uint8_t* cand = src_ + q;
    if (NibbleKey(cand) != key) return true;  // another key with the same hash
    if (visited++ >= searchLimit_) return false;
    const uint32_t d = i - q;
    if (d - 1 <= best.length) return false;
    if (Load32(cand) != word || cand[best.length] != cur[best.length]) return true;
    const uint32_t direct = std::min({d - 1, global, kDirectCompare});
    uint32_t length = CommonPrefix(cur, cand, direct);
    if (length == kDirectCompare) {
      length = std::min({t.repeats.End(q, d) - i, d - 1, global});
    }
    if (length > best.length) {
      best = Match{length, d};
      if (length == global) return false;
    }
    return true;
  };
  bool going = true;
  if (block_ > 0) {
    const SortedRuns& prev = t.blocks[(block_ - 1) & 1].shortRuns;
    const uint32_t b = prev.Bucket(shortHash);
    const uint32_t end = prev.start[b + 1];
    for (uint32_t c = LiveFrom(prev, t.shortCursor, b, o); going && c < end; ++c) {
      going = visit(base - kBlock + prev.order[c]);
    }
  }
  const SortedRuns& now = t.blocks[block_ & 1].shortRuns;
  const uint32_t b = now.Bucket(shortHash);
  const uint32_t end = now.start[b + 1];
  for (uint32_t c = now.start[b]; going && c < end && now.order[c] < o; ++c) {
    going = visit(base + now.order[c]);
  }
  return best;
}
