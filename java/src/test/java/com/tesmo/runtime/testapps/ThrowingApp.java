package com.tesmo.runtime.testapps;

/** Prints a line, then fails with its own checked exception. */
public class ThrowingApp {
    public static void main(String[] args) throws AppFailure {
        System.out.println("started");
        throw new AppFailure("the application gave up: " + String.join(",", args));
    }
}
