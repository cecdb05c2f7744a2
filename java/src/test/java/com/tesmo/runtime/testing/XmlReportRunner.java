package com.tesmo.runtime.testing;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

import org.junit.internal.TextListener;
import org.junit.runner.Description;
import org.junit.runner.JUnitCore;
import org.junit.runner.notification.Failure;
import org.junit.runner.notification.RunListener;

/**
 * Runs JUnit 4 test classes with JUnit's usual text report, writes the JUnit XML form that
 * pytest and GoogleTest write (scripts/run_tests.py counts it) to the file named by
 * {@code tesmo.test.report}, and ends with {@code java: N passed, N failed}.
 */
public final class XmlReportRunner {
    private XmlReportRunner() {
    }

    public static void main(String[] args) throws Exception {
        List<Class<?>> classes = new ArrayList<>();
        for (String name : args) {
            classes.add(Class.forName(name));
        }
        // Null for a pass, else the failure; a class-level failure has no testStarted.
        final Map<Description, Failure> outcomes = new LinkedHashMap<>();
        JUnitCore core = new JUnitCore();
        core.addListener(new TextListener(System.out));
        core.addListener(new RunListener() {
            @Override
            public void testStarted(Description description) {
                outcomes.put(description, null);
            }

            @Override
            public void testFailure(Failure failure) {
                outcomes.put(failure.getDescription(), failure);
            }
        });
        core.run(classes.toArray(new Class<?>[0]));

        int failed = 0;
        StringBuilder xml = new StringBuilder("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"java\">\n");
        for (Map.Entry<Description, Failure> outcome : outcomes.entrySet()) {
            Description d = outcome.getKey();
            xml.append("  <testcase classname=\"").append(escape(String.valueOf(d.getClassName())))
                    .append("\" name=\"")
                    .append(escape(d.getMethodName() != null ? d.getMethodName() : d.getDisplayName()))
                    .append('"');
            if (outcome.getValue() == null) {
                xml.append("/>\n");
                continue;
            }
            failed++;
            xml.append(">\n    <failure>").append(escape(outcome.getValue().getTrace()))
                    .append("</failure>\n  </testcase>\n");
        }
        Files.createDirectories(Paths.get(System.getProperty("tesmo.test.report")).getParent());
        Files.write(Paths.get(System.getProperty("tesmo.test.report")),
                xml.append("</testsuite>\n").toString().getBytes(StandardCharsets.UTF_8));
        int passed = outcomes.size() - failed;
        System.out.println("java: " + passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }

    /** Drops the control characters XML 1.0 cannot carry. */
    private static String escape(String text) {
        StringBuilder out = new StringBuilder(text.length());
        for (char c : text.toCharArray()) {
            if (c == '&' || c == '<' || c == '>' || c == '"') {
                out.append("&#").append((int) c).append(';');
            } else if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                out.append(c);
            }
        }
        return out.toString();
    }
}
