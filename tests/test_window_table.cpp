// The window table and the shared utilities.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

// Puts the table back to "no table" between tests.
struct TableTest : ::testing::Test {
    void TearDown() override
    {
        free(Pc);
        Pc = nullptr;
        N_Pc = 0;
    }
    static void close_slot(int i)
    {
        Pc[i].in_use = 0;
        shrink_Pc();
    }
};

TEST_F(TableTest, FirstNumberedSlotIsOneInATwoSlotTable)
{
    EXPECT_EQ(choose_slot(1), 1);
    EXPECT_EQ(N_Pc, 2);
    EXPECT_EQ(Pc[0].in_use, 0);
    EXPECT_EQ(Pc[0].font_size, -1);
    EXPECT_EQ(Pc[0].font, nullptr);
}

TEST_F(TableTest, SlotZeroOnlyOnceForUnnumberedRequests)
{
    EXPECT_EQ(choose_slot(0), 0);
    EXPECT_EQ(choose_slot(0), -1);
    EXPECT_EQ(N_Pc, 2);
}

TEST_F(TableTest, GrowsByOneAndReusesFreedNumbers)
{
    for (int want = 1; want <= 5; want++) {
        EXPECT_EQ(choose_slot(1), want);
        EXPECT_EQ(N_Pc, want < 2 ? 2 : want + 1);
    }
    close_slot(3);
    EXPECT_EQ(N_Pc, 6);
    EXPECT_EQ(choose_slot(1), 3);
    EXPECT_EQ(choose_slot(1), 6);
    EXPECT_EQ(N_Pc, 7);
    // New slots arrive free, without a font.
    resize_Pc(9);
    EXPECT_EQ(Pc[8].in_use, 0);
    EXPECT_EQ(Pc[8].font_size, -1);
}

TEST_F(TableTest, ShrinksOnlyToTheHighestOpenSlot)
{
    choose_slot(1);
    choose_slot(1); // windows 1 and 2 in a 3-slot table
    ASSERT_EQ(N_Pc, 3);
    close_slot(2);
    EXPECT_EQ(N_Pc, 2);

    choose_slot(1); // 2 again
    ASSERT_EQ(N_Pc, 3);
    close_slot(1); // slot 2 is still the highest open one
    EXPECT_EQ(N_Pc, 3);
    close_slot(2);
    EXPECT_EQ(N_Pc, 2); // never below two slots

    // Closing window 5 of a 6-slot table whose other open windows are 1, 2.
    for (int i = 0; i < 5; i++)
        choose_slot(1);
    ASSERT_EQ(N_Pc, 6);
    close_slot(3);
    close_slot(4);
    EXPECT_EQ(N_Pc, 6);
    close_slot(5);
    EXPECT_EQ(N_Pc, 3);
}

TEST(Utilities, RoundsHalvesAwayFromZero)
{
    EXPECT_EQ(_kova_iround(2.5), 3);
    EXPECT_EQ(_kova_iround(-2.5), -3);
    EXPECT_EQ(_kova_iround(-0.4), 0);
    EXPECT_EQ(_kova_iround(0.5), 1);
    EXPECT_EQ(_kova_iround(-0.5), -1);
    EXPECT_EQ(_kova_iround(2.4999), 2);
    EXPECT_EQ(_kova_iround(NAN), INT_MAX);
    EXPECT_EQ(_kova_iround(1e300), INT_MAX);
    EXPECT_EQ(_kova_iround(-1e300), INT_MIN);
    EXPECT_EQ(_kova_iround(INFINITY), INT_MAX);
    EXPECT_EQ(_kova_iround(-INFINITY), INT_MIN);
}

TEST(Utilities, FormatsIntoFreshMemoryAtTheBufferEdge)
{
    std::string s63(63, 'a'), s64(64, 'b');
    malloc_str a(_kova_asprintf("%s", s63.c_str()));
    malloc_str b(_kova_asprintf("%s", s64.c_str()));
    malloc_str c(_kova_asprintf("%d-%s-%d", 7, std::string(200, 'x').c_str(), 9));
    EXPECT_EQ(std::string(a.get()), s63);
    EXPECT_EQ(std::string(b.get()), s64);
    EXPECT_EQ(std::string(c.get()), "7-" + std::string(200, 'x') + "-9");
    EXPECT_EQ(_kova_asprintf(nullptr), nullptr);
}

TEST(Utilities, UpperCaseCopy)
{
    malloc_str k(_kova_xstrdup_toupper("kova"));
    malloc_str m(_kova_xstrdup_toupper("x8a-1_2 \xe9"));
    EXPECT_STREQ(k.get(), "KOVA");
    EXPECT_STREQ(m.get(), "X8A-1_2 \xe9");
}

TEST(Utilities, AllocationFailureEndsTheProcessWithStatusOne)
{
    auto m = kt::run_forked([] { _kova_xmalloc(SIZE_MAX - 64); });
    EXPECT_TRUE(m.exited);
    EXPECT_EQ(m.code, 1);
    EXPECT_EQ(m.err, "KOVA: [ERROR] malloc() failed.\n");

    auto r = kt::run_forked([] { _kova_xrealloc(nullptr, SIZE_MAX - 64); });
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "KOVA: [ERROR] realloc() failed.\n");

    // The exit handlers run on this path: an atexit() handler sees it.
    auto h = kt::run_forked([] {
        atexit([] { fputs("handler ran\n", stderr); });
        _kova_xmalloc(SIZE_MAX - 64);
    });
    EXPECT_EQ(h.err, "KOVA: [ERROR] malloc() failed.\nhandler ran\n");
}

TEST(Utilities, SignalInstallsAndRestores)
{
    static volatile sig_atomic_t seen = 0;
    ASSERT_EQ(_kova_signal(SIGUSR1, 0, [](int) { seen = 1; }), 0);
    struct sigaction sa;
    sigaction(SIGUSR1, nullptr, &sa);
    EXPECT_TRUE(sigismember(&sa.sa_mask, SIGUSR1));
    EXPECT_FALSE(sigismember(&sa.sa_mask, SIGUSR2));
    raise(SIGUSR1);
    EXPECT_EQ(seen, 1);
    ASSERT_EQ(_kova_signal(SIGUSR1, 0, nullptr), 0);
    sigaction(SIGUSR1, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, SIG_DFL);
}

TEST(Utilities, WaitPidClearedIsBounded)
{
    volatile sig_atomic_t pid = 12345;
    EXPECT_EQ(wait_pid_cleared(&pid, 30), -1);
    pid = 0;
    EXPECT_EQ(wait_pid_cleared(&pid, -1), 0);
}

TEST(Utilities, ChannelMasks)
{
    int m = 0xf800;
    EXPECT_EQ(sftcount(&m), 11);
    EXPECT_EQ(bitcount(m), 5);
    m = 0x07e0;
    EXPECT_EQ(sftcount(&m), 5);
    EXPECT_EQ(bitcount(m), 6);
    m = 0xff0000;
    EXPECT_EQ(sftcount(&m), 16);
    EXPECT_EQ(bitcount(m), 8);
    m = 0x1f;
    EXPECT_EQ(sftcount(&m), 0);
    EXPECT_EQ(m, 0x1f);
}

} // namespace
