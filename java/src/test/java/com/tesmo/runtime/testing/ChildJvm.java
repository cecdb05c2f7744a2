package com.tesmo.runtime.testing;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * Starts a child JVM the way the native launcher starts the VM: the runtime archive and the
 * application's classes on the class path, the launcher's system properties, then a call of
 * a wrapper's {@code main} with the arguments given. Java's own launcher stands in for ours:
 * like ours it describes an exception thrown by {@code main} on standard error and exits 1.
 */
public final class ChildJvm {
    /** The archive under test, build/java/kvnruntime.jar. */
    public static final File RUNTIME_JAR = new File(required("tesmo.test.runtimeJar"));
    /** The compiled test tree, which holds the test applications. */
    public static final File TEST_CLASSES = new File(required("tesmo.test.classes"));

    public static final String TESMO_WRAPPER = "com.tesmo.runtime.WinLauncher";
    public static final String KORVANE_WRAPPER = "com.korvane.runtime.launcher.WinLauncher";

    private static final String JAVA = System.getProperty("java.home") + File.separator + "bin"
            + File.separator + "java";

    private final String mainClass;
    private final List<String> classPath = new ArrayList<>();
    private final Map<String, String> properties = new LinkedHashMap<>();
    private final Map<String, String> environment = new LinkedHashMap<>();
    private File directory;

    private ChildJvm(String mainClass) {
        this.mainClass = mainClass;
    }

    /** A child that runs {@code mainClass} with the runtime archive and the test apps on the class path. */
    public static ChildJvm of(String mainClass) {
        ChildJvm child = new ChildJvm(mainClass);
        child.classPath.add(RUNTIME_JAR.getPath());
        child.classPath.add(TEST_CLASSES.getPath());
        return child;
    }

    /** Replaces the class path, for a runtime archive copied elsewhere. */
    public ChildJvm classPath(String... entries) {
        classPath.clear();
        classPath.addAll(Arrays.asList(entries));
        return this;
    }

    public ChildJvm property(String name, String value) {
        properties.put(name, value);
        return this;
    }

    /** Sets an environment variable; {@code null} removes it. */
    public ChildJvm environment(String name, String value) {
        environment.put(name, value);
        return this;
    }

    public ChildJvm directory(File workingDirectory) {
        directory = workingDirectory;
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
            return lines(stdout);
        }

        public List<String> stderrLines() {
            return lines(stderr);
        }

        /** The lines of {@code text}; a final newline does not start another line. */
        public static List<String> lines(String text) {
            if (text.isEmpty()) {
                return List.of();
            }
            String body = text.endsWith("\n") ? text.substring(0, text.length() - 1) : text;
            return Arrays.asList(body.split("\n", -1));
        }

        @Override
        public String toString() {
            return "exit code " + exitCode + "\n--- stdout\n" + stdout + "--- stderr\n" + stderr;
        }
    }

    /** Runs the child with {@code arguments} after the main class; waits at most a minute. */
    public Result run(String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>();
        command.add(JAVA);
        command.add("-cp");
        command.add(String.join(File.pathSeparator, classPath));
        // The tests compare text; a C locale would make the child's default charset ASCII.
        if (!properties.containsKey("file.encoding")) {
            command.add("-Dfile.encoding=UTF-8");
        }
        for (Map.Entry<String, String> property : properties.entrySet()) {
            command.add("-D" + property.getKey() + "=" + property.getValue());
        }
        command.add(mainClass);
        command.addAll(Arrays.asList(arguments));

        ProcessBuilder builder = new ProcessBuilder(command);
        for (Map.Entry<String, String> variable : environment.entrySet()) {
            if (variable.getValue() == null) {
                builder.environment().remove(variable.getKey());
            } else {
                builder.environment().put(variable.getKey(), variable.getValue());
            }
        }
        if (directory != null) {
            builder.directory(directory);
        }
        Path out = Files.createTempFile("child-out", ".txt");
        Path err = Files.createTempFile("child-err", ".txt");
        try {
            builder.redirectOutput(out.toFile()).redirectError(err.toFile());
            Process process = builder.start();
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

    /**
     * Runs {@code application} through the wrapper with the six leading arguments built from
     * the other parameters, then {@code applicationArguments}.
     */
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

    private static String required(String name) {
        String value = System.getProperty(name);
        if (value == null) {
            throw new IllegalStateException("system property " + name + " is not set; run the tests through java/build.sh");
        }
        return value;
    }
}
