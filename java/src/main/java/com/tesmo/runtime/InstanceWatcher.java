package com.tesmo.runtime;

import java.io.File;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

/**
 * The running instance's side of the single-instance hand-over. A later start of the launcher
 * writes its arguments into the communication file ({@code tesmo.processCommFile}) as
 * UTF-16LE text ending in one line feed, then waits until the file is gone before the next
 * start may write; so the file is taken as soon as it is complete, and deleted.
 *
 * <p>Hand-overs that arrive before the application has registered a listener are kept and
 * delivered once it does, so a start during a slow application start-up is not lost; a
 * listener added later gets only the hand-overs that arrive after it.
 */
final class InstanceWatcher implements Runnable {
    /** How often the file is looked at; a waiting start looks every 50 ms itself. */
    static final long POLL_MILLIS = 50;
    /**
     * An incomplete text this old is the remains of a start that died while writing; it is
     * dropped, since it would otherwise keep every later start from handing over.
     */
    static final long ABANDONED_MILLIS = 10000;

    private static final Charset UTF_16LE = Charset.forName("UTF-16LE");
    private static final Object LOCK = new Object();
    private static final List<InstanceListener> LISTENERS = new ArrayList<InstanceListener>();
    private static final List<String[]> PENDING = new ArrayList<String[]>();
    private static boolean started;

    private final File file;

    private InstanceWatcher(File file) {
        this.file = file;
    }

    /** Starts watching {@code file} on a daemon thread; later calls do nothing. */
    static void start(File file) {
        synchronized (LOCK) {
            if (started) {
                return;
            }
            started = true;
        }
        Thread thread = new Thread(new InstanceWatcher(file), "tesmo instance watcher");
        thread.setDaemon(true);
        thread.start();
    }

    static void addListener(InstanceListener listener) {
        if (listener == null) {
            throw new NullPointerException("listener");
        }
        synchronized (LOCK) {
            LISTENERS.add(listener);
        }
    }

    static void removeListener(InstanceListener listener) {
        synchronized (LOCK) {
            LISTENERS.remove(listener);
        }
    }

    @Override
    public void run() {
        while (true) {
            String[] arguments = take(file, System.currentTimeMillis());
            if (arguments != null) {
                synchronized (LOCK) {
                    PENDING.add(arguments);
                }
            }
            deliverPending();
            if (arguments == null) {
                try {
                    Thread.sleep(POLL_MILLIS);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }
    }

    /**
     * One look at the file: the arguments of a complete text, which is then deleted, or
     * {@code null} when there is none yet. A text that cannot be deleted is left for the
     * next look, so that no hand-over is delivered twice.
     */
    static String[] take(File file, long now) {
        byte[] bytes;
        try {
            bytes = Files.readAllBytes(file.toPath());
        } catch (IOException e) {
            // Absent, or still held by the writing start (Windows refuses to share it).
            return null;
        }
        if (!isComplete(bytes)) {
            long modified = file.lastModified();
            if (modified != 0 && now - modified >= ABANDONED_MILLIS && file.delete()) {
                System.err.println("Warning: dropped the unfinished hand-over in " + file
                        + " of a start that did not finish writing it");
            }
            return null;
        }
        if (!file.delete()) {
            return null;
        }
        return CommandLineSplitter.split(new String(bytes, 0, bytes.length - 2, UTF_16LE));
    }

    private static boolean isComplete(byte[] bytes) {
        int length = bytes.length;
        return length >= 2 && length % 2 == 0 && bytes[length - 2] == '\n' && bytes[length - 1] == 0;
    }

    private static void deliverPending() {
        List<String[]> batch;
        List<InstanceListener> listeners;
        synchronized (LOCK) {
            if (PENDING.isEmpty() || LISTENERS.isEmpty()) {
                return;
            }
            batch = new ArrayList<String[]>(PENDING);
            PENDING.clear();
            listeners = new ArrayList<InstanceListener>(LISTENERS);
        }
        for (String[] arguments : batch) {
            for (InstanceListener listener : listeners) {
                try {
                    listener.anotherInstanceStarted(arguments.clone());
                } catch (Throwable e) {
                    // The watcher must outlive a failing listener: without it, every later
                    // start would wait for its hand-over to be taken and then give up.
                    System.err.println("Warning: an instance listener failed; it stays registered");
                    e.printStackTrace();
                }
            }
        }
    }
}
