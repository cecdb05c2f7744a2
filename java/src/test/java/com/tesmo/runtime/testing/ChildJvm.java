package com.tesmo.runtime.testing;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Starts a child JVM the way the native launcher starts the VM: the runtime archive and the
 * application's classes on the class path, the launcher's system properties, then a call of
 * a wrapper's {@code main}. Java's own launcher stands in for ours: like ours it describes an
 * exception thrown by {@code main} on standard error and exits 1.
 */
public final class ChildJvm {
    public static final File RUNTIME_JAR = new File(System.getProperty("tesmo.test.runtimeJar"));
    public static final File TEST_CLASSES = new File(System.getProperty("tesmo.test.classes"));
    public static final String TESMO_WRAPPER = "com.tesmo.runtime.WinLauncher";
    public static final String KORVANE_WRAPPER = "com.korvane.runtime.launcher.WinLauncher";

    private final String mainClass;
    private List<String> classPath = List.of(RUNTIME_JAR.getPath(), TEST_CLASSES.getPath());
    // The tests compare text; a C locale would make the child's default charset ASCII.
    private final List<String> properties = new ArrayList<>(List.of("-Dfile.encoding=UTF-8"));
    private final ProcessBuilder builder = new ProcessBuilder();

    private ChildJvm(String mainClass) {
        this.mainClass = mainClass;
    }

    public static ChildJvm of(String mainClass) {
        return new ChildJvm(mainClass);
    }

    public ChildJvm classPath(String... entries) {
        classPath = Arrays.asList(entries);
        return this;
    }

    public ChildJvm property(String name, String value) {
        properties.add("-D" + name + "=" + value);
        return this;
    }

    /** Sets an environment variable; {@code null} removes it. */
    public ChildJvm environment(String name, String value) {
        if (value == null) {
            builder.environment().remove(name);
        } else {
            builder.environment().put(name, value);
        }
        return this;
    }

    /** What the child printed and how it ended. */
    public static final class Result {
        public final int exitCode;
        public final String stdout;
        public final String stderr;

        Result(int exitCode, String stdout, String stderr) {
            this.exitCode = exitCode;
            this.stdout = stdout;
            this.stderr = stderr;
        }

        public List<String> stdoutLines() {
            return stdout.isEmpty() ? List.of() : Arrays.asList(stdout.split("\n"));
        }

        public List<String> stderrLines() {
            return stderr.isEmpty() ? List.of() : Arrays.asList(stderr.split("\n"));
        }

        @Override
        public String toString() {
            return "exit code " + exitCode + "\n--- stdout\n" + stdout + "--- stderr\n" + stderr;
        }
    }

    public Result run(String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(System.getProperty("java.home") + "/bin/java", "-cp",
                String.join(File.pathSeparator, classPath)));
        // A later -D wins, so a test's own file.encoding replaces the default above.
        command.addAll(properties);
        command.add(mainClass);
        command.addAll(Arrays.asList(arguments));
        Path out = Files.createTempFile("child-out", ".txt");
        Path err = Files.createTempFile("child-err", ".txt");
        try {
            Process process = builder.command(command).redirectOutput(out.toFile()).redirectError(err.toFile()).start();
            if (!process.waitFor(60, TimeUnit.SECONDS)) {
                process.destroyForcibly();
                throw new AssertionError("child JVM did not end within 60 s: " + command);
            }
            return new Result(process.exitValue(), read(out), read(err));
        } finally {
            Files.deleteIfExists(out);
            Files.deleteIfExists(err);
        }
    }

    /** Runs {@code application} through the wrapper after the six leading arguments built from the others. */
    public Result launch(boolean windowed, String application, String errorLog, String outputLog, boolean append,
            String programName, String... applicationArguments) throws IOException, InterruptedException {
        List<String> all = new ArrayList<>(List.of(String.valueOf(windowed), application, errorLog, outputLog,
                String.valueOf(append), programName));
        all.addAll(Arrays.asList(applicationArguments));
        return run(all.toArray(new String[0]));
    }

    private static String read(Path path) throws IOException {
        return new String(Files.readAllBytes(path), StandardCharsets.UTF_8).replace("\r\n", "\n");
    }
}
