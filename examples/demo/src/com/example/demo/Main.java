package com.example.demo;

import java.io.File;

/** The demo application: says hello and shows what the launcher handed it. */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        System.out.println("Hello from the tesmo demo on Java " + System.getProperty("java.version"));
        for (int i = 0; i < args.length; i++) {
            System.out.println("  argument " + (i + 1) + ": " + args[i]);
        }
        String tempDir = System.getProperty("tesmo.tempDir", "");
        System.out.println("  included files went to: " + (tempDir.isEmpty() ? "(none)" : tempDir));
        System.out.println("  readme.txt is there: " + new File(tempDir, "readme.txt").isFile());
    }
}
