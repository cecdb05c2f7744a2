package com.tesmo.runtime;

import java.io.File;

/**
 * What the native launcher tells the application about its start: the executable, the
 * temporary directory with extracted files, single-instance details and the values the
 * launcher passed ahead of the application's arguments.
 *
 * <p>Every method answers a neutral value ({@code null}, {@code -1} or {@code false}) when the
 * application was not started by a tesmo launcher, so applications can call them
 * unconditionally; {@code executable() != null} tells whether a launcher started the
 * application. Values that come from system properties are read at each call; the program
 * name and the windowed flag are known once the launcher's wrapper has run, that is from the
 * application's {@code main} on (not yet during a korvane first-run setup).
 */
public final class Launcher {
    private static volatile boolean windowed;
    private static volatile String programName;

    private Launcher() {
    }

    /** Keeps the leading values the wrapper parsed, for the methods below. */
    static void record(boolean windowedLauncher, String program) {
        windowed = windowedLauncher;
        programName = program;
    }

    /**
     * The launcher's private temporary directory holding the files included in the executable
     * and extracted at start ({@code tesmo.tempDir}).
     *
     * @return the directory, or {@code null} when the launcher extracted nothing
     */
    public static File tempDirectory() {
        String value = property("tesmo.tempDir");
        return value == null ? null : new File(value);
    }

    /**
     * The launcher executable's path ({@code tesmo.moduleName}).
     *
     * @return the executable, or {@code null} when no launcher started the application
     */
    public static File executable() {
        String value = property("tesmo.moduleName");
        return value == null ? null : new File(value);
    }

    /**
     * The offset in the executable just behind the included files
     * ({@code tesmo.unextractedPosition}): data appended there was not extracted and can be
     * read from {@link #executable()} directly.
     *
     * @return the offset in bytes, or {@code -1} when unknown (after a language restart, or
     *         without a launcher)
     */
    public static long unextractedPosition() {
        String value = property("tesmo.unextractedPosition");
        if (value == null) {
            return -1;
        }
        try {
            long position = Long.parseLong(value.trim());
            return position >= 0 ? position : -1;
        } catch (NumberFormatException e) {
            return -1;
        }
    }

    /**
     * Whether the launcher is a windowed (GUI) program, which has no console: standard output
     * and error go nowhere unless log files are configured.
     *
     * @return {@code true} for a windowed launcher; {@code false} for a console launcher or
     *         before the wrapper has run
     */
    public static boolean isWindowed() {
        return windowed;
    }

    /**
     * The program name as the user typed it (element 0 of the launcher's command line), for
     * usage messages such as {@code usage: myapp [options]}.
     *
     * @return the name, or {@code null} before the wrapper has run
     */
    public static String programName() {
        return programName;
    }

    /**
     * The name of the semaphore this instance of the launcher holds ({@code tesmo.semaphoreName}):
     * in single-instance mode the application's one name, otherwise a name with this instance's
     * number appended (0 for the first running instance, 1 for the second, ...), which tells how
     * many instances of the same executable run.
     *
     * @return the name, or {@code null} when the launcher did not take one (after a language
     *         restart, or without a launcher)
     */
    public static String semaphoreName() {
        return property("tesmo.semaphoreName");
    }

    /**
     * The file in which a second start of the application leaves its arguments in
     * single-instance mode ({@code tesmo.processCommFile}); the running instance watches it.
     *
     * @return the file, or {@code null} when single-instance mode is off
     */
    public static File processCommFile() {
        String value = property("tesmo.processCommFile");
        return value == null ? null : new File(value);
    }

    /**
     * Registers a listener for the arguments of later starts of the application in
     * single-instance mode. Hand-overs that arrived before the first listener was added (while
     * the application was still starting) are delivered to that listener. See
     * {@link InstanceListener} for the thread it is called on.
     *
     * <p>Without single-instance mode ({@link #processCommFile()} is {@code null}) every start
     * runs on its own and the listener is never called.
     *
     * @param listener the listener; registering it twice calls it twice
     * @throws NullPointerException when {@code listener} is {@code null}
     */
    public static void addInstanceListener(InstanceListener listener) {
        InstanceWatcher.addListener(listener);
    }

    /**
     * Removes a listener added with {@link #addInstanceListener}; nothing happens when it is
     * not registered.
     *
     * @param listener the listener to remove
     */
    public static void removeInstanceListener(InstanceListener listener) {
        InstanceWatcher.removeListener(listener);
    }

    /**
     * Whether a korvane-flavoured launcher started the application ({@code tesmo.isKorvane}).
     */
    public static boolean isKorvane() {
        return "true".equals(property("tesmo.isKorvane"));
    }

    /**
     * The console's code page as a Java charset name such as {@code cp850}
     * ({@code tesmo.consoleCodepage}), for applications that write to the console in its own
     * encoding.
     *
     * @return the name, or {@code null} when the launcher did not set it (it does not when
     *         {@code MANPATH} is set, which suggests a Unix-like shell with its own encoding)
     */
    public static String consoleCodepage() {
        return property("tesmo.consoleCodepage");
    }

    private static String property(String name) {
        try {
            String value = System.getProperty(name);
            return value == null || value.isEmpty() ? null : value;
        } catch (SecurityException e) {
            return null;
        }
    }
}
