package com.tesmo.runtime;

/**
 * Lets the application drive the launcher's splash screen: change its status line while it
 * loads, and close the splash when it is ready.
 *
 * <p>The launcher's splash thread asks this class ten times a second what to do, once the
 * Java VM exists, so a request takes effect within about 100 milliseconds. Requests made
 * before that wait for the first poll. Without a launcher splash (no launcher, a splash
 * shown by the Java runtime's own splash library, or a splash already closed) the calls do
 * nothing, so applications can make them unconditionally.
 *
 * <p>The launcher also closes its splash by itself when the application shows its first
 * window, unless the application's launcher is configured to leave that to this class.
 */
public final class TesmoController {
    /** What {@link #getAction()} answers: nothing to do. */
    static final int NOTHING = 0;
    /** What {@link #getAction()} answers: close the splash. */
    static final int CLOSE = 1;
    /** What {@link #getAction()} answers: {@link #getText()} has a new status text. */
    static final int NEW_TEXT = 2;

    private static boolean closeRequested;
    private static String pendingText;

    private TesmoController() {
    }

    /**
     * Shows {@code text} as the splash screen's status line, in place of the one before. When
     * several texts come between two polls, the splash shows the last.
     *
     * @param text the new status line; {@code null} empties the line
     */
    public static synchronized void setStatusText(String text) {
        pendingText = text == null ? "" : text;
    }

    /** Closes the splash screen. It is not shown again. */
    public static synchronized void closeSplash() {
        closeRequested = true;
    }

    /**
     * Called by the launcher's splash thread at each poll.
     *
     * @return {@link #CLOSE} once after {@link #closeSplash()}, else {@link #NEW_TEXT} while a
     *         status text waits for {@link #getText()}, else {@link #NOTHING}
     */
    static synchronized int getAction() {
        if (closeRequested) {
            closeRequested = false;
            return CLOSE;
        }
        return pendingText != null ? NEW_TEXT : NOTHING;
    }

    /**
     * Called by the launcher's splash thread after {@link #NEW_TEXT}.
     *
     * @return the newest status text, once; {@code null} when there is none
     */
    static synchronized String getText() {
        String text = pendingText;
        pendingText = null;
        return text;
    }
}
