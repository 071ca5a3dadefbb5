// drawing_check.hpp - what the drawing tests share: windows opened with the
// library, pixel areas read back on the test's own connection, and
// reference drawings made with plain Xlib requests.
#pragma once
// Include <gtest/gtest.h> and kova_private.h before this header.

#include "xserver.hpp"

#include <string>
#include <utility>
#include <vector>

namespace kt {

// Window 1 as a record made by hand, for the pure arithmetic of mappings
// and arcs: the state a window has right after opening, with no X window
// behind it.  The entry points act only on open windows of a connected
// library, so the test's own connection stands in (nothing is sent).
struct HandMadeWindow : ::testing::Test {
    static constexpr int wn = 1;
    void SetUp() override
    {
        Pc_dis = kt::dpy();
        resize_Pc(2);
        Pc[wn].in_use = 1;
        canvas(640, 400, KOVA_ATTR_Y_UP);
    }
    void TearDown() override
    {
        free(Pc);
        Pc = nullptr;
        N_Pc = 0;
        Pc_dis = nullptr;
    }
    static void canvas(int w, int h, int attributes)
    {
        Pc[wn].width = w;
        Pc[wn].height = h;
        Pc[wn].attributes = attributes;
        Pc[wn].user_x0 = Pc[wn].user_y0 = 0.0;
        Pc[wn].scale_x = Pc[wn].scale_y = 1.0;
    }
};

// A window opened with kova_gopen under the given attribute set; closed
// again (and the pending attributes restored) when the object goes.
class OpenWindow {
  public:
    OpenWindow(int width, int height, int attributes = KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP)
    {
        saved_ = kova_ggetinitialattributes();
        kova_gsetinitialattributes(attributes, 0xff);
        wn_ = kova_gopen(width, height);
    }
    ~OpenWindow()
    {
        kova_gclose(wn_);
        kova_gsetinitialattributes(saved_, 0xff);
    }
    OpenWindow(const OpenWindow &) = delete;
    OpenWindow &operator=(const OpenWindow &) = delete;
    int wn() const { return wn_; }
    const pc_window &rec() const { return Pc[wn_]; }
    Drawable layer() const { return rec().layers[rec().write_layer]; }
    Drawable window() const { return rec().draw_win; }
    unsigned long pen_pixel() const
    {
        XGCValues v;
        XGetGCValues(Pc_dis, rec().pen_gc, GCForeground, &v);
        return v.foreground;
    }
    // Sends whatever the library holds back, so that a read sees it.
    static void sync() { XSync(Pc_dis, False); }

  private:
    int wn_ = -1;
    int saved_ = 0;
};

// Pixel values of a w x h area, row by row, once the library's requests
// have all been carried out.
inline std::vector<unsigned long> area(Drawable d, int x, int y, int w, int h)
{
    if (Pc_dis)
        XSync(Pc_dis, False);
    return pixels(d, x, y, w, h);
}

// A window's geometry as the server has it once the library's requests
// have all been carried out.
inline XWindowAttributes window_attributes(Window w)
{
    XWindowAttributes a{};
    XSync(Pc_dis, False);
    XGetWindowAttributes(dpy(), w, &a);
    return a;
}

// One pixel, once the library's requests have all been carried out.
inline unsigned long synced_pixel(Drawable d, int x, int y)
{
    XSync(Pc_dis, False);
    return pixel(d, x, y);
}

// The pixels of an area that differ from the background, as (x, y) pairs.
inline std::vector<std::pair<int, int>> lit(Drawable d, int x, int y, int w, int h,
                                            unsigned long bg)
{
    std::vector<std::pair<int, int>> out;
    std::vector<unsigned long> px = area(d, x, y, w, h);
    for (int j = 0; j < h && !px.empty(); j++)
        for (int i = 0; i < w; i++)
            if (px[static_cast<size_t>(j * w + i)] != bg)
                out.emplace_back(x + i, y + j);
    return out;
}

// The pixels of a rectangle, inclusive bounds, in the order lit() gives.
inline std::vector<std::pair<int, int>> block(int x0, int y0, int x1, int y1)
{
    std::vector<std::pair<int, int>> out;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            out.emplace_back(x, y);
    return out;
}

// A pixmap on the test's connection, filled with bg, on which plain Xlib
// requests draw what the library is expected to have drawn.
class Reference {
  public:
    Reference(int width, int height, unsigned long bg, unsigned long fg) : w_(width), h_(height)
    {
        Display *d = dpy();
        pm_ = XCreatePixmap(d, DefaultRootWindow(d), static_cast<unsigned>(width),
                            static_cast<unsigned>(height),
                            static_cast<unsigned>(DefaultDepth(d, DefaultScreen(d))));
        gc_ = XCreateGC(d, pm_, 0, nullptr);
        XSetForeground(d, gc_, bg);
        XFillRectangle(d, pm_, gc_, 0, 0, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        XSetForeground(d, gc_, fg);
    }
    ~Reference()
    {
        XFreeGC(dpy(), gc_);
        XFreePixmap(dpy(), pm_);
    }
    Reference(const Reference &) = delete;
    Reference &operator=(const Reference &) = delete;
    Display *d() const { return dpy(); }
    Pixmap pm() const { return pm_; }
    GC gc() const { return gc_; }
    std::vector<unsigned long> pixels() const { return area(pm_, 0, 0, w_, h_); }

  private:
    int w_, h_;
    Pixmap pm_;
    GC gc_;
};

} // namespace kt
