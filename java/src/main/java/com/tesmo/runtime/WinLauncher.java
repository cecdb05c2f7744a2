package com.tesmo.runtime;

import java.io.File;

/**
 * The class whose {@code main} the native launcher calls (tesmo flavour); it sets up the
 * process the way the launcher's settings ask and then starts the application's main class.
 *
 * <p>The launcher passes six leading arguments ahead of the application's own:
 * <ol>
 * <li>{@code "true"} for a windowed (GUI) launcher, {@code "false"} for a console one;</li>
 * <li>the application's main class, dotted ({@code com.example.App});</li>
 * <li>the error log file name, {@code ""} when none is configured;</li>
 * <li>the output log file name, {@code ""} when none is configured;</li>
 * <li>{@code "true"} to append to existing log files, {@code "false"} to truncate them;</li>
 * <li>the program name as the user typed it.</li>
 * </ol>
 * A log name that begins with {@code $} is one the launcher could not resolve; its
 * {@code ${name}} references are expanded here from system properties, then environment
 * variables. See {@code java/README.md} for the full rules.
 *
 * <p>In single-instance mode ({@code tesmo.processCommFile} set) it also starts watching the
 * communication file, through which later starts hand over their arguments (see
 * {@link InstanceListener}).
 *
 * <p>Applications never call this class; they read what it recorded through
 * {@link Launcher}.
 */
public final class WinLauncher {
    private WinLauncher() {
    }

    /**
     * Redirects the logs, records the leading values for {@link Launcher} and calls the
     * application's {@code public static void main(String[])} with the arguments that follow
     * the six leading ones.
     *
     * @param args the launcher's six leading arguments, then the application's arguments
     * @throws IllegalArgumentException when the leading arguments are missing or malformed
     * @throws ClassNotFoundException when the main class is not on the class path
     * @throws NoSuchMethodException when the main class has no suitable {@code main}
     * @throws Throwable whatever the application's {@code main} throws, unwrapped, so that the
     *         launcher describes the application's own exception
     */
    public static void main(String[] args) throws Throwable {
        LeadingArguments leading = LeadingArguments.parse(args);
        Launcher.record(leading.windowed, leading.programName);
        File commFile = Launcher.processCommFile();
        if (commFile != null) {
            // Before the application starts, so a start that comes meanwhile is not kept waiting.
            InstanceWatcher.start(commFile);
        }
        LogRedirection.apply(leading.errorLog, leading.outputLog, leading.appendToLogs);
        MainClassInvoker.invoke(leading.mainClass, leading.applicationArguments);
    }
}
