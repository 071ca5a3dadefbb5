/*
 * strokes.cpp - the stroke font and the marker symbols.
 *
 * Every shape is a string of strokes separated by blanks, each stroke a
 * run of points of two digits (x then y).  A character lies on a grid 4
 * wide with the baseline at y = 2, capitals up to 8, descenders down to 0;
 * it advances 6, so that a character is as wide, with its space, as the
 * capitals are tall.  A marker lies on a grid 0 to 8 centred on (4, 4).
 */
#include "plotter.h"

#include <cmath>
#include <vector>

namespace plotter {

namespace {

constexpr int First_char = 32, Last_char = 126;

constexpr const char *Glyphs[Last_char - First_char + 1] = {
    "",                                 /*   */
    "2824 2223",                        /* ! */
    "1817 3837",                        /* " */
    "1812 3832 0646 0444",              /* # */
    "473818070615354443321203 2921",    /* $ */
    "0248 0818170708 3343423233",       /* % */
    "42161728373603122244",             /* & */
    "2827",                             /* ' */
    "38272332",                         /* ( */
    "18272312",                         /* ) */
    "2723 0644 0446",                   /* * */
    "2723 0545",                        /* + */
    "232211",                           /* , */
    "0545",                             /* - */
    "2223",                             /* . */
    "0248",                             /* / */
    "120307183847433212 1337",          /* 0 */
    "172822 1232",                      /* 1 */
    "07183847460242",                   /* 2 */
    "0718384746354443321203 1535",      /* 3 */
    "32380444",                         /* 4 */
    "480805354443321203",               /* 5 */
    "4738180703123243443505",           /* 6 */
    "084812",                           /* 7 */
    "15060718384746351504031232434435", /* 8 */
    "0312324347381807061545",           /* 9 */
    "2625 2322",                        /* : */
    "2625 232211",                      /* ; */
    "480542",                           /* < */
    "0646 0444",                        /* = */
    "084502",                           /* > */
    "07183847462524 2223",              /* ? */
    "4347381807031242 362615243436",    /* @ */
    "0206284642 0444",                  /* A */
    "02083847463505 3544433202",        /* B */
    "4738180703123243",                 /* C */
    "02082846442202",                   /* D */
    "48080242 0535",                    /* E */
    "480802 0535",                      /* F */
    "47381807031232434525",             /* G */
    "0208 4842 0545",                   /* H */
    "1838 2822 1232",                   /* I */
    "4843321203",                       /* J */
    "0208 4804 1542",                   /* K */
    "080242",                           /* L */
    "0208254842",                       /* M */
    "02084248",                         /* N */
    "120307183847433212",               /* O */
    "02083847463505",                   /* P */
    "120307183847433212 2341",          /* Q */
    "02083847463505 2542",              /* R */
    "473818070615354443321203",         /* S */
    "0848 2822",                        /* T */
    "080312324348",                     /* U */
    "082248",                           /* V */
    "0812253248",                       /* W */
    "0842 0248",                        /* X */
    "082548 2522",                      /* Y */
    "08480242",                         /* Z */
    "38181232",                         /* [ */
    "0842",                             /* \ */
    "18383212",                         /* ] */
    "062846",                           /* ^ */
    "0141",                             /* _ */
    "1827",                             /* ` */
    "16364542 441403123243",            /* a */
    "0802 0516364543321203",            /* b */
    "4536160503123243",                 /* c */
    "4842 4536160503123243",            /* d */
    "04444536160503123243",             /* e */
    "38281712 0636",                    /* f */
    "4641301001 4536160504133344",      /* g */
    "0802 0516364542",                  /* h */
    "2622 2728",                        /* i */
    "3631201001 3738",                  /* j */
    "0802 3603 1442",                   /* k */
    "18282332",                         /* l */
    "0602 05162522 25364542",           /* m */
    "0602 0516364542",                  /* n */
    "120305163645433212",               /* o */
    "0600 0516364543321203",            /* p */
    "4640 4536160503123243",            /* q */
    "0602 04263645",                    /* r */
    "45361605143443321203",             /* s */
    "18132232 0636",                    /* t */
    "0603123243 4642",                  /* u */
    "062246",                           /* v */
    "0612243246",                       /* w */
    "0642 0246",                        /* x */
    "0622 4610",                        /* y */
    "06464202",                         /* z */
    "38272615242332",                   /* { */
    "2820",                             /* | */
    "18272635242312",                   /* } */
    "0617263546",                       /* ~ */
};

/* 0 square, 1 octagon, 2 triangle, 3 plus, 4 X, 5 diamond, 6 arrow, 7 X
 * with a bar, 8 Z, 9 Y, 10 square with an X, 11 star, 12 hourglass,
 * 13 bar. */
constexpr const char *Markers[] = {
    "0080880800",           "206082866828060220", "00804800", "4048 0484",  "0088 0880",
    "4084480440",           "4048 264866",        "0088 0880 0888", "08880080", "084488 4440",
    "0080880800 0088 0880", "0088 0880 4048",     "0088088000", "4048",
};
constexpr int Marker_count = sizeof Markers / sizeof Markers[0];

/* Grid point (gx, gy) of a shape whose grid point `centre` lies at `at`,
 * `unit` inches per grid step, turned by `degrees`. */
struct frame {
    point at;
    double ux, uy;  /* one grid step along the baseline */
    frame(point p, double unit, double degrees)
        : at(p), ux(unit * std::cos(degrees * M_PI / 180)), uy(unit * std::sin(degrees * M_PI / 180))
    {
    }
    point place(double gx, double gy) const
    {
        return {at.x + gx * ux - gy * uy, at.y + gx * uy + gy * ux};
    }
};

void draw_shape(const frame &f, const char *shape, double dx, double dy)
{
    std::vector<point> run;
    for (const char *s = shape;;) {
        if (s[0] >= '0' && s[0] <= '9' && s[1] >= '0' && s[1] <= '9') {
            run.push_back(f.place(s[0] - '0' + dx, s[1] - '0' + dy));
            s += 2;
            continue;
        }
        stroke(run.data(), static_cast<int>(run.size()));
        run.clear();
        if (*s++ == '\0')
            return;
    }
}

const char *glyph(int c)
{
    return c >= First_char && c <= Last_char ? Glyphs[c - First_char] : nullptr;
}

} // namespace

point draw_text(point at, double height, double degrees, const std::string &text)
{
    const frame f(at, height / 6, degrees);
    const one_flush batch;
    int i = 0;
    for (unsigned char c : text) {
        if (const char *g = glyph(c))
            draw_shape(f, g, 6.0 * i, -2.0);
        i++;
    }
    return f.place(6.0 * i, 0);
}

bool draw_marker(point at, double height, double degrees, int code)
{
    const one_flush batch;
    if (code >= 0 && code < Marker_count) {
        draw_shape(frame(at, height / 8, degrees), Markers[code], -4.0, -4.0);
        return true;
    }
    if (const char *g = glyph(code)) {
        draw_shape(frame(at, height / 6, degrees), g, -2.0, -5.0);
        return true;
    }
    return false;
}

} // namespace plotter
