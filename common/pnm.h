/*
 * pnm.h - what the library and its image-saving child share about the
 * portable pixmap (P6) and arbitrary map (P7) streams they write: the
 * levels per channel, the scaling of 8-bit samples to them, and the
 * headers.  Header-only, with no dependency on the rest of the library, so
 * that the child executable compiles it too.
 */
#ifndef KOVA_PNM_H
#define KOVA_PNM_H

#include <cstdio>

/* Levels per channel are kept within 2..256; the samples written are
 * 0..levels - 1 and the headers carry levels - 1 as the maximum value. */
constexpr int pnm_clamp_levels(int levels)
{
    return levels <= 1 ? 2 : levels >= 257 ? 256 : levels;
}

/* An 8-bit value s at the given number of levels: floor(s * levels / 256). */
constexpr unsigned char pnm_scale(unsigned int s, int levels)
{
    return static_cast<unsigned char>(s * static_cast<unsigned int>(levels) / 256);
}

/* True when every byte of the header reached the stream. */
inline bool write_ppm_header(FILE *fp, int width, int height, int levels)
{
    return std::fprintf(fp, "P6\n%d %d\n%d\n", width, height, levels - 1) > 0;
}

inline bool write_pam_header(FILE *fp, int width, int height, int alpha, int levels)
{
    return std::fprintf(fp, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nENDHDR\n", width,
                        height, alpha ? 4 : 3, levels - 1) > 0;
}

#endif /* KOVA_PNM_H */
