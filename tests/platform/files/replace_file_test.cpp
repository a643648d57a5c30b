// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a file in one step: the old file or the new one, never a part; links followed
// only when asked; nothing left beside it; what is not a regular file is left alone.
#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "shell/host.h"
#include "tests/support/program_files.h"
#include "tests/support/scratch_folder.h"

namespace {

int Entries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    int n = 0;
    while (const dirent* entry = readdir(dir))
        n += entry->d_name[0] != '.';
    closedir(dir);
    return n;
}

bool Replace(const std::string& path, const std::string& text, bool followLink) {
    return ReplaceFile(path.c_str(), text.data(), static_cast<int>(text.size()), followLink);
}

TEST(ReplaceFile, ReplacesTheWholeFileKeepsItsModeAndLeavesNothingBeside) {
    const ScratchFolder scratch("quillo-replace-test");
    ASSERT_TRUE(scratch.Made());
    const std::string& folder = scratch.Path();
    const std::string path = folder + "/setting.txt";
    ASSERT_TRUE(Replace(path, "0 80 20 0 1 2 1 2", false));
    EXPECT_EQ(ReadFile(path), "0 80 20 0 1 2 1 2");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(Replace(path, "1 90", false));
    EXPECT_EQ(ReadFile(path), "1 90");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(folder), 1);
}

TEST(ReplaceFile, ALinkIsFollowedOnlyWhenAsked) {
    const ScratchFolder scratch("quillo-replace-test");
    ASSERT_TRUE(scratch.Made());
    const std::string& folder = scratch.Path();
    const std::string target = folder + "/kept.txt";
    const std::string link = folder + "/link.txt";
    WriteFile(target, "old");
    ASSERT_EQ(symlink("kept.txt", link.c_str()), 0);
    // The settings file: its target is replaced and the link stays.
    ASSERT_TRUE(Replace(link, "through", true));
    EXPECT_EQ(ReadFile(target), "through");
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    // The diagnostic file: a planted link is replaced, never written through.
    ASSERT_TRUE(Replace(link, "instead", false));
    EXPECT_EQ(ReadFile(target), "through");
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(ReadFile(link), "instead");
    EXPECT_EQ(Entries(folder), 2);
}

TEST(ReplaceFile, WhatIsNotAFileOrHasNoFolderIsAFailureThatChangesNothing) {
    const ScratchFolder scratch("quillo-replace-test");
    ASSERT_TRUE(scratch.Made());
    const std::string& folder = scratch.Path();
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Replace(fifo, "x", true));
    const std::string sub = folder + "/sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_FALSE(Replace(sub, "x", false));
    EXPECT_EQ(errno, EISDIR);
    // A link to a device is not followed onto it (as root, the rename would replace it).
    const std::string toNull = folder + "/null";
    ASSERT_EQ(symlink("/dev/null", toNull.c_str()), 0);
    EXPECT_FALSE(Replace(toNull, "x", true));
    struct stat info {};
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_FALSE(Replace(folder + "/missing/setting.txt", "x", true));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(Entries(folder), 3);  // the FIFO, the folder and the link, nothing more
}

}  // namespace
