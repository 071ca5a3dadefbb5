// The pieces that the library and the window child share (common/): the
// owners, the converter stream in both directions, long messages, and pixel
// decoding by channel masks in both byte orders.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "pixel_decode.h"
#include "xserver.hpp"

#include <X11/Xutil.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

bool fd_open(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

TEST(Owners, CloseAtScopeEndUnlessReleased)
{
    int fd;
    {
        owned_fd owner(open("/dev/null", O_RDONLY));
        fd = owner.get();
        ASSERT_TRUE(fd_open(fd));
    }
    EXPECT_FALSE(fd_open(fd));

    owned_fd kept(open("/dev/null", O_RDONLY));
    fd = kept.release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(fd_open(fd));
    close(fd);

    owned_file fp(std::fopen("/dev/null", "w"));
    owned_file moved = std::move(fp);
    EXPECT_FALSE(fp);
    EXPECT_EQ(moved.close(), 0);
    EXPECT_EQ(moved.close(), 0); // closing nothing is no failure
}

volatile sig_atomic_t Converter_pid = 0;

int wait_converter()
{
    int status = -1;
    while (waitpid(Converter_pid, &status, 0) < 0 && errno == EINTR)
        ;
    return status;
}

owned_file start(std::vector<const char *> words, converter_end end, int other,
                 converter_fault *fault)
{
    words.push_back(nullptr);
    const converter_setup setup = {&Converter_pid, -1, "Cannot exec '%s'.", "pipe", "fork",
                                   "stream"};
    return open_converter_stream(const_cast<char *const *>(words.data()), end, other, setup, fault);
}

TEST(ConverterStream, ReadsTheConvertersOutput)
{
    converter_fault fault;
    owned_file in = start({"echo", "from", "the", "converter"}, converter_end::output, -1, &fault);
    ASSERT_TRUE(in);
    EXPECT_EQ(fault, converter_fault::none);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, in.get()), nullptr);
    EXPECT_STREQ(line, "from the converter\n");
    in.close();
    EXPECT_EQ(wait_converter(), 0);
}

TEST(ConverterStream, WritesThroughAFilterIntoTheOtherDescriptor)
{
    char name[] = "/tmp/kova_common_XXXXXX";
    owned_fd file(mkstemp(name));
    ASSERT_TRUE(file);
    converter_fault fault;
    owned_file out = start({"tr", "a-z", "A-Z"}, converter_end::input, file.get(), &fault);
    ASSERT_TRUE(out);
    file.close();
    std::fputs("written once\n", out.get());
    EXPECT_EQ(out.close(), 0);
    EXPECT_EQ(wait_converter(), 0);
    std::FILE *back = std::fopen(name, "r");
    ASSERT_NE(back, nullptr);
    char line[64] = {};
    EXPECT_NE(std::fgets(line, sizeof line, back), nullptr);
    std::fclose(back);
    std::remove(name);
    EXPECT_STREQ(line, "WRITTEN ONCE\n");
}

TEST(ConverterStream, ACommandThatCannotRunSaysSoAndEnds255)
{
    kt::ChildResult r = kt::run_forked([] {
        converter_fault fault;
        owned_file in = start({"kova-no-such-converter"}, converter_end::output, -1, &fault);
        char c;
        bool empty = in && std::fread(&c, 1, 1, in.get()) == 0;
        int status = wait_converter();
        std::fprintf(stderr, "empty %d, status %d\n", empty,
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    });
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot exec 'kova-no-such-converter'.\nempty 1, status 255\n");
}

// A converter meets an interrupt, a closed pipe or a file size limit as any
// program does, whatever its starter ignores or holds.
TEST(ConverterStream, StartsWithTheDefaultSignalsAndNoneHeld)
{
    kt::ChildResult r = kt::run_forked([] {
        for (int sig : {SIGINT, SIGQUIT, SIGPIPE, SIGXFSZ})
            std::signal(sig, SIG_IGN);
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, nullptr);
        converter_fault fault;
        owned_file in = start({"grep", "^Sig[BI]", "/proc/self/status"}, converter_end::output, -1,
                              &fault);
        char line[64];
        while (in && std::fgets(line, sizeof line, in.get()))
            std::fputs(line, stderr);
        in.close();
        wait_converter();
    });
    const unsigned long ours = 1ul << (SIGINT - 1) | 1ul << (SIGQUIT - 1) |
                               1ul << (SIGPIPE - 1) | 1ul << (SIGCHLD - 1) | 1ul << (SIGXFSZ - 1);
    size_t blocked = r.err.find("SigBlk:"), ignored = r.err.find("SigIgn:");
    ASSERT_NE(blocked, std::string::npos) << r.err;
    ASSERT_NE(ignored, std::string::npos) << r.err;
    EXPECT_EQ(std::stoul(r.err.substr(blocked + 7), nullptr, 16), 0ul);
    EXPECT_EQ(std::stoul(r.err.substr(ignored + 7), nullptr, 16) & ours, 0ul);
}

TEST(Messages, LongTextsArriveWholeInOneLine)
{
    const std::string name(3000, 'n');
    std::string err = kt::capture_stderr([&] { _kova_error("Cannot open file: %s", name.c_str()); });
    EXPECT_EQ(err, "KOVA: [ERROR] Cannot open file: " + name + "\n");
    err = kt::capture_stderr([] { _kova_warn("Window %d is not open.", -3); });
    EXPECT_EQ(err, "KOVA: [WARNING] Window -3 is not open.\n");
}

// An XImage over the given bytes, as the server would hand it.
XImage image_of(std::vector<unsigned char> &bytes, int width, int bpp, int order)
{
    XImage img;
    std::memset(&img, 0, sizeof img);
    img.width = width;
    img.height = 1;
    img.format = ZPixmap;
    img.data = reinterpret_cast<char *>(bytes.data());
    img.byte_order = order;
    img.bitmap_unit = bpp;
    img.bitmap_bit_order = order;
    img.bitmap_pad = bpp;
    img.depth = bpp == 32 ? 24 : 16;
    img.bytes_per_line = static_cast<int>(bytes.size());
    img.bits_per_pixel = bpp;
    XInitImage(&img);
    return img;
}

// Pixel values laid out in the given byte order, bpp / 8 bytes each.
std::vector<unsigned char> layout(const std::vector<uint32_t> &values, int bpp, int order)
{
    std::vector<unsigned char> bytes;
    const int n = bpp / 8;
    for (uint32_t v : values)
        for (int b = 0; b < n; b++)
            bytes.push_back(static_cast<unsigned char>(v >> (8 * (order == MSBFirst ? n - 1 - b : b))));
    return bytes;
}

TEST(PixelDecoder, ChannelMasksInBothByteOrders)
{
    // Six pixels: the four-at-a-time path and the rest.
    const visual_channels rgb888 = {8, 8, 8, 16, 8, 0};
    const std::vector<uint32_t> wide = {0xff0000, 0x00ff00, 0x0000ff, 0x123456, 0xffffff, 0x000001};
    const unsigned char want888[] = {255, 255, 0, 0,    255, 0, 255, 0,    255, 0, 0, 255,
                                     255, 0x12, 0x34, 0x56, 255, 255, 255, 255, 255, 0, 0, 1};
    // 5-6-5: a channel at its largest reads 248 or 252, as its 16-bit widening's top byte.
    const visual_channels rgb565 = {5, 6, 5, 11, 5, 0};
    const std::vector<uint32_t> narrow = {0xf800, 0x07e0, 0x001f, 0x0821, 0xffff, 0x0000};
    const unsigned char want565[] = {255, 248, 0, 0, 255, 0, 252, 0, 255, 0, 0, 248,
                                     255, 8, 4, 8,   255, 248, 252, 248, 255, 0, 0, 0};
    for (int order : {LSBFirst, MSBFirst}) {
        std::vector<unsigned char> bytes = layout(wide, 32, order);
        XImage img = image_of(bytes, 6, 32, order);
        unsigned char out[24];
        decode_image(nullptr, 0, true, rgb888, &img, 6, 1, out);
        EXPECT_EQ(0, std::memcmp(out, want888, sizeof out)) << "32 bits, order " << order;

        bytes = layout(narrow, 16, order);
        img = image_of(bytes, 6, 16, order);
        decode_image(nullptr, 0, true, rgb565, &img, 6, 1, out);
        EXPECT_EQ(0, std::memcmp(out, want565, sizeof out)) << "16 bits, order " << order;
    }
}

} // namespace
