#pragma once

#include "PictureLayout.h"

// Reads a rectangle of the screen as it is shown now, into the frame layout
// (24-bit, bottom-up). The width must be a multiple of 4. Any thread; the
// thread that paints a window must have pumped its queue since painting for
// the grab to see it.
bool GrabScreen(int x, int y, int width, int height, Picture* out);
