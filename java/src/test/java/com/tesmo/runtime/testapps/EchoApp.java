package com.tesmo.runtime.testapps;

/** Prints each argument it receives on a line of its own, in brackets, after a count line. */
public class EchoApp {
    public static void main(String[] args) {
        System.out.println("count=" + args.length);
        for (String arg : args) {
            System.out.println("[" + arg + "]");
        }
    }
}
