#include "DequeEntry.h"

DequeEntry::~DequeEntry() = default;
