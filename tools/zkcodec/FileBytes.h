#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whole-file reads and writes of compressed streams; errors come back as text.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool WriteFileBytes(const std::string& path, const uint8_t* bytes, size_t count, std::string& error);
