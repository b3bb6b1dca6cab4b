#ifndef LENGTHEXCEPTION_H
#define LENGTHEXCEPTION_H

// Thrown by value by SString when a result would exceed SString::max_size().
class LengthException {
  public:
    virtual ~LengthException();
};

#endif
