/*
 * ZK.h: the screen-sharing library ZK.dll as a C or C++ host calls it.
 *
 * Link with the import library libZK.dll.a (CMake: find_package(ZK) and
 * target_link_libraries(host ZK::ZK)) and put ZK.dll and ZKHooks.dll, which
 * it loads, beside the host's program. The guide to hosting is
 * docs/hosting.md.
 *
 * One session per process. The library never touches the network: it queues
 * what the other participants must receive as events, which the host takes
 * (ZK_WaitForEvents, ZK_GetQueuedEvent) and carries to them, and the host
 * hands in what it receives from them (ZK_PostEvent). Events are described
 * in ZKEvents.h.
 *
 * Threads: ZK_Init first and ZK_Release last, never both at once. In between,
 * every function may be called from any thread. The library does its work
 * on a thread of its own, which owns the session window; the functions whose
 * comment says "asks" only post a request to it and return, and the request
 * is carried out shortly after, in the order the requests were made. They
 * return 1 when the request was posted, 0 when there is no session window
 * to post to (before ZK_Init, after ZK_Release, or after the user closed
 * it) or its queue is full; the request is then lost.
 *
 * Results are one byte: 1 true, 0 false. The arguments enable, pause, show
 * and exclusive are booleans of which only the low byte counts (0x100 is
 * false).
 */
#ifndef ZK_H
#define ZK_H

#include <windows.h>

#include "ZKEvents.h"

/* Exported by name, undecorated, with the C calling convention. */
#define ZKAPI __cdecl

typedef uint8_t ZKBool;

/* ZK_WaitForEvents without a time limit. */
#define ZK_WAIT_FOREVER 0xFFFFFFFFu
/* ZK_SetPosition: keep the position (given as both x and y) or the size
   (given as both width and height). */
#define ZK_UNCHANGED 0xFFFFFFFFu

/* Reasons of ZK_ClickToShare for a window given by handle. */
#define ZK_SHARE_OR_TOGGLE 0u /* share it; if shared and in place, unshare it; if shared but
                                 moved away, put it back in place */
#define ZK_SHARE_PRIMARY 1u   /* share it, or make it the window the frame follows */
#define ZK_SHARE_REMOVE 2u    /* unshare it */
#define ZK_SHARE_RESTACK 3u   /* as ZK_SHARE_PRIMARY */
#define ZK_SHARE_SET_ASIDE 4u /* stop following it (it stays shared): the frame follows the
                                 one it followed before, or this one again if it is alone */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Starts the session: the library's thread reads .\ZK.ini, creates the
 * session window (hidden until ZK_SetPosition shows it) and the session
 * starts as a viewer. Blocks until the window exists (10 s at most).
 * `parent` is the host's own top-level window, or null: it owns the session
 * window, and while the presenter captures, the frame's rectangle is cut
 * out of it so that what lies beneath can be captured. 0 when the library's
 * thread cannot be started. While a session runs, it returns 1 and changes
 * nothing.
 */
ZKBool ZKAPI ZK_Init(HWND parent);

/*
 * Ends the session: lets go of shared windows, removes the desktop hooks,
 * destroys the session window and ends the library's thread. Blocks until
 * it has ended (20 s at most, then the thread is terminated). Always 1.
 * Afterwards ZK_WaitForEvents returns 1 at once; events the host had not
 * taken stay queued and may still be taken. A later ZK_Init starts a new
 * session. Unloading the library without ZK_Release ends the session too.
 */
ZKBool ZKAPI ZK_Release(void);

/*
 * Asks the session to present (enable != 0) under `captureToken`, or to
 * view (0). Presenting installs the hooks of ZKHooks.dll on the desktop and
 * captures the frame's client area while a window is shared (ZK_ClickToShare)
 * or CaptureDesktop is set, and the frame is shown on the screen, 16 pixels
 * or more each way. Tokens come from the host's token service: a
 * viewer takes the picture only from the highest capture token it has seen,
 * and a presenter that sees a higher one stops presenting. Presenting also
 * enables input control (this side's pointer goes out as ZKP_MOUSEPOSITION).
 */
ZKBool ZKAPI ZK_EnableCapture(uint32_t enable, uint32_t captureToken);

/* Asks the presenter to send no updates (pause != 0) until asked to go on (0). */
ZKBool ZKAPI ZK_PauseCapture(uint32_t pause);

/*
 * Asks a viewer to send its user's mouse and keys in the session window to
 * the presenter (enable != 0) under `inputToken`, or to stop (0; the token
 * is kept). The presenter replays input only under the highest input token
 * it has seen, and answers input under a lower one with
 * ZKP_CANCELINPUTCONTROL; a viewer that sees a higher token gives control
 * up. The host's token service hands out a higher token for every grant.
 */
ZKBool ZKAPI ZK_EnableInputControl(uint32_t enable, uint32_t inputToken);

/*
 * Asks the session to let its user annotate (enable != 0) or not (0):
 * ZK_AddHighlight, ZK_AddMarker and ZK_ClearAnnotation do nothing without
 * it, and in annotation mode the "Cancel Annotation" button shows with it.
 */
ZKBool ZKAPI ZK_EnableAnnotation(uint32_t enable);

/*
 * Places the session window (the presenter's frame; a viewer's picture) at
 * (x, y) with the given size, in screen pixels, and shows it (show != 0) or
 * hides it. ZK_UNCHANGED as both x and y keeps the position, as both width
 * and height keeps the size; the window is shown only once a position and a
 * size have been given. The client width is rounded to a multiple of 4. The
 * library's thread applies it about 200 ms later. Always 1.
 */
ZKBool ZKAPI ZK_SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                            uint32_t show);

/*
 * Waits until the library queues an event for the host, at most `timeoutMs`
 * (ZK_WAIT_FOREVER: no limit). 0 only when the time ran out. 1 promises
 * no event: one wake-up may cover many events or none (without a session
 * it returns 1 at once), so take events with ZK_GetQueuedEvent until it
 * returns 0. Any number of threads may wait.
 */
ZKBool ZKAPI ZK_WaitForEvents(uint32_t timeoutMs);

/*
 * Takes the oldest event queued for the host: 1 with *out filled, or 0 with
 * *out untouched when there is none. The payload then belongs to the host,
 * which frees it with GlobalFree (a null payload, for size 0, needs
 * nothing).
 */
ZKBool ZKAPI ZK_GetQueuedEvent(ZKEvent* out);

/*
 * Hands in an event received from another participant. The library copies
 * it (the caller keeps its buffer) and handles it on its own thread within
 * an update interval; a ZKP_FULLUPDATE is unpacked into its events. 0, with
 * nothing handed in, when `in` is null, has a size but no payload, or
 * memory is short.
 */
ZKBool ZKAPI ZK_PostEvent(const ZKEvent* in);

/*
 * Asks the presenter for one ZKP_FULLUPDATE carrying `requestTag`: the
 * picture, the annotation mode and every annotation, for a viewer that
 * joins late or has lost events. A viewer's session ignores it.
 */
ZKBool ZKAPI ZK_RequestFullUpdate(uint32_t requestTag);

/*
 * Asks the presenter to share an application window, which it then moves
 * and sizes beneath the frame (ZK_SHARE_* reasons). With a null window the
 * presenter's user shares the next window they click. Reported as
 * ZKP_SHAREDWINDOW events. 0, posting nothing, for a handle that names no
 * window. A viewer's session ignores it.
 */
ZKBool ZKAPI ZK_ClickToShare(HWND window, uint32_t reason);

/*
 * How the presenter looks for changes that no drawing reported: every
 * `intervalMs` it re-examines one of `bands` horizontal bands of the frame
 * (0: the whole frame each time); interval 0 stops it. exclusive != 0
 * ignores drawing reports and looks only by this polling. Always 1.
 */
ZKBool ZKAPI ZK_SetPollFrequency(uint32_t intervalMs, uint32_t exclusive, uint32_t bands);

/*
 * How often the session sends what changed and handles what was handed in
 * (default 200 ms). 0 for an interval of 0, which changes nothing.
 */
ZKBool ZKAPI ZK_SetUpdateFrequency(uint32_t intervalMs);

/*
 * How often pointer moves go out (a viewer's under input control, the
 * presenter's position; default 200 ms). 0 for an interval of 0, which
 * changes nothing.
 */
ZKBool ZKAPI ZK_SetInputUpdateFrequency(uint32_t intervalMs);

/* Asks the session to enter annotation mode and let its user drag a highlight. */
ZKBool ZKAPI ZK_AddHighlight(void);

/* Asks the session to enter annotation mode and let its user place a marker
   of the colour 0x00BBGGRR. While 64 marks exist (the most a session
   holds), neither places anything. */
ZKBool ZKAPI ZK_AddMarker(uint32_t colour);

/* Asks the session to clear every annotation, for every participant, while in
   annotation mode. */
ZKBool ZKAPI ZK_ClearAnnotation(void);

/* Makes `parent` the owner of the session window, as ZK_Init's argument
   does. Always 1. */
ZKBool ZKAPI ZK_SetParentWindow(HWND parent);

#ifdef __cplusplus
}
#endif

/*
 * Settings: the file ZK.ini in the host process's current directory, read
 * once by ZK_Init; a missing file or key takes its default. Booleans are
 * integers, any non-zero value true. The library never writes the file.
 */
#define ZK_INI_FILE ".\\ZK.ini"

#define ZK_INI_SECTION_ZK "ZK"
/* Bools, default 0: the session window has no title bar, no border; 1 keeps them. */
#define ZK_INI_SHOW_TITLE_BAR "ShowTitleBar"
#define ZK_INI_SHOW_BORDER "ShowBorder"
/* Bool, default 0: a presenter captures its frame's area even when no window is shared. */
#define ZK_INI_CAPTURE_DESKTOP "CaptureDesktop"
/* Percent, default 50: while polling by bands, reported drawing that covers
   this share of the frame or more is left to the poll; 0 disables the limit.
   (The key is spelled with two h.) */
#define ZK_INI_DYNAMIC_UPDATE_THRESHOLD "DynamicUpdateThreshhold"
/* Milliseconds, default 200: as ZK_SetInputUpdateFrequency. */
#define ZK_INI_INPUT_UPDATE_INTERVAL "InputUpdateInterval"
/* Milliseconds, default 200: as ZK_SetUpdateFrequency. */
#define ZK_INI_UPDATE_INTERVAL "UpdateInterval"
/* Bool, default 0: the presenter posts replayed input to the window under
   the point (keys to the focused window) instead of injecting it. */
#define ZK_INI_USE_LIGHT_INPUT_CONTROL "UseLightInputControl"
/* Bool, default 1: 0 leaves polling off and the next three keys unread. */
#define ZK_INI_ENABLE_POLLING "EnablePolling"
/* As the arguments of ZK_SetPollFrequency: bands (default 10), exclusive
   (bool, default 0), interval in ms (default 200). */
#define ZK_INI_POLL_PROGRESSIVE "PollProgressive"
#define ZK_INI_POLL_EXCLUSIVE "PollExclusive"
#define ZK_INI_POLL_INTERVAL "PollInterval"
/* Bool, default 0: shows the statistics window. */
#define ZK_INI_SHOW_STATISTICS "ShowStatistics"
/* Milliseconds, default 500: for this long after the presenter's user moved
   the mouse, replayed mouse input is posted rather than injected. */
#define ZK_INI_LOCAL_MOUSE_OVERRIDE "LocalMouseOverride"
/* Milliseconds, default 0: 0 sends the drawing that the hooks report at the
   next update tick; N sends it N ms after its first report (at least the
   platform's timer floor, 10 ms), and its second look when that is due,
   whatever the update interval. */
#define ZK_INI_REPORT_SEND_DELAY "ReportSendDelay"
/* Bool, default 0: events handed in with ZK_PostEvent are handled as soon
   as the session's thread is free, not at the next update tick. */
#define ZK_INI_DISPATCH_ON_POST "DispatchOnPost"
/* Bool, default 0: a viewer paints each display update as it applies it. By
   default an update is painted with the window's next paint, and one that
   covers the whole window waits 250 ms like every whole-window repaint. */
#define ZK_INI_PAINT_UPDATES_AT_ONCE "PaintUpdatesAtOnce"
/* Bool, default 0: the input timer runs only while a pointer move waits to
   go out (moves still go out at most once an input interval); by default it
   ticks all the time. */
#define ZK_INI_INPUT_TIMER_ON_DEMAND "InputTimerOnDemand"

#define ZK_INI_SECTION_COMPRESSION "CompressionMgr"
/* Compression stages, bools: Huffman (default 1), LZ77 (default 1),
   run-length of 8-bit pixels (default 0) and of 16-bit pixels (default 1).
   The presenter sends 8-bit colour, with ZKP_PALETTE, only with
   EnableRLE332=1 and EnableRLE565=0; with both 0 it sends whole pixels. */
#define ZK_INI_ENABLE_HUFFMAN "EnableHuffman"
#define ZK_INI_ENABLE_LZ "EnableLZ"
#define ZK_INI_ENABLE_RLE332 "EnableRLE332"
#define ZK_INI_ENABLE_RLE565 "EnableRLE565"
/* Default 32768: how far back LZ77 looks for a match. */
#define ZK_INI_LZ_MAX_SEARCH "LZMaxSearch"

#define ZK_INI_SECTION_EVENTS "EventMgr"
/* Bytes, default 32768: the presenter stops taking changes from the screen
   while this much is queued for the host and not yet taken. */
#define ZK_INI_MAX_QUEUE_SIZE "MaxQueueSize"

#endif /* ZK_H */
