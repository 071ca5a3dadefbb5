/*
 * x8a.h - the steps of the demonstration program x8a, shared by its main()
 * and by the test that checks its picture.
 *
 * Every step draws through the public kova_ entry points only.  Loop
 * counters are doubles counting from 1.0; a loop with limit L runs L - 1
 * times.  Colours and positions come from rand() without a seed, always
 * drawn in the order red, green, blue, x, y, so every run draws the same
 * picture on a given system.
 */
#ifndef X8A_H
#define X8A_H

#ifdef __cplusplus
extern "C" {
#endif

#define X8A_WIDTH 1024
#define X8A_HEIGHT 768
#define X8A_WINDOW_NAME " Draw Test VelmorinTeck "
#define X8A_FONTSET_PATTERN "-*-fixed-medium-r-normal--%d-*-*-*-*-*-*-*"
#define X8A_LATIN_TEXT "Velmorin Tech "
#define X8A_LIMIT 100000.0 /* 99,999 shapes or strings per step */
#define X8A_LAST_PASS 9.0  /* sweep passes run while the counter is at most this */

/* The company name in seven katakana, then a blank: 15 bytes of EUC-JP,
 * 16 with the terminating zero. */
#define X8A_JAPANESE_TEXT \
    "\xa5\xd9" /* be */ \
    "\xa5\xeb" /* ru */ \
    "\xa5\xe2" /* mo */ \
    "\xa5\xea" /* ri */ \
    "\xa5\xf3" /* n  */ \
    "\xa5\xc6" /* te */ \
    "\xa5\xaf" /* ku */ \
    " "

/* One pass of radial lines from the centre to every border position
 * (3,580 lines, each in a fresh random colour). */
void x8a_sweep_pass(int win);
/* Filled circles of the given radius at random positions. */
void x8a_circles(int win, double radius, double limit);
/* Filled 60 x 30 rectangles at random positions. */
void x8a_rectangles(int win, double limit);
/* "Velmorin Tech " through the font set of the given pixel size, which is
 * set again before every string. */
void x8a_latin_strings(int win, int size, double limit);
/* The katakana text in the 48-pixel font set, in greys n % 255. */
void x8a_japanese_strings(int win, double limit);

#ifdef __cplusplus
}
#endif

#endif /* X8A_H */
