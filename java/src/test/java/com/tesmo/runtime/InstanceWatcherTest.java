package com.tesmo.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.FutureTask;
import java.util.concurrent.TimeUnit;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/** The running instance's side of the single-instance hand-over. */
public class InstanceWatcherTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    /** What a later start writes: its argument text and one line feed. */
    private static byte[] handOver(String arguments) {
        return (arguments + "\n").getBytes(StandardCharsets.UTF_16LE);
    }

    @Test
    public void onlyAFinishedTextIsTakenSplitLikeTheLauncherAndAnAbandonedOneIsDropped() throws Exception {
        File file = temp.newFile("tsm_p42.tmp");
        long now = System.currentTimeMillis();
        byte[] whole = handOver("\"C:\\My Files\\a b.txt\"  \"C:\\dir\\\" \"\" pre\"q t\"post \"it's\" 'say \"hi\"'"
                + " caf\u00e9\t\u20ac");
        for (int length : new int[] {0, 1, whole.length - 2, whole.length - 1}) {
            Files.write(file.toPath(), Arrays.copyOf(whole, length));
            assertNull(InstanceWatcher.take(file, now));
            assertTrue("cut at " + length, file.exists());
        }
        Files.write(file.toPath(), whole);
        // Backslashes are plain characters, a quoted part ends its argument, and a tab separates nothing.
        assertArrayEquals(new String[] {"C:\\My Files\\a b.txt", "C:\\dir\\", "", "preq t", "post", "it's",
            "say \"hi\"", "caf\u00e9\t\u20ac"}, InstanceWatcher.take(file, now));
        assertFalse(file.exists());

        // A start that died while writing: dropped once it is old enough.
        Files.write(file.toPath(), Arrays.copyOf(whole, 3));
        assertTrue(file.setLastModified(now - InstanceWatcher.ABANDONED_MILLIS - 1000));
        assertNull(InstanceWatcher.take(file, now));
        assertFalse(file.exists());
    }

    @Test
    public void theWrapperHandsLaterStartsToTheApplication() throws Exception {
        File file = new File(temp.getRoot(), "tsm_p44.tmp");
        // Arrives while the application is still starting: kept for its listener.
        Files.write(file.toPath(), handOver("early"));
        FutureTask<Result> running = new FutureTask<>(() -> ChildJvm.of(ChildJvm.TESMO_WRAPPER)
                .property("tesmo.processCommFile", file.getPath())
                .launch(true, "com.tesmo.runtime.testapps.InstanceApp", "", "", false, "app", "3"));
        Thread starting = new Thread(running);
        starting.setDaemon(true);
        starting.start();
        waitUntilTaken(file);

        // The watcher looks through take(), so which texts count as finished is settled by the
        // test above; here only the delivery and its order, past a listener that fails.
        for (String arguments : new String[] {"boom", "", "  \"a b\" c'd e' \"unclosed"}) {
            Files.write(file.toPath(), handOver(arguments));
            waitUntilTaken(file);
        }
        Result result = running.get(60, TimeUnit.SECONDS);
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("handed over [early]", "handed over [boom]", "handed over",
                "handed over [a b] [cd e] [unclosed]", "watching=true"), result.stdoutLines());
        assertTrue(result.stderr, result.stderr.contains("listener failure"));
    }

    /** A later start waits for exactly this before the next one may write. */
    private static void waitUntilTaken(File file) throws InterruptedException {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
        while (file.exists()) {
            assertTrue("the watcher did not take " + file + " within 20 s", System.nanoTime() - deadline < 0);
            Thread.sleep(10);
        }
    }
}
