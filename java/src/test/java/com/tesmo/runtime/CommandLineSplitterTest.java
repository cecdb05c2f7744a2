package com.tesmo.runtime;

import static org.junit.Assert.assertArrayEquals;

import org.junit.Test;

/**
 * The launcher's own splitting rules, case for case with the native launcher's tests, so a
 * handed-over start's arguments read as they would have reached {@code main}.
 */
public class CommandLineSplitterTest {
    private static void check(String text, String... expected) {
        assertArrayEquals(text, expected, CommandLineSplitter.split(text));
    }

    @Test
    public void splitsLikeTheLauncher() {
        check("\"C:\\My App\\app.exe\"  one   two", "C:\\My App\\app.exe", "one", "two");
        check("app.exe \"C:\\dir\\\" next", "app.exe", "C:\\dir\\", "next");
        check("app.exe \"\" x", "app.exe", "", "x");
        check("app.exe pre\"quoted text\"post", "app.exe", "prequoted text", "post");
        check("app.exe don't stop here", "app.exe", "dont stop here");
        check("app.exe 'a b' c", "app.exe", "a b", "c");
        check("app.exe a\tb", "app.exe", "a\tb");
        check("app.exe \"unclosed rest", "app.exe", "unclosed rest");
        check("app.exe \"it's\" x", "app.exe", "it's", "x");
        check("app.exe 'say \"hi\"'", "app.exe", "say \"hi\"");
        check("   ");
        check("");
        check("a\\\\b \\\"c", "a\\\\b", "\\c");
        check("x \"a\"\"b\"", "x", "a", "b");
        check("trailing ", "trailing");
    }
}
