#pragma once

// Thrown by value by SString when a position lies beyond the end of a string.
class RangeException {
  public:
    virtual ~RangeException();
};
