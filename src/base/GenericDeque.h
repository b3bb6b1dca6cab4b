#pragma once

#include "base/DequeEntry.h"

// An owning, growable array of DequeEntry pointers: the base of every deque.
//
// The deque owns its entries and deletes them when they are erased, when the
// deque is cleared or shrunk, and when it is destroyed. Invalid indexes are no
// errors: they give null or no action. Deques never throw (beyond a failing
// new) and are never copied.
//
// Invariant: the slots from `count` up to `capacity` - 1 hold null.
class GenericDeque {
  public:
    GenericDeque();
    virtual ~GenericDeque();
    GenericDeque(const GenericDeque&) = delete;
    GenericDeque& operator=(const GenericDeque&) = delete;

    // True when 0 <= index < count.
    bool validIndex(long index) const;
    // The entry at index, or null when the index is not valid.
    DequeEntry* at(long index);
    const DequeEntry* at(long index) const;
    // Inserts entry before the entry at index; a negative index appends. A
    // non-negative index that is not valid (count included) inserts nothing:
    // then the entry, which belongs to the deque in any case, is deleted at
    // once. When the slots are full, the deque grows by growBy slots.
    void insert(long index, DequeEntry* entry);
    // Deletes the entry at index and closes the gap; an invalid index does nothing.
    void erase(long index);
    // Deletes all entries; the slot array stays allocated.
    void clear();
    // Growing: capacity becomes n rounded up to a multiple of growBy.
    // Shrinking: the entries in the slots from n on are deleted and count is
    // cut to n; the slot array keeps its size.
    void resize(long n);
    // Deletes the first n entries of array and nulls their slots.
    void cleanup(DequeEntry** array, long n);

    DequeEntry** items;  // null until the first insertion
    int count;           // number of entries
    int growBy;          // growth step, 30
    int capacity;        // number of slots in items
};
