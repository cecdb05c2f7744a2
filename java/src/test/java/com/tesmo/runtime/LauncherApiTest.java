package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;

import java.util.List;

import org.junit.Test;

import com.tesmo.runtime.testing.ChildJvm;

/** What the application can ask of the launcher, and what the splash thread then polls. */
public class LauncherApiTest {
    private static final String API_APP = "com.tesmo.runtime.testapps.ApiApp";

    @Test
    public void answersFromTheLauncherPropertiesAndLeadingArguments() throws Exception {
        ChildJvm korvane = ChildJvm.of(ChildJvm.KORVANE_WRAPPER)
                .property("tesmo.moduleName", "C:\\Apps\\My App\\app.exe")
                .property("tesmo.tempDir", "C:\\Temp\\tsm_1234")
                .property("tesmo.unextractedPosition", "123456789012")
                .property("tesmo.semaphoreName", "Global\\app-instance")
                .property("tesmo.processCommFile", "C:\\Temp\\tsm_1234\\comm")
                .property("tesmo.isKorvane", "true")
                .property("tesmo.consoleCodepage", "cp850");
        assertEquals(List.of("tempDirectory=C:\\Temp\\tsm_1234", "executable=C:\\Apps\\My App\\app.exe",
                "unextractedPosition=123456789012", "isWindowed=true", "programName=my app",
                "semaphoreName=Global\\app-instance", "processCommFile=C:\\Temp\\tsm_1234\\comm", "isKorvane=true",
                "consoleCodepage=cp850"), korvane.launch(true, API_APP, "", "", false, "my app").stdoutLines());

        // An empty temporary directory and -1 are what the launcher sends when it extracted
        // nothing or restarted for another language.
        ChildJvm plain = ChildJvm.of(ChildJvm.TESMO_WRAPPER).property("tesmo.tempDir", "")
                .property("tesmo.unextractedPosition", "-1");
        assertEquals(List.of("tempDirectory=null", "executable=null", "unextractedPosition=-1", "isWindowed=false",
                "programName=app", "semaphoreName=null", "processCommFile=null", "isKorvane=false",
                "consoleCodepage=null"), plain.launch(false, API_APP, "", "", false, "app").stdoutLines());
    }

    @Test
    public void theSplashGetsTheLastTextOnceAndClosingFirst() {
        TesmoController.setStatusText("Loading fonts");
        TesmoController.setStatusText("Loading data");
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
        assertEquals("Loading data", TesmoController.getText());
        assertEquals(TesmoController.NOTHING, TesmoController.getAction());
        assertNull(TesmoController.getText());

        TesmoController.setStatusText(null);
        TesmoController.closeSplash();
        // Answered once: the splash thread ends with it and asks no more.
        assertEquals(TesmoController.CLOSE, TesmoController.getAction());
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
        assertEquals("", TesmoController.getText());
    }
}
