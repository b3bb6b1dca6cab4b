#pragma once

// Thrown by value by SString when a result would exceed SString::max_size().
class LengthException {
  public:
    virtual ~LengthException();
};
