/*
 * sigchld_held.h - signals held for a scope, shared by the library and its
 * child executable: a new process's id is stored, or an ended one's
 * bookkeeping done, before a handler can look at it.
 */
#ifndef KOVA_SIGCHLD_HELD_H
#define KOVA_SIGCHLD_HELD_H

#include <csignal>
#include <initializer_list>

class signals_held {
    sigset_t saved_;

public:
    explicit signals_held(std::initializer_list<int> signals)
    {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : signals)
            sigaddset(&held, sig);
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    ~signals_held() { restore(); }
    signals_held(const signals_held &) = delete;
    signals_held &operator=(const signals_held &) = delete;
    /* The mask as it was; also what a new process starts from. */
    void restore() const { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
};

class sigchld_held : public signals_held {
public:
    sigchld_held() : signals_held({SIGCHLD}) {}
};

#endif /* KOVA_SIGCHLD_HELD_H */
