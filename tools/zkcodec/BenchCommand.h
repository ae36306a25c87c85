#pragma once

#include "CommandLine.h"

// The bench subcommand; returns the process exit code. Only the native build
// has the reference compressors it measures against.
int RunBenchCommand(const BenchOptions& options);
