#include "LengthException.h"

LengthException::~LengthException() = default;
