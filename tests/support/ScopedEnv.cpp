#include "support/ScopedEnv.h"

#include <cstdlib>

namespace testsupport {

namespace {

void setVariable(const std::string& name, const char* value) {
    if (value == nullptr) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value, 1);
    }
}

}  // namespace

ScopedEnv::~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        setVariable(it->first, it->second ? it->second->c_str() : nullptr);
    }
}

void ScopedEnv::set(const std::string& name, const char* value) {
    const char* old = getenv(name.c_str());
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setVariable(name, value);
}

}  // namespace testsupport
