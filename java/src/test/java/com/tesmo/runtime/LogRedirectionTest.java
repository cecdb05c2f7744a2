package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.List;
import java.util.Map;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/** Error and output logs in a child JVM, and the expansion of the names the launcher left to it. */
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
    public void dollarNamesExpandFromSystemPropertiesBeforeTheEnvironment() throws Exception {
        File fromProperty = temp.newFolder("property");
        File fromEnvironment = temp.newFolder("environment");
        File output = new File(fromProperty, "output.log");
        Files.write(output.toPath(), "old\n".getBytes(StandardCharsets.UTF_8));
        Result result = print(ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("LOGDIR", fromProperty.getPath())
                .environment("LOGDIR", fromEnvironment.getPath()).environment("TESMO_TEST_LOG_NAME", "output")
                .environment("TESMO_UNDEFINED", null), "${TESMO_UNDEFINED}/error.log",
                "${LOGDIR}/${TESMO_TEST_LOG_NAME}.log", true, "out:appended", "err:still stderr");
        assertEquals("old\nappended\n", new String(Files.readAllBytes(output.toPath()), StandardCharsets.UTF_8));
        assertEquals(0, fromEnvironment.list().length);
        assertEquals(List.of("Warning: the error log name ${TESMO_UNDEFINED}/error.log cannot be resolved:"
                + " ${TESMO_UNDEFINED} is neither a system property nor an environment variable; standard error is"
                + " not redirected", "still stderr"), result.stderrLines());
    }

    @Test
    public void expansionIsOnePassAndNamesTheFirstUnresolvedReference() {
        Map<String, String> values = Map.of("home", "C:\\Users\\ann", "APP", "demo", "empty", "", "A", "${APP}");
        String[][] cases = { // name, expanded, first unresolved reference
            {"${home}\\${empty}$APP\\$\\a$b.log", "C:\\Users\\ann\\$APP\\$\\a$b.log", null},
            {"${A}/x", "${APP}/x", null},
            {"${APP}\\${MISSING}\\${OTHER}.log", null, "${MISSING}"},
            {"${APP}${APP\\log", null, "${APP\\log"},
        };
        for (String[] c : cases) {
            NameExpansion.Result result = NameExpansion.expand(c[0], values::get);
            assertEquals(c[0], c[1], result.value);
            assertEquals(c[0], c[2], result.unresolved);
        }
    }
}
