/*
 * converter.cpp - starting a converter program joined to a pipe.
 */
#include "converter.h"

#include "sigchld_held.h"

#include <cstring>
#include <fcntl.h>
#include <initializer_list>

namespace {

/* Moves fd above the standard descriptors, so that installing one end as
 * a standard stream cannot overwrite the other. */
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

owned_file failure(converter_fault f, const char *message, converter_fault *fault)
{
    if (message)
        _kova_error("%s", message);
    *fault = f;
    return owned_file();
}

} // namespace

void converter_signals_default(void)
{
    for (int sig : {SIGINT, SIGQUIT, SIGPIPE, SIGCHLD, SIGXFSZ})
        std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool is_convert_route(const char *command)
{
    return std::strcmp(command, "convert") == 0 || std::strcmp(command, "convert.exe") == 0;
}

owned_file open_converter_stream(char *const argv[], converter_end end, int other,
                                 const converter_setup &setup, converter_fault *fault)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return failure(converter_fault::pipe, setup.pipe_failed, fault);
    const bool writing = end == converter_end::input;
    owned_fd ours(writing ? fds[1] : fds[0]);
    owned_fd theirs(writing ? fds[0] : fds[1]);
    pid_t pid;
    {
        sigchld_held held;
        pid = fork();
        if (pid == 0) {
            converter_signals_default();
            int in = above_std(writing ? theirs.release() : other);
            int out = above_std(writing ? other : theirs.release());
            install_as(in, STDIN_FILENO);
            install_as(out, STDOUT_FILENO);
            if (setup.hidden_fd >= 0)
                close(setup.hidden_fd);
            execvp(argv[0], argv);
            _kova_error(setup.exec_failed, argv[0]);
            _exit(255);
        }
        *setup.pid = pid > 0 ? pid : 0;
    }
    if (pid < 0)
        return failure(converter_fault::fork, setup.fork_failed, fault);
    theirs.close();
    owned_file stream(fdopen(ours.get(), writing ? "wb" : "rb"));
    if (!stream)
        return failure(converter_fault::stream, setup.stream_failed, fault);
    ours.release();
    *fault = converter_fault::none;
    return stream;
}
