/*
 * image_save.cpp - the child executable's image-saving mode ("2").
 *
 * The library starts this mode with everything on the command line: the
 * colour model, the command window, a layer's pixmap, an area, the levels
 * per channel, the output file and an optional converter.  It acknowledges
 * at once, so the library goes on, then reads the area through its own X
 * connection and writes it as a P6 stream into the file, into "convert"
 * or through a filter program.  The library holds back every change of a
 * layer until this process has ended.
 */
#include "image_save.h"

#include "kova_ack.h"
#include "pnm.h"
#include "sigchld_held.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

/* Argument positions on the command line. */
enum {
    arg_ppid = 2,
    arg_cmap,
    arg_red_depth,
    arg_green_depth,
    arg_blue_depth,
    arg_red_sft,
    arg_green_sft,
    arg_blue_sft,
    arg_cmd_win,
    arg_pixmap,
    arg_x,
    arg_y,
    arg_width,
    arg_height,
    arg_levels,
    arg_file,
    arg_converter,
};

volatile sig_atomic_t Cpid = 0;

void chldexithandler(int)
{
    int saved = errno;
    if (Cpid > 0 && waitpid(Cpid, nullptr, WNOHANG) == Cpid)
        Cpid = 0;
    errno = saved;
}

void set_signal(int sig, void (*handler)(int), int flags)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = flags;
    sigaction(sig, &sa, nullptr);
}

void sleep_10ms()
{
    const timespec t = {0, 10 * 1000 * 1000};
    nanosleep(&t, nullptr);
}

/* One failure message; the run then ends with status 1 after clean-up. */
struct failed {
    const char *message;
};

bool is_convert(const char *word)
{
    return std::strcmp(word, "convert") == 0 || std::strcmp(word, "convert.exe") == 0;
}

/* Starts words (execvp) reading the pipe; out_fd, when not -1, becomes its
 * standard output.  Returns the stream that feeds it. */
FILE *start_converter(char *const words[], int out_fd)
{
    int fds[2];
    if (pipe(fds) != 0) {
        if (out_fd >= 0)
            close(out_fd);
        throw failed{"kova: [ERROR] pipe() failed.\n"};
    }
    sigchld_held held;
    pid_t pid = fork();
    if (pid == 0) {
        held.restore();
        set_signal(SIGPIPE, SIG_DFL, 0);
        dup2(fds[0], STDIN_FILENO);
        if (out_fd >= 0) {
            dup2(out_fd, STDOUT_FILENO);
            close(out_fd);
        }
        close(fds[0]);
        close(fds[1]);
        execvp(words[0], words);
        std::fprintf(stderr, "kova: [ERROR] Cannot exec '%s'.\n", words[0]);
        _exit(-1);
    }
    Cpid = pid > 0 ? pid : 0;
    held.restore();
    close(fds[0]);
    if (out_fd >= 0)
        close(out_fd);
    if (pid < 0) {
        close(fds[1]);
        throw failed{"kova: [ERROR] fork() failed.\n"};
    }
    FILE *fp = fdopen(fds[1], "wb");
    if (!fp) {
        close(fds[1]);
        throw failed{"kova: [ERROR] Pipe connection failed.\n"};
    }
    return fp;
}

FILE *open_output(char **argv)
{
    const char *file = argv[arg_file];
    char **words = argv + arg_converter;
    if (!words[0]) {
        FILE *fp = std::fopen(file, "wb");
        if (!fp)
            throw failed{"kova: [ERROR] Cannot create a file.\n"};
        return fp;
    }
    if (is_convert(words[0])) {
        std::vector<char *> args;
        for (char **w = words; *w; w++)
            args.push_back(*w);
        args.push_back(const_cast<char *>("PPM:-"));
        args.push_back(argv[arg_file]);
        args.push_back(nullptr);
        return start_converter(args.data(), -1);
    }
    int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw failed{"kova: [ERROR] Cannot create a file.\n"};
    return start_converter(words, fd);
}

/* The 16-bit colours of a colormapped screen: the last 64 pixel values
 * asked about, searched from the most recent hit. */
class colour_cache {
    static constexpr int size = 64;
    XColor entries_[size];
    int count_ = 0, first_ = 0, newest_ = 0, hit_ = 0;
    Display *dis_;
    Colormap cmap_;

public:
    colour_cache(Display *dis, Colormap cmap) : dis_(dis), cmap_(cmap)
    {
        first_ = newest_ = hit_ = size - 1;
        entries_[newest_].pixel = 0;
        XQueryColor(dis_, cmap_, &entries_[newest_]);
        count_ = 1;
    }
    const XColor &lookup(unsigned long pixel)
    {
        for (int k = 0; k < count_; k++) {
            int i = first_ + (hit_ - first_ + k) % count_;
            if (entries_[i].pixel == pixel) {
                hit_ = i;
                return entries_[i];
            }
        }
        newest_ = newest_ == 0 ? size - 1 : newest_ - 1;
        if (count_ < size) {
            count_++;
            first_ = newest_;
        }
        entries_[newest_].pixel = pixel;
        XQueryColor(dis_, cmap_, &entries_[newest_]);
        hit_ = newest_;
        return entries_[newest_];
    }
};

unsigned long pixel_at(const XImage *img, int x, int y)
{
    int bytes = img->bits_per_pixel / 8;
    const auto *p = reinterpret_cast<const unsigned char *>(img->data) +
                    static_cast<size_t>(y) * static_cast<size_t>(img->bytes_per_line) +
                    static_cast<size_t>(x) * static_cast<size_t>(bytes);
    unsigned long v = 0;
    if (img->byte_order == MSBFirst)
        for (int i = 0; i < bytes; i++)
            v = v << 8 | p[i];
    else
        for (int i = bytes - 1; i >= 0; i--)
            v = v << 8 | p[i];
    return v;
}

struct channel {
    unsigned long mask;
    int shift, depth;
    unsigned int component(unsigned long pixel) const
    {
        return static_cast<unsigned int>(((pixel & mask) >> shift) << (16 - depth)) & 0xffff;
    }
};

channel make_channel(const char *depth, const char *shift)
{
    channel c;
    c.depth = std::atoi(depth);
    c.shift = std::atoi(shift);
    if (c.depth < 0 || c.depth > 16 || c.shift < 0 || c.shift > 47)
        c.depth = c.shift = 0;
    c.mask = c.depth ? (0xffffUL >> (16 - c.depth)) << c.shift : 0;
    return c;
}

/* Writes the area as P6 rows; false when the stream refused bytes. */
bool write_area(Display *dis, char **argv, const XImage *img, FILE *fp)
{
    const int w = img->width, h = img->height;
    const int levels = pnm_clamp_levels(std::atoi(argv[arg_levels]));
    const channel red = make_channel(argv[arg_red_depth], argv[arg_red_sft]);
    const channel green = make_channel(argv[arg_green_depth], argv[arg_green_sft]);
    const channel blue = make_channel(argv[arg_blue_depth], argv[arg_blue_sft]);
    const bool masks = red.mask || green.mask || blue.mask;
    std::unique_ptr<colour_cache> cache;
    if (!masks)
        cache = std::make_unique<colour_cache>(dis, std::strtoul(argv[arg_cmap], nullptr, 10));
    std::vector<unsigned char> row(3 * static_cast<size_t>(w));
    bool ok = write_ppm_header(fp, w, h, levels);
    for (int y = 0; ok && y < h; y++) {
        unsigned char *o = row.data();
        for (int x = 0; x < w; x++, o += 3) {
            unsigned long pixel = pixel_at(img, x, y);
            unsigned int r, g, b;
            if (masks) {
                r = red.component(pixel);
                g = green.component(pixel);
                b = blue.component(pixel);
            } else {
                const XColor &c = cache->lookup(pixel);
                r = c.red;
                g = c.green;
                b = c.blue;
            }
            o[0] = pnm_scale(r >> 8, levels);
            o[1] = pnm_scale(g >> 8, levels);
            o[2] = pnm_scale(b >> 8, levels);
        }
        ok = std::fwrite(row.data(), 1, row.size(), fp) == row.size();
    }
    return ok;
}

/* The run after the acknowledgement; throws the failure to report. */
void save(Display *dis, char **argv)
{
    FILE *fp = open_output(argv);
    int x = std::atoi(argv[arg_x]), y = std::atoi(argv[arg_y]);
    int w = std::atoi(argv[arg_width]), h = std::atoi(argv[arg_height]);
    XImage *img = nullptr;
    if (w > 0 && h > 0)
        img = XGetImage(dis, std::strtoul(argv[arg_pixmap], nullptr, 10), x, y,
                        static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    XFlush(dis);
    bool ok = img && img->bits_per_pixel >= 8 && write_area(dis, argv, img, fp);
    ok = std::fclose(fp) == 0 && ok;
    if (img)
        XDestroyImage(img);
    while (Cpid > 0)
        sleep_10ms();
    if (!ok)
        throw failed{nullptr};
}

/* A pixmap that has gone (its owner ended) makes the read fail: the run
 * ends with status 1 instead of Xlib's report. */
int error_seen(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

int image_mode(int argc, char **argv)
{
    if (argc <= arg_file) {
        std::fputs("kova: [ERROR] Invalid arguments.\n", stderr);
        return 1;
    }
    set_signal(SIGINT, SIG_IGN, 0);
    /* A converter that ended early makes the writes fail, not this run. */
    set_signal(SIGPIPE, SIG_IGN, 0);
    set_signal(SIGCHLD, chldexithandler, SA_NOCLDSTOP | SA_RESTART);

    Display *dis = XOpenDisplay(nullptr);
    if (!dis) {
        std::fputs("kova: [ERROR] Cannot open display.\n", stderr);
        return 1;
    }
    XSetErrorHandler(error_seen);
    send_ack(dis, std::strtoul(argv[arg_cmd_win], nullptr, 10));
    int status = 0;
    try {
        save(dis, argv);
    } catch (const failed &f) {
        if (f.message)
            std::fputs(f.message, stderr);
        status = 1;
    }
    XCloseDisplay(dis);
    return status;
}
