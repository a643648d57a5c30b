// SPDX-License-Identifier: GPL-3.0-or-later
// The main of the Qt test programs: a QApplication on Qt's offscreen platform unless the
// environment names one. Test discovery runs these binaries at build time, where there may be
// no display. Start-up writes its diagnostic file into a state folder of the tests' own, not
// the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/support/scratch_folder.h"

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const ScratchFolder state("quillo-qt-test-state");  // outlives the application
    if (state.Made()) setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
