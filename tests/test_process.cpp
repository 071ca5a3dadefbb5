// Process life: the exit statuses of SIGINT and SIGTERM, no child left
// behind in any ordinary ending, children that will not stop, forked
// processes, the SIGCHLD handler, and the program name learned from "ps".
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Numbers the forked code reported as "name=value" lines on stderr.
long reported(const std::string &err, const std::string &name)
{
    auto at = err.find(name + "=");
    return at == std::string::npos ? -1 : std::atol(err.c_str() + at + name.size() + 1);
}

void report(const char *name, long v)
{
    fprintf(stderr, "%s=%ld\n", name, v);
}

bool gone(long pid)
{
    return pid > 0 && kt::eventually([&] { return !kt::process_alive(static_cast<pid_t>(pid)); });
}

// A child of the calling process that ignores SIGTERM (it says so before
// this returns).
pid_t stubborn_child()
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t p = fork();
    if (p == 0) {
        signal(SIGTERM, SIG_IGN);
        if (write(fds[1], "r", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    char c;
    if (read(fds[0], &c, 1) != 1)
        p = -1;
    close(fds[0]);
    close(fds[1]);
    return p;
}

struct ProcessTest : ::testing::Test {
    void TearDown() override { kova_gcloseall(); }
};

TEST_F(ProcessTest, InterruptAndTerminationEndWithTheirStatusesAndStopTheChild)
{
    for (auto [sig, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}}) {
        auto r = kt::run_forked([sig = sig] {
            kova_gopen(80, 60);
            kova_gopen(80, 60);
            report("cpid", Cpid);
            raise(sig);
            report("survived", 1);
        });
        EXPECT_TRUE(r.exited) << "signal " << sig;
        EXPECT_EQ(r.code, status);
        EXPECT_EQ(reported(r.err, "survived"), -1);
        long cpid = reported(r.err, "cpid");
        EXPECT_GT(cpid, 0);
        EXPECT_TRUE(gone(cpid)) << "window child " << cpid << " left behind";
    }
}

TEST_F(ProcessTest, ReturningWithWindowsOpenLeavesNoChild)
{
    auto r = kt::run_forked([] {
        kova_gopen(80, 60);
        plots_();
        report("cpid", Cpid);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
}

// The exit handler gives a child that ignores SIGTERM a bounded time, then
// kills it: the process still ends, promptly, with its own status.
TEST_F(ProcessTest, ExitStopsAChildThatIgnoresTermination)
{
    auto start = std::chrono::steady_clock::now();
    auto r = kt::run_forked(
        [] {
            kova_gopen(40, 40);
            Cpid_tmp = stubborn_child();
            report("stubborn", Cpid_tmp);
            report("cpid", Cpid);
            exit(7);
        },
        15000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(gone(reported(r.err, "stubborn")));
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
}

// A window child that does not act on SIGTERM must not hang close-all.
TEST_F(ProcessTest, CloseAllStopsAWindowChildThatIgnoresTermination)
{
    auto r = kt::run_forked([] {
        kova_gclose(kova_gopen(40, 40));
        kill(Cpid, SIGTERM);
        wait_pid_cleared(&Cpid, 5000);
        Cpid = stubborn_child();
        report("stubborn", Cpid);
        auto start = std::chrono::steady_clock::now();
        kova_gcloseall();
        report("ms", static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
        report("after", Cpid);
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_GE(reported(r.err, "ms"), 0);
    EXPECT_LT(reported(r.err, "ms"), 5000);
    EXPECT_EQ(reported(r.err, "after"), 0);
    EXPECT_TRUE(gone(reported(r.err, "stubborn")));
}

// A process forked from the application owns neither its windows nor its
// child: close-all and the exit handler leave them alone.
TEST_F(ProcessTest, ForkedProcessLeavesTheParentsWindowsAndChild)
{
    auto r = kt::run_forked([] {
        int w = kova_gopen(40, 40);
        pid_t child = Cpid;
        pid_t forked = fork();
        if (forked == 0) {
            kova_gcloseall();
            exit(0); // runs the exit handler too
        }
        int status = 0;
        waitpid(forked, &status, 0);
        report("forked_status", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        report("child_alive", kt::process_alive(child) ? 1 : 0);
        report("cpid_kept", Cpid == child ? 1 : 0);
        // The library still works: open and close talk to the child.
        int v = kova_gopen(40, 40);
        kova_gclose(v);
        kova_gclose(w);
        report("cpid", Cpid);
        kova_gcloseall();
        report("after", Cpid);
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(reported(r.err, "forked_status"), 0);
    EXPECT_EQ(reported(r.err, "child_alive"), 1);
    EXPECT_EQ(reported(r.err, "cpid_kept"), 1);
    EXPECT_EQ(reported(r.err, "after"), 0);
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
}

// A process forked after a close-all that opens anew owns what it opens.
TEST_F(ProcessTest, ProcessForkedAfterCloseAllOwnsItsNewWindows)
{
    kova_gopen(20, 20);
    kova_gcloseall();
    auto r = kt::run_forked([] {
        kova_gopen(20, 20);
        report("cpid", Cpid);
        kova_gcloseall();
        report("after", Cpid);
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(reported(r.err, "after"), 0);
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
}

// Two children that end while SIGCHLD is blocked give one delivery: both
// are collected, errno survives, and a child of the application's own is
// left for the application to wait for.
TEST_F(ProcessTest, ChildHandlerCollectsEveryEndedChildOfTheLibraryOnly)
{
    auto r = kt::run_forked([] {
        install_kova_handlers();
        sigset_t chld, saved;
        sigemptyset(&chld);
        sigaddset(&chld, SIGCHLD);
        sigprocmask(SIG_BLOCK, &chld, &saved);
        auto quick = [] {
            pid_t p = fork();
            if (p == 0)
                _exit(0);
            return p;
        };
        Cpid_saveimg = quick();
        Chld_imgsave_stat = 1;
        Cpid_tmp = quick();
        pid_t own = quick();
        kova_msleep(200);
        errno = 4321;
        sigprocmask(SIG_SETMASK, &saved, nullptr);
        report("errno", errno);
        report("saveimg", Cpid_saveimg);
        report("stat", Chld_imgsave_stat);
        report("tmp", Cpid_tmp);
        int status = -1;
        report("own", waitpid(own, &status, 0) == own && WIFEXITED(status) ? 1 : 0);
        remove_kova_handlers();
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(reported(r.err, "errno"), 4321);
    EXPECT_EQ(reported(r.err, "saveimg"), 0);
    EXPECT_EQ(reported(r.err, "stat"), 0);
    EXPECT_EQ(reported(r.err, "tmp"), 0);
    EXPECT_EQ(reported(r.err, "own"), 1);
}

TEST(ProgramName, CommandColumnOfTheProcessLine)
{
    auto name = [](const char *text) {
        malloc_str s(command_name_from_ps_text(text));
        return std::string(s.get() ? s.get() : "(none)");
    };
    EXPECT_EQ(name("UID PID PPID C STIME TTY TIME CMD "
                   "me 42 1 0 10:00 pts/1 00:00:00 /usr/local/bin/plotter -v  "),
              "plotter");
    EXPECT_EQ(name("  PID TTY      COMMAND    7 ?        ./a.out"), "a.out");
    EXPECT_EQ(name("PID CMD 7 plotter"), "plotter");
    EXPECT_EQ(name("PID NAME 7 plotter"), "(none)");     // no command column
    EXPECT_EQ(name("PID TIME CMD 7 00:01"), "(none)");   // no process line
    EXPECT_EQ(name("PID CMD"), "(none)");
    EXPECT_EQ(name("X"), "(none)");
    EXPECT_EQ(name("PID CMD 7 /usr/bin/"), "(none)");    // nothing after the slash
}

// Runs program_name_from_ps with a script standing in for "ps".
struct FakePs : ::testing::Test {
    std::string dir, ps, count;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kova_fakeps_XXXXXX";
        dir = mkdtemp(tmpl);
        ps = dir + "/ps";
        count = dir + "/count";
    }
    void TearDown() override
    {
        remove(ps.c_str());
        remove(count.c_str());
        rmdir(dir.c_str());
    }
    void script(const std::string &body)
    {
        std::ofstream(ps) << "#!/bin/sh\necho x >> " << count << "\n" << body;
        chmod(ps.c_str(), 0755);
    }
    int runs()
    {
        std::ifstream in(count);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n++;
        return n;
    }
};

TEST_F(FakePs, ReadsTheNameThroughThePipe)
{
    script("printf 'UID\\tPID CMD\\nme 7 /opt/x/plotter -v\\n'\n");
    malloc_str n(program_name_from_ps(ps.c_str(), "/nonexistent/ps"));
    ASSERT_NE(n.get(), nullptr);
    EXPECT_STREQ(n.get(), "plotter");
    EXPECT_EQ(runs(), 1);
}

TEST_F(FakePs, ShortOutputIsRetriedABoundedNumberOfTimes)
{
    script("echo 'UID PID CMD'\n");
    malloc_str n(program_name_from_ps("/nonexistent/ps", ps.c_str()));
    EXPECT_EQ(n.get(), nullptr);
    EXPECT_EQ(runs(), 10);
}

TEST(ProgramName, MissingPsGivesUpWithOneMessageAndTheProcessGoesOn)
{
    auto r = kt::run_forked([] {
        char *n = program_name_from_ps("/nonexistent/ps", "/nonexistent/ps2");
        report("null", n == nullptr ? 1 : 0);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(reported(r.err, "null"), 1);
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot exec 'ps' command.\nnull=1\n");
}

TEST(ProgramName, RealPsNamesThisProgram)
{
    malloc_str n(program_name_from_ps("/bin/ps", "/usr/bin/ps"));
    ASSERT_NE(n.get(), nullptr);
    EXPECT_STREQ(n.get(), "test_process");
}

} // namespace
