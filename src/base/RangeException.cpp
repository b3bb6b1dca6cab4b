#include "base/RangeException.h"

RangeException::~RangeException() = default;
