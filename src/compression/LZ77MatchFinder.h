#pragma once

#include <cstdint>

// LZ77MatchFinder: the back-reference that the LZ77 stream takes at each
// searched position of one input.
//
// The choice is defined by a plain walk: the candidates at position i are the
// positions p in [i - 32768, i) whose key (the low nibbles of their four
// bytes) equals the key at i, oldest first, at most searchLimit of them. A
// candidate scores min(common prefix of i and p, i - p - 1, n - i - 1); the
// first candidate with the highest score wins. The finder returns exactly
// that choice while looking at far fewer candidates: see the .cpp.
//
// Owner: LZ77Coder::Encode, for one input, on the worker thread. It works
// in the tables it is given and leaves nothing in them that a later finder
// depends on.
class LZ77MatchFinder {
 public:
  struct Match {
    uint32_t length;  // the score; not capped at the longest match token
    uint32_t distance;
  };

  // The finder's working storage: the sorted positions of two blocks, the
  // cursors into the older one, sorting scratch and a cache of repeats,
  // about 1.2 MB. One finder at a time may use a set.
  struct Tables;
  // The process's one set, in static storage: the finders of the compressor
  // take turns on the worker thread.
  static Tables& ProcessTables();

  // src must stay valid and unchanged while the finder lives; n >= 5.
  LZ77MatchFinder(Tables& tables, const uint8_t* src, uint32_t n, int32_t searchLimit);

  // The best match at i (< n - 4). Positions are searched in increasing
  // order. A length below 4 means: no match.
  Match Find(uint32_t i);

 private:
  class CandidateSearch;
  void EnterBlock(uint32_t block);
  void SortBlock(uint32_t block);
  void SortLong(uint32_t block);
  Match FindAll(uint32_t i);
  Match FindLimited(uint32_t i);

  Tables& tables_;
  const uint8_t* src_;
  uint32_t n_;
  uint32_t searchLimit_;  // 0: no candidates
  bool limited_;          // the limit may cut a chain short
  uint32_t block_;        // the block of the positions being searched
  uint32_t quickTries_ = 0;
  uint32_t quickFailures_ = 0;
};
