package com.tesmo.runtime.testapps;

import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

import com.tesmo.runtime.InstanceListener;
import com.tesmo.runtime.Launcher;

/**
 * Prints each hand-over of a later start as one line, "handed over" and the arguments in
 * brackets, and ends after the number given as its argument. A hand-over whose first argument
 * is "boom" makes the listener throw after printing.
 */
public class InstanceApp {
    public static void main(String[] args) throws Exception {
        final CountDownLatch expected = new CountDownLatch(Integer.parseInt(args[0]));
        Launcher.addInstanceListener(new InstanceListener() {
            @Override
            public void anotherInstanceStarted(String[] arguments) {
                StringBuilder line = new StringBuilder("handed over");
                for (String argument : arguments) {
                    line.append(" [").append(argument).append(']');
                }
                System.out.println(line);
                if (arguments.length > 0 && arguments[0].equals("boom")) {
                    throw new IllegalStateException("listener failure");
                }
                expected.countDown();
            }
        });
        if (!expected.await(30, TimeUnit.SECONDS)) {
            System.out.println("timed out");
        }
        boolean watching = false;
        for (Thread thread : Thread.getAllStackTraces().keySet()) {
            watching |= thread.getName().equals("tesmo instance watcher");
        }
        System.out.println("watching=" + watching);
    }
}
