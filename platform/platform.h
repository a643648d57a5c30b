// The platform's job, as the core sees it: the operations that the portable core calls and
// the platform layer defines. Nothing here names Qt, PortAudio or libsndfile; the program
// links the real back ends, the core's tests link small fakes or the in-memory ones.
#pragma once

// ---- Display back end -------------------------------------------------------------------
// What the display connection (raster/display.h) needs of a screen: the full-screen display
// library's contract as a table of operations. The program and the tests choose the back
// end at run time with SetDisplayBackEnd before OpenDisplay; the core calls nothing else.

#include <cstdint>

// A screen's layout as the back end reports it.
struct DisplayProperties {
    uint32_t cxWidth;   // screen pixels per row (not read: the screen is taken as 240 x 320)
    uint32_t cyHeight;  // screen rows (not read)
    int32_t cbxPitch;   // bytes from a pixel to the one on its right; may be negative
    int32_t cbyPitch;   // bytes from a pixel to the one below it; may be negative
    int32_t cBPP;       // bits per pixel
    uint32_t ffFormat;  // format flags; kDisplayFormatRgb565 marks direct RGB565 pixels
};
constexpr uint32_t kDisplayFormatRgb565 = 0x80;

constexpr int kOemTextLength = 100;  // UTF-16 characters of the OEM information text

struct DisplayBackEnd {
    bool (*open)(void* window);                // take the whole screen; false when there is none
    void (*setViewport)(int top, int height);  // rows the back end refreshes
    DisplayProperties (*properties)();
    bool (*frameBufferInMemory)();  // true when the frame buffer is a copy that needs a viewport
    uint16_t* (*beginDraw)();       // pixel origin for this frame, or null to skip the frame
    void (*endDraw)();              // ends the frame begun by a non-null beginDraw
    void (*close)();
    // The fixed-address device profile: the origin that stands in for the device's fixed
    // frame-buffer address (strides -320 and 1, no begin or end); null when there is none.
    uint16_t* (*fixedFrameBuffer)();
    // The OEM information text, at most kOemTextLength characters; false when unknown.
    // May be null: then no text is known and the fixed-address profile never applies.
    bool (*readOemText)(char16_t* text, int capacity);
};

// The back end that OpenDisplay and the later display calls use; null means none (open fails).
void SetDisplayBackEnd(const DisplayBackEnd* backEnd);

// ---- Audio source -----------------------------------------------------------------------
// The wave-in driver's contract, which the capture device (capture/capture.h) records
// through. A source is opened with a format and a client; it fills the empty buffers queued
// with addBuffer in the order they were queued, and hands each filled buffer back through
// client.returnBuffer on a thread of its own, never on the thread that called it. Sources:
// platform/audio_sources.h. The program and the tests choose one with SetAudioSource before
// the device opens.

// A returned buffer's message number (MM_WIM_DATA); the main window's capture notice reuses it.
constexpr unsigned kWaveInDataMessage = 960;

// The recording format (the fields of WAVEFORMATEX).
struct WaveFormat {
    uint16_t wFormatTag;       // 1 = PCM
    uint16_t nChannels;        // 1 or 2
    uint32_t nSamplesPerSec;   // frames per second
    uint32_t nAvgBytesPerSec;  // nBlockAlign x nSamplesPerSec
    uint16_t nBlockAlign;      // bytes per frame: nChannels x wBitsPerSample / 8
    uint16_t wBitsPerSample;   // 8 (unsigned) or 16 (signed, little-endian)
    uint16_t cbSize;           // 0
};
constexpr uint16_t kWaveFormatPcm = 1;

// One driver buffer (the fields of WAVEHDR that the capture device uses).
struct WaveHeader {
    uint8_t* lpData;           // the buffer's bytes, owned by the capture device
    uint32_t dwBufferLength;   // bytes the buffer holds
    uint32_t dwBytesRecorded;  // bytes the source filled, set when it returns the buffer
    uintptr_t dwUser;          // the owner's tag (the buffer's index); sources leave it alone
};

// Where a source returns its buffers. A source calls these without holding any lock that its
// own operations take, because the client calls those operations under its own lock.
struct AudioSourceClient {
    void* context;  // passed back to both functions
    // A filled buffer (or, after stop and reset, a partly filled or empty one), on the
    // source's own thread, in the order the buffers were queued.
    void (*returnBuffer)(void* context, WaveHeader* header);
    // True when the reader has taken every byte returned so far and will hear of the next
    // buffer: a lock-step source delivers the next buffer only then.
    bool (*readerDrained)(void* context);
};

// Most empty buffers a source holds at once; addBuffer refuses more.
constexpr int kMaxSourceBuffers = 256;

struct AudioSource {
    // Opens the input for the format; false when there is no input or it cannot record it.
    bool (*open)(const WaveFormat& format, const AudioSourceClient& client);
    bool (*addBuffer)(WaveHeader* header);  // queues an empty buffer; false when full
    void (*start)();  // starts (or resumes) filling the queued buffers; no-op when started
    void (*stop)();   // stops filling; a partly filled buffer is returned with what it holds
    void (*reset)();  // stops, and returns every queued buffer, unfilled ones with 0 bytes
    void (*close)();  // after reset; once it returns the source returns nothing more
};

// The source that the capture device opens; null means none (open fails, as without input).
void SetAudioSource(const AudioSource* source);

// ---- Window system and shell ------------------------------------------------------------
// What the shell (shell/main_window.h) needs of a window system: one main window whose
// messages reach MainWindowProc in order on the main thread, a menu bar of drop-down menus
// and image buttons, message boxes, modal dialogs with controls addressed by id, a title,
// the help page and the single-instance test. The Qt host defines these for the program;
// the shell's tests link a recording fake.

// Message numbers (the Win32 values) that the host delivers to the window procedures.
constexpr unsigned WM_CREATE = 0x0001;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_ACTIVATE = 0x0006;
constexpr unsigned WM_KILLFOCUS = 0x0008;
constexpr unsigned WM_PAINT = 0x000F;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_SETTINGCHANGE = 0x001A;
constexpr unsigned WM_CANCELMODE = 0x001F;
constexpr unsigned WM_INITDIALOG = 0x0110;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned kSuspendMessage = 0x03FF;  // message 1023: suspends drawing
// Captured audio is queued (kWaveInDataMessage, 960) is declared with the audio source.

// A window procedure: (window, message, wParam, lParam) -> result.
using WindowProc = intptr_t (*)(void* window, unsigned message, uintptr_t wParam,
                                intptr_t lParam);

// The main window's rectangle on the 240 x 320 virtual screen.
struct WindowRect {
    int left;
    int top;
    int right;
    int bottom;
};

// True when another (windowed) instance runs; it has then been asked to come to the front.
bool RaiseRunningInstance();
// Creates the main window (class name, title) with `proc` as its procedure. WM_CREATE is
// delivered before it returns. Null when the window cannot be created.
void* CreateMainWindow(const char* className, const char* title, WindowProc proc);
WindowRect GetMainWindowRect();
// Width and height are passed as they come (start-up passes right and bottom edges).
void MoveMainWindow(int left, int top, int width, int height);
// Shows the window; its first WM_PAINT follows through the queue.
void ShowMainWindow();
// The title shown for the current view.
void SetMainWindowTitle(const char* title);
// Posts to the main window's queue; callable from any thread (the capture thread posts
// kWaveInDataMessage). Messages are delivered in the order posted.
void PostMainWindowMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
// The default handling: WM_CLOSE destroys the window, which delivers WM_DESTROY.
intptr_t DefaultWindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);
// Ends the message loop with `code` once the current message has been handled.
void PostQuitMessage(int code);

// One image button of the menu bar: the image's index in the bar's strip and its command.
struct MenuBarButton {
    int image;
    int command;
};
// The menu bar: the drop-down menus of menu resource `resource`, then image buttons. Null
// when it cannot be created.
void* CreateMenuBar(void* window, int resource);
// Gives the bar its image strip (bitmap 125 to 128) with `imageCount` images.
bool AddMenuBarBitmap(void* bar, int bitmap, int imageCount);
bool AddMenuBarButtons(void* bar, const MenuBarButton* buttons, int count);
void DestroyMenuBar(void* bar);  // a null bar is ignored
// Shows a check mark at the drop-down item of `command`, or removes it; a null bar or an
// unknown command is ignored.
void CheckMenuBarItem(void* bar, int command, bool checked);

// Message box icons.
constexpr int kMessageBoxPlain = 0;
constexpr int kMessageBoxExclamation = 1;
// A modal box with an OK button; returns when closed (a headless run prints it instead).
void ShowMessageBox(void* window, const char* text, const char* caption, int icon);

// A modal dialog built from dialog resource `resource`, run with `proc` (WM_INITDIALOG
// first, then WM_COMMAND with the control's id for buttons). Returns EndDialog's result,
// or -1 when the dialog cannot be shown (a headless run, for example).
intptr_t RunModalDialog(void* owner, int resource, WindowProc proc);
// Closes the running dialog with `result` once its procedure returns.
void EndDialog(void* dialog, intptr_t result);
// Controls of the running dialog, by id.
void CheckDialogButton(void* dialog, int id, bool checked);
bool IsDialogButtonChecked(void* dialog, int id);
void EnableDialogItem(void* dialog, int id, bool enabled);
void SetDialogItemText(void* dialog, int id, const char* text);
// Copies at most capacity - 1 bytes of the control's text and a NUL; returns their count.
int GetDialogItemText(void* dialog, int id, char* text, int capacity);

// Shows the help page (a file of resources/) at `anchor`; false when it cannot be shown.
bool ShowHelpPage(const char* page, const char* anchor);

// The OEM information text of this computer, at most `capacity` UTF-16 characters;
// false when it is unknown.
bool ReadOemText(char16_t* text, int capacity);

// Where start-up writes its one-line diagnostic file; null when no path can be formed.
const char* DiagnosticFilePath();

// A keyboard accelerator: Ctrl + `key` (an upper-case letter) sends WM_COMMAND `command`.
struct Accelerator {
    char key;
    int command;
};
// Runs the message loop, offering every key press to the accelerator table first, until a
// quit message; returns its code.
int RunMessageLoop(const Accelerator* table, int count);

// ---- Settings file ----------------------------------------------------------------------

// Path of the one-line settings file: $XDG_CONFIG_HOME/Quillo-SA/setting.txt, by default
// ~/.config/Quillo-SA/setting.txt. Null when no path can be formed (neither variable set).
// Start-up creates the folder; the settings code only opens the file.
const char* SettingsFilePath();
