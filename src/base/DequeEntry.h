#pragma once

// Base class of every element of a GenericDeque: the deque deletes its entries
// through this virtual destructor.
class DequeEntry {
  public:
    virtual ~DequeEntry();
};
