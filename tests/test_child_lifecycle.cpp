// Starting and ending the window child: the temporary copy of the
// executable, its command line, and waits that end when the child dies.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "kova_protocol.h"
#include "xserver.hpp"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string exec_template = "/tmp/_xslave_XXXXXX";

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> cmdline(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// In a forked test process: a library of its own, on a connection of its
// own (the parent's is not ours to use).
void fresh_library()
{
    Pc_dis = nullptr;
    Pc_zwin = 0;
    Cpid = 0;
    if (display_setup() != 0)
        _exit(90);
}

// Commands 4-11 and 2 for a plain window.
void announce_plain(int n, Window w)
{
    for (int code : {KOVA_CMD_TOP_WIN, KOVA_CMD_CLIP_WIN, KOVA_CMD_DRAW_WIN})
        send_command_to_child(n, code, w, 0);
    send_command_to_child(n, KOVA_CMD_MANAGE, 0, 0);
}

Window plain_window()
{
    Window w = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), 0, 0, 50, 40, 0, 0, 0);
    XMapWindow(Pc_dis, w);
    return w;
}

pid_t pid_in(const std::string &err)
{
    size_t at = err.find("child ");
    return at == std::string::npos ? 0 : std::atoi(err.c_str() + at + 6);
}

TEST(ChildLifecycle, TheTemporaryCopyIsExactAndExecutableByItsOwnerOnly)
{
    ASSERT_EQ(mkexecfile(), 0);
    std::string path = Exec_slave_tmp;
    EXPECT_EQ(path.rfind("/tmp/_xslave_", 0), 0u);
    EXPECT_EQ(path.size(), exec_template.size());
    EXPECT_NE(path, exec_template);
    EXPECT_NE(Exec_fd, -1);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), _xslave__size);
    EXPECT_EQ(std::memcmp(bytes.data(), _xslave_, _xslave__size), 0);
    EXPECT_EQ(bytes.compare(0, 4, "\x7f" "ELF"), 0);

    rmexecfile();
    EXPECT_EQ(Exec_fd, -1);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(std::string(Exec_slave_tmp), exec_template);

    // The name may have gone to someone else since: a second removal leaves
    // it alone.
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    ASSERT_NE(fd, -1);
    close(fd);
    rmexecfile();
    EXPECT_TRUE(exists(path));
    unlink(path.c_str());

    // So does the first, once the child has removed its copy and another
    // file has taken the name.
    ASSERT_EQ(mkexecfile(), 0);
    path = Exec_slave_tmp;
    unlink(path.c_str());
    fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    ASSERT_NE(fd, -1);
    close(fd);
    rmexecfile();
    EXPECT_TRUE(exists(path));
    unlink(path.c_str());
}

TEST(ChildLifecycle, TheChildRunsFromACopyThatIsGoneOnceItAnswered)
{
    auto before = kt::child_copies();
    ASSERT_EQ(display_setup(), 0);
    start_child();
    pid_t pid = Cpid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(Exec_fd, -1);

    std::vector<std::string> args = cmdline(pid);
    ASSERT_EQ(args.size(), 9u);
    EXPECT_EQ(args[0].rfind("/tmp/_xslave_", 0), 0u);
    EXPECT_FALSE(exists(args[0]));
    EXPECT_EQ(args[1], "1");
    EXPECT_EQ(args[2], std::to_string(getpid()));
    EXPECT_EQ(args[3], std::to_string(get_color_pixel("#c0c0c0")));
    EXPECT_EQ(args[4], std::to_string(get_color_pixel("#6f6f6f")));
    EXPECT_EQ(args[5], std::to_string(get_color_pixel("#a3a3a3")));
    EXPECT_EQ(args[6], std::to_string(get_color_pixel("#e7e7e7")));
    EXPECT_EQ(args[7], "19");
    EXPECT_EQ(args[8], std::to_string(Pc_zwin));
    EXPECT_TRUE(kt::child_copies_left(before).empty());

    // An interrupt typed at the terminal is not for the child.
    kill(pid, SIGINT);
    sync_child(1);
    EXPECT_TRUE(kt::process_alive(pid));
    EXPECT_EQ(Cpid, pid);

    // Without a SIGCHLD handler the synchronisation itself notices that the
    // child has ended, and collects it.
    kill(pid, SIGTERM);
    sync_child(1);
    EXPECT_EQ(Cpid, 0);
    EXPECT_FALSE(kt::process_alive(pid));
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    // With no child, synchronising returns at once.
    sync_child(1);
}

TEST(ChildLifecycle, WaitsEndWhenTheHandlerCollectsADeadChild)
{
    auto r = kt::run_forked([] {
        fresh_library();
        start_child();
        install_kova_handlers();
        kill(Cpid, SIGKILL);
        sync_child(1);
        if (wait_pid_cleared(&Cpid, 2000) != 0)
            _exit(3);
        sync_child(0);
        remove_kova_handlers();
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(ChildLifecycle, AChildThatCannotOpenTheDisplayEndsTheStart)
{
    auto before = kt::child_copies();
    auto r = kt::run_forked([] {
        fresh_library();
        setenv("DISPLAY", ":9876", 1);
        start_child();
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kova: [ERROR] Cannot open display.\n"
                     "KOVA: [ERROR] The child process ended before it started to serve the windows.\n");
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}

TEST(ChildLifecycle, WritingTheCopyIsRetriedABoundedNumberOfTimes)
{
    auto before = kt::child_copies();
    auto r = kt::run_forked([] {
        fresh_library();
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        start_child();
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot create a file in /tmp/.\n");
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}

TEST(ChildLifecycle, CommandsForTheWrongWindowAreReported)
{
    auto r = kt::run_forked([] {
        fresh_library();
        start_child();
        send_command_to_child(4, KOVA_CMD_KEY_MASK, 8, 0); // a free window
        send_command_to_child(5, KOVA_CMD_UNMANAGE, 0, 0); // a free window
        Window w = plain_window();
        announce_plain(7, w);
        send_command_to_child(7, KOVA_CMD_MANAGE, 0, 0); // managed already
        send_command_to_child(7, KOVA_CMD_KEY_MASK, 8, 0); // fine
        send_command_to_child(7, KOVA_CMD_UNMANAGE, 0, 0);
        sync_child(1);
        XDestroyWindow(Pc_dis, w);
        XSync(Pc_dis, False);
        sync_child(1);
        pid_t pid = Cpid;
        if (pid <= 0)
            _exit(3);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "kova: [ERROR] Invalid wid.\n"
                     "kova: [ERROR] Invalid wid.\n"
                     "kova: [ERROR] Invalid wid.\n");
}

TEST(ChildLifecycle, WindowsDestroyedBehindTheLibrarysBackEndTheApplication)
{
    auto r = kt::run_forked([] {
        fresh_library();
        start_child();
        fprintf(stderr, "child %d\n", static_cast<int>(Cpid));
        Window w = plain_window();
        announce_plain(1, w);
        sync_child(1);
        XDestroyWindow(Pc_dis, w);
        XSync(Pc_dis, False);
        kova_msleep(10000);
        _exit(4);
    });
    EXPECT_TRUE(r.signalled);
    EXPECT_EQ(r.signal, SIGTERM);
    pid_t child = pid_in(r.err);
    ASSERT_GT(child, 0) << r.err;
    // With nobody left to stop it, the child ends by itself.
    EXPECT_TRUE(kt::eventually([&] { return !kt::process_alive(child); }, 5000));
}

TEST(ChildLifecycle, AKilledLibraryLeavesNoChildBehind)
{
    auto r = kt::run_forked([] {
        fresh_library();
        start_child();
        fprintf(stderr, "child %d\n", static_cast<int>(Cpid));
        raise(SIGKILL);
    });
    EXPECT_EQ(r.signal, SIGKILL);
    pid_t child = pid_in(r.err);
    ASSERT_GT(child, 0) << r.err;
    EXPECT_TRUE(kt::eventually([&] { return !kt::process_alive(child); }, 5000));
}

TEST(ChildLifecycle, TheExecutableRefusesWhatItCannotServe)
{
    ASSERT_EQ(mkexecfile(), 0);
    close(Exec_fd);
    Exec_fd = -1;
    std::string path = Exec_slave_tmp;
    auto run = [&](std::vector<const char *> args) {
        return kt::run_forked([&] {
            args.insert(args.begin(), path.c_str());
            args.push_back(nullptr);
            execv(path.c_str(), const_cast<char **>(args.data()));
            _exit(99);
        });
    };
    auto none = run({});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err, "");
    EXPECT_EQ(run({"9"}).code, 1);
    auto few = run({"1", "123", "0"});
    EXPECT_EQ(few.code, 1);
    EXPECT_EQ(few.err, "kova: [ERROR] Invalid arguments.\n");
    rmexecfile();
    EXPECT_FALSE(exists(path));
}

} // namespace
