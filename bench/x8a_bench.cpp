// x8a_bench - times x8a against x8a_raw, the same X requests written
// directly against Xlib, on one private Xvfb.
//
//   x8a_bench --x8a PATH --raw PATH [--probe PATH] [--rounds N] [--depth D] [--pin]
//
// Each round runs both programs once for the whole-run time, peak resident
// memory and the processor time of program and server (x8a first in odd
// rounds, raw first in even ones) and, with --probe, once more each with
// the phase probe preloaded for the per-phase times, processor times,
// request counts and resident memory.  --pin keeps the server on processor
// 0 and the programs on processor 1.  The goal is a whole run within 2 % of
// raw: a paired wall ratio of at most 1.02 over at least 7 rounds, or, since
// wall times follow whatever else the machine and the server are doing, the
// processor time x8a adds to raw's at most 2 % of raw's; the time each
// phase adds per call is printed beside it.  --depth gives the screen depth (24 by
// default; 8 is a PseudoColor screen whose colormap x8a fills).  The
// locale is the one the environment names.  Nothing is left behind: the Xvfb is stopped, orphans
// of the programs are collected (this process is their subreaper) and
// /tmp is compared before and after.
#include "x8a.h"
#include "xserver.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <langinfo.h>
#include <map>
#include <poll.h>
#include <sched.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char *const Phases[] = {"open",       "sweeps",     "small-circles", "rectangles",
                              "large-circles", "strings-14", "strings-16", "japanese",
                              "close"};
constexpr int Run_limit_s = 900;

// The library calls each phase makes: a line per sweep position, else one
// shape or string per loop round.
double phase_calls(const std::string &phase)
{
    const double sweep_lines = 2.0 * (X8A_WIDTH - 1) + 2.0 * (X8A_HEIGHT - 1);
    if (phase == "sweeps")
        return (X8A_LAST_PASS + 1) * sweep_lines;
    if (phase == "open" || phase == "close")
        return 0;
    return X8A_LIMIT - 1;
}

// The goal's two bounds and the rounds a wall ratio needs to count.
constexpr double Wall_goal = 1.02, Cpu_goal = 0.02;
constexpr int Wall_rounds = 7;

// With --pin, the server runs on processor 0 and the programs on processor
// 1, so that the two do not chase each other across processors.
bool Pin = false;

void pin_pid(pid_t pid, int cpu)
{
    if (!Pin)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(pid, sizeof set, &set);
}

[[noreturn]] void die(const std::string &msg)
{
    std::fprintf(stderr, "x8a_bench: %s\n", msg.c_str());
    std::exit(1);
}

double now_s()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Run {
    double seconds = 0;
    long hwm_kb = 0;      // the program's own peak, polled while it runs
    long max_rss_kb = 0;  // from wait4: the largest of it and the children it waited for
    double cpu_s = 0;     // user + system time of it and the children it waited for
    double server_cpu_s = 0; // the X server's user + system time during the run
    int status = 0;
    std::string err;
    std::map<std::string, double> phase_s;  // phase name -> duration
    std::map<std::string, long> phase_rss;  // phase name -> resident kB at its start
    std::map<std::string, double> phase_cpu; // phase name -> the program's processor time in it
    std::map<std::string, unsigned long> phase_requests; // phase name -> X requests sent in it
};

// Reads whatever the fds have until both are closed or the child is gone.
class Output {
  public:
    void add(int fd, std::string *into) { fds_.push_back({fd, into}); }
    void pump(int timeout_ms)
    {
        std::vector<pollfd> p;
        for (auto &f : fds_)
            if (f.first >= 0)
                p.push_back({f.first, POLLIN, 0});
        if (p.empty()) {
            usleep(static_cast<useconds_t>(timeout_ms) * 1000);
            return;
        }
        if (poll(p.data(), p.size(), timeout_ms) <= 0)
            return;
        for (auto &f : fds_) {
            if (f.first < 0)
                continue;
            for (auto &q : p)
                if (q.fd == f.first && (q.revents & (POLLIN | POLLHUP))) {
                    char buf[4096];
                    ssize_t n = read(f.first, buf, sizeof buf);
                    if (n > 0)
                        f.second->append(buf, static_cast<size_t>(n));
                    else if (n == 0 || errno != EINTR) {
                        close(f.first);
                        f.first = -1;
                    }
                }
        }
    }
    void drain()
    {
        for (auto &f : fds_)
            if (f.first >= 0) {
                fcntl(f.first, F_SETFL, O_NONBLOCK);
                char buf[4096];
                ssize_t n;
                while ((n = read(f.first, buf, sizeof buf)) > 0)
                    f.second->append(buf, static_cast<size_t>(n));
                close(f.first);
                f.first = -1;
            }
    }

  private:
    std::vector<std::pair<int, std::string *>> fds_;
};

double process_cpu_s(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    auto close_paren = line.rfind(')');
    if (close_paren == std::string::npos)
        return 0;
    std::istringstream rest(line.substr(close_paren + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; i++) {
        if (i == 14)
            utime = std::stoull(field);
        else if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The peak resident memory of a running process so far, in kB.
long vm_hwm_kb(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = 0;
    while (f >> key) {
        if (key == "VmHWM:") {
            f >> kb;
            return kb;
        }
        f.ignore(4096, '\n');
    }
    return 0;
}

std::set<std::string> tmp_names()
{
    std::set<std::string> names;
    if (DIR *d = opendir("/tmp")) {
        while (dirent *e = readdir(d))
            names.insert(e->d_name);
        closedir(d);
    }
    if (DIR *d = opendir("/tmp/.X11-unix")) {
        while (dirent *e = readdir(d))
            names.insert(std::string(".X11-unix/") + e->d_name);
        closedir(d);
    }
    return names;
}

struct Options {
    std::string x8a, raw, probe;
    int rounds = 5;
    int depth = 24;
};

class Bench {
  public:
    Bench(const Options &o, const kt::PrivateServer &x) : opt_(o), xvfb_(x) {}

    Run run(const std::string &program, bool probed)
    {
        int err_pipe[2], phase_pipe[2] = {-1, -1};
        if (pipe(err_pipe) != 0 || (probed && pipe(phase_pipe) != 0))
            die("pipe failed");
        double server_start = process_cpu_s(xvfb_.pid());
        double start = now_s();
        pid_t pid = fork();
        if (pid < 0)
            die("fork failed");
        if (pid == 0) {
            setenv("DISPLAY", xvfb_.name().c_str(), 1);
            pin_pid(0, 1);
            if (probed) {
                setenv("LD_PRELOAD", opt_.probe.c_str(), 1);
                setenv("X8A_PHASE_FD", std::to_string(phase_pipe[1]).c_str(), 1);
                close(phase_pipe[0]);
            }
            close(err_pipe[0]);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(err_pipe[1], 2);
            execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
            std::perror(program.c_str());
            _exit(127);
        }
        close(err_pipe[1]);
        if (probed)
            close(phase_pipe[1]);
        Run r;
        std::string phases;
        Output out;
        out.add(err_pipe[0], &r.err);
        if (probed)
            out.add(phase_pipe[0], &phases);
        int status = 0;
        rusage ru{};
        bool child_seen = !probed;
        for (;;) {
            if (!child_seen && now_s() - start < 10)
                child_seen = note_child_files(pid);
            r.hwm_kb = std::max(r.hwm_kb, vm_hwm_kb(pid));
            pid_t w = wait4(pid, &status, WNOHANG, &ru);
            if (w == pid)
                break;
            if (now_s() - start > Run_limit_s) {
                kill(pid, SIGKILL);
                wait4(pid, &status, 0, &ru);
                r.err += "x8a_bench: killed after " + std::to_string(Run_limit_s) + " s\n";
                break;
            }
            out.pump(20);
        }
        double end = now_s();
        r.server_cpu_s = process_cpu_s(xvfb_.pid()) - server_start;
        out.drain();
        r.seconds = end - start;
        r.max_rss_kb = ru.ru_maxrss;
        r.cpu_s = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                  static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
        r.status = status;
        collect_orphans(program);
        if (probed)
            parse_phases(phases, start, end, r);
        return r;
    }

    std::vector<std::string> leftovers;

    // Files the programs' children run from, which must be gone afterwards.
    std::set<std::string> child_files;

  private:
    // Looked at only during the probed runs, which are not the ones timed
    // as a whole.
    bool note_child_files(pid_t parent)
    {
        bool seen = false;
        for (pid_t k : kt::children_of(parent)) {
            char path[4096];
            ssize_t n = readlink(("/proc/" + std::to_string(k) + "/exe").c_str(), path,
                                 sizeof path - 1);
            if (n <= 0)
                continue;
            std::string exe(path, static_cast<size_t>(n));
            // The library's temporary copy of its child, not the program's own
            // image seen between fork and exec (the build tree may be in /tmp).
            if (exe.rfind("/tmp/_xslave_", 0) == 0) {
                child_files.insert(exe.substr(0, exe.find(' ')));
                seen = true;
            }
        }
        return seen;
    }

    // The programs' own children must have ended with them; whatever is
    // still there is noted and stopped.
    void collect_orphans(const std::string &program)
    {
        for (int i = 0; i < 100; i++) {
            while (waitpid(-1, nullptr, WNOHANG) > 0) {
            }
            auto kids = kt::children_of(getpid());
            kids.erase(std::remove(kids.begin(), kids.end(), xvfb_.pid()), kids.end());
            if (kids.empty())
                return;
            if (i == 99)
                for (pid_t k : kids) {
                    leftovers.push_back("process " + std::to_string(k) + " left by " + program);
                    kill(k, SIGKILL);
                    waitpid(k, nullptr, 0);
                }
            usleep(10000);
        }
    }

    static void parse_phases(const std::string &text, double start, double end, Run &r)
    {
        std::istringstream in(text);
        std::string name;
        double t, cpu;
        long kb;
        unsigned long request;
        struct mark {
            std::string name;
            double t, cpu;
            unsigned long request;
        };
        std::vector<mark> marks{{"open", start, 0, 0}};
        while (in >> name >> t >> kb >> cpu >> request) {
            if (name == "start")
                continue;
            if (name == "exit")
                name = "end";
            else
                r.phase_rss[name] = kb;
            marks.push_back({name, name == "end" ? end : t, cpu, request});
        }
        if (marks.back().name != "end")
            marks.push_back({"end", end, marks.back().cpu, 0});
        for (size_t i = 0; i + 1 < marks.size(); i++) {
            r.phase_s[marks[i].name] = marks[i + 1].t - marks[i].t;
            r.phase_cpu[marks[i].name] = marks[i + 1].cpu - marks[i].cpu;
            if (marks[i].request && marks[i + 1].request)
                r.phase_requests[marks[i].name] = marks[i + 1].request - marks[i].request;
        }
    }

    const Options &opt_;
    const kt::PrivateServer &xvfb_;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const char *const Usage =
    "usage: x8a_bench --x8a PATH --raw PATH [--probe PATH] [--rounds N] [--depth D] [--pin]";

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                die("missing value after " + a);
            return argv[++i];
        };
        if (a == "--x8a")
            o.x8a = value();
        else if (a == "--raw")
            o.raw = value();
        else if (a == "--probe")
            o.probe = value();
        else if (a == "--pin")
            Pin = sysconf(_SC_NPROCESSORS_ONLN) >= 2;
        else if (a == "--rounds")
            o.rounds = std::max(1, std::atoi(value().c_str()));
        else if (a == "--depth")
            o.depth = std::atoi(value().c_str());
        else
            die(Usage);
    }
    if (o.x8a.empty() || o.raw.empty())
        die(Usage);
    if (o.depth != 8 && o.depth != 16 && o.depth != 24)
        die("--depth must be 8, 16 or 24");
    for (auto *p : {&o.x8a, &o.raw, &o.probe})
        if (!p->empty() && access(p->c_str(), R_OK) != 0)
            die(*p + ": " + std::strerror(errno));
    return o;
}

void check_run(const char *what, const Run &r)
{
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
        std::fprintf(stderr, "x8a_bench: %s failed (wait status %d):\n%s", what, r.status,
                     r.err.c_str());
        std::exit(1);
    }
}

std::string first_lines(const std::string &s, int n)
{
    std::istringstream in(s);
    std::string line, out;
    for (int i = 0; i < n && std::getline(in, line); i++)
        out += "    " + line + "\n";
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    Options opt = parse(argc, argv);
    const char *loc = std::setlocale(LC_CTYPE, "");
    if (!loc)
        die("the locale named by the environment is not installed");
    std::string locale_name = loc, codeset = nl_langinfo(CODESET);

    prctl(PR_SET_CHILD_SUBREAPER, 1);
    signal(SIGPIPE, SIG_IGN);
    auto tmp_before = tmp_names();
    std::vector<Run> x8a, raw, x8a_p, raw_p;
    std::vector<std::string> leftovers;
    std::set<std::string> child_files;
    std::string screen;
    {
        kt::PrivateServer server(opt.depth);
        pin_pid(server.pid(), 0);
        screen = server.name();
        Bench bench(opt, server);
        std::printf("x8a benchmark: %d rounds on a private Xvfb %s (1280x1024, depth %d), "
                    "locale %s (codeset %s)\n",
                    opt.rounds, screen.c_str(), opt.depth, locale_name.c_str(), codeset.c_str());
        std::fflush(stdout);
        for (int i = 0; i < opt.rounds; i++) {
            bool x8a_first = i % 2 == 0;
            for (int k = 0; k < 2; k++) {
                bool is_x8a = (k == 0) == x8a_first;
                Run r = bench.run(is_x8a ? opt.x8a : opt.raw, false);
                check_run(is_x8a ? "x8a" : "x8a_raw", r);
                (is_x8a ? x8a : raw).push_back(r);
            }
            if (!opt.probe.empty())
                for (int k = 0; k < 2; k++) {
                    bool is_x8a = (k == 0) == x8a_first;
                    Run r = bench.run(is_x8a ? opt.x8a : opt.raw, true);
                    check_run(is_x8a ? "x8a (probed)" : "x8a_raw (probed)", r);
                    (is_x8a ? x8a_p : raw_p).push_back(r);
                }
            std::printf("  round %d: x8a %.3f s, raw %.3f s, ratio %.4f   (server CPU %.2f s, %.2f s)\n",
                        i + 1, x8a.back().seconds, raw.back().seconds,
                        x8a.back().seconds / raw.back().seconds, x8a.back().server_cpu_s,
                        raw.back().server_cpu_s);
            std::fflush(stdout);
        }
        leftovers = bench.leftovers;
        child_files = bench.child_files;
    }
    // Xvfb is gone: its lock file and socket must be gone too.
    for (int i = 0; i < 100; i++) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (kt::children_of(getpid()).empty())
            break;
        usleep(10000);
    }
    for (pid_t k : kt::children_of(getpid()))
        leftovers.push_back("process " + std::to_string(k) + " still running");
    // Other programs may come and go in /tmp meanwhile: only the names that
    // these runs make count.
    std::string number = screen.substr(1);
    for (auto &n : tmp_names())
        if (!tmp_before.count(n) &&
            (n.rfind("_xslave_", 0) == 0 || n == ".X" + number + "-lock" ||
             n == ".X11-unix/X" + number))
            leftovers.push_back("/tmp/" + n);
    for (auto &f : child_files)
        if (access(f.c_str(), F_OK) == 0)
            leftovers.push_back(f);

    std::vector<double> tx, tr, ratios;
    std::vector<double> mx, mr, wx, wr, cx, cr, sx, sr;
    for (size_t i = 0; i < x8a.size(); i++) {
        tx.push_back(x8a[i].seconds);
        tr.push_back(raw[i].seconds);
        ratios.push_back(x8a[i].seconds / raw[i].seconds);
        mx.push_back(static_cast<double>(x8a[i].hwm_kb));
        mr.push_back(static_cast<double>(raw[i].hwm_kb));
        wx.push_back(static_cast<double>(x8a[i].max_rss_kb));
        wr.push_back(static_cast<double>(raw[i].max_rss_kb));
        cx.push_back(x8a[i].cpu_s);
        cr.push_back(raw[i].cpu_s);
        sx.push_back(x8a[i].server_cpu_s);
        sr.push_back(raw[i].server_cpu_s);
    }
    double ratio = median(ratios);
    std::printf("\n%-15s %10s %10s %9s\n", "", "x8a (s)", "raw (s)", "x8a/raw");
    std::printf("%-15s %10.3f %10.3f %9.4f   (median of %zu paired ratios, %.4f .. %.4f)\n",
                "whole run", median(tx), median(tr), ratio, ratios.size(),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("%-15s %10.3f %10.3f %9.4f   (the programs' own processor time, median)\n",
                "client CPU", median(cx), median(cr), median(cx) / median(cr));
    std::printf("%-15s %10.3f %10.3f %9.4f   (the X server's processor time, median)\n",
                "server CPU", median(sx), median(sr), median(sx) / median(sr));
    if (!x8a_p.empty()) {
        std::printf("phases, from %zu runs each with the phase probe preloaded:\n", x8a_p.size());
        std::printf("  %-13s %10s %10s %9s %12s %12s %14s %20s\n", "", "x8a (s)", "raw (s)",
                    "x8a/raw", "x8a CPU (s)", "raw CPU (s)", "added us/call", "X requests x8a/raw");
        for (const char *ph : Phases) {
            std::vector<double> px, pr, pq, ux, ur, added;
            for (size_t i = 0; i < x8a_p.size(); i++) {
                auto a = x8a_p[i].phase_s.find(ph), b = raw_p[i].phase_s.find(ph);
                if (a == x8a_p[i].phase_s.end() || b == raw_p[i].phase_s.end())
                    continue;
                px.push_back(a->second);
                pr.push_back(b->second);
                pq.push_back(a->second / b->second);
                ux.push_back(x8a_p[i].phase_cpu[ph]);
                ur.push_back(raw_p[i].phase_cpu[ph]);
                added.push_back(ux.back() - ur.back());
            }
            char per_call[32] = "-";
            if (phase_calls(ph) > 0 && !added.empty())
                std::snprintf(per_call, sizeof per_call, "%+.3f", median(added) / phase_calls(ph) * 1e6);
            std::string requests = "-";
            auto qa = x8a_p.back().phase_requests.find(ph), qb = raw_p.back().phase_requests.find(ph);
            if (qa != x8a_p.back().phase_requests.end() && qb != raw_p.back().phase_requests.end())
                requests = std::to_string(qa->second) + "/" + std::to_string(qb->second);
            if (px.empty())
                std::printf("  %-13s %10s %10s %9s\n", ph, "-", "-", "-");
            else
                std::printf("  %-13s %10.3f %10.3f %9.4f %12.3f %12.3f %14s %20s\n", ph, median(px),
                            median(pr), median(pq), median(ux), median(ur), per_call,
                            requests.c_str());
        }
    }
    double dx = median(mx), dr = median(mr);
    std::printf("\npeak RSS (median of VmHWM): x8a %.0f kB, raw %.0f kB, difference %+.0f kB\n",
                dx, dr, dx - dr);
    std::printf("  (wait4's maximum over each program and the children it waited for: x8a %.0f kB, "
                "raw %.0f kB)\n",
                median(wx), median(wr));
    if (!x8a_p.empty()) {
        auto growth = [](const std::vector<Run> &runs) {
            std::vector<double> g;
            for (auto &r : runs) {
                auto a = r.phase_rss.find("sweeps"), b = r.phase_rss.find("close");
                if (a != r.phase_rss.end() && b != r.phase_rss.end())
                    g.push_back(static_cast<double>(b->second - a->second));
            }
            return median(g);
        };
        std::printf("resident memory at each phase start, kB (last probed run):\n");
        std::printf("  %-13s %10s %10s\n", "", "x8a", "raw");
        for (const char *ph : Phases) {
            auto a = x8a_p.back().phase_rss.find(ph), b = raw_p.back().phase_rss.find(ph);
            if (a != x8a_p.back().phase_rss.end() && b != raw_p.back().phase_rss.end())
                std::printf("  %-13s %10ld %10ld\n", ph, a->second, b->second);
        }
        std::printf("growth from the sweeps to the close (median): x8a %+.0f kB, raw %+.0f kB\n",
                    growth(x8a_p), growth(raw_p));
    }
    std::string warnings = x8a.back().err;
    if (!warnings.empty())
        std::printf("\nx8a wrote to standard error (last run):\n%s", first_lines(warnings, 5).c_str());

    std::vector<double> added_cpu;
    for (size_t i = 0; i < x8a.size(); i++)
        added_cpu.push_back(cx[i] - cr[i]);
    const double added = median(added_cpu), raw_cpu = median(cr);
    const bool wall_met = ratio <= Wall_goal && opt.rounds >= Wall_rounds;
    const bool cpu_met = added <= Cpu_goal * raw_cpu;
    std::printf("\ngoals: whole run within 2 %% of raw: %s\n", wall_met || cpu_met ? "met" : "MISSED");
    std::printf("  wall ratio %.4f over %d rounds (<= %.2f over >= %d rounds): %s\n", ratio,
                opt.rounds, Wall_goal, Wall_rounds,
                wall_met ? "met" : opt.rounds < Wall_rounds ? "too few rounds" : "missed");
    std::printf("  added client CPU %+.3f s = %+.2f %% of raw's %.3f s (<= %.0f %%): %s\n", added,
                raw_cpu > 0 ? 100 * added / raw_cpu : 0.0, raw_cpu, 100 * Cpu_goal,
                cpu_met ? "met" : "missed");
    std::printf("  peak RSS difference <= 2048 kB: %s (%+.0f kB)\n",
                dx - dr <= 2048 ? "met" : "MISSED", dx - dr);
    if (leftovers.empty())
        std::printf("left behind: nothing (no process; no file in /tmp, %zu child executable%s "
                    "checked)\n",
                    child_files.size(), child_files.size() == 1 ? "" : "s");
    else
        for (auto &l : leftovers)
            std::printf("LEFT BEHIND: %s\n", l.c_str());
    return leftovers.empty() ? 0 : 1;
}
