#include "base/LengthException.h"

LengthException::~LengthException() = default;
