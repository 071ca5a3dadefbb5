/*
 * text.cpp - text in fixed fonts and font sets, the font set cache, and
 * number formatting.
 *
 * Text is drawn either in a fixed core font picked from a ladder of 24
 * sizes, or (size below 1) in the window's font set.  Applications may ask
 * for their font set before every string, so the font set path is built to
 * cost next to nothing when nothing changes: the name is formatted on the
 * stack without the C library's formatter, found in the process-wide
 * cache, and the string is drawn straight from the caller's memory.
 */
#include "kova_private.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>

namespace {

const char *const Default_fontset = "-*-fixed-medium-r-normal--14-*";
const char *const Fallback_fontset = "fixed,-*--14-*";
/* The advance of one piece of a long text, in pixels. */
constexpr long long Piece_width = 1024;

/* printf-style text of one call, made without touching the heap in the
 * common cases: a text without conversions is used where it stands, one
 * whose only conversions are plain %d (a font set pattern and its size) is
 * formatted here, since vsnprintf would cost more than the rest of drawing
 * a string, and anything else goes through vsnprintf on the stack when
 * short (every font name, nearly every label). */
class formatted {
  public:
    formatted(const char *fmt, va_list ap)
    {
        const char *pct = strchr(fmt, '%');
        if (!pct) {
            const size_t n = strlen(fmt);
            if (n <= INT_MAX) {
                text_ = fmt;
                length_ = static_cast<int>(n);
                return;
            }
        }
        va_list again;
        va_copy(again, ap);
        const bool done = plain_ints(fmt, pct, again);
        va_end(again);
        if (done)
            return;
        va_copy(again, ap);
        const int n = vsnprintf(small_, sizeof small_, fmt, ap);
        if (n >= static_cast<int>(sizeof small_)) {
            heap_.reset(_kova_vasprintf(fmt, again));
            text_ = heap_.get();
            length_ = n;
        } else if (n > 0) {
            length_ = n;
        } else {
            small_[0] = '\0';
        }
        va_end(again);
    }
    formatted(const formatted &) = delete;
    formatted &operator=(const formatted &) = delete;
    const char *get() const { return text_; }
    int length() const { return length_; }

  private:
    /* False at the first conversion other than %d or %%, or when the text
     * outgrows the buffer; ap is then the caller's copy, thrown away.  pct
     * is fmt's first '%'. */
    bool plain_ints(const char *fmt, const char *pct, va_list ap)
    {
        size_t n = 0;
        for (const char *p = fmt;; pct = strchr(p, '%')) {
            const size_t run = pct ? static_cast<size_t>(pct - p) : strlen(p);
            char digits[12];
            char *piece = digits + sizeof digits;
            if (pct && pct[1] == 'd')
                piece = decimal(va_arg(ap, int), piece);
            else if (pct && pct[1] == '%')
                *--piece = '%';
            else if (pct)
                return false;
            const size_t len = static_cast<size_t>(digits + sizeof digits - piece);
            if (n + run + len >= sizeof small_)
                return false;
            memcpy(small_ + n, p, run);
            memcpy(small_ + n + run, piece, len);
            n += run + len;
            if (!pct)
                break;
            p = pct + 2;
        }
        small_[n] = '\0';
        length_ = static_cast<int>(n);
        return true;
    }

    /* v in decimal, written backwards from end; returns its first character. */
    static char *decimal(int v, char *end)
    {
        unsigned int u = v < 0 ? 0u - static_cast<unsigned int>(v) : static_cast<unsigned int>(v);
        do {
            *--end = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u);
        if (v < 0)
            *--end = '-';
        return end;
    }

    char small_[256];
    const char *text_ = small_;
    malloc_str heap_;
    int length_ = 0;
};

/* The fixed font for size f (1..24): the ladder's name, then any fixed font
 * of the same pixel height, then "fixed"; NULL when even that is missing. */
XFontStruct *load_fixed_font(int f)
{
    const char *name = Pc_fnt[f - 1];
    if (XFontStruct *font = XLoadQueryFont(Pc_dis, name))
        return font;
    if (const char *height = strchr(name, 'x')) {
        char pattern[64];
        snprintf(pattern, sizeof pattern, Pc_fallbackfnt_fmt, height + 1);
        if (XFontStruct *font = XLoadQueryFont(Pc_dis, pattern))
            return font;
    } else {
        _kova_error("Internal error!!");
    }
    static bool warned = false;  /* once in the life of the process */
    if (!warned) {
        warned = true;
        _kova_warn("Basic fonts for KOVA are not found. Check your font setting of X server.");
    }
    if (XFontStruct *font = XLoadQueryFont(Pc_dis, Pc_fallbackfnt))
        return font;
    _kova_error("Default font 'fixed' is not found. Check your font setting of X server.");
    return nullptr;
}

/* The fixed font of each size once loaded, shared by every window and
 * kept until everything is closed: text that changes between sizes would
 * otherwise wait for the server at every change.  A size whose fonts are
 * all missing is not remembered, so the next text tries again. */
XFontStruct *Fixed_fonts[24];

/* Makes size f the window's text size; -1 when no font could be loaded,
 * and then font_size is -1 too, so that the next text tries again. */
int select_font(int wn, int f)
{
    pc_window &w = Pc[wn];
    if (f > 0) {
        XFontStruct *&font = Fixed_fonts[f - 1];
        if (!font)
            font = load_fixed_font(f);
        w.font = font;
        if (!w.font) {
            w.font_size = -1;
            return -1;
        }
        XSetFont(Pc_dis, w.pen_gc, w.font->fid);
    } else if (!w.fontset && set_fontset(wn, Default_fontset) < 0) {
        _kova_warn("Cannot set default fontset.");
    }
    w.font_size = f;
    return 0;
}

/* The face of size f (0: the font set), loaded when the window's text
 * size changes; false when there is none to draw or measure with. */
bool window_face(int wn, int f, text_face *face)
{
    if (f != Pc[wn].font_size && select_font(wn, f) < 0)
        return false;
    const pc_window &w = Pc[wn];
    if (f == 0 && !w.fontset)
        return false;
    face->font = f == 0 ? nullptr : w.font;
    face->fontset = f == 0 ? w.fontset : nullptr;
    face->line = f == 0 ? w.fontset_height
                        : static_cast<unsigned short>(w.font->ascent + w.font->descent);
    return true;
}

/* One line segment of horizontal text at the baseline start (x, y). */
int draw_segment(int wn, const text_face &face, int x, int y, const char *s, int n)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [&](Drawable d) { draw_face_text(d, gc, face, x, y, s, n); });
}

int face_advance(const text_face &face, const char *s, int n)
{
    return face.font ? XTextWidth(face.font, s, n) : XmbTextEscapement(face.fontset, s, n);
}

/* Bytes of the character at s: one in a core font, the locale's length
 * in a font set (a byte that starts no character counts alone). */
int character_bytes(const text_face &face, const char *s, int n, mbstate_t *state)
{
    if (face.font)
        return 1;
    const size_t k = mbrlen(s, static_cast<size_t>(n), state);
    if (k == 0 || k > static_cast<size_t>(n)) {
        *state = mbstate_t{};
        return 1;
    }
    return static_cast<int>(k);
}

long long text_advance(const text_face &face, const char *s, int n)
{
    long long total = 0;
    while (n > 0) {
        int advance;
        const int k = text_piece(face, s, n, &advance);
        total += advance;
        s += k;
        n -= k;
    }
    return total;
}

/* Xlib's name list parser reads before its buffer when the list starts
 * with a comma, and frees memory it does not own when the list is empty or
 * blank, so such a list never reaches it: leading separators are skipped,
 * and a list with no name left is a name no server has (the usual fallback
 * follows).  Xlib tests blanks with isspace() in the same locale. */
const char *first_base_name(const char *names)
{
    while (*names == ',' || isspace(static_cast<unsigned char>(*names)))
        names++;
    return names;
}

} // namespace

void draw_face_text(Drawable d, GC gc, const text_face &face, int x, int y, const char *s, int n)
{
    if (face.font)
        XDrawString(Pc_dis, d, gc, x, y, s, n);
    else
        XmbDrawString(Pc_dis, d, face.fontset, gc, x, y, s, n);
}

XRectangle face_ink(const text_face &face, const char *s, int n)
{
    XRectangle r{};
    if (face.font) {
        int direction, ascent, descent;
        XCharStruct c;
        XTextExtents(face.font, s, n, &direction, &ascent, &descent, &c);
        r.x = c.lbearing;
        r.y = static_cast<short>(-c.ascent);
        r.width = static_cast<unsigned short>(std::max(c.rbearing - c.lbearing, 0));
        r.height = static_cast<unsigned short>(std::max(c.ascent + c.descent, 0));
    } else {
        XRectangle logical;
        XmbTextExtents(face.fontset, s, n, &r, &logical);
    }
    return r;
}

int text_piece(const text_face &face, const char *s, int n, int *advance)
{
    const long long widest = face.font ? face.font->max_bounds.width
                                       : XExtentsOfFontSet(face.fontset)->max_logical_extent.width;
    if (n * std::max(widest, 1LL) <= Piece_width) {
        *advance = face_advance(face, s, n);
        return n;
    }
    mbstate_t state{};
    int k = 0, along = 0;
    while (k < n) {
        const int bytes = character_bytes(face, s + k, n - k, &state);
        const int a = face_advance(face, s + k, bytes);
        if (k > 0 && along + a > Piece_width)
            break;
        k += bytes;
        along += a;
    }
    *advance = along;
    return k;
}

/* Font sets are shared by every window of the process; callers may ask for
 * theirs before every string, so a repeat never reaches the server.  A name
 * the server cannot satisfy is remembered too (with no set), or every
 * repeat of it would cost a round of font listing.  The newest sets are
 * looked at first: a program tends to use the set it asked for last. */
XFontSet get_fontset(const char *names)
{
    for (int i = Pc_nfscache - 1; i >= 0; i--)
        if (strcmp(Pc_fscache[i].name, names) == 0)
            return Pc_fscache[i].fontset;
    char **missing = nullptr;
    int nmissing = 0;
    char *def = nullptr;
    const char *list = first_base_name(names);
    XFontSet fs = *list ? XCreateFontSet(Pc_dis, list, &missing, &nmissing, &def) : nullptr;
    if (!fs && missing) {
        XFreeStringList(missing);
        missing = nullptr;
    }
    Pc_fscache = static_cast<fontset_entry *>(
        _kova_xrealloc(Pc_fscache, sizeof(fontset_entry) * static_cast<size_t>(Pc_nfscache + 1)));
    Pc_fscache[Pc_nfscache++] = {_kova_xstrdup(names), fs, missing};
    return fs;
}

void free_fontset_cache(void)
{
    for (int i = 0; i < Pc_nfscache; i++) {
        free(Pc_fscache[i].name);
        if (Pc_fscache[i].fontset)
            XFreeFontSet(Pc_dis, Pc_fscache[i].fontset);
        if (Pc_fscache[i].missing)
            XFreeStringList(Pc_fscache[i].missing);
    }
    free(Pc_fscache);
    Pc_fscache = nullptr;
    Pc_nfscache = 0;
}

void free_fixed_fonts(void)
{
    for (XFontStruct *&font : Fixed_fonts)
        if (font) {
            XFreeFont(Pc_dis, font);
            font = nullptr;
        }
}

/* The requested set, else the default, else "fixed" at 14 pixels. */
int set_fontset(int wn, const char *names)
{
    pc_window &w = Pc[wn];
    int result = 0;
    XFontSet fs = get_fontset(names);
    for (const char *alt : {Default_fontset, Fallback_fontset}) {
        if (fs)
            break;
        result = 1;
        if (strcmp(alt, names) != 0)
            fs = get_fontset(alt);
    }
    w.fontset = fs;
    if (!fs)
        return -1;
    w.fontset_height =
        static_cast<unsigned short>(XExtentsOfFontSet(fs)->max_logical_extent.height);
    return result;
}

static int setfontsetv(int wn, const char *fmt, va_list ap)
{
    if (!window_is_open(wn))
        return -1;
    if (!fmt)
        return set_fontset(wn, Default_fontset);
    formatted names(fmt, ap);
    return set_fontset(wn, names.get());
}

extern "C" KOVA_API int kova_newfontset(int wn, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int r = setfontsetv(wn, fmt, ap);
    va_end(ap);
    return r;
}

extern "C" KOVA_API int kova_gsetfontset(int wn, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int r = setfontsetv(wn, fmt, ap);
    va_end(ap);
    return r;
}

int text_font_size(double size)
{
    if (size < 1)
        return 0;
    if (!(size <= 24))  /* also NaN */
        return 24;
    return static_cast<int>(size);
}

/* The bytes of a text: up to nchar (negative: all), ending at a NUL. */
static size_t text_length(const char *text, int nchar)
{
    return nchar < 0 ? strlen(text) : strnlen(text, static_cast<size_t>(nchar));
}

/* The text renderer.  Line feeds start a new line one line height further
 * down the text (lower on the screen when it is horizontal), carriage
 * returns go back to the start of the same line; a NUL ends the text even
 * within nchar characters.  Horizontal text is the server's own; turned
 * text is made by text_rotation.cpp. */
void draw_text(int wn, double x, double y, double size, double theta, const char *text,
               int nchar)
{
    text_turn turn;
    if (!text_turn_of(theta, &turn))
        return;
    int px, py;
    xyconv(wn, x, y, &px, &py);
    const int f = text_font_size(size);
    wait_child();
    text_face face;
    if (!window_face(wn, f, &face) || !text || nchar == 0)
        return;
    const char *p = text;
    const char *end = text + text_length(text, nchar);
    long line = 0;
    bool shown = false;
    while (p < end) {
        const char *stop = p;
        while (stop < end && *stop != '\n' && *stop != '\r')
            stop++;
        const int n = static_cast<int>(stop - p);
        if (n > 0 && turn.degrees == 0) {
            const long base = std::min(std::max(py + line * face.line, -32768L), 32767L);
            shown = draw_segment(wn, face, px, static_cast<int>(base), p, n) == 1;
        } else if (n > 0) {
            const double down = static_cast<double>(line) * static_cast<double>(face.line);
            shown = draw_turned_run(wn, face, turn, px + down * turn.s, py + down * turn.c, p, n) ||
                    shown;
        }
        if (stop == end)
            break;
        if (*stop == '\n')
            line++;
        p = stop + 1;
    }
    if (shown)
        do_auto_flush();
}

/* The extent of a text as drawing lays it out: the advance of its widest
 * line and the height of its lines, in the window's user units. */
void text_extent(int wn, double size, const char *text, int nchar, double *width, double *height)
{
    long long widest = 0, lines = 0;
    text_face face;
    const size_t n = text && nchar != 0 ? text_length(text, nchar) : 0;
    if (n > 0 && window_face(wn, text_font_size(size), &face)) {
        lines = 1;
        for (const char *p = text, *end = text + n; p < end;) {
            const char *stop = p;
            while (stop < end && *stop != '\n' && *stop != '\r')
                stop++;
            widest = std::max(widest, text_advance(face, p, static_cast<int>(stop - p)));
            if (stop < end && *stop == '\n')
                lines++;
            p = stop + 1;
        }
        lines *= face.line;
    }
    const pc_window &w = Pc[wn];
    if (width)
        *width = static_cast<double>(widest) / std::fabs(w.scale_x);
    if (height)
        *height = static_cast<double>(lines) / std::fabs(w.scale_y);
}

KOVA_FORTRAN void drawstr_(int *wn, float *x, float *y, float *size, const char *text,
                           float *theta, int *nchar)
{
    if (window_is_open(*wn))
        draw_text(*wn, *x, *y, *size, *theta, text, *nchar);
}

/* The printf-style text of an entry point on window wn, handed to
 * use(text, length); the length, or -1 when the window is not open or
 * there is no format. */
template <class Use>
static int with_text(int wn, const char *fmt, va_list ap, Use use)
{
    if (!window_is_open(wn) || !fmt)
        return -1;
    formatted text(fmt, ap);
    use(text.get(), text.length());
    return text.length();
}

/* The user point keeps its double precision: a label lands exactly where a
 * symbol or line drawn at the same point does. */
extern "C" KOVA_API int kova_drawstr(int wn, double x, double y, int size, double theta,
                                     const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const int n = with_text(wn, fmt, ap, [&](const char *text, int length) {
        draw_text(wn, x, y, size, theta, text, length);
    });
    va_end(ap);
    return n;
}

extern "C" KOVA_API int kova_gettextextent(int wn, int size, double *width, double *height,
                                           const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const int n = with_text(wn, fmt, ap, [&](const char *text, int length) {
        text_extent(wn, size, text, length, width, height);
    });
    va_end(ap);
    return n;
}

/* The number formatter: ndec >= 1 decimals, 0 a whole number with its
 * point, -1 without it, and below -1 also drops -ndec - 1 digits before
 * the point.  The text stays valid until the next call.  A float has at
 * most Float_decimals places (2^-149 has exactly that many), so more would
 * only add zeros, while a precision near INT_MAX makes the C library build
 * gigabytes of them. */
char *rtoc(const float *value, const int *ndec)
{
    constexpr int Float_decimals = 149;
    static char *last = nullptr;
    const int n = std::min(*ndec, Float_decimals);
    float v = *value;
    if (n < -1)
        v = static_cast<float>(v * std::pow(10.0, static_cast<double>(n) + 1));
    /* "%.<n>f" for every int n fits easily. */
    char format[32];
    if (n >= 1)
        snprintf(format, sizeof format, "%%.%df", n);
    else
        snprintf(format, sizeof format, "%s", n == 0 ? "%.0f." : "%.0f");
    free(last);
    last = _kova_asprintf(format, static_cast<double>(v));
    return last;
}
