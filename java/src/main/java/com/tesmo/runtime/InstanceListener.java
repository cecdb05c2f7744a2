package com.tesmo.runtime;

/**
 * Receives the arguments of later starts of a single-instance application. When the
 * application is configured to run only once, a second start of its launcher does not start
 * another copy: it brings this instance's windows to the front, hands over its command-line
 * arguments and ends. Register a listener with {@link Launcher#addInstanceListener} to act on
 * them, for example to open the files the user double-clicked.
 *
 * <p>Listeners are called on one background thread of the runtime (a daemon thread named
 * {@code tesmo instance watcher}), one hand-over at a time, in the order the starts handed
 * them over. A Swing or JavaFX application passes the work on to its UI thread.
 */
public interface InstanceListener {
    /**
     * A later start of the application handed over its arguments.
     *
     * @param arguments the arguments that start was given, without its program name, split the
     *        way the launcher splits a command line (the same array its {@code main} would
     *        have received); empty when it was started without arguments
     */
    void anotherInstanceStarted(String[] arguments);
}
