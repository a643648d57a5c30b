// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/shell_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/analysis.h"
#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/display_backend.h"
#include "raster/font.h"
#include "raster/surface.h"
#include "shell/host.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/support/scratch_folder.h"
#include "views/axes.h"
#include "views/block_view.h"
#include "views/level_tables.h"
#include "views/readout.h"
#include "views/view_state.h"

namespace {

std::string settingsPath;

const std::string& TempFolder() {
    static const ScratchFolder folder("quillo-shell-test");
    return folder.Path();
}

}  // namespace

const char* SettingsFilePath() {
    return settingsPath.empty() ? nullptr : settingsPath.c_str();
}

void UseSettingsPath(const std::string& path) {
    settingsPath = path;
}

std::string NewSettingsPath() {
    static int serial = 0;
    std::ostringstream path;
    path << TempFolder() << "/setting-" << getpid() << "-" << ++serial << ".txt";
    std::remove(path.str().c_str());
    return path.str();
}

std::string UseSettingsFolder() {
    const std::string folder = NewSettingsPath() + ".d";
    std::filesystem::create_directories(folder);
    UseSettingsPath(folder + "/setting.txt");
    return folder;
}

void LeaveSettingsFolder(const std::string& folder) {
    UseSettingsPath("");
    std::filesystem::remove_all(folder);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void StartCore(bool deviceProfileOn) {
    ResetProgramState();
    CloseDisplay();
    ResumeDrawing();
    std::memset(&MemoryDisplay, 0, sizeof MemoryDisplay);
    SetDeviceProfile(deviceProfileOn);
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    // The main window on the 240 x 320 screen, less the 26-pixel menu bar.
    InitViews(nullptr, 0, 26, 240, 268);
}

uint16_t ScreenPixel(int x, int y) {
    return MemoryDisplay.pixels[(ViewArea.top + y) * kMemoryDisplayWidth + x];
}
