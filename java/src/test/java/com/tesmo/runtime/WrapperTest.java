package com.tesmo.runtime;

import static org.hamcrest.CoreMatchers.containsString;
import static org.hamcrest.CoreMatchers.not;
import static org.hamcrest.MatcherAssert.assertThat;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotEquals;

import java.io.File;
import java.util.List;

import org.junit.Test;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * The wrapper in a child JVM, called with exactly the leading arguments the launcher sends:
 * what the application receives, and how start-up mistakes and application failures reach
 * the launcher.
 */
public class WrapperTest {
    private static final String APPS = "com.tesmo.runtime.testapps.";
    private static final String CLASS_PATH = ChildJvm.RUNTIME_JAR.getPath() + File.pathSeparator
            + ChildJvm.TEST_CLASSES.getPath();

    // ---- arguments

    @Test
    public void applicationGetsOnlyItsOwnArgumentsInOrder() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, APPS + "EchoApp", "", "", false,
                "C:\\Apps\\My App\\app.exe", "--fixed", "user arg with spaces", "", "true", "C:\\x\\y.txt");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("count=5", "[--fixed]", "[user arg with spaces]", "[]", "[true]", "[C:\\x\\y.txt]"),
                result.stdoutLines());
        assertEquals("", result.stderr);
    }

    @Test
    public void noApplicationArgumentsGivesAnEmptyArray() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(true, APPS + "EchoApp", "", "", true, "app");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("count=0"), result.stdoutLines());
    }

    @Test
    public void slashSeparatedMainClassNameIsAccepted() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, "com/tesmo/runtime/testapps/EchoApp", "",
                "", false, "app", "one");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("count=1", "[one]"), result.stdoutLines());
    }

    @Test
    public void korvaneWrapperBehavesTheSame() throws Exception {
        Result result = ChildJvm.of(ChildJvm.KORVANE_WRAPPER).launch(false, APPS + "EchoApp", "", "", false, "app",
                "a", "b");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("count=2", "[a]", "[b]"), result.stdoutLines());
    }

    @Test
    public void tooFewLeadingArgumentsAreRefusedWithAMessage() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).run("false", APPS + "EchoApp", "", "", "false");
        assertNotEquals(result.toString(), 0, result.exitCode);
        assertEquals("", result.stdout);
        assertEquals("Error: expected at least 6 leading arguments from the launcher (windowed flag, main class,"
                + " error log, output log, append flag, program name), got 5", result.stderrLines().get(0));
        assertThat(result.stderr, containsString("java.lang.IllegalArgumentException: expected at least 6"));
    }

    @Test
    public void malformedFlagsAreRefusedWithAMessage() throws Exception {
        Result windowed = ChildJvm.of(ChildJvm.TESMO_WRAPPER).run(APPS + "EchoApp", "false", "", "", "false", "app");
        assertNotEquals(windowed.toString(), 0, windowed.exitCode);
        assertEquals("Error: the windowed flag (argument 1) must be \"true\" or \"false\", got \"" + APPS
                + "EchoApp\"", windowed.stderrLines().get(0));
        assertEquals("", windowed.stdout);

        Result append = ChildJvm.of(ChildJvm.TESMO_WRAPPER).run("false", APPS + "EchoApp", "", "", "yes", "app");
        assertNotEquals(append.toString(), 0, append.exitCode);
        assertEquals("Error: the append flag (argument 5) must be \"true\" or \"false\", got \"yes\"",
                append.stderrLines().get(0));
        assertThat(append.stderr, containsString("java.lang.IllegalArgumentException"));
    }

    // ---- start-up mistakes

    @Test
    public void missingMainClassIsNamedWithTheClassPath() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, "com.example.Missing", "", "", false,
                "app");
        assertNotEquals(result.toString(), 0, result.exitCode);
        String message = "main class com.example.Missing not found; class path: " + CLASS_PATH;
        assertEquals("Error: " + message, result.stderrLines().get(0));
        assertThat(result.stderr, containsString("java.lang.ClassNotFoundException: " + message));
    }

    @Test
    public void classWithoutMainIsNamedWithTheClassPath() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, APPS + "NoMainApp", "", "", false, "app");
        assertNotEquals(result.toString(), 0, result.exitCode);
        String message = "main class " + APPS + "NoMainApp has no public static void main(String[]) method;"
                + " class path: " + CLASS_PATH;
        assertEquals("Error: " + message, result.stderrLines().get(0));
        assertThat(result.stderr, containsString("java.lang.NoSuchMethodException: " + message));
        assertEquals("", result.stdout);
    }

    @Test
    public void instanceMainIsRefusedLikeAMissingOne() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, APPS + "InstanceMainApp", "", "", false,
                "app");
        assertNotEquals(result.toString(), 0, result.exitCode);
        assertEquals("Error: main class " + APPS + "InstanceMainApp has no public static void main(String[])"
                + " method; class path: " + CLASS_PATH, result.stderrLines().get(0));
        assertEquals("", result.stdout);
    }

    // ---- application failures

    @Test
    public void applicationExceptionReachesTheLauncherUnwrapped() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER).launch(false, APPS + "ThrowingApp", "", "", false, "app",
                "x", "y");
        assertEquals(result.toString(), 1, result.exitCode);
        assertEquals(List.of("started"), result.stdoutLines());
        assertEquals("Exception in thread \"main\" " + APPS + "AppFailure: the application gave up: x,y",
                result.stderrLines().get(0));
        assertThat(result.stderr, not(containsString("InvocationTargetException")));
        assertThat(result.stderr, not(containsString("Error: ")));
    }
}
