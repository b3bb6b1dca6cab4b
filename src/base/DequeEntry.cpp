#include "base/DequeEntry.h"

DequeEntry::~DequeEntry() = default;
