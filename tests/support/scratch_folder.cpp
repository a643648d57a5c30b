// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/scratch_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

ScratchFolder::ScratchFolder(const std::string& prefix) {
    const std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return;
    path_ = name.data();
    made_ = true;
}

ScratchFolder::~ScratchFolder() {
    if (!made_) return;
    std::error_code ignored;  // a destructor must not throw; what cannot go stays
    std::filesystem::remove_all(path_, ignored);
}
