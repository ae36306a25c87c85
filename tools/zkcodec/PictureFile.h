#pragma once

#include <string>

#include "PictureLayout.h"

// Reading and writing PNG picture files in the frame layout. The native build
// implements this with libpng, the Windows build with the Windows Imaging
// Component; both convert whatever the file holds (palette, grey, alpha,
// 16-bit channels) to 8-bit blue-green-red. Errors come back as text.

// Loads a PNG; the width is cropped to a multiple of 4.
bool ReadPictureFile(const std::string& path, Picture& picture, std::string& error);

// Saves a picture as a 24-bit PNG with the same pixels.
bool WritePictureFile(const std::string& path, const Picture& picture, std::string& error);
