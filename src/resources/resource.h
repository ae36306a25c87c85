#pragma once

// Resource identifiers of the library (shared by the .rc script and the code).
#define IDC_MARKER_CURSOR 103
#define IDC_HIGHLIGHT_CURSOR 104
#define IDD_ANNOTATION 105
#define IDD_STATISTICS 106
#define IDC_CANCEL_ANNOTATION 1001
#define IDC_STATISTICS_TEXT 1002
