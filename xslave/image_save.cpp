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
 *
 * The picture is written under a temporary name beside the file and takes
 * the file's name only once it is complete and the converter has ended
 * well: a reader of the file finds the old one or the whole new one.
 * SIGTERM (the library's exit handling) ends the converter, removes the
 * temporary file and ends the run.
 */
#include "image_save.h"

#include "converter.h"
#include "kova_ack.h"
#include "kova_common.h"
#include "kova_protocol.h"
#include "pixel_decode.h"
#include "pnm.h"
#include "sigchld_held.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

/* The converter, and its wait status once the SIGCHLD handler has
 * collected it. */
volatile sig_atomic_t Cpid = 0;
volatile sig_atomic_t Cpid_status = 0;

/* The name the picture is written under until it is complete; Temp_made
 * while a file of that name is ours to remove. */
char *Temp_path = nullptr;
volatile sig_atomic_t Temp_made = 0;

/* How long a converter told to stop gets before SIGKILL. */
constexpr int converter_grace_ms = 50;
/* The temporary name keeps this much of the file's name. */
constexpr size_t temp_stem_max = 64;

void chldexithandler(int)
{
    int saved = errno;
    int status = 0;
    if (Cpid > 0 && waitpid(Cpid, &status, WNOHANG) == Cpid) {
        Cpid_status = status;
        Cpid = 0;
    }
    errno = saved;
}

/* The handler runs with held, and its own signal, blocked. */
void set_signal(int sig, void (*handler)(int), int flags, int held = 0)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    if (held)
        sigaddset(&sa.sa_mask, held);
    sa.sa_flags = flags;
    sigaction(sig, &sa, nullptr);
}

void sleep_ms(int ms)
{
    const timespec t = {0, ms * 1000L * 1000L};
    nanosleep(&t, nullptr);
}

/* SIGTERM, a short wait, then SIGKILL; collected either way.  Runs in the
 * SIGTERM handler: signal-safe calls only. */
void end_converter()
{
    const pid_t pid = Cpid;
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int waited = 0; waited < converter_grace_ms; waited++) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            Cpid = 0;
            return;
        }
        sleep_ms(1);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR)
        ;
    Cpid = 0;
}

/* Nothing of this run outlives it: the converter ended, the temporary
 * file removed. */
void abandon_save()
{
    end_converter();
    if (Temp_made)
        unlink(Temp_path);
}

/* SIGTERM: the library is ending. */
void stop_saving(int sig)
{
    abandon_save();
    _exit(128 + sig);
}

/* Xlib calls this once the connection has failed while the picture was
 * being read; it must not return. */
int lost_connection(Display *)
{
    signals_held held({SIGTERM});
    _kova_error("The connection to the X server was lost.");
    abandon_save();
    _exit(1);
}

/* "dir/.stem.XXXXXX.ext" for "dir/stem.ext": the same folder, so that the
 * rename stays on one file system, and the same extension, by which
 * convert chooses the format.  *suffix: the extension's length. */
std::string temp_template(const char *file, int *suffix)
{
    const char *slash = std::strrchr(file, '/');
    const char *base = slash ? slash + 1 : file;
    const char *dot = std::strrchr(base, '.');
    if (!dot || dot == base)
        dot = base + std::strlen(base);
    const size_t stem = std::min(static_cast<size_t>(dot - base), temp_stem_max);
    *suffix = static_cast<int>(std::strlen(dot));
    return std::string(file, base) + "." + std::string(base, stem) + ".XXXXXX" + dot;
}

/* The temporary file beside file, or an empty owner after the message. */
owned_fd make_temp(const char *file)
{
    int suffix = 0;
    std::string name = temp_template(file, &suffix);
    Temp_path = _kova_xstrdup(name.c_str());
    owned_fd fd(mkostemps(Temp_path, suffix, O_CLOEXEC));
    Temp_made = fd ? 1 : 0;
    if (!fd)
        _kova_error("Cannot create a file.");
    return fd;
}

void discard_temp()
{
    signals_held held({SIGTERM});
    if (Temp_made)
        unlink(Temp_path);
    Temp_made = 0;
}

/* The complete picture under the file's name.  mode: what the file would
 * have been created with.  No fsync: the library holds back layer changes
 * until this run ends, and a save per frame must not wait for the disk. */
bool publish(const char *file, mode_t mode)
{
    const mode_t mask = umask(0);
    umask(mask);
    if (chmod(Temp_path, mode & ~mask) != 0)
        return false;
    signals_held held({SIGTERM});
    if (rename(Temp_path, file) != 0)
        return false;
    Temp_made = 0;
    return true;
}

/* Starts words reading the pipe, with out (-1: inherited) as its standard
 * output; the stream that feeds it, or an empty one after the message. */
owned_file start_converter(char *const words[], int out, Display *dis)
{
    const converter_setup setup = {&Cpid,
                                   ConnectionNumber(dis),
                                   "Cannot exec '%s'.",
                                   "pipe() failed.",
                                   "fork() failed.",
                                   "Pipe connection failed."};
    converter_fault fault;
    return open_converter_stream(words, converter_end::input, out, setup, &fault);
}

/* "convert" reads "FORMAT:file" as file written in that format: the
 * length of such a prefix, which is no part of the file's name; 0 for
 * other routes, which take the name as it is. */
size_t format_prefix(char **argv)
{
    const char *command = argv[KOVA_SAVE_ARG_CONVERTER], *file = argv[KOVA_SAVE_ARG_FILE];
    if (!command || !is_convert_route(command))
        return 0;
    size_t n = 0;
    while (std::isalnum(static_cast<unsigned char>(file[n])))
        n++;
    return n > 1 && file[n] == ':' ? n + 1 : 0;
}

/* The temporary file itself, "convert" told the stream's format and the
 * temporary name (after the file's format prefix), or a filter whose
 * output goes into the temporary file. */
owned_file open_output(char **argv, Display *dis)
{
    char **words = argv + KOVA_SAVE_ARG_CONVERTER;
    const size_t prefix = format_prefix(argv);
    owned_fd out = make_temp(argv[KOVA_SAVE_ARG_FILE] + prefix);
    if (!out)
        return owned_file();
    if (!words[0]) {
        owned_file fp(fdopen(out.get(), "wb"));
        if (!fp)
            _kova_error("Cannot create a file.");
        else
            out.release();
        return fp;
    }
    if (is_convert_route(words[0])) {
        out.close();
        std::vector<char *> args;
        for (char **w = words; *w; w++)
            args.push_back(*w);
        args.push_back(const_cast<char *>("PPM:-"));
        std::string target = std::string(argv[KOVA_SAVE_ARG_FILE], prefix) + Temp_path;
        args.push_back(target.data());
        args.push_back(nullptr);
        return start_converter(args.data(), -1, dis);
    }
    return start_converter(words, out.get(), dis);
}

/* Waits for the converter, if one was started: false when it failed. */
bool converter_succeeded()
{
    while (Cpid > 0)
        sleep_ms(10);
    return WIFEXITED(Cpid_status) && WEXITSTATUS(Cpid_status) == 0;
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

/* Reads the area and writes it into fp; false when either failed. */
bool write_picture(Display *dis, char **argv, FILE *fp)
{
    int x = std::atoi(argv[KOVA_SAVE_ARG_X]), y = std::atoi(argv[KOVA_SAVE_ARG_Y]);
    int w = std::atoi(argv[KOVA_SAVE_ARG_WIDTH]), h = std::atoi(argv[KOVA_SAVE_ARG_HEIGHT]);
    XImage *img = nullptr;
    if (w > 0 && h > 0)
        img = XGetImage(dis, std::strtoul(argv[KOVA_SAVE_ARG_PIXMAP], nullptr, 10), x, y,
                        static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    XFlush(dis);
    bool ok = img && img->bits_per_pixel >= 8 && write_area(dis, argv, img, fp);
    if (img)
        XDestroyImage(img);
    return ok;
}

/* The run after the acknowledgement, which closes dis: true when the whole
 * picture is under the file's name. */
bool save(Display *dis, char **argv)
{
    owned_file fp;
    {
        /* A stop meanwhile finds the temporary file and the converter
         * recorded. */
        signals_held held({SIGTERM});
        fp = open_output(argv, dis);
    }
    bool ok = fp && write_picture(dis, argv, fp.get());
    /* Read: the server has nothing more to give, and a connection lost
     * from now on cannot fail a complete save. */
    XCloseDisplay(dis);
    ok = fp.close() == 0 && ok;
    ok = converter_succeeded() && ok;
    const char *filter = argv[KOVA_SAVE_ARG_CONVERTER];
    const mode_t mode = filter && !is_convert_route(filter) ? 0644 : 0666;
    ok = ok && publish(argv[KOVA_SAVE_ARG_FILE] + format_prefix(argv), mode);
    if (!ok)
        discard_temp();
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
    set_signal(SIGTERM, stop_saving, 0, SIGCHLD);
    set_signal(SIGINT, SIG_IGN, 0);
    /* A converter that ended early, or a file size limit, makes the writes
     * fail, not this run. */
    set_signal(SIGPIPE, SIG_IGN, 0);
    set_signal(SIGXFSZ, SIG_IGN, 0);
    set_signal(SIGCHLD, chldexithandler, SA_NOCLDSTOP | SA_RESTART, SIGTERM);

    Display *dis = XOpenDisplay(nullptr);
    if (!dis) {
        _kova_error("Cannot open display.");
        return 1;
    }
    XSetErrorHandler(error_seen);
    XSetIOErrorHandler(lost_connection);
    send_ack(dis, std::strtoul(argv[KOVA_SAVE_ARG_CMD_WIN], nullptr, 10));
    return save(dis, argv) ? 0 : 1;
}
