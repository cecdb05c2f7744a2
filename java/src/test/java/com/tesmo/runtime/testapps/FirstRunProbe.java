package com.tesmo.runtime.testapps;

import com.korvane.runtime.launcher.FirstRun;

/**
 * Stands in for the korvane launcher's first-run step: calls the hook, prints its answer and
 * where it looked, and starts the application through the korvane wrapper only on true.
 */
public class FirstRunProbe {
    public static void main(String[] args) throws Throwable {
        System.out.println("marker=" + FirstRun.markerFile());
        boolean start = FirstRun.firstRun();
        System.out.println("firstRun=" + start);
        if (start && args.length > 0) {
            com.korvane.runtime.launcher.WinLauncher.main(args);
        }
    }
}
