/*
 * images.cpp - image files: writing an image buffer as a PPM or PAM stream
 * (straight into a file, or through a converter program), and saving an
 * area of a layer in the background through the child executable's
 * image-saving mode.  Reading is in image_read.cpp.
 *
 * The stream writer works on any stdio stream, so a memory stream serves
 * the tests as well as a file or a pipe does.
 */
#include "kova_private.h"
#include "kova_protocol.h"
#include "pnm.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/* The first ".pam" must end the name; only when there is none, the first
 * ".PAM". */
bool is_pam_name(const char *name)
{
    size_t n = std::strlen(name);
    const char *p = std::strstr(name, ".pam");
    if (!p)
        p = std::strstr(name, ".PAM");
    return p && p + 4 == name + n;
}

} // namespace

write_signals_held::write_signals_held()
{
    sigemptyset(&held_);
    sigaddset(&held_, SIGPIPE);
    sigaddset(&held_, SIGXFSZ);
    sigprocmask(SIG_BLOCK, &held_, &saved_);
    sigpending(&pending_before_);
}

write_signals_held::~write_signals_held()
{
    sigset_t pending;
    sigpending(&pending);
    for (int sig : {SIGPIPE, SIGXFSZ}) {
        if (!sigismember(&pending, sig) || sigismember(&pending_before_, sig))
            continue;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        const timespec now = {0, 0};
        sigtimedwait(&one, nullptr, &now);
    }
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

int create_args(const char *text, char **copy, char ***words)
{
    char *p = _kova_xstrdup(text);
    *copy = p;
    char **list = nullptr;
    int n = 0;
    for (;;) {
        while (*p == ' ')
            *p++ = '\0';
        if (!*p)
            break;
        list = static_cast<char **>(_kova_xrealloc(list, sizeof(char *) * static_cast<size_t>(n + 2)));
        list[n++] = p;
        while (*p && *p != ' ')
            p++;
    }
    if (!list)
        list = static_cast<char **>(_kova_xmalloc(sizeof(char *)));
    list[n] = nullptr;
    *words = list;
    return n;
}

command_words::command_words(const char *command)
{
    if (command && *command)
        count = create_args(command, &copy, &words);
}

command_words::~command_words()
{
    std::free(words);
    std::free(copy);
}

owned_file open_converter(char *const argv[], converter_end end, int other,
                          const converter_setup &messages, converter_fault *fault)
{
    Cpid_tmp_status = -1;
    converter_setup setup = messages;
    setup.pid = &Cpid_tmp;
    setup.hidden_fd = Pc_dis ? ConnectionNumber(Pc_dis) : -1;
    return open_converter_stream(argv, end, other, setup, fault);
}

bool converter_succeeded(void)
{
    if (Cpid_tmp <= 0)
        return true;
    wait_child_end(&Cpid_tmp, -1);
    int status = Cpid_tmp_status;
    /* -1: the application's own wait() took it; nothing is known. */
    return status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool write_image_stream(FILE *fp, const unsigned char *buf, int width, int height, int msk,
                        int levels, image_stream kind)
{
    levels = pnm_clamp_levels(levels);
    if (kind == image_stream::ppm && !write_ppm_header(fp, width, height, levels))
        return false;
    if (kind == image_stream::pam && !write_pam_header(fp, width, height, msk, levels))
        return false;
    unsigned char scale[256];
    for (unsigned int s = 0; s < 256; s++)
        scale[s] = pnm_scale(s, levels);
    const size_t spp = msk ? 4 : 3;
    const size_t w = static_cast<size_t>(width);
    malloc_ptr<unsigned char> row(static_cast<unsigned char *>(_kova_xmalloc(spp * w)));
    for (size_t j = 0; j < static_cast<size_t>(height); j++) {
        const unsigned char *in = buf + 4 * w * j;
        unsigned char *out = row.get();
        for (size_t i = 0; i < w; i++, in += 4, out += spp) {
            out[0] = scale[in[1]];
            out[1] = scale[in[2]];
            out[2] = scale[in[3]];
            if (msk)
                out[3] = scale[in[0]];
        }
        if (std::fwrite(row.get(), spp, w, fp) != w)
            return false;
    }
    return true;
}

namespace {

/* The stream an image file is written into: the file itself, or a pipe
 * into the converter, which writes the file (or, for convert, is told the
 * raw layout and the name). */
owned_file open_image_output(const command_words &words, bool raw, char *name, int width,
                             int height, int msk)
{
    if (words.count == 0) {
        owned_file fp(std::fopen(name, "wb"));
        if (!fp)
            _kova_error("cannot open file or fd.");
        return fp;
    }
    owned_fd file;
    if (!raw) {
        file = owned_fd(open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!file) {
            _kova_error("Cannot create a file.");
            return owned_file();
        }
    }
    char size_text[32];
    std::snprintf(size_text, sizeof size_text, "%dx%d", width, height);
    char *convert_argv[] = {words.words[0],
                            const_cast<char *>("-size"),
                            size_text,
                            const_cast<char *>("-depth"),
                            const_cast<char *>("8"),
                            const_cast<char *>(msk ? "RGBA:-" : "RGB:-"),
                            name,
                            nullptr};
    converter_setup messages = {};
    messages.exec_failed = "Cannot exec '%s'.";
    messages.pipe_failed = "pipe() failed.";
    messages.fork_failed = "fork() failed.";
    messages.stream_failed = "cannot open file or fd.";
    converter_fault fault;
    return open_converter(raw ? convert_argv : words.words, converter_end::input, file.get(),
                          messages, &fault);
}

} // namespace

int kova_writeimage(const unsigned char *buf, int width, int height, int msk, const char *conv,
                    int levels, const char *format, ...)
{
    if (!format || !buf || width <= 0 || height <= 0)
        return -1;
    /* The file may be the one a background save is still writing. */
    wait_child();
    va_list ap;
    va_start(ap, format);
    malloc_str name(_kova_vasprintf(format, ap));
    va_end(ap);
    levels = pnm_clamp_levels(levels);
    image_stream kind = msk || is_pam_name(name.get()) ? image_stream::pam : image_stream::ppm;

    /* A command of blanks names no program: written as without one. */
    command_words words(conv);
    const bool raw = words.count > 0 && is_convert_route(conv);
    owned_file fp = open_image_output(words, raw, name.get(), width, height, msk);
    if (!fp) {
        converter_succeeded();
        return -1;
    }
    bool ok;
    {
        write_signals_held held;
        ok = write_image_stream(fp.get(), buf, width, height, msk, levels,
                                raw ? image_stream::raw : kind);
        ok = fp.close() == 0 && ok;
    }
    ok = converter_succeeded() && ok;
    return ok ? 0 : -1;
}

namespace {

/* The file of the save started last, and kova_gwaitsave's answer. */
char *Save_file = nullptr;
int Save_outcome = 0;

/* True when the saving child ended with status 0, or when its status is
 * unknown (the application's own wait() took it): the child removes every
 * file it could not complete. */
bool save_succeeded(int status)
{
    return status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

[[noreturn]] void saving_child_exec_failed()
{
    _kova_warn("Cannot exec child process.");
    _exit(255);
}

/* The one path of both saving entry points. */
int save_image(int wn, int layer, double x0, double y0, double x1, double y1, const char *conv,
               int levels, const char *format, va_list ap)
{
    if (!format || !window_is_open(wn))
        return -1;
    if (!layer_exists(wn, layer)) {
        _kova_error("Invalid layer index at gsaveimage()");
        return -1;
    }
    wait_child();
    malloc_str name(_kova_vasprintf(format, ap));
    int x, y, w, h;
    cnv_2p_to_pwh(wn, x0, y0, x1, y1, &x, &y, &w, &h);
    command_words words(conv);
    levels = pnm_clamp_levels(levels);

    char numbers[KOVA_SAVE_ARG_FILE][24];
    auto put = [&numbers](int at, long long v) {
        std::snprintf(numbers[at], sizeof numbers[at], "%lld", v);
    };
    put(KOVA_SAVE_ARG_MODE, KOVA_MODE_SAVE_IMAGE);
    put(KOVA_SAVE_ARG_PPID, Pid);
    put(KOVA_SAVE_ARG_CMAP, static_cast<long long>(Pc_cmap));
    put(KOVA_SAVE_ARG_RED_DEPTH, Red_depth);
    put(KOVA_SAVE_ARG_GREEN_DEPTH, Green_depth);
    put(KOVA_SAVE_ARG_BLUE_DEPTH, Blue_depth);
    put(KOVA_SAVE_ARG_RED_SHIFT, Red_sft);
    put(KOVA_SAVE_ARG_GREEN_SHIFT, Green_sft);
    put(KOVA_SAVE_ARG_BLUE_SHIFT, Blue_sft);
    put(KOVA_SAVE_ARG_CMD_WIN, static_cast<long long>(Pc_zwin));
    put(KOVA_SAVE_ARG_PIXMAP, static_cast<long long>(Pc[wn].layers[layer]));
    put(KOVA_SAVE_ARG_X, x);
    put(KOVA_SAVE_ARG_Y, y);
    put(KOVA_SAVE_ARG_WIDTH, w);
    put(KOVA_SAVE_ARG_HEIGHT, h);
    put(KOVA_SAVE_ARG_LEVELS, levels);
    const size_t argc = KOVA_SAVE_ARG_CONVERTER + static_cast<size_t>(words.count);
    malloc_ptr<char *> argv(static_cast<char **>(_kova_xmalloc(sizeof(char *) * (argc + 1))));
    argv.get()[0] = Exec_slave_tmp;
    for (int at = KOVA_SAVE_ARG_MODE; at < KOVA_SAVE_ARG_FILE; at++)
        argv.get()[at] = numbers[at];
    argv.get()[KOVA_SAVE_ARG_FILE] = name.get();
    for (int i = 0; i < words.count; i++)
        argv.get()[KOVA_SAVE_ARG_CONVERTER + i] = words.words[i];
    argv.get()[argc] = nullptr;

    if (mkexecfile() == -1) {
        _kova_warn("Cannot create a file in /tmp/.");
        Save_outcome = -1;
        return -1;
    }
    /* Named before the child runs: an interrupt from now on finds the save
     * to tell about. */
    char *done = Save_file;
    Save_file = name.release();
    std::free(done);
    Save_due = 1;
    Chld_imgsave_stat = 1;
    int started = run_child(argv.get(), &Cpid_saveimg, saving_child_exec_failed);
    if (started == 0)
        return 0;
    /* Not started, or gone before it said so: nothing is being saved, and
     * the message has been given. */
    if (started == -1)
        _kova_warn("fork() failed.");
    else
        wait_child_end(&Cpid_saveimg, -1);
    Chld_imgsave_stat = 0;
    Save_due = 0;
    Save_outcome = -1;
    return -1;
}

} // namespace

void take_save_outcome(void)
{
    if (!Save_due || Cpid_saveimg > 0)
        return;
    Save_due = 0;
    Save_outcome = save_succeeded(Cpid_saveimg_status) ? 0 : -1;
    if (Save_outcome != 0)
        _kova_warn("Cannot save '%s'.", Save_file);
}

int kova_gwaitsave(void)
{
    wait_child();
    return Save_outcome;
}

int kova_gsaveimage(int wn, int layer, double x0, double y0, double x1, double y1,
                    const char *conv, int levels, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = save_image(wn, layer, x0, y0, x1, y1, conv, levels, format, ap);
    va_end(ap);
    return r;
}

int kova_saveimg(int wn, int layer, double x0, double y0, double x1, double y1, const char *conv,
                 int levels, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = save_image(wn, layer, x0, y0, x1, y1, conv, levels, format, ap);
    va_end(ap);
    return r;
}
