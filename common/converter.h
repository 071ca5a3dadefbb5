/*
 * converter.h - starting a converter program joined to a pipe, the same in
 * the library (writing and reading image files) and in the window child
 * (saving an area in the background).
 */
#ifndef KOVA_CONVERTER_H
#define KOVA_CONVERTER_H

#include "kova_common.h"

#include <csignal>

/* True when the command is the convert program itself, which is told the
 * format of the stream on its command line instead of reading a header. */
bool is_convert_route(const char *command);

/* The converter's end of the pipe: its standard input (the stream is
 * written) or its standard output (the stream is read). */
enum class converter_end { input, output };

/* What kept a converter from starting. */
enum class converter_fault { none, pipe, fork, stream };

/* How the starting process wants its converters run. */
struct converter_setup {
    /* Receives the id before SIGCHLD can report the process; 0 when fork
     * failed. */
    volatile sig_atomic_t *pid;
    /* A descriptor the converter must not inherit (the X connection), or
     * -1. */
    int hidden_fd;
    /* Printed by the new process when the command cannot be executed (%s:
     * the command word); it then ends with status 255. */
    const char *exec_failed;
    /* The messages of each fault, in the caller's words; null: none. */
    const char *pipe_failed, *fork_failed, *stream_failed;
};

/* In a new process about to run a converter: every signal that the library
 * or the child executable ignores or handles back at its default action,
 * and none held, so that the converter meets an interrupt typed at the
 * terminal, a closed pipe or a file size limit as any program does. */
void converter_signals_default(void);

/* Starts argv (searched in PATH) with a new pipe at the given end and
 * other (-1: inherited) as its other standard stream, and returns the
 * stream of this process's end; an empty owner with *fault set, after the
 * fault's message, when there is none.  A converter that started has its
 * id in *setup.pid even when its stream could not be made. */
owned_file open_converter_stream(char *const argv[], converter_end end, int other,
                                 const converter_setup &setup, converter_fault *fault);

#endif /* KOVA_CONVERTER_H */
