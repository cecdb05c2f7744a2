package com.tesmo.runtime;

/**
 * The six values the launcher passes ahead of the application's arguments. Parsing is strict:
 * a launcher and a runtime archive that disagree about the order should fail loudly at the
 * first start, not misread a class name as a flag.
 */
final class LeadingArguments {
    /** How many leading arguments the launcher always passes. */
    static final int COUNT = 6;

    final boolean windowed;
    final String mainClass;
    final String errorLog;
    final String outputLog;
    final boolean appendToLogs;
    final String programName;
    final String[] applicationArguments;

    private LeadingArguments(String[] args) {
        windowed = flag(args[0], "the windowed flag (argument 1)");
        mainClass = text(args[1], "the main class (argument 2)");
        errorLog = text(args[2], "the error log name (argument 3)");
        outputLog = text(args[3], "the output log name (argument 4)");
        appendToLogs = flag(args[4], "the append flag (argument 5)");
        programName = text(args[5], "the program name (argument 6)");
        if (mainClass.isEmpty()) {
            throw fail("the main class (argument 2) is empty");
        }
        applicationArguments = new String[args.length - COUNT];
        System.arraycopy(args, COUNT, applicationArguments, 0, applicationArguments.length);
    }

    /**
     * Splits the launcher's arguments; on a mismatch prints one line on standard error and
     * throws, so that the launcher reports a failed start.
     *
     * @throws IllegalArgumentException when fewer than six arguments arrive or one is malformed
     */
    static LeadingArguments parse(String[] args) {
        int count = args == null ? 0 : args.length;
        if (count < COUNT) {
            throw fail("expected at least " + COUNT + " leading arguments from the launcher"
                    + " (windowed flag, main class, error log, output log, append flag,"
                    + " program name), got " + count);
        }
        return new LeadingArguments(args);
    }

    private static boolean flag(String value, String what) {
        if ("true".equals(value)) {
            return true;
        }
        if ("false".equals(value)) {
            return false;
        }
        throw fail(what + " must be \"true\" or \"false\", got "
                + (value == null ? "null" : "\"" + value + "\""));
    }

    private static String text(String value, String what) {
        if (value == null) {
            throw fail(what + " is missing (null)");
        }
        return value;
    }

    private static IllegalArgumentException fail(String message) {
        System.err.println("Error: " + message);
        return new IllegalArgumentException(message);
    }
}
