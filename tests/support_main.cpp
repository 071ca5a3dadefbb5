// support_main.cpp - the main() of every test program: one private Xvfb for
// the whole program, at the depth its --depth=N argument names.
// GoogleTest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "xserver.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Screen_depth = 24, Screen_width = 1280, Screen_height = 1024;

class ServerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { kt::start_test_server(Screen_depth, Screen_width, Screen_height); }
    void TearDown() override { kt::stop_test_server(); }
};

} // namespace

// A forked child ends with state of its parent's still referenced only by
// the parent: no leak check there.
extern "C" int __lsan_is_turned_off()
{
    return kt::in_forked_child();
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], "--depth=", 8) == 0)
            Screen_depth = std::atoi(argv[i] + 8);
        else if (std::strncmp(argv[i], "--screen=", 9) == 0)
            std::sscanf(argv[i] + 9, "%dx%d", &Screen_width, &Screen_height);
    }
    // A forked death-test child must not start servers of its own.
    ::testing::GTEST_FLAG(death_test_style) = "fast";
    unsetenv("DISPLAY");
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
    return RUN_ALL_TESTS();
}
