// allocation_count.hpp - for the one source file of a benchmark program
// that counts allocations: it stands in for malloc and its relatives, so
// that every allocation of the process is counted while Counting is set,
// the library's and Xlib's alike.  The sanitizers' own allocator rules it
// out.
#pragma once

#include <cstddef>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}
static bool Counting = false;
static long Allocations = 0;
extern "C" void *malloc(size_t n)
{
    Allocations += Counting;
    return __libc_malloc(n);
}
extern "C" void *calloc(size_t n, size_t s)
{
    Allocations += Counting;
    return __libc_calloc(n, s);
}
extern "C" void *realloc(void *p, size_t n)
{
    Allocations += Counting;
    return __libc_realloc(p, n);
}
extern "C" void free(void *p) { __libc_free(p); }
