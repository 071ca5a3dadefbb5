/*
 * image_read.cpp - reading image files: binary PBM (P4), PGM (P5), PPM (P6)
 * and PAM (P7) streams of any maximum value up to 65535, straight from a
 * file or from a converter program that turns another format into one.
 *
 * The reader trusts nothing in the stream: sizes are checked before any
 * arithmetic, samples above the maximum value are taken as the maximum,
 * and the result grows with the bytes that actually arrive, so a header
 * that promises a huge image costs nothing until its pixels come.
 */
#include "kova_private.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr int line_size = 256;
/* Pixels converted per read; a multiple of 8 so that bitmap chunks are
 * whole bytes. */
constexpr size_t chunk_pixels = 8192;
/* The result's first allocation; it doubles as the pixels come in. */
constexpr size_t first_capacity = size_t(1) << 20;

enum class pixel_kind { bitmap, gray, gray_alpha, rgb, rgb_alpha };

struct header {
    bool pam = false;
    int width = 0, height = 0, maxval = 0;
    int depth = -1; /* samples per pixel; 0 for a bitmap */
};

/* Why a stream was refused; the reader's one failure path prints it. */
struct read_failure {
    char message[128];
};

[[noreturn]] KOVA_PRINTF(1, 2) void fail_with(const char *fmt, ...)
{
    read_failure f;
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(f.message, sizeof f.message, fmt, ap);
    va_end(ap);
    throw f;
}

/* Reads a decimal number as %d does (blanks, a sign, digits); out-of-range
 * values become the nearest int, which the size checks then refuse. */
bool scan_int(const char *&p, int *v)
{
    char *end;
    errno = 0;
    long n = std::strtol(p, &end, 10);
    if (end == p)
        return false;
    p = end;
    *v = n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
    return true;
}

bool keyword(const char *line, const char *word)
{
    size_t n = std::strlen(word);
    return std::strncmp(line, word, n) == 0 && std::isspace(static_cast<unsigned char>(line[n]));
}

void read_pam_header(FILE *in, header &h)
{
    static constexpr const char *keywords[] = {"WIDTH", "HEIGHT", "DEPTH", "MAXVAL"};
    int *fields[] = {&h.width, &h.height, &h.depth, &h.maxval};
    char line[line_size];
    for (;;) {
        const char *p = read_next(in, line, line_size);
        if (!p)
            fail_with("Invalid stream (2)");
        if (std::strncmp(p, "ENDHDR", 6) == 0 && (p[6] == '\0' || std::isspace(static_cast<unsigned char>(p[6]))))
            return;
        for (size_t k = 0; k < 4; k++) {
            if (!keyword(p, keywords[k]))
                continue;
            p += std::strlen(keywords[k]);
            if (!scan_int(p, fields[k]))
                fail_with("Invalid stream (3)");
        }
    }
}

header read_header(FILE *in)
{
    header h;
    char line[line_size];
    const char *p = read_next(in, line, line_size);
    if (!p || p[0] != 'P')
        fail_with("Invalid stream (1)");
    char type = p[1];
    if (type == '7') {
        h.pam = true;
        read_pam_header(in, h);
        return h;
    }
    if (type != '4' && type != '5' && type != '6')
        fail_with("Unsupported type: P%c", type);
    if (!(p = read_next(in, line, line_size)))
        fail_with("Invalid stream (2)");
    if (!scan_int(p, &h.width) || !scan_int(p, &h.height))
        fail_with("Invalid stream (3)");
    if (type == '4') {
        h.depth = 0;
        h.maxval = 1;
        return h;
    }
    if (!(p = read_next(in, line, line_size)))
        fail_with("Invalid stream (4)");
    if (!scan_int(p, &h.maxval))
        fail_with("Invalid stream (5)");
    h.depth = type == '5' ? 1 : 3;
    return h;
}

void check_header(const header &h)
{
    if (h.width < 1)
        fail_with("Invalid width: %d", h.width);
    if (h.height < 1)
        fail_with("Invalid height: %d", h.height);
    if (h.maxval < 1 || h.maxval > 65535)
        fail_with("Unsupported depth: %lld", h.maxval + 1LL);
    /* A PAM of depth 0 has no samples at all. */
    if (h.depth < (h.pam ? 1 : 0) || h.depth > 4)
        fail_with("Unsupported type");
    if (static_cast<size_t>(h.width) > static_cast<size_t>(PTRDIFF_MAX) / 4 / static_cast<size_t>(h.height))
        fail_with("Image too large: %dx%d", h.width, h.height);
}

/* The growing result: 4 bytes a pixel, never more than the whole image. */
class image_buffer {
    malloc_ptr<unsigned char> data_;
    size_t size_ = 0, capacity_ = 0, total_;

public:
    explicit image_buffer(size_t total) : total_(total) {}
    unsigned char *extend(size_t n)
    {
        if (size_ + n > capacity_) {
            size_t c = capacity_ ? capacity_ : std::min(total_, first_capacity);
            while (c < size_ + n)
                c = std::min(total_, c * 2);
            data_.reset(static_cast<unsigned char *>(_kova_xrealloc(data_.release(), c)));
            capacity_ = c;
        }
        unsigned char *p = data_.get() + size_;
        size_ += n;
        return p;
    }
    unsigned char *release() { return data_.release(); }
};

pixel_kind kind_of(int depth)
{
    constexpr pixel_kind kinds[] = {pixel_kind::bitmap, pixel_kind::gray, pixel_kind::gray_alpha,
                                    pixel_kind::rgb, pixel_kind::rgb_alpha};
    return kinds[depth];
}

constexpr size_t samples_of(pixel_kind k)
{
    return k == pixel_kind::bitmap ? 0 : k == pixel_kind::gray ? 1 : k == pixel_kind::gray_alpha ? 2
                                                               : k == pixel_kind::rgb         ? 3
                                                                                              : 4;
}

/* n pixels of one kind into the buffer layout; samples of SS bytes (most
 * significant first) go through to8, and 8-bit samples of maximum 255
 * (SS 0) are taken as they are. */
template <pixel_kind Kind, size_t SS>
void convert(const unsigned char *s, unsigned char *o, size_t n, const unsigned char *to8)
{
    constexpr size_t spp = samples_of(Kind);
    auto sample = [&](size_t k) -> unsigned char {
        return SS == 2 ? to8[s[2 * k] << 8 | s[2 * k + 1]] : SS == 1 ? to8[s[k]] : s[k];
    };
    for (size_t i = 0; i < n; i++, o += 4) {
        const size_t k = i * spp;
        if constexpr (Kind == pixel_kind::bitmap) {
            o[0] = 255;
            o[1] = o[2] = o[3] = (s[i / 8] >> (7 - i % 8)) & 1 ? 0 : 255;
        } else if constexpr (Kind == pixel_kind::gray || Kind == pixel_kind::gray_alpha) {
            o[0] = Kind == pixel_kind::gray ? 255 : sample(k + 1);
            o[1] = o[2] = o[3] = sample(k);
        } else {
            o[0] = Kind == pixel_kind::rgb ? 255 : sample(k + 3);
            o[1] = sample(k);
            o[2] = sample(k + 1);
            o[3] = sample(k + 2);
        }
    }
}

using converter = void (*)(const unsigned char *, unsigned char *, size_t, const unsigned char *);

template <pixel_kind Kind>
constexpr converter converter_for(int maxval)
{
    return maxval > 255 ? convert<Kind, 2> : maxval < 255 ? convert<Kind, 1> : convert<Kind, 0>;
}

converter converter_for(pixel_kind kind, int maxval)
{
    switch (kind) {
    case pixel_kind::bitmap: return converter_for<pixel_kind::bitmap>(maxval);
    case pixel_kind::gray: return converter_for<pixel_kind::gray>(maxval);
    case pixel_kind::gray_alpha: return converter_for<pixel_kind::gray_alpha>(maxval);
    case pixel_kind::rgb: return converter_for<pixel_kind::rgb>(maxval);
    default: return converter_for<pixel_kind::rgb_alpha>(maxval);
    }
}

/* Reads and converts every pixel; true when some alpha lay strictly
 * between 0 and 255. */
bool read_pixels(FILE *in, const header &h, image_buffer &out)
{
    const pixel_kind kind = kind_of(h.depth);
    const size_t ss = h.maxval > 255 ? 2 : 1;
    const size_t spp = samples_of(kind);
    const converter convert_run = converter_for(kind, h.maxval);
    const bool alpha = kind == pixel_kind::gray_alpha || kind == pixel_kind::rgb_alpha;
    /* Every sample value to its 8-bit value; values above maxval count as
     * maxval. */
    const size_t values = ss == 2 ? 65536 : 256;
    malloc_ptr<unsigned char> to8(static_cast<unsigned char *>(_kova_xmalloc(values)));
    for (size_t v = 0; v < values; v++)
        to8.get()[v] = static_cast<unsigned char>(std::min<size_t>(v, static_cast<size_t>(h.maxval)) * 255 /
                                            static_cast<size_t>(h.maxval));
    malloc_ptr<unsigned char> chunk(static_cast<unsigned char *>(
        _kova_xmalloc(kind == pixel_kind::bitmap ? chunk_pixels / 8 : chunk_pixels * spp * ss)));
    bool partial = false;
    const size_t w = static_cast<size_t>(h.width);
    for (int row = 0; row < h.height; row++) {
        for (size_t x = 0; x < w; x += chunk_pixels) {
            size_t n = std::min(chunk_pixels, w - x);
            size_t bytes = kind == pixel_kind::bitmap ? (n + 7) / 8 : n * spp * ss;
            if (std::fread(chunk.get(), 1, bytes, in) != bytes)
                fail_with("Invalid bitmap stream");
            unsigned char *o = out.extend(4 * n);
            convert_run(chunk.get(), o, n, to8.get());
            for (size_t i = 0; alpha && !partial && i < n; i++)
                partial = o[4 * i] != 0 && o[4 * i] != 255;
        }
    }
    return partial;
}

} // namespace

char *read_next(FILE *fp, char *line, int size)
{
    for (;;) {
        int c = std::getc(fp);
        if (c == EOF)
            return nullptr;
        int n = 0;
        /* A byte 0 in a line is taken as it comes and ends the text there. */
        while (c != EOF) {
            if (n < size - 1)
                line[n++] = static_cast<char>(c);
            if (c == '\n')
                break;
            c = std::getc(fp);
        }
        line[n] = '\0';
        char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p != '#')
            return p;
    }
}

unsigned char *read_image_stream(FILE *in, int *width, int *height, int *msk)
{
    try {
        const header h = read_header(in);
        check_header(h);
        image_buffer out(4 * static_cast<size_t>(h.width) * static_cast<size_t>(h.height));
        bool partial = read_pixels(in, h, out);
        *width = h.width;
        *height = h.height;
        *msk = h.depth == 2 || h.depth == 4 ? (partial ? 256 : 1) : 0;
        return out.release();
    } catch (const read_failure &f) {
        _kova_error("%s", f.message);
        return nullptr;
    }
}

namespace {

/* The stream an image file is read from: the file itself, or a pipe from
 * the converter that reads it (convert is asked for a PAM stream). */
owned_file open_image_input(const char *conv, const char *name)
{
    command_words words(conv);
    owned_file in;
    if (words.count == 0) {
        in = owned_file(std::fopen(name, "rb"));
    } else {
        const bool convert = is_convert_route(conv);
        malloc_ptr<char *> argv(static_cast<char **>(
            _kova_xmalloc(sizeof(char *) * (static_cast<size_t>(words.count) + 3))));
        char **a = argv.get();
        if (convert) {
            *a++ = words.words[0];
            *a++ = const_cast<char *>(name);
            *a++ = const_cast<char *>("PAM:-");
        } else {
            a = std::copy(words.words, words.words + words.count, a);
            *a++ = const_cast<char *>(name);
        }
        *a = nullptr;
        converter_setup messages = {};
        messages.exec_failed = "Cannot exec '%s' command.";
        messages.pipe_failed = "pipe() failed";
        messages.fork_failed = "fork() failed";
        converter_fault fault;
        in = open_converter(argv.get(), converter_end::output, -1, messages, &fault);
        if (fault == converter_fault::pipe || fault == converter_fault::fork)
            return in;
    }
    if (!in)
        _kova_error("Cannot open file: %s", name);
    return in;
}

} // namespace

unsigned char *kova_readimage(const char *conv, const char *name, int *r_width, int *r_height,
                              int *r_msk)
{
    if (!name)
        return nullptr;
    /* A file just saved in the background is complete only once its saver
     * has ended. */
    wait_child();
    owned_file in = open_image_input(conv, name);
    unsigned char *image = nullptr;
    int w = 0, h = 0, m = 0;
    if (in) {
        image = read_image_stream(in.get(), &w, &h, &m);
        /* Closed before the wait: a converter still writing then ends. */
        in.close();
    }
    converter_succeeded();
    if (image) {
        if (r_width)
            *r_width = w;
        if (r_height)
            *r_height = h;
        if (r_msk)
            *r_msk = m;
    }
    return image;
}
