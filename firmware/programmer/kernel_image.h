// The flash kernel compiled into the library (generated at build time by make_kernel_image.py).
#pragma once

#include <cstddef>

extern "C" {
extern const unsigned char axprg_kernel_image[];
extern const size_t axprg_kernel_image_size;
extern const int axprg_kernel_is_stand_in;
}
