package com.korvane.runtime.launcher;

import static org.hamcrest.CoreMatchers.containsString;
import static org.hamcrest.MatcherAssert.assertThat;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.List;

import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * The first-run hook in a child JVM laid out like a korvane installation: the runtime archive
 * in {@code <installation>\.korvane}, the marker beside it, the setup classes on the class
 * path behind it.
 */
public class FirstRunTest {
    private static final String SETUP = "com.tesmo.runtime.testapps.SetupReturning$";
    private static final String PROBE = "com.tesmo.runtime.testapps.FirstRunProbe";

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private File marker;
    private File runtimeJar;

    @Before
    public void installation() throws Exception {
        File korvane = temp.newFolder("My App", ".korvane");
        runtimeJar = new File(korvane, "kvnruntime.jar");
        Files.copy(ChildJvm.RUNTIME_JAR.toPath(), runtimeJar.toPath());
        marker = new File(korvane, "firstrun");
    }

    private Result firstRun(String... applicationStart) throws Exception {
        Result result = ChildJvm.of(PROBE).classPath(runtimeJar.getPath(), ChildJvm.TEST_CLASSES.getPath())
                .property("tesmo.isKorvane", "true").run(applicationStart);
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(result.toString(), "marker=" + marker, result.stdoutLines().get(0));
        return result;
    }

    private void writeMarker(String text) throws Exception {
        Files.write(marker.toPath(), text.getBytes(StandardCharsets.ISO_8859_1));
    }

    // ---- markers that run nothing

    @Test
    public void withoutAMarkerTheApplicationStarts() throws Exception {
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=true"), result.stdoutLines());
        assertEquals("", result.stderr);
        assertFalse(marker.exists());
    }

    @Test
    public void anEmptyMarkerIsDeletedAndTheApplicationStarts() throws Exception {
        writeMarker("");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=true"), result.stdoutLines());
        assertEquals("", result.stderr);
        assertFalse(marker.exists());
    }

    @Test
    public void startFalseKeepsTheApplicationFromStartingAndTheMarkerStays() throws Exception {
        writeMarker("# installation incomplete\nstart = false\nsetup=" + SETUP + "True\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=false"), result.stdoutLines());
        assertEquals(List.of("First run: the marker " + marker + " says start=false; the application does not start"),
                result.stderrLines());
        assertTrue(marker.exists());
    }

    @Test
    public void anUnreadableStartValueIsRefused() throws Exception {
        writeMarker("start=later\n");
        Result result = firstRun();
        assertEquals("firstRun=false", result.stdoutLines().get(1));
        assertThat(result.stderr, containsString("says start=later, expected true or false"));
        assertTrue(marker.exists());
    }

    @Test
    public void unknownKeysAreReportedAndIgnored() throws Exception {
        writeMarker("start=true\nsetp=" + SETUP + "True\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=true"), result.stdoutLines());
        assertEquals(List.of("Warning: first run: the marker " + marker + " has an unknown key \"setp\"; only setup"
                + " and start are read"), result.stderrLines());
        assertFalse(marker.exists());
    }

    // ---- setup classes

    @Test
    public void aSuccessfulSetupRunsOnceAndTheApplicationStarts() throws Exception {
        writeMarker("setup=" + SETUP + "True\n");
        Result first = firstRun("false", "com.tesmo.runtime.testapps.EchoApp", "", "", "false", "app", "arg");
        assertEquals(List.of("marker=" + marker, "setup ran: True", "firstRun=true", "count=1", "[arg]"),
                first.stdoutLines());
        assertEquals("", first.stderr);
        assertFalse(marker.exists());

        Result second = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=true"), second.stdoutLines());
    }

    @Test
    public void callableSetupsWorkToo() throws Exception {
        writeMarker("setup=" + SETUP + "CallableTrue\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "setup ran: CallableTrue", "firstRun=true"), result.stdoutLines());
        assertFalse(marker.exists());
    }

    @Test
    public void aSetupAnsweringFalseStopsTheStartAndRunsAgainNextTime() throws Exception {
        writeMarker("setup=" + SETUP + "False\n");
        for (int start = 0; start < 2; start++) {
            Result result = firstRun("false", "com.tesmo.runtime.testapps.EchoApp", "", "", "false", "app");
            assertEquals(List.of("marker=" + marker, "setup ran: False", "firstRun=false"), result.stdoutLines());
            assertEquals("", result.stderr);
            assertTrue(marker.exists());
        }
    }

    @Test
    public void aMissingSetupClassIsReportedAndStopsTheStart() throws Exception {
        writeMarker("setup=com.example.NoSuchSetup\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=false"), result.stdoutLines());
        assertEquals(List.of("Error: first run: setup class com.example.NoSuchSetup not found; class path: "
                + runtimeJar + File.pathSeparator + ChildJvm.TEST_CLASSES), result.stderrLines());
        assertTrue(marker.exists());
    }

    @Test
    public void aFailingSetupIsReportedAndStopsTheStart() throws Exception {
        writeMarker("setup=" + SETUP + "Throwing\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "setup ran: Throwing", "firstRun=false"), result.stdoutLines());
        List<String> errors = result.stderrLines();
        assertEquals("Error: first run: setup class " + SETUP + "Throwing failed:", errors.get(0));
        assertEquals("java.lang.IllegalStateException: setup could not write its settings", errors.get(1));
        assertTrue(marker.exists());
    }

    @Test
    public void aSetupClassOfNeitherFormIsRefused() throws Exception {
        writeMarker("setup=" + SETUP + "Neither\n");
        Result result = firstRun();
        assertEquals(List.of("marker=" + marker, "firstRun=false"), result.stdoutLines());
        assertEquals(List.of("Error: first run: setup class " + SETUP + "Neither has no public static boolean run()"
                + " and does not implement java.util.concurrent.Callable<Boolean>"), result.stderrLines());
        assertTrue(marker.exists());
    }
}
