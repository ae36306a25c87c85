#include "compression/reference/LiteralLZ77.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kNodeCount = 32768;
constexpr uint32_t kBucketCount = 65536;
constexpr uint32_t kMinInput = 512;
constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxMatch = 127;
constexpr uint32_t kMaxLiteralBlock = 127;

struct HashNode {
  uint16_t key;
  uint32_t position;
  HashNode* next;  // the next newer node with the same key
};

struct HashBucket {
  HashNode* head;  // oldest
  HashNode* tail;  // newest
};

uint16_t HashOf(const uint8_t* b) {
  return static_cast<uint16_t>(((b[0] & 0x0F) << 12) | ((b[1] & 0x0F) << 8) |
                               ((b[2] & 0x0F) << 4) | (b[3] & 0x0F));
}

// All `limit` bytes agreeing counts as limit - 1: the quirk that keeps every
// match one byte short of its distance and of the end of the input.
uint32_t CountEqualBytes(uint32_t limit, const uint8_t* a, const uint8_t* b) {
  uint32_t count = 0;
  while (count + 8 <= limit && std::memcmp(a + count, b + count, 8) == 0) count += 8;
  while (count < limit && a[count] == b[count]) ++count;
  return count == limit ? limit - 1 : count;
}

// The tables of the algorithm, cleared before every encoding. Only the slots
// filled last time and the buckets they name can be set, so clearing those
// leaves the tables as zeroed as clearing them whole, for a fraction of the
// time on short inputs.
struct LiteralTables {
  std::vector<HashNode> nodes = std::vector<HashNode>(kNodeCount);
  std::vector<HashBucket> buckets = std::vector<HashBucket>(kBucketCount);
  uint32_t slotsFilled = 0;

  void Clear() {
    for (uint32_t slot = 0; slot < slotsFilled; ++slot) {
      buckets[nodes[slot].key] = HashBucket{};
      nodes[slot] = HashNode{};
    }
    slotsFilled = 0;
  }
};

class LiteralCoder {
 public:
  explicit LiteralCoder(LiteralTables& tables)
      : tables_(tables), nodes_(tables.nodes), buckets_(tables.buckets) {
    tables_.Clear();
  }

  uint32_t Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity,
                  int32_t searchLimit, LiteralSearch search);

 private:
  void Insert(const uint8_t* src, uint32_t position);
  bool Put(uint8_t byte);

  LiteralTables& tables_;
  std::vector<HashNode>& nodes_;      // all zero: no chains
  std::vector<HashBucket>& buckets_;  // all zero: no chains
  uint32_t nextSlot_ = 0;
  uint8_t* dst_ = nullptr;
  uint32_t out_ = 0;
  uint32_t capacity_ = 0;
};

void LiteralCoder::Insert(const uint8_t* src, uint32_t position) {
  if (nextSlot_ == kNodeCount) nextSlot_ = 0;
  HashNode* node = &nodes_[nextSlot_];
  HashBucket* old = &buckets_[node->key];
  if (old->head == node) {
    old->head = node->next;
    if (old->head == nullptr) old->tail = nullptr;
  }
  node->key = HashOf(src + position);
  node->position = position;
  node->next = nullptr;
  tables_.slotsFilled = std::max(tables_.slotsFilled, nextSlot_ + 1);
  HashBucket* bucket = &buckets_[node->key];
  if (bucket->head == nullptr) {
    bucket->head = node;
    bucket->tail = node;
  } else {
    bucket->tail->next = node;
    bucket->tail = node;
  }
  ++nextSlot_;
}

bool LiteralCoder::Put(uint8_t byte) {
  if (out_ >= capacity_) return false;
  dst_[out_++] = byte;
  return true;
}

uint32_t LiteralCoder::Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity,
                              int32_t searchLimit, LiteralSearch search) {
  const bool pruned = search == LiteralSearch::kPruned;
  if (n < kMinInput) return 0;
  dst_ = dst;
  capacity_ = capacity;
  out_ = 0;
  uint32_t blockCount = 0;
  uint32_t blockCountAt = 0;

  uint32_t i = 0;
  while (i < n) {
    uint32_t bestLength = 0;
    uint32_t bestDistance = 0;
    if (i < n - 4) {
      int32_t visited = 0;
      for (HashNode* node = buckets_[HashOf(src + i)].head; node != nullptr && visited < searchLimit;
           node = node->next, ++visited) {
        const uint32_t p = node->position;
        if (pruned && i - p - 1 <= bestLength) break;
        if (pruned && src[p + bestLength] != src[i + bestLength]) continue;
        const uint32_t limit = std::min(i - p, n - i);
        const uint32_t length = CountEqualBytes(limit, src + i, src + p);
        if (length > bestLength) {
          bestLength = length;
          bestDistance = i - p;
        }
      }
    }

    if (bestLength >= kMinMatch) {
      if (blockCount > 0) {
        dst_[blockCountAt] = static_cast<uint8_t>(blockCount);
        blockCount = 0;
      }
      const uint32_t length = std::min(bestLength, kMaxMatch);
      for (uint32_t k = i; k < i + length; ++k) {
        if (k < n - 4) Insert(src, k);
      }
      if (!Put(static_cast<uint8_t>(0x80 | length)) || !Put(static_cast<uint8_t>(bestDistance)) ||
          !Put(static_cast<uint8_t>(bestDistance >> 8))) {
        return 0;
      }
      i += length;
    } else {
      if (blockCount == 0) {
        blockCountAt = out_;
        if (!Put(0)) return 0;
      }
      ++blockCount;
      if (i < n - 4) Insert(src, i);
      if (!Put(src[i])) return 0;
      if (blockCount == kMaxLiteralBlock || i == n - 1) {
        dst_[blockCountAt] = static_cast<uint8_t>(blockCount);
        blockCount = 0;
      }
      ++i;
    }
  }
  if (!Put(0)) return 0;
  return out_;
}

}  // namespace

uint32_t LiteralLZ77Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity,
                           int32_t searchLimit, LiteralSearch search) {
  // The tables outlive the call only to spare the allocation; every call
  // clears them first.
  thread_local LiteralTables tables;
  LiteralCoder coder(tables);
  return coder.Encode(src, n, dst, capacity, searchLimit, search);
}
