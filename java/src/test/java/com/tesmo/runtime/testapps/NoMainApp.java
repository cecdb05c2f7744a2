package com.tesmo.runtime.testapps;

/** A class the launcher might be pointed at by mistake: it has no main method at all. */
public class NoMainApp {
    public static void start(String[] args) {
        System.out.println("must not run");
    }
}
