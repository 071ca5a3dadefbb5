/*
 * sigchld_held.h - SIGCHLD held for a scope, shared by the library and its
 * child executable: a new process's id is stored, or an ended one's
 * bookkeeping done, before a SIGCHLD handler can look at it.
 */
#ifndef KOVA_SIGCHLD_HELD_H
#define KOVA_SIGCHLD_HELD_H

#include <csignal>

class sigchld_held {
    sigset_t saved_;

public:
    sigchld_held()
    {
        sigset_t chld;
        sigemptyset(&chld);
        sigaddset(&chld, SIGCHLD);
        sigprocmask(SIG_BLOCK, &chld, &saved_);
    }
    ~sigchld_held() { restore(); }
    sigchld_held(const sigchld_held &) = delete;
    sigchld_held &operator=(const sigchld_held &) = delete;
    /* The mask as it was; also what a new process starts from. */
    void restore() const { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
};

#endif /* KOVA_SIGCHLD_HELD_H */
