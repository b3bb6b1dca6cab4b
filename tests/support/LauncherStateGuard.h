#pragma once

#include <memory>
#include <string>

#include "support/TempDir.h"

namespace testsupport {

// Saves every static member of Launcher and PlatformImpl (the payload
// Launcher::m_inputFiles and the cleanup lists included), the display's
// output switch and failure state and the current directory, and gives the
// test the state of a fresh launcher process instead, except that the
// launcher's temporary directory is a new empty directory of the guard's
// own, at `tempDir` when given (see TempDir). The destructor frees what the
// test left in that state and puts the saved state back.
class LauncherStateGuard {
  public:
    explicit LauncherStateGuard(const std::string& tempDir = "");
    ~LauncherStateGuard();
    LauncherStateGuard(const LauncherStateGuard&) = delete;
    LauncherStateGuard& operator=(const LauncherStateGuard&) = delete;

    // The launcher's temporary directory for this test.
    TempDir& temp() { return temp_; }
    const std::string& tempDir() const { return temp_.path(); }

    // For a fixture's TearDown: deletes what the cleanup lists hold inside the
    // temporary directory, as the launcher does when it ends, and adds a test
    // failure when anything but what the test declared is left there.
    void checkTempDir() const;

  private:
    struct State;

    // Swaps the process's state with `state`.
    static void exchange(State& state);

    TempDir temp_;
    std::string cwd_;
    std::unique_ptr<State> saved_;
};

}  // namespace testsupport
