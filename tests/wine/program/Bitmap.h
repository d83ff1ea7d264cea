// Saving captured screen pixels as a BMP file, for screenshots that the tests leave in the build folder.
#ifndef QUORVANE_TEST_BITMAP_H
#define QUORVANE_TEST_BITMAP_H

#include <string>

#include "Drive.h"

// Writes a 24-bit bottom-up BMP; false when the file cannot be written.
bool SaveBitmap(const drive::Image& image, const std::string& path);

#endif
