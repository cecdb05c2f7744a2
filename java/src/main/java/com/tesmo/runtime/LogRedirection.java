package com.tesmo.runtime;

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.Charset;

/**
 * Points {@code System.err} and {@code System.out} at the configured log files. A log that
 * cannot be used never stops the application: the stream stays as it was and one warning
 * line says why, on the (possibly already redirected) standard error.
 */
final class LogRedirection {
    private LogRedirection() {
    }

    /**
     * Redirects standard error first, so that a warning about the output log lands in the
     * error log when there is one.
     *
     * @param errorName the launcher's error log name, {@code ""} for none
     * @param outputName the launcher's output log name, {@code ""} for none
     * @param append {@code true} keeps existing log content, {@code false} truncates it
     */
    static void apply(String errorName, String outputName, boolean append) {
        File errorFile = resolve(errorName, "error log", "standard error");
        PrintStream errorStream = errorFile == null ? null : open(errorFile, append, "error log", "standard error");
        if (errorStream != null) {
            System.setErr(errorStream);
        }
        File outputFile = resolve(outputName, "output log", "standard output");
        if (outputFile == null) {
            return;
        }
        // Two streams truncating and writing one file would overwrite each other's lines.
        PrintStream outputStream = errorStream != null && sameFile(errorFile, outputFile)
                ? errorStream
                : open(outputFile, append, "output log", "standard output");
        if (outputStream != null) {
            System.setOut(outputStream);
        }
    }

    /** The file a launcher name stands for, or {@code null} when there is none to use. */
    private static File resolve(String name, String what, String stream) {
        if (name.isEmpty()) {
            return null;
        }
        if (!name.startsWith("$")) {
            return new File(name);
        }
        NameExpansion.Result result = NameExpansion.expand(name, NameExpansion.SYSTEM_PROPERTIES_THEN_ENVIRONMENT);
        if (result.unresolved != null) {
            String why = result.unresolved.endsWith("}")
                    ? result.unresolved + " is neither a system property nor an environment variable"
                    : result.unresolved + " is not a complete ${name} reference";
            System.err.println("Warning: the " + what + " name " + name + " cannot be resolved: " + why + "; "
                    + stream + " is not redirected");
            return null;
        }
        return result.value.isEmpty() ? null : new File(result.value);
    }

    private static PrintStream open(File file, boolean append, String what, String stream) {
        try {
            File parent = file.getAbsoluteFile().getParentFile();
            if (parent != null && !parent.isDirectory() && !parent.mkdirs() && !parent.isDirectory()) {
                throw new IOException("cannot create the folder " + parent);
            }
            final PrintStream printStream = new PrintStream(
                    new BufferedOutputStream(new FileOutputStream(file, append)), true, logCharsetName());
            // Auto-flush covers everything printed, but bytes written one at a time without a
            // final newline would stay in the buffer when the VM ends.
            Runtime.getRuntime().addShutdownHook(new Thread("tesmo log flush") {
                @Override
                public void run() {
                    printStream.flush();
                }
            });
            return printStream;
        } catch (IOException e) {
            System.err.println("Warning: cannot open the " + what + " " + file + " (" + e.getMessage() + "); "
                    + stream + " is not redirected");
            return null;
        }
    }

    /**
     * The JVM's default charset: what {@code file.encoding} names, the Windows ANSI code page
     * unless a VM option changes it (UTF-8 by default from Java 18 on).
     */
    private static String logCharsetName() {
        return Charset.defaultCharset().name();
    }

    private static boolean sameFile(File a, File b) {
        try {
            return a.getCanonicalFile().equals(b.getCanonicalFile());
        } catch (IOException e) {
            return a.getAbsoluteFile().equals(b.getAbsoluteFile());
        }
    }
}
