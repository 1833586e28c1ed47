// A small but complete program image for tests and fuzz seeds: the three
// libraries, the twelve declared DLL functions, the six segments, a few
// relocations of every kind and fix-ups in groups 1 to 3.
#ifndef TULORA_IMAGE_IMAGE_SAMPLE_H
#define TULORA_IMAGE_IMAGE_SAMPLE_H

#include "image/image_format.h"

namespace tulora::image {

ProgramImage MakeSampleImage();

}  // namespace tulora::image

#endif  // TULORA_IMAGE_IMAGE_SAMPLE_H
