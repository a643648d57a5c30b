// SPDX-License-Identifier: GPL-3.0-or-later
// Shared set-up of the shell tests: a settings file in a private temporary folder, and the
// core brought up as start-up does, on the in-memory display, from a clean state.
#pragma once

#include <cstdint>
#include <string>

// The path that SettingsFilePath returns from now on; empty: no path (null).
void UseSettingsPath(const std::string& path);
// A fresh path in this test run's temporary folder (the file does not exist yet).
std::string NewSettingsPath();
// A fresh folder of its own in this test run's temporary folder, with the settings file (and
// so the choices file) named in it; LeaveSettingsFolder names none again and removes it.
std::string UseSettingsFolder();
void LeaveSettingsFolder(const std::string& folder);
// Writes `text` exactly (no line end added) to `path`.
void WriteTextFile(const std::string& path, const std::string& text);
// The whole content of `path`; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

// Resets every record the shell, analysis, views and raster keep to its state at program
// start, opens the in-memory display and runs the view initialisation of start-up
// (viewport, view area, font, pens, colour map, readout band, LoadSettings, time axis).
void StartCore(bool deviceProfileOn = false);

// Screen pixel of the in-memory display at surface column x, surface row y of the view.
uint16_t ScreenPixel(int x, int y);
