#pragma once

#include <string>

#include "CommandLine.h"

// The compress and decompress subcommands: picture files in, stream files
// out and back, through CompressionMgr exactly as the engine calls it (the
// whole picture as one region). On success `summary` holds one line for the
// user; on failure `error` says why.
bool RunCompress(const CompressOptions& options, std::string& summary, std::string& error);
bool RunDecompress(const DecompressOptions& options, std::string& summary, std::string& error);
