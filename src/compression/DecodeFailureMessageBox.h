#pragma once

// Installs the reporter of the delivered library: it dumps a failed decoder's
// input to the named file and tells the user in a message box that blocks the
// calling (worker) thread until closed. Win32 only.
void InstallMessageBoxDecodeFailureReporter();
