// What the single-instance rule asks of the window host; not for the core or main.
#pragma once

// Brings the main window to the front and gives it the focus.
void RaiseMainWindow();
