package com.korvane.runtime.launcher;

import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URISyntaxException;
import java.net.URL;
import java.security.CodeSource;
import java.security.ProtectionDomain;
import java.util.Properties;
import java.util.concurrent.Callable;

/**
 * The first-run hook of korvane launchers: a setup step that runs once per installation,
 * before the application's first start.
 *
 * <p>An installer arms it by writing the marker file {@code firstrun} into the installation's
 * {@code .korvane} folder, beside {@code kvnruntime.jar}. While the marker exists, the
 * launcher calls {@link #firstRun()} before the application's {@code main}. The marker is a
 * properties file ({@code key=value} lines, {@code #} comments, ISO-8859-1 as
 * {@link Properties#load(InputStream)} reads it) with two optional keys:
 * <dl>
 * <dt>{@code setup=com.example.Setup}</dt>
 * <dd>a class on the application's class path to run once. It either has
 * {@code public static boolean run()}, or implements {@code Callable<Boolean>} with a public
 * no-argument constructor. {@code true} means set up, start the application; {@code false}
 * means the application must not start now (the setup explains why to the user itself).</dd>
 * <dt>{@code start=false}</dt>
 * <dd>the installation is not ready: the application does not start and nothing runs.
 * {@code start=true} is the same as leaving the key out.</dd>
 * </dl>
 *
 * <p>Outcomes:
 * <ul>
 * <li>no marker: {@code true};</li>
 * <li>an empty marker, or one without {@code setup}: the marker is deleted, {@code true};</li>
 * <li>the setup returns {@code true}: the marker is deleted, so the setup never runs again,
 * and the result is {@code true};</li>
 * <li>{@code start=false}, the setup returns {@code false} or {@code null}, the setup throws,
 * the setup class is missing or has neither form, the marker cannot be read: a line on
 * standard error (not for a plain {@code false} from the setup), the marker stays, the result
 * is {@code false}, and the launcher ends with exit code 0 without starting the application.
 * The setup therefore runs again at the next start.</li>
 * </ul>
 * Unknown keys are reported and ignored. When the marker cannot be deleted (a read-only
 * installation folder) a warning says so and the setup runs again at the next start, so a
 * setup should tolerate running twice. The setup runs before the wrapper, so the
 * application's log files are not yet in place: its output goes to the console, if any.
 */
public final class FirstRun {
    /** The marker's file name inside the {@code .korvane} folder. */
    public static final String MARKER_NAME = "firstrun";

    private FirstRun() {
    }

    /**
     * Runs the first-run setup the marker asks for; the launcher calls it while the marker
     * exists.
     *
     * @return {@code false} when the application must not start, otherwise {@code true}
     */
    public static boolean firstRun() {
        File marker = markerFile();
        if (marker == null) {
            System.err.println("Warning: first run: cannot tell where " + FirstRun.class.getName()
                    + " was loaded from, so there is no first-run marker to read");
            return true;
        }
        if (!marker.exists()) {
            return true;
        }
        Properties settings = new Properties();
        try {
            InputStream in = new FileInputStream(marker);
            try {
                settings.load(in);
            } finally {
                in.close();
            }
        } catch (IOException | IllegalArgumentException e) {
            System.err.println("Error: first run: cannot read the marker " + marker + " (" + e.getMessage()
                    + "); the application does not start");
            return false;
        }
        for (String key : settings.stringPropertyNames()) {
            if (!key.equals("setup") && !key.equals("start")) {
                System.err.println("Warning: first run: the marker " + marker + " has an unknown key \"" + key
                        + "\"; only setup and start are read");
            }
        }
        String start = value(settings, "start");
        if (start != null && !start.equalsIgnoreCase("true")) {
            if (start.equalsIgnoreCase("false")) {
                System.err.println("First run: the marker " + marker + " says start=false; the application"
                        + " does not start");
            } else {
                System.err.println("Error: first run: the marker " + marker + " says start=" + start
                        + ", expected true or false; the application does not start");
            }
            return false;
        }
        String setup = value(settings, "setup");
        if (setup != null && !runSetup(setup)) {
            return false;
        }
        if (!marker.delete() && marker.exists()) {
            System.err.println("Warning: first run: cannot delete the marker " + marker
                    + "; the first-run setup will run again at the next start");
        }
        return true;
    }

    /**
     * Where {@link #firstRun()} looks for the marker: {@code firstrun} in the folder holding
     * the archive this class was loaded from (the {@code .korvane} folder in an installation;
     * the folder itself when the class comes from a folder of class files).
     *
     * @return the marker's path, whether it exists or not; {@code null} when this class's
     *         origin is unknown
     */
    public static File markerFile() {
        ProtectionDomain domain = FirstRun.class.getProtectionDomain();
        CodeSource source = domain == null ? null : domain.getCodeSource();
        URL location = source == null ? null : source.getLocation();
        if (location == null || !"file".equalsIgnoreCase(location.getProtocol())) {
            return null;
        }
        File origin;
        try {
            origin = new File(location.toURI());
        } catch (URISyntaxException | IllegalArgumentException e) {
            // Older class loaders left some characters unescaped in the URL.
            origin = new File(location.getPath());
        }
        File folder = origin.isDirectory() ? origin : origin.getParentFile();
        return folder == null ? null : new File(folder, MARKER_NAME);
    }

    private static String value(Properties settings, String key) {
        String value = settings.getProperty(key);
        if (value == null) {
            return null;
        }
        value = value.trim();
        return value.isEmpty() ? null : value;
    }

    /** Runs the setup class; {@code true} only when it says the application may start. */
    private static boolean runSetup(String name) {
        Class<?> setup;
        try {
            setup = Class.forName(name, true, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            System.err.println("Error: first run: setup class " + name + " not found; class path: "
                    + System.getProperty("java.class.path", ""));
            return false;
        } catch (LinkageError e) {
            System.err.println("Error: first run: setup class " + name + " could not be loaded:");
            e.printStackTrace();
            return false;
        }
        Object result;
        try {
            Method run = staticRun(setup);
            if (run != null) {
                result = run.invoke(null);
            } else if (Callable.class.isAssignableFrom(setup)) {
                result = ((Callable<?>) setup.getConstructor().newInstance()).call();
            } else {
                System.err.println("Error: first run: setup class " + name + " has no public static boolean run()"
                        + " and does not implement java.util.concurrent.Callable<Boolean>");
                return false;
            }
        } catch (InvocationTargetException e) {
            System.err.println("Error: first run: setup class " + name + " failed:");
            (e.getCause() != null ? e.getCause() : e).printStackTrace();
            return false;
        } catch (Exception | LinkageError e) {
            System.err.println("Error: first run: setup class " + name + " failed:");
            e.printStackTrace();
            return false;
        }
        if (!(result instanceof Boolean)) {
            System.err.println("Error: first run: setup class " + name + " returned " + result
                    + " instead of true or false");
            return false;
        }
        return (Boolean) result;
    }

    private static Method staticRun(Class<?> setup) {
        Method run;
        try {
            run = setup.getMethod("run");
        } catch (NoSuchMethodException e) {
            return null;
        }
        Class<?> type = run.getReturnType();
        if (!Modifier.isStatic(run.getModifiers()) || (type != boolean.class && type != Boolean.class)) {
            return null;
        }
        try {
            run.setAccessible(true);
        } catch (RuntimeException e) {
            // A module that does not open its package: invoke reports it if it matters.
        }
        return run;
    }
}
