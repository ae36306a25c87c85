/*
 * ZKEvents.h: what the participants of a session tell each other, as the
 * host carries it: the event record and the numbers a host looks at.
 *
 * Plain C (C99 or C++), no platform header: a relay or a server that only
 * forwards events can use it anywhere. ZK.h includes it; a host on Windows
 * includes ZK.h alone.
 *
 * Every event is a type, a size and that many payload bytes. A host carries
 * the three unchanged, in order, to the other participants (how it frames
 * them on its own network is its affair). Payload fields are little-endian
 * and packed, with no padding. The library checks every payload it is given
 * and drops what it cannot read, so a host needs to read only the few fields
 * documented here, and none of them to carry events.
 */
#ifndef ZK_EVENTS_H
#define ZK_EVENTS_H

#include <stdint.h>

/*
 * One event. ZK_GetQueuedEvent fills it, ZK_PostEvent reads it. On the
 * 32-bit library it is 12 bytes: type, size, payload pointer.
 */
typedef struct ZKEvent {
  uint32_t type;    /* ZKP_* below */
  uint32_t size;    /* payload bytes; may be 0 */
  uint8_t* payload; /* size bytes; null when size is 0 */
} ZKEvent;

/*
 * Event types. "Presenter" is the participant whose library captures
 * (ZK_EnableCapture(1, token)); every other participant is a viewer.
 * Unless said otherwise, what the presenter's library queues goes to every
 * viewer, and what a viewer's library queues goes to the presenter.
 */

/* Presenter: the size of its picture. u32 capture token, u16 width, u16 height. */
#define ZKP_DISPLAYFORMAT 0u
/* Presenter: one compressed rectangle of its picture. u32 capture token, then
   the rectangle. Each update is relative to the one before it: a viewer must
   be given every update, in order, or a full update afterwards. */
#define ZKP_DISPLAYUPDATE 1u
/* Presenter, answering ZK_RequestFullUpdate: a container of the events that
   bring a viewer from nothing to the present picture and annotations. Goes
   to the viewer that needs it. u32 request tag (the value given to
   ZK_RequestFullUpdate), u32 record bytes L, then L bytes of records, each
   a type (u32), a size (u32) and that many payload bytes. A viewer's host
   posts the whole container; the library unpacks it. */
#define ZKP_FULLUPDATE 2u
/* Viewer holding input control: a mouse message. u32 input token first. */
#define ZKP_MOUSEUPDATE 3u
/* Viewer holding input control: a key message. u32 input token first. */
#define ZKP_KEYBOARDUPDATE 4u
/* Presenter: a change of the windows it shares, a report for its own host
   (layout below). Viewers' libraries ignore it. */
#define ZKP_SHAREDWINDOW 5u
/* Any participant: an annotation element, placed or cleared. A viewer's go
   to the presenter, whose host passes them on to the other viewers too. */
#define ZKP_ANNOTATION 6u
/* Any participant: the end of placing an element; carried as ZKP_ANNOTATION. */
#define ZKP_ENDANNOTATION 7u
/* Presenter: it refused input sent under a token lower than the one it
   holds. No payload. For the viewer whose input that was: it has lost
   control (see ZK_EnableInputControl). */
#define ZKP_CANCELINPUTCONTROL 8u
/* Not produced by the library; a host may ignore it. */
#define ZKP_WINDOWEVENT 9u
/* Presenter: where its pointer is, for viewers to draw. u32 input token first. */
#define ZKP_MOUSEPOSITION 10u
/* Any participant: annotation mode switched on or off. u32 token (0 from a
   viewer), u8 on. A viewer's goes to the presenter alone, which announces
   the switch to everyone; viewers follow only the presenter's. */
#define ZKP_ANNOTATIONMODE 11u
/* Presenter in 8-bit colour: the colours of its picture. u32 capture token first. */
#define ZKP_PALETTE 12u

/*
 * ZKP_SHAREDWINDOW payload, 262 bytes:
 *   offset 0  u16  report code, ZKSW_* below
 *   offset 2  u32  the window's handle on the presenter
 *   offset 6  256 bytes  its title, zero-terminated and zero-padded (no
 *                        title for ZKSW_REFUSED)
 */
#define ZKSW_PAYLOAD_SIZE 262u
#define ZKSW_TITLE_SIZE 256u

#define ZKSW_ADDED 0u      /* the window joined the shared set */
#define ZKSW_PRIMARY 1u    /* it is the window the frame follows (sent again when chosen again) */
#define ZKSW_REMOVED 2u    /* it left the shared set */
#define ZKSW_GONE 4u       /* it was closed or its program ended; follows its ZKSW_REMOVED */
#define ZKSW_REFUSED 5u    /* not shared: no longer a window, or (picked by a click) a
                              window of the host's own process */
#define ZKSW_UNFOLLOWED 6u /* the frame no longer follows it (another became primary, the
                              session ended, ...); it stays shared */

#endif /* ZK_EVENTS_H */
