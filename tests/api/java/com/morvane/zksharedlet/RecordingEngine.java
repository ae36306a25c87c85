package com.morvane.zksharedlet;

/**
 * The stand-in engine under the natives in the JVM test's library: it queues
 * outgoing events as the library would, records every call the natives make,
 * and captures what they print to standard output. Payloads come from the
 * library's own protocol builders.
 */
final class RecordingEngine {
    static {
        // The test library holds the natives of both classes.
        System.loadLibrary("ZK");
    }

    private RecordingEngine() {
    }

    /** Queues an outgoing event, its payload copied into a host block. */
    static native void queue(int type, byte[] payload);

    static native int queuedCount();

    /** The calls recorded since the last take, one a line ("EnableCapture 1 7"). */
    static native String takeCalls();

    /** Empties the queue and forgets the calls. */
    static native void reset();

    /** A shared-window report (ZKP_SHAREDWINDOW). */
    static native byte[] sharedWindow(int code, int window, String title);

    /** A window-event record (ZKP_WINDOWEVENT). */
    static native byte[] windowEvent(int message, int wParam, int lParam, int x, int y);

    /** Sends the process's standard output to a file until {@link #takeStdout}. */
    static native void captureStdout();

    /** Ends the capture and returns what was printed meanwhile. */
    static native String takeStdout();
}
