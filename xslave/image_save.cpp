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

#include "converter.h"
#include "kova_ack.h"
#include "kova_common.h"
#include "kova_protocol.h"
#include "pixel_decode.h"
#include "pnm.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

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

/* Starts words reading the pipe, with out (-1: inherited) as its standard
 * output; the stream that feeds it, or an empty one after the message. */
owned_file start_converter(char *const words[], int out, Display *dis)
{
    const converter_setup setup = {&Cpid,
                                   ConnectionNumber(dis),
                                   true,
                                   "Cannot exec '%s'.",
                                   "pipe() failed.",
                                   "fork() failed.",
                                   "Pipe connection failed."};
    converter_fault fault;
    return open_converter_stream(words, converter_end::input, out, setup, &fault);
}

/* The file itself, "convert" told the stream's format and the file, or a
 * filter whose output goes into the file. */
owned_file open_output(char **argv, Display *dis)
{
    char *file = argv[KOVA_SAVE_ARG_FILE];
    char **words = argv + KOVA_SAVE_ARG_CONVERTER;
    if (!words[0]) {
        owned_file fp(std::fopen(file, "wb"));
        if (!fp)
            _kova_error("Cannot create a file.");
        return fp;
    }
    if (is_convert_route(words[0])) {
        std::vector<char *> args;
        for (char **w = words; *w; w++)
            args.push_back(*w);
        args.push_back(const_cast<char *>("PPM:-"));
        args.push_back(file);
        args.push_back(nullptr);
        return start_converter(args.data(), -1, dis);
    }
    owned_fd out(open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out) {
        _kova_error("Cannot create a file.");
        return owned_file();
    }
    return start_converter(words, out.get(), dis);
}

/* A channel as the library passed it; nonsense reads as no channel. */
void channel_arg(const char *depth_arg, const char *shift_arg, int *depth, int *shift)
{
    *depth = std::atoi(depth_arg);
    *shift = std::atoi(shift_arg);
    if (*depth < 0 || *depth > 16 || *shift < 0 || *shift > 32 - *depth)
        *depth = *shift = 0;
}

/* Writes the area as P6 rows; false when the stream refused bytes. */
bool write_area(Display *dis, char **argv, const XImage *img, FILE *fp)
{
    const int w = img->width, h = img->height;
    const int levels = pnm_clamp_levels(std::atoi(argv[KOVA_SAVE_ARG_LEVELS]));
    visual_channels c;
    channel_arg(argv[KOVA_SAVE_ARG_RED_DEPTH], argv[KOVA_SAVE_ARG_RED_SHIFT], &c.red_depth,
                &c.red_shift);
    channel_arg(argv[KOVA_SAVE_ARG_GREEN_DEPTH], argv[KOVA_SAVE_ARG_GREEN_SHIFT], &c.green_depth,
                &c.green_shift);
    channel_arg(argv[KOVA_SAVE_ARG_BLUE_DEPTH], argv[KOVA_SAVE_ARG_BLUE_SHIFT], &c.blue_depth,
                &c.blue_shift);
    const bool masks = c.red_depth || c.green_depth || c.blue_depth;
    std::vector<unsigned char> pixels(4 * static_cast<size_t>(w) * static_cast<size_t>(h));
    decode_image(dis, std::strtoul(argv[KOVA_SAVE_ARG_CMAP], nullptr, 10), masks, c, img, w, h,
                 pixels.data());
    std::vector<unsigned char> row(3 * static_cast<size_t>(w));
    bool ok = write_ppm_header(fp, w, h, levels);
    const unsigned char *in = pixels.data();
    for (int y = 0; ok && y < h; y++) {
        unsigned char *o = row.data();
        for (int x = 0; x < w; x++, in += 4, o += 3) {
            o[0] = pnm_scale(in[1], levels);
            o[1] = pnm_scale(in[2], levels);
            o[2] = pnm_scale(in[3], levels);
        }
        ok = std::fwrite(row.data(), 1, row.size(), fp) == row.size();
    }
    return ok;
}

/* The run after the acknowledgement: true when the area was written and
 * a converter has ended. */
bool save(Display *dis, char **argv)
{
    owned_file fp = open_output(argv, dis);
    if (!fp)
        return false;
    int x = std::atoi(argv[KOVA_SAVE_ARG_X]), y = std::atoi(argv[KOVA_SAVE_ARG_Y]);
    int w = std::atoi(argv[KOVA_SAVE_ARG_WIDTH]), h = std::atoi(argv[KOVA_SAVE_ARG_HEIGHT]);
    XImage *img = nullptr;
    if (w > 0 && h > 0)
        img = XGetImage(dis, std::strtoul(argv[KOVA_SAVE_ARG_PIXMAP], nullptr, 10), x, y,
                        static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    XFlush(dis);
    bool ok = img && img->bits_per_pixel >= 8 && write_area(dis, argv, img, fp.get());
    ok = fp.close() == 0 && ok;
    if (img)
        XDestroyImage(img);
    while (Cpid > 0)
        sleep_10ms();
    return ok;
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
    if (argc <= KOVA_SAVE_ARG_FILE) {
        _kova_error("Invalid arguments.");
        return 1;
    }
    set_signal(SIGINT, SIG_IGN, 0);
    /* A converter that ended early makes the writes fail, not this run. */
    set_signal(SIGPIPE, SIG_IGN, 0);
    set_signal(SIGCHLD, chldexithandler, SA_NOCLDSTOP | SA_RESTART);

    Display *dis = XOpenDisplay(nullptr);
    if (!dis) {
        _kova_error("Cannot open display.");
        return 1;
    }
    XSetErrorHandler(error_seen);
    send_ack(dis, std::strtoul(argv[KOVA_SAVE_ARG_CMD_WIN], nullptr, 10));
    int status = save(dis, argv) ? 0 : 1;
    XCloseDisplay(dis);
    return status;
}
