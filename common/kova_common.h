/*
 * kova_common.h - the utilities that the library and its window child
 * both build from: messages in the house style, allocation that ends the
 * process when memory runs out, and owners of malloc'ed memory,
 * descriptors and streams.
 *
 * Each side supplies two things of its own: its message prefix
 * (Kova_message_prefix, "KOVA" in the library, "kova" in the child) and the
 * way it leaves on a fatal error (_kova_fatal_exit).
 */
#ifndef KOVA_COMMON_H
#define KOVA_COMMON_H

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#if defined(__GNUC__)
#define KOVA_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define KOVA_FORMAT(f, a)
#endif

/* ---- supplied by each side --------------------------------------------- */
extern const char Kova_message_prefix[];
/* Leaves the process after a fatal error through the side's normal exit
 * path, so that its exit handling (stopping children, removing files)
 * still runs. */
[[noreturn]] void _kova_fatal_exit(void);

/* ---- messages -------------------------------------------------------- */
/* "<prefix>: [WARNING] text\n" and "<prefix>: [ERROR] text\n" on stderr,
 * written in one piece; the format carries no newline. */
void _kova_warn(const char *format, ...) KOVA_FORMAT(1, 2);
void _kova_error(const char *format, ...) KOVA_FORMAT(1, 2);
/* The error, then _kova_fatal_exit(). */
[[noreturn]] void _kova_fatal(const char *format, ...) KOVA_FORMAT(1, 2);

/* ---- allocation: failure is fatal ------------------------------------ */
void *_kova_xmalloc(size_t size);
void *_kova_xrealloc(void *ptr, size_t size);
char *_kova_xstrdup(const char *s);

/* ---- owners ---------------------------------------------------------- */
struct free_deleter {
    void operator()(void *p) const { std::free(p); }
};
/* The one owner of malloc'ed memory. */
template <class T>
using malloc_ptr = std::unique_ptr<T, free_deleter>;
using malloc_str = malloc_ptr<char>;

/* A descriptor or stream closed when its owner goes out of scope, so that
 * no error branch closes anything by hand.  close() closes at once and
 * tells whether that succeeded (what a written stream needs to know);
 * release() hands the handle on without closing it. */
template <class Handle, Handle Empty, int (*Close)(Handle)>
class owned {
    Handle h_;

  public:
    explicit owned(Handle h = Empty) : h_(h) {}
    ~owned() { close(); }
    owned(owned &&o) noexcept : h_(o.release()) {}
    owned &operator=(owned &&o) noexcept
    {
        if (this != &o) {
            close();
            h_ = o.release();
        }
        return *this;
    }
    owned(const owned &) = delete;
    owned &operator=(const owned &) = delete;
    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Empty; }
    Handle release()
    {
        Handle h = h_;
        h_ = Empty;
        return h;
    }
    int close() { return h_ == Empty ? 0 : Close(release()); }
};

inline int close_descriptor(int fd) { return ::close(fd); }
inline int close_stream(FILE *fp) { return std::fclose(fp); }
using owned_fd = owned<int, -1, close_descriptor>;
using owned_file = owned<FILE *, nullptr, close_stream>;

#endif /* KOVA_COMMON_H */
