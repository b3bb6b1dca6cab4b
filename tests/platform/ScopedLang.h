#pragma once

// Sets (or, with null, unsets) LANG for one scope and puts the previous value
// back afterwards, so that tests choosing a language do not leak it.

#include <cstdlib>
#include <string>

class ScopedLang {
  public:
    explicit ScopedLang(const char* value) {
        const char* old = getenv("LANG");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedLang() { set(hadOld_ ? old_.c_str() : nullptr); }
    ScopedLang(const ScopedLang&) = delete;
    ScopedLang& operator=(const ScopedLang&) = delete;

    static void set(const char* value) {
        if (value == nullptr) {
            unsetenv("LANG");
        } else {
            setenv("LANG", value, 1);
        }
    }

  private:
    bool hadOld_ = false;
    std::string old_;
};
