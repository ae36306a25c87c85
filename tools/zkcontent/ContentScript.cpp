#include "ContentScript.h"

#include <algorithm>
#include <cstdio>

#include "PictureFile.h"
#include "PictureMatch.h"

namespace {
// A desktop, two scenes of work, a photograph: what a shared screen shows.
const char* const kStills[] = {
    "s09_mixed_desktop_1920x1080.png",
    "s07_vim_c_source_1920x1080.png",
    "s08_photo_wallpaper_desktop_1920x1080.png",
};
const char* const kSequences[] = {
    "seq_typing_notepad_1920x1080",
    "seq_scroll_man_1920x1080",
    "seq_window_drag_1920x1080",
};
constexpr int kFramesInSequence = 10;

std::string FramePath(const std::string& corpus, const char* sequence, int frame) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%02d.png", frame);
  return corpus + "/" + sequence + name;
}

bool Load(const std::string& path, Picture* picture, std::string* error) {
  return ReadPictureFile(path, *picture, *error);
}

bool Fits(const Picture& picture, const ScriptOptions& options, const std::string& path,
          std::string* error) {
  if (picture.width >= options.width && picture.height >= options.height) return true;
  *error = path + " is smaller than the shared area";
  return false;
}

bool AddStill(const ScriptOptions& options, const char* file, std::vector<Scene>* scenes,
              std::string* error) {
  std::string path = options.corpus + "/" + file;
  Picture picture;
  if (!Load(path, &picture, error) || !Fits(picture, options, path, error)) return false;
  uint32_t left, top;
  PlaceCut(picture.width, picture.height, options.width, options.height, picture.width / 2,
           picture.height / 2, &left, &top);
  scenes->push_back({file, CropPicture(picture, left, top, options.width, options.height)});
  return true;
}

bool AddSequence(const ScriptOptions& options, const char* sequence, std::vector<Scene>* scenes,
                 std::string* error) {
  Picture first, last;
  std::string firstPath = FramePath(options.corpus, sequence, 0);
  if (!Load(firstPath, &first, error) || !Fits(first, options, firstPath, error) ||
      !Load(FramePath(options.corpus, sequence, kFramesInSequence - 1), &last, error))
    return false;
  PictureBox changed = DifferenceBox(first, last);
  uint32_t left, top;
  PlaceCut(first.width, first.height, options.width, options.height,
           (changed.left + changed.right) / 2, (changed.top + changed.bottom) / 2, &left, &top);
  int count = std::clamp(options.framesPerSequence, 1, kFramesInSequence);
  for (int i = 0; i < count; ++i) {
    int frame = i * (kFramesInSequence - 1) / std::max(count - 1, 1);
    Picture picture;
    std::string path = FramePath(options.corpus, sequence, frame);
    if (!Load(path, &picture, error) || !Fits(picture, options, path, error)) return false;
    char label[96];
    std::snprintf(label, sizeof label, "%s/frame_%02d", sequence, frame);
    scenes->push_back({label, CropPicture(picture, left, top, options.width, options.height)});
  }
  return true;
}
}  // namespace

void PlaceCut(uint32_t pictureWidth, uint32_t pictureHeight, uint32_t width, uint32_t height,
              int32_t boxCentreX, int32_t boxCentreY, uint32_t* left, uint32_t* top) {
  int32_t x = std::clamp<int32_t>(boxCentreX - static_cast<int32_t>(width / 2), 0,
                                  static_cast<int32_t>(pictureWidth - width));
  int32_t y = std::clamp<int32_t>(boxCentreY - static_cast<int32_t>(height / 2), 0,
                                  static_cast<int32_t>(pictureHeight - height));
  *left = static_cast<uint32_t>(x) & ~3u;
  *top = static_cast<uint32_t>(y);
}

bool LoadScenes(const ScriptOptions& options, std::vector<Scene>* scenes, std::string* error) {
  // Stills and sequences alternate, so the content changes in large and in
  // small steps.
  for (size_t i = 0; i < std::size(kStills); ++i) {
    if (!AddStill(options, kStills[i], scenes, error)) return false;
    if (!AddSequence(options, kSequences[i], scenes, error)) return false;
  }
  return true;
}
