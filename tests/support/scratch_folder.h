// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of a test's own under /tmp, made by mkdtemp and removed with all it holds when its
// owner ends: a test's local, or a function's static for the whole test process (gone at
// exit, so it may be the process's own XDG_STATE_HOME). Whatever writes into it must have
// ended by then.
#pragma once

#include <string>

class ScratchFolder {
  public:
    // Named /tmp/<prefix>-XXXXXX.
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // False when mkdtemp failed; then Path() is "/tmp" and nothing is removed.
    bool Made() const { return made_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_ = "/tmp";
    bool made_ = false;
};
