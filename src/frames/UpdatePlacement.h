#pragma once

#include <cstdint>

#include "events/DisplayMessages.h"
#include "frames/Rect.h"

// Where a received display update lands in a viewer's picture: the rule the
// Win32 viewer's frame and the portable viewer model both apply, so that the
// same update changes the same pixels in each. Portable; no state.

enum class UpdatePlace {
  WHOLE,      // as large as the picture: the whole picture, wherever it says it lies
  PART,       // a rectangle inside the picture
  TOO_LARGE,  // wider or higher than the picture
  OUTSIDE,    // fits by size but not by place: it would leave the picture
  EMPTY,      // narrower than 4 pixels or no rows: nothing to decode
};

struct UpdatePlacement {
  UpdatePlace place;
  // The pixels the update rewrites (top-down picture coordinates): only
  // whole groups of 4 columns, as the sender's rectangles are. Empty unless
  // WHOLE or PART.
  Rect rect;
};

UpdatePlacement PlaceUpdate(const DisplayUpdateMessage& update, int32_t pictureWidth,
                            int32_t pictureHeight);
