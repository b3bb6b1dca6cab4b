#ifndef RANGEEXCEPTION_H
#define RANGEEXCEPTION_H

// Thrown by value by SString when a position lies beyond the end of a string.
class RangeException {
  public:
    virtual ~RangeException();
};

#endif
