package com.korvane.runtime.launcher;

import static org.junit.Assert.assertEquals;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * The first-run hook in a child JVM laid out like a korvane installation, the marker beside
 * the runtime archive: the application starts through the korvane wrapper, and the marker
 * goes, exactly when the hook answers true.
 */
public class FirstRunTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    @Test
    public void theMarkerAndItsSetupDecideWhetherTheApplicationStarts() throws Exception {
        File korvane = temp.newFolder("My App", ".korvane");
        File runtimeJar = new File(korvane, "kvnruntime.jar");
        Files.copy(ChildJvm.RUNTIME_JAR.toPath(), runtimeJar.toPath());
        File marker = new File(korvane, "firstrun");
        String setup = "setup=com.tesmo.runtime.testapps.SetupReturning$";
        String named = "Error: first run: setup class com.tesmo.runtime.testapps.SetupReturning$";
        String stops = "; the application does not start";
        Object[][] cases = { // marker text (null: none), setup's line, starts, standard error ({m}: the marker)
            {null, null, true, ""},
            {"# installation incomplete\nstart = false\n" + setup + "True\n", null, false,
                "First run: the marker {m} says start=false" + stops},
            {"start=later\n", null, false, "Error: first run: the marker {m} says start=later, expected true or false"
                + stops},
            {"start=true\nsetp=x\n", null, true,
                "Warning: first run: the marker {m} has an unknown key \"setp\"; only setup and start are read"},
            {setup + "True\n", "True", true, ""},
            {setup + "CallableTrue\n", "CallableTrue", true, ""},
            {setup + "False\n", "False", false, ""},
            {"setup=com.example.NoSuchSetup\n", null, false, "Error: first run: setup class com.example.NoSuchSetup"
                + " not found; class path: " + runtimeJar + File.pathSeparator + ChildJvm.TEST_CLASSES},
            {setup + "Throwing\n", "Throwing", false,
                named + "Throwing failed:\njava.lang.IllegalStateException: setup could not write its settings"},
            {setup + "Neither\n", null, false, named + "Neither has no public static boolean run() and does not"
                + " implement java.util.concurrent.Callable<Boolean>"},
        };
        for (Object[] c : cases) {
            Files.deleteIfExists(marker.toPath());
            if (c[0] != null) {
                Files.write(marker.toPath(), ((String) c[0]).getBytes(StandardCharsets.ISO_8859_1));
            }
            Result result = ChildJvm.of("com.tesmo.runtime.testapps.FirstRunProbe")
                    .property("tesmo.isKorvane", "true").classPath(runtimeJar.getPath(), ChildJvm.TEST_CLASSES.getPath()).run("false", "com.tesmo.runtime.testapps.EchoApp", "", "", "false", "app", "arg");
            boolean starts = (Boolean) c[2];
            String what = c[0] + "\n" + result;
            assertEquals(what, 0, result.exitCode);
            assertEquals(what, "marker=" + marker + "\n" + (c[1] == null ? "" : "setup ran: " + c[1] + "\n")
                    + "firstRun=" + starts + "\n" + (starts ? "count=1\n[arg]\n" : ""), result.stdout);
            // A setup's stack trace is the JVM's to word; the lines above it are the hook's.
            assertEquals(what, ((String) c[3]).replace("{m}", marker.getPath()),
                    result.stderr.replaceAll("\tat .*\n", "").trim());
            assertEquals(what, !starts, marker.exists());
        }
    }
}
