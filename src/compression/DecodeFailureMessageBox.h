#pragma once

// Installs the reporter of the delivered library: it dumps a failed decoder's
// input to the named file and tells the user in a message box that blocks the
// calling (worker) thread until closed. Win32 only.
void InstallMessageBoxDecodeFailureReporter();

// A session that ends may not wait for a user: its open boxes are closed as
// if OK were pressed, and none opens (the dump is still written) until the
// next session allows them again. Any thread.
void CloseDecodeFailureBoxes();
void AllowDecodeFailureBoxes();
