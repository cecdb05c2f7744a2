package com.korvane.runtime.launcher;

/**
 * The class whose {@code main} the native launcher calls in the korvane flavour. It behaves
 * exactly like {@link com.tesmo.runtime.WinLauncher}, which holds the one implementation;
 * only the name differs, because korvane launchers look the wrapper up under this name.
 */
public final class WinLauncher {
    private WinLauncher() {
    }

    /**
     * Starts the application; see {@link com.tesmo.runtime.WinLauncher#main(String[])} for the
     * arguments and the exceptions.
     *
     * @param args the launcher's six leading arguments, then the application's arguments
     * @throws Throwable as {@link com.tesmo.runtime.WinLauncher#main(String[])} does
     */
    public static void main(String[] args) throws Throwable {
        com.tesmo.runtime.WinLauncher.main(args);
    }
}
