package com.tesmo.runtime.testapps;

import com.tesmo.runtime.Launcher;

/** Prints every value of the application API as name=value lines. */
public class ApiApp {
    public static void main(String[] args) {
        System.out.println("tempDirectory=" + Launcher.tempDirectory());
        System.out.println("executable=" + Launcher.executable());
        System.out.println("unextractedPosition=" + Launcher.unextractedPosition());
        System.out.println("isWindowed=" + Launcher.isWindowed());
        System.out.println("programName=" + Launcher.programName());
        System.out.println("semaphoreName=" + Launcher.semaphoreName());
        System.out.println("processCommFile=" + Launcher.processCommFile());
        System.out.println("isKorvane=" + Launcher.isKorvane());
        System.out.println("consoleCodepage=" + Launcher.consoleCodepage());
    }
}
