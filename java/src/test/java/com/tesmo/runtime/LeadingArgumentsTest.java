package com.tesmo.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

import org.junit.Test;

/** Parsing of the launcher's leading arguments, in process. */
public class LeadingArgumentsTest {
    @Test
    public void splitsTheSixLeadingValuesFromTheApplicationArguments() {
        LeadingArguments parsed = LeadingArguments.parse(new String[] {"true", "com.example.App", "C:\\err.log",
            "$X\\out.log", "false", "app", "first", null, ""});
        assertTrue(parsed.windowed);
        assertEquals("com.example.App", parsed.mainClass);
        assertEquals("C:\\err.log", parsed.errorLog);
        assertEquals("$X\\out.log", parsed.outputLog);
        assertFalse(parsed.appendToLogs);
        assertEquals("app", parsed.programName);
        assertArrayEquals(new String[] {"first", null, ""}, parsed.applicationArguments);

        LeadingArguments appending = LeadingArguments.parse(new String[] {"false", "A", "", "", "true", ""});
        assertFalse(appending.windowed);
        assertTrue(appending.appendToLogs);
        assertEquals(0, appending.applicationArguments.length);
    }

    @Test
    public void mismatchesAreRefusedWithALineOnStandardError() {
        refused(null, "Error: expected at least 6 leading arguments from the launcher (windowed flag, main class,"
                + " error log, output log, append flag, program name), got 0");
        refused(new String[] {"true", "A", "", "", "true"}, "Error: expected at least 6 leading arguments from the"
                + " launcher (windowed flag, main class, error log, output log, append flag, program name), got 5");
        refused(new String[] {"TRUE", "A", "", "", "true", "app"},
                "Error: the windowed flag (argument 1) must be \"true\" or \"false\", got \"TRUE\"");
        refused(new String[] {"true", "A", "", "", null, "app"},
                "Error: the append flag (argument 5) must be \"true\" or \"false\", got null");
        refused(new String[] {"true", "", "", "", "true", "app"}, "Error: the main class (argument 2) is empty");
        refused(new String[] {"true", "A", null, "", "true", "app"},
                "Error: the error log name (argument 3) is missing (null)");
    }

    private static void refused(String[] args, String expectedLine) {
        PrintStream original = System.err;
        ByteArrayOutputStream captured = new ByteArrayOutputStream();
        System.setErr(new PrintStream(captured, true));
        try {
            LeadingArguments.parse(args);
            fail("accepted " + java.util.Arrays.toString(args));
        } catch (IllegalArgumentException e) {
            assertEquals("Error: " + e.getMessage(), expectedLine);
        } finally {
            System.setErr(original);
        }
        assertEquals(expectedLine + System.lineSeparator(), new String(captured.toByteArray(), StandardCharsets.UTF_8));
    }
}
