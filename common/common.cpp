/*
 * common.cpp - messages and allocation, the same code in the library and
 * in its window child.
 */
#include "kova_common.h"

#include <cstdarg>
#include <cstring>

namespace {

/* Formatted on the stack when short, so that a message costs no memory
 * and reaches stderr in one write even while memory is running out. */
void message(const char *level, const char *format, va_list ap)
{
    char small[512];
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(small, sizeof small, format, ap);
    const char *text = small;
    malloc_str large;
    if (n >= static_cast<int>(sizeof small)) {
        large.reset(static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1)));
        if (large) {
            std::vsnprintf(large.get(), static_cast<size_t>(n) + 1, format, again);
            text = large.get();
        }
    } else if (n < 0) {
        small[0] = '\0';
    }
    va_end(again);
    std::fprintf(stderr, "%s: [%s] %s\n", Kova_message_prefix, level, text);
}

} // namespace

void _kova_warn(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    message("WARNING", format, ap);
    va_end(ap);
}

void _kova_error(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    message("ERROR", format, ap);
    va_end(ap);
}

void _kova_fatal(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    message("ERROR", format, ap);
    va_end(ap);
    _kova_fatal_exit();
}

void *_kova_xmalloc(size_t size)
{
    void *p = std::malloc(size ? size : 1);
    if (!p)
        _kova_fatal("malloc() failed.");
    return p;
}

void *_kova_xrealloc(void *ptr, size_t size)
{
    void *p = std::realloc(ptr, size ? size : 1);
    if (!p)
        _kova_fatal("realloc() failed.");
    return p;
}

char *_kova_xstrdup(const char *s)
{
    char *p = strdup(s);
    if (!p)
        _kova_fatal("strdup() failed.");
    return p;
}
