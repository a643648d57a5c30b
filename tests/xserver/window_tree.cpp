// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/xserver/window_tree.h"

#include <X11/Xlib.h>

namespace {

// The cover's own connection: the window lives as long as it stays open.
struct CoverRecord {
    ::Display* x = nullptr;
    Window window = 0;
};
CoverRecord Cover;

}  // namespace

std::vector<ChildWindow> ChildWindows(const char* display, unsigned long window) {
    std::vector<ChildWindow> sizes;
    ::Display* x = XOpenDisplay(display);
    if (x == nullptr) return sizes;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(x, window, &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count; i++) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(x, children[i], &attributes) != 0)
                sizes.push_back(
                    {attributes.x, attributes.y, attributes.width, attributes.height, children[i]});
        }
        if (children != nullptr) XFree(children);
    }
    XCloseDisplay(x);
    return sizes;
}

bool CoverScreenArea(const char* display, int x, int y, int width, int height) {
    RemoveCover();
    Cover.x = XOpenDisplay(display);
    if (Cover.x == nullptr) return false;
    const int screen = DefaultScreen(Cover.x);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(Cover.x, screen);
    Cover.window =
        XCreateWindow(Cover.x, RootWindow(Cover.x, screen), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(Cover.x, Cover.window);
    XSync(Cover.x, False);
    return true;
}

void RemoveCover() {
    if (Cover.x == nullptr) return;
    XDestroyWindow(Cover.x, Cover.window);
    XSync(Cover.x, False);
    XCloseDisplay(Cover.x);
    Cover = {};
}
