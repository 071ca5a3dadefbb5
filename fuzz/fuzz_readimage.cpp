// fuzz_readimage.cpp - libFuzzer target for the image stream reader: any
// bytes at all must give an image or NULL, never a fault, a read or write
// out of bounds, a leak or an allocation without bound.
//
//   build-fuzz/fuzz/fuzz_readimage -close_fd_mask=2 tests/corpus/readimage
#include "kova_private.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* A memory stream cannot be empty; an empty file stands in. */
    FILE *in = size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : tmpfile();
    if (!in)
        return 0;
    int w = 0, h = 0, msk = 0;
    unsigned char *image = read_image_stream(in, &w, &h, &msk);
    if (image) {
        /* Every pixel of the promised size is there, and its alpha agrees
         * with the mask kind reported. */
        bool partial = false;
        for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); i++) {
            unsigned char a = image[4 * i];
            if (msk == 0 && a != 255)
                abort();
            partial |= a != 0 && a != 255;
        }
        if ((msk == 256) != partial || (msk != 0 && msk != 1 && msk != 256))
            abort();
        free(image);
    }
    fclose(in);
    return 0;
}
