// Stable ordering of timed items by frame, for the audio thread: hosts usually send items in
// order, so this is usually one pass; otherwise a bottom-up merge through a scratch array of the
// same capacity, n log n however the items came. No allocation.
#pragma once

#include <cstdint>

template <class Item>
void orderByFrame(Item* items, Item* scratch, int32_t count) {
  bool ordered = true;
  for (int32_t i = 1; i < count && ordered; ++i) ordered = items[i - 1].frame <= items[i].frame;
  if (ordered) return;
  Item* from = items;
  Item* to = scratch;
  for (int32_t width = 1; width < count; width *= 2) {
    for (int32_t lo = 0; lo < count; lo += 2 * width) {
      const int32_t mid = lo + width < count ? lo + width : count;
      const int32_t hi = lo + 2 * width < count ? lo + 2 * width : count;
      int32_t a = lo, b = mid, out = lo;
      while (a < mid && b < hi) to[out++] = from[b].frame < from[a].frame ? from[b++] : from[a++];
      while (a < mid) to[out++] = from[a++];
      while (b < hi) to[out++] = from[b++];
    }
    Item* swap = from;
    from = to;
    to = swap;
  }
  if (from != items)
    for (int32_t i = 0; i < count; ++i) items[i] = from[i];
}
