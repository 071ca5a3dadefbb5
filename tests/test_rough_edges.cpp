// What a user can get wrong around the library, tried as on a clean
// machine: no display, a /tmp that cannot be written, no "ps", and an X
// server that goes away.  Each ends with its message and status, never a
// hang, and leaves no child process and no temporary file behind.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace {

long reported(const std::string &err, const std::string &name)
{
    size_t at = err.find(name + "=");
    return at == std::string::npos ? -1 : std::atol(err.c_str() + at + name.size() + 1);
}

bool gone(long pid)
{
    return pid > 0 && kt::eventually([&] { return !kt::process_alive(static_cast<pid_t>(pid)); });
}

// A mount namespace of the forked child's own, in which paths may be made
// read-only or hidden without touching the machine; false where the
// sandbox allows no such thing.
bool private_mounts()
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool can_unshare()
{
    auto r = kt::run_forked([] { _exit(private_mounts() ? 0 : 3); });
    return r.code == 0;
}

// Draws on after the server was killed: the lost connection must end the
// process before the loop does.
[[noreturn]] void draw_until_lost(int wn)
{
    for (int i = 0; i < 100000; i++) {
        kova_drawline(wn, 0, 0, i % 100, 50);
        kova_gflush();
    }
    _exit(9);
}

} // namespace

TEST(RoughEdges, NoDisplay)
{
    auto r = kt::run_forked([] {
        setenv("DISPLAY", ":9999", 1);
        kova_gopen(100, 100);
        _exit(9);
    });
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot open display.\n");
}

TEST(RoughEdges, TmpCannotBeWritten)
{
    if (!can_unshare())
        GTEST_SKIP() << "no mount namespaces here";
    auto r = kt::run_forked([] {
        private_mounts();
        // The X server's socket stays reachable on a read-only mount.
        if (mount("/tmp", "/tmp", nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, "/tmp", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            _exit(3);
        kova_gopen(100, 100);
        _exit(9);
    });
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot create a file in /tmp/.\n");
}

TEST(RoughEdges, NoPsProgram)
{
    if (!can_unshare())
        GTEST_SKIP() << "no mount namespaces here";
    auto before = kt::child_copies();
    auto r = kt::run_forked([] {
        private_mounts();
        for (const char *ps : {"/usr/bin/ps", "/bin/ps"})
            mount("/dev/null", ps, nullptr, MS_BIND, nullptr);
        int wn = kova_gopen(100, 100);
        kova_drawline(wn, 0, 0, 50, 50);
        fprintf(stderr, "name=%s\ncpid=%ld\n", Pname, static_cast<long>(Cpid));
    });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err.substr(0, r.err.find("name=")), "KOVA: [ERROR] Cannot exec 'ps' command.\n");
    EXPECT_NE(r.err.find("name=KOVA\n"), std::string::npos) << r.err;
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}

// The server dies under a drawing program: the lost connection ends the
// process with its message through exit(), so the exit handler still stops
// the child.
TEST(RoughEdges, ServerGoesAwayWhileDrawing)
{
    auto before = kt::child_copies();
    kt::PrivateServer server(24);
    const pid_t server_pid = server.pid();
    const std::string name = server.name();
    auto r = kt::run_forked([&] {
        setenv("DISPLAY", name.c_str(), 1);
        int wn = kova_gopen(100, 100);
        fprintf(stderr, "cpid=%ld\n", static_cast<long>(Cpid));
        kill(server_pid, SIGKILL);
        draw_until_lost(wn);
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("\nKOVA: [ERROR] The connection to the X server was lost.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("X connection"), std::string::npos) << r.err;
    EXPECT_TRUE(gone(reported(r.err, "cpid")));
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}

// The server killed while a save reads the layer: every process of the
// program ends, the saving child through its own message, and the file's
// folder holds the complete picture or nothing, never a temporary file.
TEST(RoughEdges, ServerGoesAwayWhileSaving)
{
    auto before = kt::child_copies();
    kt::PrivateServer server(24);
    const pid_t server_pid = server.pid();
    const std::string name = server.name();
    char dir[] = "/tmp/kova-lost-save-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/out.ppm";
    auto r = kt::run_forked([&] {
        setenv("DISPLAY", name.c_str(), 1);
        int wn = kova_gopen(1024, 768);
        kova_fillrect(wn, 0, 0, 1024, 768);
        kova_gsaveimage(wn, 0, 0, 0, 1023, 767, "cat", 256, "%s", file.c_str());
        fprintf(stderr, "saver=%ld\n", static_cast<long>(Cpid_saveimg));
        kill(server_pid, SIGKILL);
        draw_until_lost(wn);
    });
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err.find("X connection"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("XIO"), std::string::npos) << r.err;
    const long saver = reported(r.err, "saver"); // 0: the save had ended
    EXPECT_TRUE(saver == 0 || gone(saver));
    std::set<std::string> left;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        left.insert(e.path().filename());
    if (left.erase("out.ppm")) {
        EXPECT_EQ(std::filesystem::file_size(file), 2359312u);
    }
    EXPECT_EQ(left, std::set<std::string>{});
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}
