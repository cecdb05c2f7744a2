package com.tesmo.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.List;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * Error and output logs in a child JVM: where the application's output lands, the append
 * flag, names the launcher could not resolve, and logs that cannot be used.
 */
public class LogRedirectionTest {
    private static final String PRINTING_APP = "com.tesmo.runtime.testapps.PrintingApp";

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private static String read(File file) throws Exception {
        return new String(Files.readAllBytes(file.toPath()), StandardCharsets.UTF_8);
    }

    private static Result print(ChildJvm child, String errorLog, String outputLog, boolean append, String... lines)
            throws Exception {
        Result result = child.launch(false, PRINTING_APP, errorLog, outputLog, append, "app", lines);
        assertEquals(result.toString(), 0, result.exitCode);
        return result;
    }

    // ---- plain names

    @Test
    public void logsReceiveTheStreamsAndParentFoldersAreCreated() throws Exception {
        File error = new File(temp.getRoot(), "logs/deep/error.log");
        File output = new File(temp.getRoot(), "other/output.log");
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), error.getPath(), output.getPath(), false,
                "out:to output", "err:to error", "out:second output");
        assertEquals("to output\nsecond output\n", read(output));
        assertEquals("to error\n", read(error));
        assertEquals("", result.stdout);
        assertEquals("", result.stderr);
    }

    @Test
    public void onlyTheConfiguredStreamIsRedirected() throws Exception {
        File error = new File(temp.getRoot(), "error.log");
        Result errorOnly = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), error.getPath(), "", false, "out:console",
                "err:file");
        assertEquals("console\n", errorOnly.stdout);
        assertEquals("file\n", read(error));

        File output = new File(temp.getRoot(), "output.log");
        Result outputOnly = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), "", output.getPath(), false, "out:file",
                "err:console");
        assertEquals("console\n", outputOnly.stderr);
        assertEquals("file\n", read(output));
    }

    @Test
    public void appendFlagKeepsOrTruncatesExistingLogs() throws Exception {
        File error = new File(temp.getRoot(), "error.log");
        File output = new File(temp.getRoot(), "output.log");
        Files.write(error.toPath(), "old error\n".getBytes(StandardCharsets.UTF_8));
        Files.write(output.toPath(), "old output\n".getBytes(StandardCharsets.UTF_8));

        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), error.getPath(), output.getPath(), true, "out:new output",
                "err:new error");
        assertEquals("old error\nnew error\n", read(error));
        assertEquals("old output\nnew output\n", read(output));

        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), error.getPath(), output.getPath(), false, "out:fresh output",
                "err:fresh error");
        assertEquals("fresh error\n", read(error));
        assertEquals("fresh output\n", read(output));
    }

    @Test
    public void oneFileForBothStreamsKeepsEveryLineInOrder() throws Exception {
        File log = new File(temp.getRoot(), "app.log");
        Files.write(log.toPath(), "from an earlier run that must go\n".getBytes(StandardCharsets.UTF_8));
        // The same file under two spellings still counts as one.
        String other = new File(temp.getRoot(), "sub/../app.log").getPath();
        new File(temp.getRoot(), "sub").mkdir();
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), log.getPath(), other, false, "out:one", "err:two", "out:three",
                "err:four");
        assertEquals("one\ntwo\nthree\nfour\n", read(log));
    }

    @Test
    public void textWithoutAFinalNewlineIsFlushedWhenTheApplicationEnds() throws Exception {
        File output = new File(temp.getRoot(), "output.log");
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), "", output.getPath(), false, "out:line", "tail:printed ",
                "bytes:written");
        assertEquals("line\nprinted written", read(output));
    }

    @Test
    public void logsUseTheJvmDefaultCharset() throws Exception {
        File latin = new File(temp.getRoot(), "latin.log");
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("file.encoding", "ISO-8859-1"), "", latin.getPath(),
                false, "out:caf\u00e9");
        assertArrayEquals(new byte[] {'c', 'a', 'f', (byte) 0xE9, '\n'}, Files.readAllBytes(latin.toPath()));

        File utf8 = new File(temp.getRoot(), "utf8.log");
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("file.encoding", "UTF-8"), "", utf8.getPath(), false,
                "out:caf\u00e9");
        assertArrayEquals(new byte[] {'c', 'a', 'f', (byte) 0xC3, (byte) 0xA9, '\n'},
                Files.readAllBytes(utf8.toPath()));
    }

    @Test
    public void namesWithoutALeadingDollarAreTakenLiterally() throws Exception {
        File literal = new File(temp.getRoot(), "a${user.home}b.log");
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), "", literal.getPath(), false, "out:literal");
        assertEquals("literal\n", read(literal));
    }

    // ---- names the launcher could not resolve

    @Test
    public void dollarNamesExpandFromSystemPropertiesAndEnvironment() throws Exception {
        File logs = temp.newFolder("logs");
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("app.logs", logs.getPath())
                .environment("TESMO_TEST_LOG_NAME", "output"),
                "${app.logs}/error.log", "${app.logs}/${TESMO_TEST_LOG_NAME}.log", false, "out:o", "err:e");
        assertEquals("e\n", read(new File(logs, "error.log")));
        assertEquals("o\n", read(new File(logs, "output.log")));
        assertEquals("", result.stdout + result.stderr);
    }

    @Test
    public void systemPropertyWinsOverAnEnvironmentVariableOfTheSameName() throws Exception {
        File fromProperty = temp.newFolder("property");
        File fromEnvironment = temp.newFolder("environment");
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("LOGDIR", fromProperty.getPath())
                .environment("LOGDIR", fromEnvironment.getPath()), "", "${LOGDIR}/output.log", false, "out:here");
        assertEquals("here\n", read(new File(fromProperty, "output.log")));
        assertFalse(new File(fromEnvironment, "output.log").exists());
    }

    @Test
    public void unresolvedNamesKeepTheStreamsAndWarnOnce() throws Exception {
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).environment("TESMO_UNDEFINED", null)
                .directory(temp.getRoot()), "${TESMO_UNDEFINED}/error.log", "${user.home", false, "out:still console",
                "err:still stderr");
        assertEquals("still console\n", result.stdout);
        assertEquals(List.of(
                "Warning: the error log name ${TESMO_UNDEFINED}/error.log cannot be resolved: ${TESMO_UNDEFINED} is"
                        + " neither a system property nor an environment variable; standard error is not redirected",
                "Warning: the output log name ${user.home cannot be resolved: ${user.home is not a complete ${name}"
                        + " reference; standard output is not redirected",
                "still stderr"), result.stderrLines());
        assertEquals(0, temp.getRoot().list().length);
    }

    @Test
    public void warningAboutTheOutputLogGoesToARedirectedErrorLog() throws Exception {
        File error = new File(temp.getRoot(), "error.log");
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).environment("TESMO_UNDEFINED", null),
                error.getPath(), "${TESMO_UNDEFINED}\\out.log", false, "out:console");
        assertEquals("console\n", result.stdout);
        assertEquals("", result.stderr);
        assertEquals("Warning: the output log name ${TESMO_UNDEFINED}\\out.log cannot be resolved: ${TESMO_UNDEFINED}"
                + " is neither a system property nor an environment variable; standard output is not redirected\n",
                read(error));
    }

    // ---- logs that cannot be opened

    @Test
    public void aLogThatCannotBeOpenedKeepsTheStreamAndWarns() throws Exception {
        File folder = temp.newFolder("a-folder");
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), "", folder.getPath(), false, "out:console");
        assertEquals("console\n", result.stdout);
        List<String> warning = result.stderrLines();
        assertEquals(result.toString(), 1, warning.size());
        assertTrue(warning.get(0), warning.get(0).startsWith("Warning: cannot open the output log " + folder + " ("));
        assertTrue(warning.get(0), warning.get(0).endsWith("); standard output is not redirected"));
    }
}
