/*
 * image_save.h - the child executable's image-saving mode.
 */
#ifndef KOVA_IMAGE_SAVE_H
#define KOVA_IMAGE_SAVE_H

/* The whole run: 0 when the image was written (and a converter has
 * ended), 1 otherwise. */
int image_mode(int argc, char **argv);

#endif /* KOVA_IMAGE_SAVE_H */
