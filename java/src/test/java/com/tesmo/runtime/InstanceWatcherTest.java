package com.tesmo.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;

import org.hamcrest.CoreMatchers;
import org.hamcrest.MatcherAssert;
import org.junit.After;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * The running instance's side of the single-instance hand-over: what counts as a finished
 * text in the communication file, and the wrapper's watcher handing later starts' arguments
 * to the application while it runs.
 */
public class InstanceWatcherTest {
    private static final Charset UTF_16LE = Charset.forName("UTF-16LE");

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private final ExecutorService executor = Executors.newSingleThreadExecutor();

    @After
    public void stop() {
        executor.shutdownNow();
    }

    /** What a later start writes: its argument text and one line feed. */
    private static byte[] handOver(String arguments) {
        return (arguments + "\n").getBytes(UTF_16LE);
    }

    @Test
    public void aFinishedTextIsTakenAndDeleted() throws Exception {
        File file = temp.newFile("tsm_p42.tmp");
        Files.write(file.toPath(), handOver("\"C:\\My Files\\a b.txt\" -x 'y z' caf\u00e9 \u20ac"));
        assertArrayEquals(new String[] {"C:\\My Files\\a b.txt", "-x", "y z", "caf\u00e9", "\u20ac"},
                InstanceWatcher.take(file, System.currentTimeMillis()));
        assertFalse(file.exists());
        assertNull(InstanceWatcher.take(file, System.currentTimeMillis()));

        Files.write(file.toPath(), handOver(""));
        assertArrayEquals(new String[0], InstanceWatcher.take(file, System.currentTimeMillis()));
    }

    @Test
    public void anUnfinishedTextWaitsUntilItIsAbandoned() throws Exception {
        File file = temp.newFile("tsm_p43.tmp");
        long now = System.currentTimeMillis();
        byte[] whole = handOver("abc");
        for (int length : new int[] {0, 1, whole.length - 2, whole.length - 1}) {
            byte[] part = new byte[length];
            System.arraycopy(whole, 0, part, 0, length);
            Files.write(file.toPath(), part);
            assertNull(InstanceWatcher.take(file, now));
            assertTrue("cut at " + length, file.exists());
        }
        // A start that died while writing: dropped once it is old enough.
        assertTrue(file.setLastModified(now - InstanceWatcher.ABANDONED_MILLIS - 1000));
        assertNull(InstanceWatcher.take(file, now));
        assertFalse(file.exists());
    }

    @Test
    public void theWrapperHandsLaterStartsToTheApplication() throws Exception {
        final File file = new File(temp.getRoot(), "tsm_p44.tmp");
        // Arrives while the application is still starting: kept for its listener.
        Files.write(file.toPath(), handOver("early"));
        Future<Result> running = executor.submit(() -> ChildJvm.of(ChildJvm.TESMO_WRAPPER)
                .property("tesmo.processCommFile", file.getPath())
                .launch(true, "com.tesmo.runtime.testapps.InstanceApp", "", "", false, "app", "3"));
        waitUntilTaken(file);

        // The watcher looks through take(), so which texts count as finished is settled by
        // anUnfinishedTextWaitsUntilItIsAbandoned; here only the delivery and its order.
        for (String arguments : new String[] {"boom", "", "  \"a b\" c'd e' \"unclosed"}) {
            Files.write(file.toPath(), handOver(arguments));
            waitUntilTaken(file);
        }
        Result result = running.get(60, TimeUnit.SECONDS);
        assertEquals(result.toString(), 0, result.exitCode);
        List<String> lines = result.stdoutLines();
        assertEquals(List.of("handed over [early]", "handed over [boom]",
                "handed over", "handed over [a b] [cd e] [unclosed]", "watching=true"), lines);
        MatcherAssert.assertThat(result.stderr, CoreMatchers.containsString("listener failure"));
    }

    @Test
    public void nothingIsWatchedWithoutSingleInstanceMode() throws Exception {
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER)
                .launch(true, "com.tesmo.runtime.testapps.InstanceApp", "", "", false, "app", "0");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals(List.of("watching=false"), result.stdoutLines());
    }

    /** A later start waits for exactly this before the next one may write. */
    private static void waitUntilTaken(File file) throws InterruptedException {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
        while (file.exists()) {
            if (System.nanoTime() - deadline > 0) {
                throw new AssertionError(file + " was still there after 20 s: the watcher did not take it");
            }
            Thread.sleep(10);
        }
    }
}
