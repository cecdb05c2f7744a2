package com.tesmo.runtime.testapps;

/** A checked exception of the application's own, which must reach the launcher unwrapped. */
public class AppFailure extends Exception {
    private static final long serialVersionUID = 1L;

    public AppFailure(String message) {
        super(message);
    }
}
