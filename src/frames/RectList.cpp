#include "frames/RectList.h"

#include <algorithm>
#include <vector>

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

Rect BoundingRect(const Rect& a, const Rect& b) {
  return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

int64_t AreaPercent(const Rect& part, const Rect& whole) {
  // In 64 bits: a desktop of three 4K screens is 24.9 million pixels, whose
  // product with 100 leaves 32 bits.
  const int64_t area = int64_t{part.Width()} * part.Height();
  return area * 100 / (int64_t{whole.Width()} * whole.Height());
}

namespace {
// Splits the union of an existing rectangle e and a new one n into up to
// three column pieces: left of the overlap, the overlap's columns, right of it.
// Pieces are written in the order they are to be added.
size_t SplitUnion(const Rect& e, const Rect& n, Rect pieces[3]) {
  Rect u = BoundingRect(e, n);
  if (u == e || u == n) {
    pieces[0] = u;
    return 1;
  }
  const Rect& leftSource = n.left <= e.left ? n : e;
  const Rect& rightSource = e.right >= n.right ? e : n;
  int32_t innerLeft = std::max(e.left, n.left);
  int32_t innerRight = std::min(e.right, n.right);
  Rect candidates[3] = {
      {leftSource.left, leftSource.top, innerLeft, leftSource.bottom},
      {innerLeft, std::min(e.top, n.top), innerRight, std::max(e.bottom, n.bottom)},
      {innerRight, rightSource.top, rightSource.right, rightSource.bottom},
  };
  size_t count = 0;
  for (const Rect& piece : candidates)
    if (!piece.IsEmpty()) pieces[count++] = piece;
  return count;
}
}  // namespace

bool RectList::Add(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Rect n{left, top, right, bottom};
  if (n.Width() < 1 || n.Height() < 1) return false;

  // Each merge adds its pieces in turn, and a piece may merge again. A stack
  // of rectangles still to add, the next one on top, does this in the same
  // order as adding each piece recursively, without deep recursion.
  std::vector<Rect> toAdd{n};
  while (!toAdd.empty()) {
    Rect next = toAdd.back();
    toAdd.pop_back();
    auto met = std::find_if(rects_.begin(), rects_.end(),
                            [&](const Rect& e) { return !Intersect(e, next).IsEmpty(); });
    if (met == rects_.end()) {
      rects_.push_back(next);
      continue;
    }
    Rect e = *met;
    rects_.erase(met);
    Rect pieces[3];
    size_t count = SplitUnion(e, next, pieces);
    for (size_t i = count; i-- > 0;) toAdd.push_back(pieces[i]);
  }
  return true;
}

bool RectList::TakeHead(Rect* out) {
  if (rects_.empty()) return false;
  *out = rects_.front();
  rects_.pop_front();
  return true;
}
