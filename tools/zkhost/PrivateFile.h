#pragma once

#include <string>

// Creates a new file that only its owner may read, holding `contents`: a
// private key must not be readable by others, not even for a moment. False
// when the file exists already or could not be written whole (nothing is
// left behind then). Any thread.
bool CreatePrivateFile(const std::string& path, const std::string& contents);
