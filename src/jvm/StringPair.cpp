#include "StringPair.h"

StringPair::StringPair(const SString& name, const SString& value) : m_name(name), m_value(value) {}
