package com.tesmo.runtime.testapps;

/**
 * Writes to both standard streams: each argument {@code out:TEXT} or {@code err:TEXT} prints
 * TEXT as a line on that stream; {@code tail:TEXT} prints TEXT on standard output without a
 * final newline; {@code bytes:TEXT} writes TEXT's characters one byte at a time, the way
 * code that treats {@code System.out} as a plain {@code OutputStream} does.
 */
public class PrintingApp {
    public static void main(String[] args) {
        for (String arg : args) {
            if (arg.startsWith("out:")) {
                System.out.println(arg.substring(4));
            } else if (arg.startsWith("err:")) {
                System.err.println(arg.substring(4));
            } else if (arg.startsWith("tail:")) {
                System.out.print(arg.substring(5));
            } else if (arg.startsWith("bytes:")) {
                for (char c : arg.substring(6).toCharArray()) {
                    System.out.write(c);
                }
            } else {
                throw new IllegalArgumentException(arg);
            }
        }
    }
}
