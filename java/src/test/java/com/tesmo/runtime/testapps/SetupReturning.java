package com.tesmo.runtime.testapps;

/**
 * First-run setup classes of both accepted forms. Each prints "setup ran: NAME" so tests can
 * tell whether and how often a setup ran.
 */
public class SetupReturning {
    public static class True {
        public static boolean run() {
            System.out.println("setup ran: True");
            return true;
        }
    }

    /** {@code public static boolean run()} answering false: the application must not start. */
    public static class False {
        public static boolean run() {
            System.out.println("setup ran: False");
            return false;
        }
    }

    public static class CallableTrue implements java.util.concurrent.Callable<Boolean> {
        @Override
        public Boolean call() {
            System.out.println("setup ran: CallableTrue");
            return Boolean.TRUE;
        }
    }

    public static class Throwing {
        public static boolean run() {
            System.out.println("setup ran: Throwing");
            throw new IllegalStateException("setup could not write its settings");
        }
    }

    /** A class of neither form. */
    public static class Neither {
        public static void run() {
            System.out.println("setup ran: Neither");
        }
    }
}
