package com.tesmo.runtime.testing;

import java.io.IOException;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
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
 * Runs JUnit 4 test classes, prints JUnit's usual text report, writes a JUnit XML report
 * (the form pytest and GoogleTest write, which scripts/run_tests.py counts) to the file named
 * by the system property {@code tesmo.test.report}, and ends with
 * {@code java: N passed, N failed}. Exit code 1 when a test failed or none ran.
 */
public final class XmlReportRunner {
    private XmlReportRunner() {
    }

    /** One test's outcome, in the order the tests ran. */
    private static final class Outcome {
        final Description description;
        long startNanos = System.nanoTime();
        double seconds;
        Failure failure;
        boolean skipped;

        Outcome(Description description) {
            this.description = description;
        }
    }

    public static void main(String[] args) throws Exception {
        String report = System.getProperty("tesmo.test.report");
        if (report == null || args.length == 0) {
            System.err.println("usage: java -Dtesmo.test.report=FILE " + XmlReportRunner.class.getName()
                    + " TEST_CLASS...");
            System.exit(2);
        }
        List<Class<?>> classes = new ArrayList<>();
        for (String name : args) {
            classes.add(Class.forName(name));
        }
        final Map<Description, Outcome> outcomes = new LinkedHashMap<>();
        JUnitCore core = new JUnitCore();
        core.addListener(new TextListener(System.out));
        core.addListener(new RunListener() {
            @Override
            public void testStarted(Description description) {
                outcomes.put(description, new Outcome(description));
            }

            @Override
            public void testFinished(Description description) {
                Outcome outcome = outcomes.get(description);
                outcome.seconds = (System.nanoTime() - outcome.startNanos) / 1e9;
            }

            @Override
            public void testFailure(Failure failure) {
                outcomeFor(failure.getDescription()).failure = failure;
            }

            @Override
            public void testAssumptionFailure(Failure failure) {
                outcomeFor(failure.getDescription()).skipped = true;
            }

            @Override
            public void testIgnored(Description description) {
                outcomeFor(description).skipped = true;
            }

            /** A class-level failure (a broken rule or @BeforeClass) has no testStarted. */
            private Outcome outcomeFor(Description description) {
                Outcome outcome = outcomes.get(description);
                if (outcome == null) {
                    outcome = new Outcome(description);
                    outcomes.put(description, outcome);
                }
                return outcome;
            }
        });
        core.run(classes.toArray(new Class<?>[0]));

        int passed = 0;
        int failed = 0;
        int skipped = 0;
        StringBuilder cases = new StringBuilder();
        for (Outcome outcome : outcomes.values()) {
            Description d = outcome.description;
            String className = d.getClassName() != null ? d.getClassName() : "";
            String method = d.getMethodName() != null ? d.getMethodName() : d.getDisplayName();
            cases.append("    <testcase classname=\"").append(escape(className)).append("\" name=\"")
                    .append(escape(method)).append("\" time=\"").append(String.format(java.util.Locale.ROOT, "%.3f", outcome.seconds))
                    .append("\"");
            if (outcome.failure != null) {
                failed++;
                Throwable exception = outcome.failure.getException();
                StringWriter trace = new StringWriter();
                exception.printStackTrace(new PrintWriter(trace));
                cases.append(">\n      <failure message=\"").append(escape(String.valueOf(exception.getMessage())))
                        .append("\" type=\"").append(escape(exception.getClass().getName())).append("\">")
                        .append(escape(trace.toString())).append("</failure>\n    </testcase>\n");
            } else if (outcome.skipped) {
                skipped++;
                cases.append(">\n      <skipped/>\n    </testcase>\n");
            } else {
                passed++;
                cases.append("/>\n");
            }
        }
        String xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite name=\"java\" tests=\""
                + outcomes.size() + "\" failures=\"" + failed + "\" errors=\"0\" skipped=\"" + skipped + "\">\n"
                + cases + "  </testsuite>\n</testsuites>\n";
        write(Paths.get(report), xml);

        System.out.println("java: " + passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }

    private static void write(Path path, String text) throws IOException {
        if (path.getParent() != null) {
            Files.createDirectories(path.getParent());
        }
        Files.write(path, text.getBytes(StandardCharsets.UTF_8));
    }

    /** XML attribute and text escaping; drops the control characters XML 1.0 cannot carry. */
    static String escape(String text) {
        StringBuilder out = new StringBuilder(text.length());
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            switch (c) {
                case '&': out.append("&amp;"); break;
                case '<': out.append("&lt;"); break;
                case '>': out.append("&gt;"); break;
                case '"': out.append("&quot;"); break;
                default:
                    if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                        out.append(c);
                    }
            }
        }
        return out.toString();
    }
}
