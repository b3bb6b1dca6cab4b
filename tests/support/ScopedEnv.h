#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Sets and unsets environment variables of the test process for one scope;
// the destructor puts every variable it changed back as it was before.
class ScopedEnv {
  public:
    ScopedEnv() = default;
    // set(name, value) at once.
    ScopedEnv(const std::string& name, const char* value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets the variable, or with a null value unsets it.
    void set(const std::string& name, const char* value);

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace testsupport
