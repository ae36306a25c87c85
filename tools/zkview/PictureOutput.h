#pragma once

#include <string>

#include "PictureLayout.h"
#include "frames/ViewerPicture.h"

// The viewer's picture as zkview hands it out: a copy in the tools' frame
// layout (for the PNG) and the line that names it,
//
//   picture WIDTHxHEIGHT sha256 HEX
//
// where HEX is the SHA-256 (mbed TLS) of the 24-bit pixels, rows top to
// bottom, each pixel red, green, blue: what any PNG reader gets back from the
// saved file, so that a script can check one against the other. Portable, no
// state.

// An empty picture (0 x 0) before any format arrived.
Picture CopyPicture(const PictureView& view);
std::string PictureLine(const Picture& picture);
