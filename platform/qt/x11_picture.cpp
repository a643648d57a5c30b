// SPDX-License-Identifier: GPL-3.0-or-later
// The picture's X resources and the requests that fill and show them. Qt's own connection is
// used (libxcb is thread-safe, and Qt's event thread only reads from it); setup requests are
// checked, per-frame ones are not, so a frame costs no round trip.
#include "platform/qt/x11_picture.h"

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/render.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "platform/qt/qt_host.h"

namespace {

// Set once by X11PictureUsable, then by OpenX11Picture and CloseX11Picture.
struct X11PictureRecord {
    int usable = -1;  // -1 not asked yet, 0 no, 1 yes
    xcb_connection_t* connection = nullptr;
    xcb_render_query_pict_formats_reply_t* formats = nullptr;  // kept for the process
    xcb_render_pictformat_t rgb24 = 0;                         // x8r8g8b8, the pixmap's
    size_t maxPutBytes = 0;  // pixel bytes one put request may carry
    // Open: all non-zero.
    xcb_window_t window = 0;
    xcb_pixmap_t pixmap = 0;
    xcb_gcontext_t gc = 0;            // for the pixmap
    xcb_gcontext_t windowGc = 0;      // for copies within the window, no exposure events
    xcb_render_picture_t source = 0;  // on the pixmap: scale transform, nearest filter
    xcb_render_picture_t target = 0;  // on the window
    int transformScale = 0;           // the scale the source's transform is set for; 0 none
    // Set by the server's visibility events: nothing covers the window, so its own pixels can
    // be copied. False until the server says so.
    bool unobscured = false;
    // Uncovered since the last move: what was under the cover may not be painted again yet
    // (the expose comes as an event), so the next move composites the whole view first.
    bool uncovered = false;
    bool filtering = false;  // the event filter below is installed
};
X11PictureRecord X11;

constexpr uint8_t kPixmapDepth = 24;
constexpr uint32_t kPutHeaderBytes = 24;  // of a PutImage request, big-request length included

// x8r8g8b8: 24 bits of red, green and blue at shifts 16, 8 and 0 of a 32-bit pixel.
bool IsRgb24(const xcb_render_pictforminfo_t& f) {
    const xcb_render_directformat_t& d = f.direct;
    return f.type == XCB_RENDER_PICT_TYPE_DIRECT && f.depth == kPixmapDepth && d.red_shift == 16 &&
           d.red_mask == 0xFF && d.green_shift == 8 && d.green_mask == 0xFF && d.blue_shift == 0 &&
           d.blue_mask == 0xFF && d.alpha_mask == 0;
}

// The picture format of windows of `visual`; 0 when the server names none.
xcb_render_pictformat_t FormatOfVisual(xcb_visualid_t visual) {
    for (auto screens = xcb_render_query_pict_formats_screens_iterator(X11.formats); screens.rem;
         xcb_render_pictscreen_next(&screens)) {
        for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
             xcb_render_pictdepth_next(&depths)) {
            for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem;
                 xcb_render_pictvisual_next(&visuals)) {
                if (visuals.data->visual == visual) return visuals.data->format;
            }
        }
    }
    return 0;
}

// 32 bits a pixel at depth 24, in the host's byte order.
bool PixmapBytesMatchTheHost(const xcb_setup_t* setup) {
    const uint8_t hostOrder = std::endian::native == std::endian::little
                                  ? XCB_IMAGE_ORDER_LSB_FIRST
                                  : XCB_IMAGE_ORDER_MSB_FIRST;
    if (setup->image_byte_order != hostOrder) return false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == kPixmapDepth) return formats.data->bits_per_pixel == 32;
    }
    return false;
}

bool AskTheServer() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* c = x11 != nullptr ? x11->connection() : nullptr;
    if (c == nullptr || xcb_connection_has_error(c) != 0) return false;
    const xcb_query_extension_reply_t* render = xcb_get_extension_data(c, &xcb_render_id);
    if (render == nullptr || render->present == 0) return false;
    xcb_render_query_version_reply_t* version = xcb_render_query_version_reply(
        c, xcb_render_query_version(c, XCB_RENDER_MAJOR_VERSION, XCB_RENDER_MINOR_VERSION),
        nullptr);
    const bool recent =
        version != nullptr && (version->major_version > 0 || version->minor_version >= 6);
    std::free(version);
    if (!recent || !PixmapBytesMatchTheHost(xcb_get_setup(c))) return false;
    xcb_render_query_pict_formats_reply_t* formats =
        xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr);
    if (formats == nullptr) return false;
    xcb_render_pictformat_t rgb24 = 0;
    for (auto f = xcb_render_query_pict_formats_formats_iterator(formats); f.rem && rgb24 == 0;
         xcb_render_pictforminfo_next(&f)) {
        if (IsRgb24(*f.data)) rgb24 = f.data->id;
    }
    const uint32_t maxWords = xcb_get_maximum_request_length(c);
    if (rgb24 == 0 || maxWords * 4ull <= kPutHeaderBytes + sizeof(uint32_t) * kWindowScreenWidth) {
        std::free(formats);
        return false;
    }
    X11.connection = c;
    X11.formats = formats;
    X11.rgb24 = rgb24;
    X11.maxPutBytes = maxWords * size_t{4} - kPutHeaderBytes;
    return true;
}

// Frees a resource that may be gone with its window: a checked request whose error is
// dropped rather than reported to Qt's event thread.
template <typename Free>
void FreeQuietly(Free free, uint32_t id) {
    if (id != 0) xcb_discard_reply(X11.connection, free(X11.connection, id).sequence);
}

// Watches the visibility events of the picture's window on Qt's X connection (Qt ignores them).
class VisibilityFilter : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY) return false;
        const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
        if (X11.window != 0 && visibility->window == X11.window) {
            const bool unobscured = visibility->state == XCB_VISIBILITY_UNOBSCURED;
            X11.uncovered = X11.uncovered || (unobscured && !X11.unobscured);
            X11.unobscured = unobscured;
        }
        return false;
    }
};

}  // namespace

bool DrawPastBackingStore(QWidget* widget) {
    if (!qEnvironmentVariableIsEmpty("QUILLO_QT_PICTURE") || !X11PictureUsable()) return false;
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->setAttribute(Qt::WA_PaintOnScreen);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    return true;
}

void PaintThroughBackingStore(QWidget* widget) {
    widget->setAttribute(Qt::WA_PaintOnScreen, false);
    widget->setAttribute(Qt::WA_NoSystemBackground, false);
    widget->update();
}

bool X11PictureUsable() {
    if (X11.usable < 0) X11.usable = AskTheServer() ? 1 : 0;
    return X11.usable == 1;
}

bool OpenX11Picture(uint32_t window) {
    CloseX11Picture();
    if (!X11PictureUsable() || window == 0) return false;
    xcb_connection_t* c = X11.connection;
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const xcb_render_pictformat_t windowFormat =
        attributes != nullptr ? FormatOfVisual(attributes->visual) : 0;
    // Qt's events for the window and its visibility changes besides.
    const uint32_t events =
        attributes != nullptr ? attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE : 0;
    std::free(attributes);
    if (windowFormat == 0) return false;
    if (!X11.filtering) {
        // Kept for the process: Qt may still deliver events to it while the program ends.
        static auto* filter = new VisibilityFilter;
        qGuiApp->installNativeEventFilter(filter);
        X11.filtering = true;
    }

    X11.window = window;
    X11.pixmap = xcb_generate_id(c);
    X11.gc = xcb_generate_id(c);
    X11.windowGc = xcb_generate_id(c);
    X11.unobscured = X11.uncovered = false;
    X11.source = xcb_generate_id(c);
    X11.target = xcb_generate_id(c);
    static constexpr char kNearest[] = "nearest";
    const uint32_t noExposures = 0;
    const xcb_void_cookie_t steps[] = {
        xcb_create_pixmap_checked(c, kPixmapDepth, X11.pixmap, window, kWindowScreenWidth,
                                  kWindowViewHeight),
        xcb_create_gc_checked(c, X11.gc, X11.pixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures),
        xcb_create_gc_checked(c, X11.windowGc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures),
        xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &events),
        xcb_render_create_picture_checked(c, X11.source, X11.pixmap, X11.rgb24, 0, nullptr),
        xcb_render_set_picture_filter_checked(c, X11.source, sizeof kNearest - 1, kNearest, 0,
                                              nullptr),
        xcb_render_create_picture_checked(c, X11.target, window, windowFormat, 0, nullptr),
    };
    bool made = true;
    for (const xcb_void_cookie_t step : steps) {
        xcb_generic_error_t* error = xcb_request_check(c, step);
        made = made && error == nullptr;
        std::free(error);
    }
    if (!made) CloseX11Picture();
    return made;
}

bool X11PictureOpen() {
    return X11.window != 0;
}

void CloseX11Picture() {
    if (X11.window == 0) return;
    FreeQuietly(xcb_render_free_picture_checked, X11.target);
    FreeQuietly(xcb_render_free_picture_checked, X11.source);
    FreeQuietly(xcb_free_gc_checked, X11.windowGc);
    FreeQuietly(xcb_free_gc_checked, X11.gc);
    FreeQuietly(xcb_free_pixmap_checked, X11.pixmap);
    xcb_flush(X11.connection);
    X11.window = X11.pixmap = X11.gc = X11.windowGc = X11.source = X11.target = 0;
    X11.transformScale = 0;
}

namespace {

// `area` of a drawable from `pixels` (rows of area.width), in as many requests as it takes.
void PutPixels(xcb_drawable_t drawable, xcb_gcontext_t gc, const PixelRect& area,
               const uint32_t* pixels) {
    PixelRect puts[kMostPutsPerPatch];
    const ViewPatch patch{area.x, area.y, area.x + area.width - 1, area.y + area.height - 1};
    const int count = SplitPatchIntoPuts(patch, X11.maxPutBytes, puts);
    for (int i = 0; i < count; i++) {
        const PixelRect& p = puts[i];
        const uint32_t bytes = sizeof(uint32_t) * static_cast<uint32_t>(p.width * p.height);
        const uint8_t* data =
            reinterpret_cast<const uint8_t*>(pixels + (p.y - area.y) * area.width);
        xcb_put_image(X11.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, gc,
                      static_cast<uint16_t>(p.width), static_cast<uint16_t>(p.height),
                      static_cast<int16_t>(p.x), static_cast<int16_t>(p.y), 0, kPixmapDepth, bytes,
                      data);
    }
}

}  // namespace

void PutX11View(const PixelRect& area, const uint32_t* pixels) {
    if (X11.window != 0) PutPixels(X11.pixmap, X11.gc, area, pixels);
}

void ShowX11View(const ViewPatch& patch, int scale, int left, int top) {
    if (X11.window == 0) return;
    if (X11.transformScale != scale) {
        const PictureTransform t = ScaleDownTransform(scale);
        const xcb_render_transform_t transform = {t.matrix[0][0], t.matrix[0][1], t.matrix[0][2],
                                                  t.matrix[1][0], t.matrix[1][1], t.matrix[1][2],
                                                  t.matrix[2][0], t.matrix[2][1], t.matrix[2][2]};
        xcb_render_set_picture_transform(X11.connection, X11.source, transform);
        X11.transformScale = scale;
    }
    const ScaledPatch s = ScalePatch(patch, scale, left, top);
    xcb_render_composite(X11.connection, XCB_RENDER_PICT_OP_SRC, X11.source, XCB_NONE, X11.target,
                         static_cast<int16_t>(s.source.x), static_cast<int16_t>(s.source.y), 0, 0,
                         static_cast<int16_t>(s.target.x), static_cast<int16_t>(s.target.y),
                         static_cast<uint16_t>(s.target.width),
                         static_cast<uint16_t>(s.target.height));
}

void ShiftX11View(const ViewShiftRecord& shift, int scale, int left, int top) {
    if (X11.window == 0 || shift.columns == 0) return;
    const int width = shift.right - shift.left + 1;
    const int height = shift.bottom - shift.top + 1;
    xcb_copy_area(X11.connection, X11.pixmap, X11.pixmap, X11.gc,
                  static_cast<int16_t>(shift.left + shift.columns), static_cast<int16_t>(shift.top),
                  static_cast<int16_t>(shift.left), static_cast<int16_t>(shift.top),
                  static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    const ViewPatch moved{shift.left, shift.top, shift.right, shift.bottom};
    if (!X11.unobscured || X11.uncovered) {
        constexpr ViewPatch kWholeView = {0, 0, kWindowScreenWidth - 1, kWindowViewHeight - 1};
        ShowX11View(X11.unobscured ? kWholeView : moved, scale, left, top);
        X11.uncovered = false;
        return;
    }
    const ScaledPatch to = ScalePatch(moved, scale, left, top);
    xcb_copy_area(X11.connection, X11.window, X11.window, X11.windowGc,
                  static_cast<int16_t>(to.target.x + shift.columns * scale),
                  static_cast<int16_t>(to.target.y), static_cast<int16_t>(to.target.x),
                  static_cast<int16_t>(to.target.y), static_cast<uint16_t>(to.target.width),
                  static_cast<uint16_t>(to.target.height));
}

void FillX11Black(const PixelRect* rects, int count) {
    if (X11.window == 0 || count <= 0) return;
    xcb_rectangle_t boxes[4];
    count = std::min(count, 4);
    for (int i = 0; i < count; i++) {
        boxes[i] = {static_cast<int16_t>(rects[i].x), static_cast<int16_t>(rects[i].y),
                    static_cast<uint16_t>(rects[i].width), static_cast<uint16_t>(rects[i].height)};
    }
    const xcb_render_color_t black = {0, 0, 0, 0xFFFF};
    xcb_render_fill_rectangles(X11.connection, XCB_RENDER_PICT_OP_SRC, X11.target, black,
                               static_cast<uint32_t>(count), boxes);
}

void FlushX11Picture() {
    if (X11.connection != nullptr) xcb_flush(X11.connection);
}

uint32_t OpenX11WindowPuts(uint32_t window) {
    if (!X11PictureUsable() || window == 0) return 0;
    xcb_connection_t* c = X11.connection;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const bool deep = geometry != nullptr && geometry->depth == kPixmapDepth;
    std::free(geometry);
    if (!deep) return 0;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_create_gc_checked(c, gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures));
    std::free(error);
    return error == nullptr ? gc : 0;
}

void CloseX11WindowPuts(uint32_t gc) {
    if (gc == 0 || X11.connection == nullptr) return;
    FreeQuietly(xcb_free_gc_checked, gc);
    xcb_flush(X11.connection);
}

void PutX11WindowRows(uint32_t window, uint32_t gc, int width, int top, int rows,
                      const uint32_t* pixels) {
    if (gc == 0 || width <= 0 || sizeof(uint32_t) * static_cast<size_t>(width) > X11.maxPutBytes)
        return;
    for (int done = 0; done < rows; done += kMostPutsPerPatch) {
        const int chunk = std::min(rows - done, kMostPutsPerPatch);
        PutPixels(window, gc, {0, top + done, width, chunk}, pixels + done * width);
    }
    xcb_flush(X11.connection);
}
