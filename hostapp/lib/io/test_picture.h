// The built-in input picture: colour bars, a hue spectrum, grey ramps, a grid and a few
// shapes with fine detail, drawn procedurally at any size (1280 x 720 by default).
#ifndef FFGLHOST_TEST_PICTURE_H
#define FFGLHOST_TEST_PICTURE_H

#include <cstdint>

#include "image.h"

namespace ffglhost {

constexpr uint32_t kTestPictureWidth = 1280;
constexpr uint32_t kTestPictureHeight = 720;

// Layout is proportional to the size, so every size shows the same picture; the size is
// printed on it. Fully opaque.
Image MakeTestPicture(uint32_t width = kTestPictureWidth, uint32_t height = kTestPictureHeight);

}  // namespace ffglhost

#endif  // FFGLHOST_TEST_PICTURE_H
