/*
 * text.cpp - text in fixed fonts and font sets, the font set cache, and
 * number formatting.
 */
#include "kova_private.h"

#include <cstring>

/* Font sets are shared by every window of the process; callers may ask for
 * theirs before every string, so a repeat never reaches the server. */
XFontSet get_fontset(const char *names)
{
    for (int i = 0; i < Pc_nfscache; i++)
        if (strcmp(Pc_fscache[i].name, names) == 0)
            return Pc_fscache[i].fontset;
    char **missing = nullptr;
    int nmissing = 0;
    char *def = nullptr;
    XFontSet fs = XCreateFontSet(Pc_dis, names, &missing, &nmissing, &def);
    if (!fs) {
        if (missing)
            XFreeStringList(missing);
        return nullptr;
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
        XFreeFontSet(Pc_dis, Pc_fscache[i].fontset);
        if (Pc_fscache[i].missing)
            XFreeStringList(Pc_fscache[i].missing);
    }
    free(Pc_fscache);
    Pc_fscache = nullptr;
    Pc_nfscache = 0;
}
