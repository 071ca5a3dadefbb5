// The font set text loop (a colour, the font set asked for again, a
// string) at sizes 14, 16 and 48 allocates nothing once its sets exist.
// Every allocation of the process is counted: this program replaces
// malloc and its relatives (or, under AddressSanitizer, hooks its
// allocator), which is why it is a program of its own.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Counting = false;
long Allocations = 0;

void count_one()
{
    if (Counting)
        Allocations++;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The runtime's own declaration (g++ ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void *, size_t), void (*free_hook)(const volatile void *));

namespace {

void on_malloc(const volatile void *, size_t)
{
    count_one();
}

void on_free(const volatile void *) {}

const int Hooks_installed = __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);

} // namespace
#else
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);

void *malloc(size_t n)
{
    count_one();
    return __libc_malloc(n);
}

void *calloc(size_t n, size_t size)
{
    count_one();
    return __libc_calloc(n, size);
}

void *realloc(void *p, size_t n)
{
    count_one();
    return __libc_realloc(p, n);
}

void free(void *p)
{
    __libc_free(p);
}
}
#endif

namespace {

const char *const Pattern = "-*-fixed-medium-r-normal--%d-*-*-*-*-*-*-*";
const char *const Latin = "Velmorin Tech ";
const char *const Katakana = "\xa5\xd9\xa5\xeb\xa5\xe2\xa5\xea\xa5\xf3\xa5\xc6\xa5\xaf ";

// n rounds of the loop, counting the allocations made in them.
long allocations_in(int wn, int size, const char *text, int n)
{
    Allocations = 0;
    Counting = true;
    for (int i = 0; i < n; i++) {
        kova_newrgbcolor(wn, i % 255, 255 - i % 255, 128);
        kova_gsetfontset(wn, Pattern, size);
        // The text stands as its own format (no conversions); the unused
        // argument lets the compiler accept a format that is no literal.
        kova_drawstr(wn, 10.0 + i % 300, 10.0 + i % 200, 0, 0.0, text, 0);
    }
    Counting = false;
    return Allocations;
}

TEST(TextLoop, AllocatesNothingAtSizes14_16And48)
{
    // Japanese text where the EUC-JP locale exists, as x8a draws it (the
    // library takes its locale from the environment when it starts).
    std::string saved = setlocale(LC_CTYPE, nullptr);
    const bool japanese = setlocale(LC_CTYPE, "ja_JP.eucJP") != nullptr;
    setlocale(LC_CTYPE, saved.c_str());
    if (japanese)
        setenv("LC_ALL", "ja_JP.eucJP", 1);
    {
        kt::OpenWindow win(400, 300);
        const int wn = win.wn();
        // The counter sees allocations: the sets' first use makes some.
        Allocations = 0;
        Counting = true;
        kova_gsetfontset(wn, Pattern, 14);
        Counting = false;
        EXPECT_GT(Allocations, 0) << "allocations are not being counted";
        kova_gsetfontset(wn, Pattern, 16);
        kova_gsetfontset(wn, Pattern, 48);
        for (int size : {14, 16, 48}) {
            const char *text = size == 48 && japanese ? Katakana : Latin;
            allocations_in(wn, size, text, 2);
            const std::vector<unsigned long> before = kt::area(win.layer(), 0, 0, 400, 300);
            EXPECT_EQ(allocations_in(wn, size, text, 500), 0) << "size " << size;
            EXPECT_NE(kt::area(win.layer(), 0, 0, 400, 300), before) << "size " << size;
        }
        EXPECT_EQ(Pc_nfscache, 3) << "one set for each size";
    }
    kova_gcloseall();
    unsetenv("LC_ALL");
    setlocale(LC_CTYPE, saved.c_str());
}

} // namespace
