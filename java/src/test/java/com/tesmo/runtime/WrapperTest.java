package com.tesmo.runtime;

import static org.hamcrest.CoreMatchers.containsString;
import static org.hamcrest.CoreMatchers.not;
import static org.hamcrest.MatcherAssert.assertThat;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertTrue;

import java.io.DataInputStream;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;
import java.util.zip.ZipFile;

import javax.tools.ToolProvider;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * The wrapper in a child JVM, called with exactly the leading arguments the launcher sends,
 * and the archive it comes in.
 */
public class WrapperTest {
    private static final String APPS = "com.tesmo.runtime.testapps.";

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    @Test
    public void startUpMistakesReachTheLauncherWithALineSayingWhat() throws Exception {
        String path = "; class path: " + ChildJvm.RUNTIME_JAR + File.pathSeparator + ChildJvm.TEST_CLASSES;
        String noMain = " has no public static void main(String[]) method" + path;
        String[][] cases = { // the launcher's arguments, what the launcher gets
            {"false", "com.example.Missing", "", "", "false", "app",
                "ClassNotFoundException: main class com.example.Missing not found" + path},
            {"false", APPS + "NoMainApp", "", "", "false", "app",
                "NoSuchMethodException: main class " + APPS + "NoMainApp" + noMain},
            {"false", APPS + "InstanceMainApp", "", "", "false", "app",
                "NoSuchMethodException: main class " + APPS + "InstanceMainApp" + noMain},
            {"false", APPS + "EchoApp", "", "", "false", "IllegalArgumentException: expected at least 6 leading"
                + " arguments from the launcher (windowed flag, main class, error log, output log, append flag,"
                + " program name), got 5"},
            {APPS + "EchoApp", "false", "", "", "false", "app", "IllegalArgumentException: the windowed flag"
                + " (argument 1) must be \"true\" or \"false\", got \"" + APPS + "EchoApp\""},
            {"false", "", "", "", "false", "app", "IllegalArgumentException: the main class (argument 2) is empty"},
        };
        for (String[] c : cases) {
            String[] arguments = Arrays.copyOf(c, c.length - 1);
            String exception = c[c.length - 1];
            Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).run(arguments);
            assertNotEquals(result.toString(), 0, result.exitCode);
            assertEquals(result.toString(), "", result.stdout);
            assertEquals("Error: " + exception.substring(exception.indexOf(": ") + 2), result.stderrLines().get(0));
            assertThat(result.stderr, containsString("java.lang." + exception));
        }
    }

    @Test
    public void mainClassesThatOnlyExistCompiledHere() throws Exception {
        // Java's own launcher starts a public main in a package-private class, and so does the
        // native one; Needy's methods name a class that is gone at run time.
        File source = new File(temp.newFolder(), "Classes.java");
        Files.write(source.toPath(), ("package app; class Hidden {"
                + " public static void main(String[] args) { System.out.println(\"hidden ran \" + args[0]); } }"
                + " class Needy { public static void main(String[] args) { System.out.println(\"must not run\"); }"
                + " public static void use(Gone gone) { } } class Gone { }").getBytes(StandardCharsets.UTF_8));
        File classes = temp.newFolder();
        assertEquals(0, ToolProvider.getSystemJavaCompiler().run(null, null, null, "-d", classes.getPath(),
                source.getPath()));
        assertTrue(new File(classes, "app/Gone.class").delete());
        ChildJvm child = ChildJvm.of(ChildJvm.TESMO_WRAPPER).classPath(ChildJvm.RUNTIME_JAR.getPath(),
                classes.getPath());

        Result hidden = child.launch(false, "app.Hidden", "", "", false, "app", "ok");
        assertEquals(hidden.toString(), 0, hidden.exitCode);
        assertEquals("hidden ran ok\n", hidden.stdout + hidden.stderr);

        Result needy = child.launch(false, "app.Needy", "", "", false, "app");
        assertNotEquals(needy.toString(), 0, needy.exitCode);
        assertEquals("", needy.stdout);
        assertEquals("Error: main class app.Needy could not be loaded (java.lang.NoClassDefFoundError: app/Gone);"
                + " class path: " + ChildJvm.RUNTIME_JAR + File.pathSeparator + classes, needy.stderrLines().get(0));
        assertThat(needy.stderr,
                containsString("Exception in thread \"main\" java.lang.NoClassDefFoundError: app/Gone"));
    }

    @Test
    public void theApplicationGetsItsArgumentsAndItsExceptionReachesTheLauncherUnwrapped() throws Exception {
        // The internal form, as packagers copy it from a manifest, names the same class.
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, "com/tesmo/runtime/testapps/ThrowingApp",
                "", "", false, "app", "x", "", "y z");
        assertEquals(result.toString(), 1, result.exitCode);
        assertEquals(List.of("started"), result.stdoutLines());
        assertEquals("Exception in thread \"main\" " + APPS + "AppFailure: the application gave up: x,,y z",
                result.stderrLines().get(0));
        assertThat(result.stderr, not(containsString("InvocationTargetException")));
    }

    @Test
    public void theArchiveLoadsOnTheOldestSupportedJava() throws Exception {
        // One javac run compiles every class of the archive, so the wrapper's version is theirs.
        int major = Integer.parseInt(System.getProperty("tesmo.test.classRelease")) + 44;
        try (ZipFile archive = new ZipFile(ChildJvm.RUNTIME_JAR); DataInputStream data = new DataInputStream(
                archive.getInputStream(archive.getEntry("com/tesmo/runtime/WinLauncher.class")))) {
            data.skipBytes(6); // the magic number and the minor version
            assertEquals(major, data.readUnsignedShort());
        }
    }
}
