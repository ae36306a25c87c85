#pragma once

#include <cstddef>
#include <cstdint>

// Every bound on what a peer can make the presenter's host hold or do, in one
// place, each with the reason for its value. A viewer that exceeds one is cut
// off or refused, never served without limit: these are the only reasons a
// well-behaved viewer could ever be turned away, so each sits well above
// what a person and the library produce.

// The largest frame a viewer may send. A viewer's library queues nothing
// longer than an annotation (22 bytes); the host's own messages are smaller
// still. A frame is held only as its bytes arrive, so what one connection
// holds unfinished stays below this.
constexpr uint32_t kMaxViewerFramePayload = 1024;

// Viewer connections served at once. Each link runs two threads, whose
// stacks a 32-bit process reserves address space for; a session with more
// viewers is what a relay is for.
constexpr size_t kMaxViewerConnections = 64;

// What all connections together may hold in unfinished frames follows from
// the two bounds above.
constexpr size_t kMaxUnfinishedViewerBytes = kMaxViewerConnections * kMaxViewerFramePayload;
static_assert(kMaxUnfinishedViewerBytes <= (1u << 20), "unfinished frames stay within a megabyte");

// Answers waiting for one viewer (grants and cancels, a few bytes each). A
// viewer reads its answers as it reads the stream; one that asks faster
// than it reads is cut off.
constexpr size_t kMaxAnswerBytes = 64 * 1024;

// Events a viewer may send per second, and in one burst. A viewer's library
// reports pointer moves once per input tick (20 a second at the fastest
// profile), and a person types and clicks far below this; the bound keeps a
// flood out of the library's incoming queue, which has none of its own.
constexpr double kViewerEventsPerSecond = 500;
constexpr double kViewerEventBurst = 1000;

// Marks that may exist in a session at once, and of them the marks one
// viewer placed. A person places a handful; each costs every participant's
// library a brush, a region and a reshaping of its window, and the library
// keeps no more than this many: what the gate lets through is what every
// library keeps.
constexpr size_t kMaxSessionMarks = 64;
constexpr size_t kMaxMarksPerViewer = 24;

// Connections whose admission (TLS handshake and join key) is under way, and
// the time one may take. A real viewer's takes a few tens of milliseconds;
// past this bound the oldest is given up for the newcomer, so that a flood
// of silent connections cannot keep a real viewer out: it would have to
// bring this many in the moment the viewer's handshake takes. An admission
// given up ends within a handshake's check (ByteStream.h); with those,
// admissions never hold more than twice this many threads, and a newcomer
// that finds them all taken waits for one that long before it is refused.
constexpr size_t kMaxPendingJoins = 32;
constexpr size_t kMaxAdmissionThreads = 2 * kMaxPendingJoins;
constexpr double kJoinSeconds = 10;

// Viewers of a session through NATS servers that the presenter keeps apart
// (their numbers, their rate and frame bounds, their control state). Their
// ids are whatever they claim, free to make up: past this many the one
// heard from least recently is forgotten, so an inventor of ids grows
// nothing. Admission is the servers' (credentials, TLS); this only bounds
// what the admitted can cost the presenter.
constexpr size_t kMaxNatsViewers = 256;
// Viewers cut off for breaking a bound, whose messages are ignored from
// then on; the oldest is let go past this many.
constexpr size_t kMaxCutOffNatsViewers = 256;
// A viewer's join request: its id, a space and a name.
constexpr size_t kMaxJoinRequest = 16 + 1 + 64;
