package com.morvane.zksharedlet;

/**
 * The Java host's handle on the screen-sharing library. Loading this class
 * loads the library ("ZK": ZK.dll on Windows), whose native methods drive the
 * one session of the process.
 *
 * <p>Call {@link #init} first and {@link #release} last. In between, the
 * methods may be called from any thread. The library never touches the
 * network: a host thread waits with {@link #waitForEvents}, drains outgoing
 * events with {@link #getQueuedEvent} and sends them to the other
 * participants; every event received from them goes to {@link #PostEvent}.
 * Reports about the presenter's shared windows do not come out as events:
 * {@code getQueuedEvent} hands them to {@link #updateApplication} on the thread
 * that called it.
 *
 * <p>Hosts subclass this class to receive {@code updateApplication}. The
 * native signatures are the library's contract: {@code javac -h} on this file
 * generates the header that the library implements.
 */
public class ZKWrapper {
    static {
        System.loadLibrary("ZK");
    }

    /**
     * Starts the session. Its window is owned by this process's top-level
     * window titled exactly "Morvane Collaboration", when there is one. Blocks
     * until the session window exists (about 10 s at most).
     */
    public native boolean init();

    /** Ends the session; blocks until it has stopped (20 s at most). */
    public native boolean release();

    /** Makes this participant the presenter, sending with the given capture token. */
    public native boolean listen(int captureToken, int unused);

    /** Makes this participant a viewer; the token is the capture token it holds. */
    public native boolean connect(int captureToken, int unused);

    /** Accepted and ignored: {@link #listen} and {@link #connect} choose the role. */
    public native boolean setRole(int role);

    /**
     * Places the session window in screen pixels. -1 for both x and y keeps
     * the position, -1 for both width and height keeps the size.
     */
    public native boolean SetPosition(int x, int y, int width, int height, boolean show);

    /** Waits up to timeoutMs (-1: without limit) for outgoing events; false on time-out. */
    public native boolean waitForEvents(int timeoutMs);

    /**
     * Takes the next outgoing event: byte 0 is 1 when an event was taken (0,
     * and nothing else, when the queue is empty), byte 1 its type, the rest its
     * payload. Shared-window reports met on the way go to
     * {@link #updateApplication} first. Throws OutOfMemoryError when the array
     * cannot be made; the event then stays first in line.
     */
    public native byte[] getQueuedEvent();

    /**
     * Hands the library an event received from another participant: byte 0 is
     * its type, the rest its payload. False for an empty or null array.
     */
    public native boolean PostEvent(byte[] event);

    /** Asks the presenter for a whole picture; the identifier comes back with it. */
    public native boolean RequestFullUpdate(int requestId);

    /** Gives or takes this participant's control of the presenter's input. */
    public native boolean EnableInputControl(boolean enable, int inputToken, int unused);

    /**
     * Shares (reason 0), makes primary (1 or 3), unshares (2) or sets aside (4)
     * the presenter's window with this handle. False for a window without a
     * title or a handle that names no window.
     */
    public native boolean ClickToShare(int window, int reason);

    public native boolean pauseCapture(boolean pause);

    /** Places a highlight in annotation mode. */
    public native boolean hilight();

    /** Places a marker in annotation mode. */
    public native boolean mark();

    public native boolean clearAnnotations();

    public native boolean enableAnnotation(boolean enable);

    /** Accepted and ignored: {@link #init} finds the window to be owned by. */
    public native boolean setParent(String window);

    /** Does nothing; a host may call it to check that the library is loaded. */
    public native boolean dummy();

    /**
     * A change of the presenter's set of shared windows. Does nothing here;
     * hosts override it. An exception thrown from it leaves
     * {@link #getQueuedEvent}, and the events behind the report stay queued.
     *
     * @param window the window's handle on the presenter, an opaque identifier
     * @param title its title; empty when the report carries none
     * @param code 0 shared, 1 made primary, 2 unshared, 4 gone (after its 2),
     *     5 refused, 6 no longer followed
     */
    public void updateApplication(int window, String title, int code) {
    }
}
