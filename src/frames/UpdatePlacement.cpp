#include "frames/UpdatePlacement.h"

#include "frames/PictureBounds.h"

UpdatePlacement PlaceUpdate(const DisplayUpdateMessage& update, int32_t pictureWidth,
                            int32_t pictureHeight) {
  if (update.width == pictureWidth && update.height == pictureHeight)
    return {UpdatePlace::WHOLE, Rect{0, 0, pictureWidth, pictureHeight}};
  if (update.width > pictureWidth || update.height > pictureHeight)
    return {UpdatePlace::TOO_LARGE, Rect{}};
  if (update.left + update.width > pictureWidth || update.top + update.height > pictureHeight)
    return {UpdatePlace::OUTSIDE, Rect{}};
  const int32_t width = PictureWidth(update.width);
  if (width == 0 || update.height == 0) return {UpdatePlace::EMPTY, Rect{}};
  return {UpdatePlace::PART,
          Rect{update.left, update.top, update.left + width, update.top + update.height}};
}
