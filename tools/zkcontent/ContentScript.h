#pragma once

#include <string>
#include <vector>

#include "PictureLayout.h"

// The screen content that zkcontent plays: pictures and sequences from the
// screen corpus, each cut to the size of the shared area. Stills are cut at
// their centre; a sequence is cut around the area where its frames differ,
// so that its change stays in view. Portable; built once, then read.

struct Scene {
  std::string label;  // e.g. "seq_typing_notepad_1920x1080/frame_04"
  Picture picture;
};

struct ScriptOptions {
  std::string corpus;  // folder of the corpus
  uint32_t width = 0, height = 0;
  int framesPerSequence = 5;  // spread over the ten frames of each sequence
};

bool LoadScenes(const ScriptOptions& options, std::vector<Scene>* scenes, std::string* error);

// Where a cut of the given size is centred on `box` without leaving a
// picture of size (pictureWidth, pictureHeight); the left edge is a multiple
// of 4, as frame rectangles are.
void PlaceCut(uint32_t pictureWidth, uint32_t pictureHeight, uint32_t width, uint32_t height,
              int32_t boxCentreX, int32_t boxCentreY, uint32_t* left, uint32_t* top);
