// The quicksort of the string lists: the middle entry as pivot, whose index
// follows it when it is exchanged; recursion on the left part, a loop on the
// right one. Entries are compared and moved only through the callbacks, so
// each list decides what a comparison and a move are.
#pragma once

namespace kv {

// Sorts the indexes l .. r: compare(a, b) < 0 when entry a sorts before
// entry b; exchange(a, b) swaps two entries (also when a == b).
template <class Compare, class Exchange>
void QuickSortIndexes(int l, int r, Compare& compare, Exchange& exchange) {
  int i;
  do {
    i = l;
    int j = r;
    int p = static_cast<int>(static_cast<unsigned>(l + r) >> 1);
    do {
      while (compare(i, p) < 0) ++i;
      while (compare(j, p) > 0) --j;
      if (i <= j) {
        exchange(i, j);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) QuickSortIndexes(l, j, compare, exchange);
    l = i;
  } while (i < r);
}

}  // namespace kv
