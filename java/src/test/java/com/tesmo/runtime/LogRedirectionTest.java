package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
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

/** Error and output logs in a child JVM, with the names the launcher left to it to expand. */
public class LogRedirectionTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private static Result print(ChildJvm child, String errorLog, String outputLog, boolean append, String... lines)
            throws Exception {
        Result result = child.launch(false, "com.tesmo.runtime.testapps.PrintingApp", errorLog, outputLog, append,
                "app", lines);
        assertEquals(result.toString(), 0, result.exitCode);
        return result;
    }

    @Test
    public void aLogThatCannotBeOpenedIsReportedInTheOtherInTheDefaultCharset() throws Exception {
        // Without a leading $ the name is final, ${...} and all; its folders are created.
        File error = new File(temp.getRoot(), "logs/a${user.home}b/error.log");
        File folder = temp.newFolder("a-folder");
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("file.encoding", "ISO-8859-1"),
                error.getPath(), folder.getPath(), false, "out:console", "err:caf\u00e9");
        assertEquals("console\n", result.stdout + result.stderr);
        String log = new String(Files.readAllBytes(error.toPath()), StandardCharsets.ISO_8859_1);
        assertTrue(log, log.startsWith("Warning: cannot open the output log " + folder + " ("));
        assertTrue(log, log.endsWith("); standard output is not redirected\ncaf\u00e9\n"));
    }

    @Test
    public void oneFileForBothStreamsIsTruncatedOnceAndKeepsEveryByteInOrder() throws Exception {
        File log = new File(temp.getRoot(), "app.log");
        Files.write(log.toPath(), "from an earlier run that must go\n".getBytes(StandardCharsets.UTF_8));
        new File(temp.getRoot(), "sub").mkdir();
        // Two spellings of one file; the text without a final newline is only flushed as the VM ends.
        print(ChildJvm.of(ChildJvm.TESMO_WRAPPER), log.getPath(), new File(temp.getRoot(), "sub/../app.log").getPath(),
                false, "out:one", "err:two", "out:three", "tail:printed ", "bytes:written");
        assertEquals("one\ntwo\nthree\nprinted written", new String(Files.readAllBytes(log.toPath()),
                StandardCharsets.UTF_8));
    }

    @Test
    public void dollarNamesExpandOnceFromSystemPropertiesBeforeTheEnvironment() throws Exception {
        File fromProperty = temp.newFolder("property");
        File fromEnvironment = temp.newFolder("environment");
        // A value is not expanded again, and a $ without a brace is kept.
        File output = new File(fromProperty, "${LOGDIR}$.log");
        Files.write(output.toPath(), "old\n".getBytes(StandardCharsets.UTF_8));
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("LOGDIR", fromProperty.getPath())
                .environment("LOGDIR", fromEnvironment.getPath()).environment("TESMO_TEST_LOG_NAME", "${LOGDIR}")
                .environment("TESMO_UNDEFINED", null), "${LOGDIR}/${TESMO_UNDEFINED}/${TESMO_UNDEFINED_TOO}.log",
                "${LOGDIR}/${TESMO_TEST_LOG_NAME}$.log", true, "out:appended", "err:still stderr");
        assertEquals("old\nappended\n", new String(Files.readAllBytes(output.toPath()), StandardCharsets.UTF_8));
        assertEquals(0, fromEnvironment.list().length);
        assertEquals(List.of("Warning: the error log name ${LOGDIR}/${TESMO_UNDEFINED}/${TESMO_UNDEFINED_TOO}.log"
                + " cannot be resolved: ${TESMO_UNDEFINED} is neither a system property nor an environment variable;"
                + " standard error is not redirected", "still stderr"), result.stderrLines());
    }
}
