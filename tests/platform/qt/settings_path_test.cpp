// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shell/host.h"

namespace {

// Sets or clears one variable for the life of the test, then puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    bool hadOld_ = false;
    std::string old_;
};

std::string PathOrNull() {
    const char* path = SettingsFilePath();
    return path == nullptr ? "(null)" : path;
}

}  // namespace

TEST(SettingsFilePath, FollowsTheXdgConfigFolderOrFallsBackToHome) {
    ScopedEnv home("HOME", "/home/ana");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(PathOrNull(), "/srv/conf/Quillo-SA/setting.txt");
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(PathOrNull(), "/home/ana/.config/Quillo-SA/setting.txt");
    }
    // Empty or relative values are invalid under the XDG rules and ignored.
    for (const char* invalid : {"", "relative/conf"}) {
        ScopedEnv config("XDG_CONFIG_HOME", invalid);
        EXPECT_EQ(PathOrNull(), "/home/ana/.config/Quillo-SA/setting.txt") << invalid;
    }
}

// A path too long for the system is given whole: reading and saving it fail with the
// system's reason, and are said so, where a null path would pass for a host without one.
TEST(SettingsFilePath, IsNullWhenNoFolderIsKnownAndWholeHoweverLong) {
    {
        ScopedEnv home("HOME", nullptr);
        ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(SettingsFilePath(), nullptr);
    }
    const std::string huge = "/" + std::string(5000, 'x');
    ScopedEnv config("XDG_CONFIG_HOME", huge.c_str());
    ASSERT_NE(SettingsFilePath(), nullptr);
    EXPECT_EQ(std::string(SettingsFilePath()), huge + "/Quillo-SA/setting.txt");
}
