/*
 * minimal-host: the smallest host of ZK.dll, written against ZK.h alone.
 *
 * Run without arguments, it presents: it shows a picture of its own, shares
 * it, and starts a second copy of itself ("minimal-host view") as the
 * viewer, whose window shows the presenter's picture to the right of it.
 * The two carry the library's events over a pair of pipes (the viewer's
 * standard input and output), as a real host carries them over its network.
 * Enter (or the end of the presenter's input) ends both.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "ZK.h"

/* Where the presenter's frame stands, and the viewer's window beside it. */
enum { AREA_X = 0, AREA_Y = 0, AREA_WIDTH = 320, AREA_HEIGHT = 240, VIEWER_X = 400 };
/* Issued by a host's token service; one presenter needs one token. */
#define CAPTURE_TOKEN 1u
#define FULL_UPDATE_TAG 1u
/* The most a received event may claim to carry: the link is not trusted. */
#define MAX_PAYLOAD (64u << 20)

/* The link to the other participant: one pipe to read, one to write. */
static HANDLE g_linkIn, g_linkOut;
static volatile LONG g_running = 1;
static DWORD g_mainThread;

static int ReadAll(void* buffer, DWORD size) {
  char* at = buffer;
  DWORD got;
  while (size > 0) {
    if (!ReadFile(g_linkIn, at, size, &got, NULL) || got == 0) return 0;
    at += got;
    size -= got;
  }
  return 1;
}

static int WriteAll(const void* buffer, DWORD size) {
  const char* at = buffer;
  DWORD put;
  while (size > 0) {
    if (!WriteFile(g_linkOut, at, size, &put, NULL)) return 0;
    at += put;
    size -= put;
  }
  return 1;
}

/* On the link an event is its type and size (u32 each, little-endian as
   this machine writes them), then its payload. */
static int SendEvent(const ZKEvent* event) {
  uint32_t header[2];
  header[0] = event->type;
  header[1] = event->size;
  return WriteAll(header, sizeof header) && WriteAll(event->payload, event->size);
}

/* The drain loop: whatever the library queues goes to the other side. */
static DWORD WINAPI SendQueuedEvents(LPVOID unused) {
  ZKEvent event;
  int linked = 1;
  (void)unused;
  while (g_running && linked) {
    if (!ZK_WaitForEvents(100)) continue; /* nothing yet: look at g_running again */
    while (linked && ZK_GetQueuedEvent(&event)) {
      linked = SendEvent(&event);
      if (event.payload) GlobalFree(event.payload); /* the payload is the host's now */
    }
  }
  return 0;
}

/* Whatever the other side sends goes into the library, until the link ends. */
static void PostReceivedEvents(void) {
  uint32_t header[2];
  ZKEvent event;
  while (ReadAll(header, sizeof header) && header[1] <= MAX_PAYLOAD) {
    event.type = header[0];
    event.size = header[1];
    event.payload = event.size ? malloc(event.size) : NULL;
    if (event.size && (!event.payload || !ReadAll(event.payload, event.size))) {
      free(event.payload);
      return;
    }
    if (!ZK_PostEvent(&event)) fprintf(stderr, "minimal-host: event %u dropped\n", event.type);
    free(event.payload); /* the library took a copy */
  }
}

static DWORD WINAPI ReceiveThenQuit(LPVOID unused) {
  (void)unused;
  PostReceivedEvents();
  PostThreadMessageA(g_mainThread, WM_QUIT, 0, 0); /* the viewer has gone */
  return 0;
}

static DWORD WINAPI WaitForEnter(LPVOID unused) {
  (void)unused;
  getchar();
  PostThreadMessageA(g_mainThread, WM_QUIT, 0, 0);
  return 0;
}

/* The presenter's picture: eight colour bars, in reverse order below. */
static void PaintBars(HWND window) {
  static const COLORREF colours[8] = {RGB(255, 255, 255), RGB(255, 255, 0), RGB(0, 255, 255),
                                      RGB(0, 255, 0),     RGB(255, 0, 255), RGB(255, 0, 0),
                                      RGB(0, 0, 255),     RGB(0, 0, 0)};
  PAINTSTRUCT paint;
  RECT client, bar;
  int i, half;
  HDC dc = BeginPaint(window, &paint);
  GetClientRect(window, &client);
  for (half = 0; half < 2; ++half) {
    for (i = 0; i < 8; ++i) {
      HBRUSH brush = CreateSolidBrush(colours[half ? 7 - i : i]);
      SetRect(&bar, client.right * i / 8, client.bottom * half / 2, client.right * (i + 1) / 8,
              client.bottom * (half + 1) / 2);
      FillRect(dc, &bar, brush);
      DeleteObject(brush);
    }
  }
  EndPaint(window, &paint);
}

static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PaintBars(window);
  return 0;
}

static HWND CreatePicture(void) {
  WNDCLASSA type;
  memset(&type, 0, sizeof type);
  type.style = CS_HREDRAW | CS_VREDRAW;
  type.lpfnWndProc = PictureProc;
  type.hInstance = GetModuleHandleA(NULL);
  type.hCursor = LoadCursor(NULL, IDC_ARROW);
  type.lpszClassName = "minimal-host picture";
  RegisterClassA(&type);
  return CreateWindowA(type.lpszClassName, "minimal-host picture", WS_POPUP | WS_VISIBLE, AREA_X,
                       AREA_Y, AREA_WIDTH, AREA_HEIGHT, NULL, NULL, type.hInstance, NULL);
}

/* Starts "minimal-host view" with the far ends of the two pipes as its
   standard input and output. */
static HANDLE StartViewer(void) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE viewerIn, viewerOut;
  char program[MAX_PATH], commandLine[MAX_PATH + 8];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  if (!CreatePipe(&viewerIn, &g_linkOut, &inherit, 0) ||
      !CreatePipe(&g_linkIn, &viewerOut, &inherit, 0))
    return NULL;
  /* The viewer must not hold our ends: it sees the link end when we close ours. */
  SetHandleInformation(g_linkOut, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(g_linkIn, HANDLE_FLAG_INHERIT, 0);
  GetModuleFileNameA(NULL, program, MAX_PATH);
  snprintf(commandLine, sizeof commandLine, "\"%s\" view", program);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = viewerIn;
  startup.hStdOutput = viewerOut;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  if (!CreateProcessA(program, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
    return NULL;
  CloseHandle(viewerIn);
  CloseHandle(viewerOut);
  CloseHandle(process.hThread);
  return process.hProcess;
}

static int Present(void) {
  HANDLE viewer, sender, receiver;
  HWND picture;
  MSG message;
  DWORD viewerExit = 1;
  g_mainThread = GetCurrentThreadId();
  picture = CreatePicture();
  viewer = StartViewer();
  if (!picture || !viewer || !ZK_Init(NULL)) {
    fprintf(stderr, "minimal-host: cannot start presenting\n");
    return 1;
  }
  ZK_SetPosition(AREA_X, AREA_Y, AREA_WIDTH, AREA_HEIGHT, 1); /* the frame */
  ZK_EnableCapture(1, CAPTURE_TOKEN);
  ZK_ClickToShare(picture, ZK_SHARE_OR_TOGGLE); /* moved beneath the frame */
  ZK_RequestFullUpdate(FULL_UPDATE_TAG);        /* for a viewer that has nothing yet */
  sender = CreateThread(NULL, 0, SendQueuedEvents, NULL, 0, NULL);
  receiver = CreateThread(NULL, 0, ReceiveThenQuit, NULL, 0, NULL);
  CreateThread(NULL, 0, WaitForEnter, NULL, 0, NULL);
  printf("minimal-host: presenting; Enter stops\n");
  fflush(stdout);

  /* The picture's thread pumps its messages: it paints, and the library
     moves it beneath the frame. */
  while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);

  g_running = 0;
  WaitForSingleObject(sender, INFINITE);
  CloseHandle(g_linkOut); /* the viewer sees the link end and ends its session */
  WaitForSingleObject(viewer, INFINITE);
  GetExitCodeProcess(viewer, &viewerExit);
  WaitForSingleObject(receiver, INFINITE);
  ZK_Release();
  DestroyWindow(picture);
  return viewerExit == 0 ? 0 : 1;
}

static int View(void) {
  HANDLE sender;
  g_linkIn = GetStdHandle(STD_INPUT_HANDLE);
  g_linkOut = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!ZK_Init(NULL)) return 1;
  ZK_SetPosition(VIEWER_X, AREA_Y, AREA_WIDTH, AREA_HEIGHT, 1);
  sender = CreateThread(NULL, 0, SendQueuedEvents, NULL, 0, NULL);
  PostReceivedEvents(); /* until the presenter ends the link */
  g_running = 0;
  WaitForSingleObject(sender, INFINITE);
  ZK_Release();
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "view") == 0) return View();
  return Present();
}
