#include "RangeException.h"

RangeException::~RangeException() = default;
