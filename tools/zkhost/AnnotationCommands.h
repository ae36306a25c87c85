#pragma once

#include <cstdint>
#include <string>

#include "HostCommands.h"

// The commands for annotation, in a presenter and in a viewer alike: allow
// it, place a highlight or a marker (which enters annotation mode for
// everyone), clear the marks, and leave the mode. The library acts on its
// next turn; the replies say what was asked. Command thread.

std::string RunAnnotation(HostSession& session, const CommandWordList& arguments);
std::string RunHighlight(HostSession& session, const CommandWordList& arguments);
std::string RunMarker(HostSession& session, const CommandWordList& arguments);
std::string RunClearMarks(HostSession& session, const CommandWordList& arguments);
std::string RunLeaveAnnotation(HostSession& session, const CommandWordList& arguments);

// "RRGGBB" (hexadecimal, as colours are written for people) to the
// library's colour value 0x00BBGGRR; false for anything else.
bool ParseMarkerColour(const std::string& text, uint32_t* colour);
