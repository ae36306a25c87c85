package com.morvane.zksharedlet;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * The Java natives under a real JVM, run with -Xcheck:jni: events and
 * shared-window reports queued on the recording engine come out of
 * getQueuedEvent as arrays and callbacks, arrays given to PostEvent reach the
 * engine, and every other native calls the engine with its arguments.
 * Payloads come from the library's protocol builders, whose bytes the
 * protocol tests check. Prints "N passed, N failed" and exits non-zero on a
 * failure.
 */
public final class ZKWrapperTest {
    private static final int DISPLAY_UPDATE = 1;
    private static final int SHARED_WINDOW = 5;
    private static final int WINDOW_EVENT = 9;

    // Window messages a window-event record reports.
    private static final int WM_CREATE = 1;
    private static final int WM_DESTROY = 2;
    private static final int WM_MOVE = 3;
    private static final int WM_SIZE = 5;
    private static final int WM_ACTIVATE = 6;
    private static final int WM_CLOSE = 16;
    private static final int WM_SHOWWINDOW = 24;
    private static final int WM_ACTIVATEAPP = 28;

    /** A host that records its shared-window reports and may throw on one. */
    static final class Host extends ZKWrapper {
        final List<String> reports = new ArrayList<>();
        int throwOnReport = -1;

        @Override
        public void updateApplication(int window, String title, int code) {
            reports.add(window + " " + title + " " + code);
            if (reports.size() == throwOnReport) {
                throw new IllegalStateException("the host's own failure");
            }
        }
    }

    private interface Case {
        void run() throws Exception;
    }

    private static int passed;
    private static int failed;

    public static void main(String[] args) {
        run("an empty queue gives 0, 0", ZKWrapperTest::emptyQueue);
        run("a display update comes back whole behind 1 and its type", ZKWrapperTest::displayUpdate);
        run("shared-window reports become callbacks before the event behind them",
                ZKWrapperTest::sharedWindowReports);
        run("window events get their codes and trace lines", ZKWrapperTest::windowEvents);
        run("short window events are read as far as they go", ZKWrapperTest::shortWindowEvents);
        run("PostEvent hands the type and payload over", ZKWrapperTest::postEvent);
        run("a callback that throws stops the call and keeps the rest", ZKWrapperTest::callbackThrows);
        run("events Java has no memory for stay first in line", ZKWrapperTest::noMemory);
        run("100000 reports and events make no local references grow", ZKWrapperTest::manyEvents);
        run("every other native calls the engine with its arguments", ZKWrapperTest::otherNatives);
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }

    private static void run(String name, Case body) {
        RecordingEngine.reset();
        try {
            body.run();
            expectEqual(0, RecordingEngine.queuedCount(), "events left queued");
            passed++;
            System.out.println("ok      " + name);
        } catch (Throwable failure) {
            failed++;
            System.out.println("FAILED  " + name + ": " + failure);
            failure.printStackTrace(System.out);
        }
    }

    // Cases.

    private static void emptyQueue() {
        expectBytes(new byte[] {0, 0}, new Host().getQueuedEvent(), "empty queue");
    }

    private static void displayUpdate() {
        byte[] payload = new byte[100];
        for (int i = 0; i < payload.length; i++) {
            payload[i] = (byte) (i * 7);
        }
        RecordingEngine.queue(DISPLAY_UPDATE, payload);
        // Only the type's low byte travels in the array.
        RecordingEngine.queue(0x100 | DISPLAY_UPDATE, new byte[0]);
        Host host = new Host();
        expectBytes(concat(new byte[] {1, DISPLAY_UPDATE}, payload), host.getQueuedEvent(), "update");
        expectBytes(new byte[] {1, DISPLAY_UPDATE}, host.getQueuedEvent(), "empty update");
        expectBytes(new byte[] {0, 0}, host.getQueuedEvent(), "after the updates");
    }

    private static void sharedWindowReports() {
        RecordingEngine.queue(SHARED_WINDOW, sharedWindow(0, 0x1234, "Editor"));
        RecordingEngine.queue(SHARED_WINDOW, sharedWindow(1, 0x80000001, "Caf\u00e9 \u2013 notes"));
        RecordingEngine.queue(DISPLAY_UPDATE, new byte[] {9, 8, 7});
        Host host = new Host();
        expectBytes(new byte[] {1, DISPLAY_UPDATE, 9, 8, 7}, host.getQueuedEvent(), "update");
        expectEqual(Arrays.asList("4660 Editor 0", "-2147483647 Caf\u00e9 \u2013 notes 1"),
                host.reports, "reports");

        // A report too short to hold its title is consumed without a call.
        RecordingEngine.queue(SHARED_WINDOW, Arrays.copyOf(sharedWindow(0, 1, "Cut"), 100));
        expectBytes(new byte[] {0, 0}, host.getQueuedEvent(), "after a short report");
        expectEqual(2, host.reports.size(), "reports after a short one");
    }

    private static void windowEvents() {
        // message, wParam, x, y, the code Java sees (-1: none, the message
        // number stays; -2: dropped), the line printed.
        Object[][] table = {
            {WM_SIZE, 1, 0, 0, 5, "<Native> zk wnd minimized\n"},
            {WM_SIZE, 0, 0, 0, 4, "<Native> zk wnd restored \n"},
            {WM_SIZE, 0, 0, 0, 9, "<Native> zk wnd resized \n"},
            {WM_SIZE, 2, 0, 0, -1, ""},
            {WM_CREATE, 0, 0, 0, 6, "<Native> zk wnd opened\n"},
            {WM_DESTROY, 0, 0, 0, 1, "<Native> zk wnd closed\n"},
            {WM_MOVE, 0, -5, 70000, 8, "<Native> zk wnd moved to [-5,70000]\n"},
            {WM_ACTIVATE, 0x10002, 0, 0, 0, ""},
            {WM_ACTIVATE, 1, 0, 0, -1, ""},
            {WM_CLOSE, 0, 0, 0, 2, "<Native> zk wnd closing\n"},
            {WM_SHOWWINDOW, 1, 0, 0, 10, "<Native> zk wnd shown\n"},
            {WM_SHOWWINDOW, 0, 0, 0, 7, "<Native> zk wnd hidden\n"},
            {WM_ACTIVATEAPP, 1, 0, 0, -1, ""},
            {0x0200, 0, 0, 0, -2, "<Native> Unknown Window Message got [512]\n"},
        };
        Host host = new Host();
        StringBuilder expectedLines = new StringBuilder();
        RecordingEngine.captureStdout();
        List<String> mismatches = new ArrayList<>();
        try {
            for (Object[] row : table) {
                int wParam = (Integer) row[1];
                int x = (Integer) row[2];
                int y = (Integer) row[3];
                int code = (Integer) row[4];
                byte[] record = windowEvent((Integer) row[0], wParam, 0x55, x, y);
                RecordingEngine.queue(WINDOW_EVENT, record);
                byte[] delivered = code == -1 ? record : windowEvent(code, wParam, 0x55, x, y);
                byte[] expected = code == -2 ? new byte[] {0, 0}
                        : concat(new byte[] {1, WINDOW_EVENT}, delivered);
                byte[] actual = host.getQueuedEvent();
                if (!Arrays.equals(expected, actual)) {
                    mismatches.add(Arrays.toString(row) + " gave " + Arrays.toString(actual));
                }
                expectedLines.append(row[5]);
            }
        } finally {
            expectPrinted(expectedLines.toString(), RecordingEngine.takeStdout());
        }
        expectEqual(new ArrayList<String>(), mismatches, "records");
    }

    private static void shortWindowEvents() {
        Host host = new Host();
        RecordingEngine.captureStdout();
        try {
            // A move cut inside x: x keeps its two low bytes, y reads as 0.
            RecordingEngine.queue(WINDOW_EVENT, Arrays.copyOf(windowEvent(WM_MOVE, 0, 0, 300, 9), 14));
            expectBytes(concat(new byte[] {1, WINDOW_EVENT},
                    Arrays.copyOf(windowEvent(8, 0, 0, 300, 9), 14)), host.getQueuedEvent(), "move");
            // Two bytes of a size message: wParam reads as 0, a resize.
            RecordingEngine.queue(WINDOW_EVENT, Arrays.copyOf(windowEvent(WM_SIZE, 0, 0, 0, 0), 2));
            expectBytes(concat(new byte[] {1, WINDOW_EVENT}, Arrays.copyOf(windowEvent(9, 0, 0, 0, 0), 2)),
                    host.getQueuedEvent(), "size");
            // No bytes at all: message 0, which has no code.
            RecordingEngine.queue(WINDOW_EVENT, new byte[0]);
            expectBytes(new byte[] {0, 0}, host.getQueuedEvent(), "empty record");
        } finally {
            expectPrinted("<Native> zk wnd moved to [300,0]\n<Native> zk wnd resized \n"
                    + "<Native> Unknown Window Message got [0]\n", RecordingEngine.takeStdout());
        }
    }

    private static void postEvent() {
        Host host = new Host();
        expectEqual(true, host.PostEvent(new byte[] {1, (byte) 0xAA}), "PostEvent 1, 0xAA");
        expectEqual(true, host.PostEvent(new byte[] {(byte) 200}), "PostEvent 200");
        expectEqual(false, host.PostEvent(new byte[0]), "PostEvent of no bytes");
        expectEqual(false, host.PostEvent(null), "PostEvent of null");
        expectEqual("PostEvent 1 aa\nPostEvent 200 \n", RecordingEngine.takeCalls(), "posted");
    }

    private static void callbackThrows() {
        RecordingEngine.queue(SHARED_WINDOW, sharedWindow(0, 1, "First"));
        RecordingEngine.queue(SHARED_WINDOW, sharedWindow(1, 1, "First"));
        RecordingEngine.queue(DISPLAY_UPDATE, new byte[] {3});
        Host host = new Host();
        host.throwOnReport = 1;
        try {
            host.getQueuedEvent();
            throw new AssertionError("the host's exception did not come out of getQueuedEvent");
        } catch (IllegalStateException expected) {
            // The report that threw was delivered; the rest waits.
        }
        expectEqual(2, RecordingEngine.queuedCount(), "still queued");
        expectBytes(new byte[] {1, DISPLAY_UPDATE, 3}, host.getQueuedEvent(), "next call");
        expectEqual(Arrays.asList("1 First 0", "1 First 1"), host.reports, "reports");
    }

    private static void noMemory() {
        Host host = new Host();
        // Everything called while the heap is full is resolved beforehand:
        // linking a call may itself need the heap.
        expectEqual(null, thrownBy(host), "getQueuedEvent on an empty queue");

        byte[] big = new byte[8 << 20];
        Arrays.fill(big, (byte) 0x5A);
        RecordingEngine.queue(DISPLAY_UPDATE, big);
        RecordingEngine.queue(SHARED_WINDOW, sharedWindow(0, 7, "Held"));
        RecordingEngine.queue(DISPLAY_UPDATE, new byte[] {4});
        big = null;

        List<byte[]> ballast = fillHeap(1 << 16);
        Throwable thrown = thrownBy(host);
        ballast = null;
        expectEqual(OutOfMemoryError.class, thrown.getClass(), "no memory for the big update");
        byte[] update = host.getQueuedEvent();
        expectEqual((8 << 20) + 2, update.length, "big update length");
        expectEqual((byte) 0x5A, update[update.length - 1], "big update's last byte");
        update = null;

        // With no heap at all left, not even the report's title can be made.
        ballast = fillHeap(16);
        thrown = thrownBy(host);
        ballast = null;
        expectEqual(OutOfMemoryError.class, thrown.getClass(), "no memory for the title");
        expectEqual(new ArrayList<String>(), host.reports, "reports before memory returned");
        expectBytes(new byte[] {1, DISPLAY_UPDATE, 4}, host.getQueuedEvent(), "small update");
        expectEqual(Arrays.asList("7 Held 0"), host.reports, "reports");
    }

    private static void manyEvents() {
        final int count = 100000;
        byte[] report = sharedWindow(0, 42, "Spreadsheet");
        for (int i = 0; i < count; i++) {
            RecordingEngine.queue(SHARED_WINDOW, report);
        }
        RecordingEngine.queue(DISPLAY_UPDATE, new byte[] {1});
        Host host = new Host();
        expectBytes(new byte[] {1, DISPLAY_UPDATE, 1}, host.getQueuedEvent(), "the update");
        expectEqual(count, host.reports.size(), "reports");

        for (int i = 0; i < count; i++) {
            RecordingEngine.queue(DISPLAY_UPDATE, new byte[] {(byte) i});
        }
        for (int i = 0; i < count; i++) {
            byte[] event = host.getQueuedEvent();
            if (event.length != 3 || event[2] != (byte) i) {
                throw new AssertionError("event " + i + " is " + Arrays.toString(event));
            }
        }
    }

    private static void otherNatives() {
        Host host = new Host();
        expectEqual(true, host.init(), "init");
        expectEqual(true, host.listen(7, 99), "listen");
        expectEqual(true, host.connect(-1, 99), "connect");
        expectEqual(true, host.setRole(3), "setRole");
        expectEqual(true, host.SetPosition(-1, -1, 640, 480, true), "SetPosition");
        expectEqual(false, host.waitForEvents(25), "waitForEvents on an empty queue");
        expectEqual(true, host.RequestFullUpdate(12), "RequestFullUpdate");
        expectEqual(true, host.EnableInputControl(true, 50, 99), "EnableInputControl");
        expectEqual(true, host.ClickToShare(0x10020, 4), "ClickToShare");
        expectEqual(true, host.pauseCapture(true), "pauseCapture");
        expectEqual(true, host.hilight(), "hilight");
        expectEqual(true, host.mark(), "mark");
        expectEqual(true, host.clearAnnotations(), "clearAnnotations");
        expectEqual(true, host.enableAnnotation(false), "enableAnnotation");
        expectEqual(true, host.setParent("ignored"), "setParent");
        expectEqual(true, host.dummy(), "dummy");
        expectEqual(true, host.release(), "release");
        String expected = String.join("\n",
                "Init",
                "EnableCapture 1 7",
                "EnableCapture 0 4294967295",
                "SetPosition 4294967295 4294967295 640 480 1",
                "WaitForEvents 25",
                "RequestFullUpdate 12",
                "EnableInputControl 1 50",
                "ClickToShare 65568 4",
                "PauseCapture 1",
                "AddHighlight",
                "AddMarker 255",
                "ClearAnnotation",
                "EnableAnnotation 0",
                "Release") + "\n";
        expectEqual(expected, RecordingEngine.takeCalls(), "calls");
    }

    private static byte[] sharedWindow(int code, int window, String title) {
        return RecordingEngine.sharedWindow(code, window, title);
    }

    private static byte[] windowEvent(int message, int wParam, int lParam, int x, int y) {
        return RecordingEngine.windowEvent(message, wParam, lParam, x, y);
    }

    private static byte[] concat(byte[] head, byte[] tail) {
        byte[] whole = Arrays.copyOf(head, head.length + tail.length);
        System.arraycopy(tail, 0, whole, head.length, tail.length);
        return whole;
    }

    // Memory.

    /** Allocates until the heap refuses even arrays of smallest bytes. */
    private static List<byte[]> fillHeap(int smallest) {
        List<byte[]> ballast = new ArrayList<>(1 << 16);
        for (int size = 1 << 20; size >= smallest; size /= 2) {
            try {
                while (true) {
                    ballast.add(new byte[size]);
                }
            } catch (OutOfMemoryError full) {
                // Try smaller pieces.
            }
        }
        return ballast;
    }

    /** What getQueuedEvent threw, or null; allocates nothing itself. */
    private static Throwable thrownBy(Host host) {
        try {
            host.getQueuedEvent();
            return null;
        } catch (Throwable thrown) {
            return thrown;
        }
    }

    // Checks.

    private static void expectEqual(Object expected, Object actual, String what) {
        if (!java.util.Objects.equals(expected, actual)) {
            throw new AssertionError(what + ": expected <" + expected + "> but was <" + actual + ">");
        }
    }

    private static void expectBytes(byte[] expected, byte[] actual, String what) {
        if (!Arrays.equals(expected, actual)) {
            throw new AssertionError(what + ": expected " + Arrays.toString(expected) + " but was "
                    + Arrays.toString(actual));
        }
    }

    /** Echoes the captured output, so that nothing the JVM printed meanwhile is hidden. */
    private static void expectPrinted(String expected, String printed) {
        System.out.print(printed);
        expectEqual(expected, printed, "printed");
    }
}
