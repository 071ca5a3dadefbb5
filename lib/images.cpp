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
#include "pnm.h"
#include "sigchld_held.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bool is_convert(const char *command)
{
    return std::strcmp(command, "convert") == 0 || std::strcmp(command, "convert.exe") == 0;
}

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

/* Moves fd above the standard descriptors, so that installing one end as
 * standard input cannot overwrite the other. */
int above_std(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

void install_as(int fd, int target)
{
    if (fd >= 0)
        dup2(fd, target);
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

int start_converter(char *const argv[], int child_stdin, int child_stdout, int parent_end,
                    const char *exec_failed_fmt)
{
    sigchld_held held;
    Cpid_tmp_status = -1;
    pid_t pid = fork();
    if (pid == 0) {
        held.restore();
        child_stdin = above_std(child_stdin);
        child_stdout = above_std(child_stdout);
        install_as(child_stdin, STDIN_FILENO);
        install_as(child_stdout, STDOUT_FILENO);
        close(parent_end);
        if (Pc_dis)
            close(ConnectionNumber(Pc_dis));
        execvp(argv[0], argv);
        std::fprintf(stderr, exec_failed_fmt, argv[0]);
        _exit(255);
    }
    Cpid_tmp = pid > 0 ? pid : 0;
    return pid > 0 ? 0 : -1;
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
    const bool raw = words.count > 0 && is_convert(conv);
    std::string size_text = std::to_string(width) + "x" + std::to_string(height);
    char *convert_argv[] = {words.words ? words.words[0] : nullptr,
                            const_cast<char *>("-size"),
                            &size_text[0],
                            const_cast<char *>("-depth"),
                            const_cast<char *>("8"),
                            const_cast<char *>(msk ? "RGBA:-" : "RGB:-"),
                            name.p,
                            nullptr};
    FILE *fp = nullptr;
    if (words.count == 0) {
        fp = std::fopen(name.get(), "wb");
    } else {
        int file = -1;
        if (!raw) {
            file = open(name.get(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (file < 0) {
                std::fputs("KOVA: [ERROR] Cannot create a file.\n", stderr);
                return -1;
            }
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            std::fputs("KOVA: [ERROR] pipe() failed.\n", stderr);
            if (file >= 0)
                close(file);
            return -1;
        }
        int started = start_converter(raw ? convert_argv : words.words, fds[0], file, fds[1],
                                      "KOVA: [ERROR] Cannot exec '%s'.\n");
        close(fds[0]);
        if (file >= 0)
            close(file);
        if (started != 0) {
            close(fds[1]);
            std::fputs("KOVA: [ERROR] fork() failed.\n", stderr);
            return -1;
        }
        fp = fdopen(fds[1], "wb");
        if (!fp)
            close(fds[1]);
    }
    bool ok = fp != nullptr;
    if (!fp) {
        std::fputs("KOVA: [ERROR] cannot open file or fd.\n", stderr);
    } else {
        write_signals_held held;
        ok = write_image_stream(fp, buf, width, height, msk, levels,
                                raw ? image_stream::raw : kind);
        ok = std::fclose(fp) == 0 && ok;
    }
    ok = converter_succeeded() && ok;
    return ok ? 0 : -1;
}

namespace {

[[noreturn]] void saving_child_exec_failed()
{
    std::fputs("KOVA: [WARNING] Cannot exec child process.\n", stderr);
    _exit(255);
}


/* The one path of both saving entry points. */
int save_image(int wn, int layer, double x0, double y0, double x1, double y1, const char *conv,
               int levels, const char *format, va_list ap)
{
    if (!format || !window_is_open(wn))
        return -1;
    if (!layer_exists(wn, layer)) {
        std::fputs("KOVA: [ERROR] Invalid layer index at gsaveimage()\n", stderr);
        return -1;
    }
    wait_child();
    malloc_str name(_kova_vasprintf(format, ap));
    int x, y, w, h;
    cnv_2p_to_pwh(wn, x0, y0, x1, y1, &x, &y, &w, &h);
    command_words words(conv);
    levels = pnm_clamp_levels(levels);

    const std::string numbers[] = {
        "2",
        std::to_string(Pid),
        std::to_string(static_cast<unsigned long>(Pc_cmap)),
        std::to_string(Red_depth),
        std::to_string(Green_depth),
        std::to_string(Blue_depth),
        std::to_string(Red_sft),
        std::to_string(Green_sft),
        std::to_string(Blue_sft),
        std::to_string(static_cast<unsigned long>(Pc_zwin)),
        std::to_string(static_cast<unsigned long>(Pc[wn].layers[layer])),
        std::to_string(x),
        std::to_string(y),
        std::to_string(w),
        std::to_string(h),
        std::to_string(levels),
    };
    std::vector<char *> argv;
    argv.push_back(Exec_slave_tmp);
    for (const std::string &n : numbers)
        argv.push_back(const_cast<char *>(n.c_str()));
    argv.push_back(name.p);
    for (int i = 0; i < words.count; i++)
        argv.push_back(words.words[i]);
    argv.push_back(nullptr);

    if (mkexecfile() == -1) {
        std::fputs("KOVA: [WARNING] Cannot create a file in /tmp/.\n", stderr);
        return -1;
    }
    Chld_imgsave_stat = 1;
    int started = run_child(argv.data(), &Cpid_saveimg, saving_child_exec_failed);
    if (started == 0)
        return 0;
    /* Not started, or gone before it said so: nothing is being saved. */
    if (started == -1)
        std::fputs("KOVA: [WARNING] fork() failed.\n", stderr);
    else
        wait_child_end(&Cpid_saveimg, -1);
    Chld_imgsave_stat = 0;
    return -1;
}

} // namespace

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
