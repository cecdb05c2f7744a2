package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;

import org.junit.Before;
import org.junit.Test;

/** The answers the launcher's splash thread gets when it polls, as the application asks. */
public class TesmoControllerTest {
    @Before
    public void nothingPending() {
        // The controller's state is the process's: take whatever an earlier test left.
        TesmoController.getAction();
        TesmoController.getText();
        assertEquals(TesmoController.NOTHING, TesmoController.getAction());
    }

    @Test
    public void aNewTextIsAnsweredOnceAndTheLastOneWins() {
        TesmoController.setStatusText("Loading fonts");
        TesmoController.setStatusText("Loading data");
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
        assertEquals("Loading data", TesmoController.getText());
        assertEquals(TesmoController.NOTHING, TesmoController.getAction());
        assertNull(TesmoController.getText());
    }

    @Test
    public void aNullTextEmptiesTheLine() {
        TesmoController.setStatusText(null);
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
        assertEquals("", TesmoController.getText());
    }

    @Test
    public void closingComesBeforeAWaitingText() {
        TesmoController.setStatusText("Almost there");
        TesmoController.closeSplash();
        assertEquals(TesmoController.CLOSE, TesmoController.getAction());
        // Answered once: the splash thread ends with it and asks no more.
        assertEquals(TesmoController.NEW_TEXT, TesmoController.getAction());
    }

    @Test
    public void requestsFromOtherThreadsReachThePoll() throws Exception {
        Thread application = new Thread(new Runnable() {
            @Override
            public void run() {
                for (int i = 1; i <= 1000; i++) {
                    TesmoController.setStatusText("step " + i);
                }
                TesmoController.closeSplash();
            }
        });
        application.start();
        String shown = null;
        int action;
        while ((action = TesmoController.getAction()) != TesmoController.CLOSE) {
            if (action == TesmoController.NEW_TEXT) {
                shown = TesmoController.getText();
            }
        }
        application.join();
        if (TesmoController.getAction() == TesmoController.NEW_TEXT) {
            shown = TesmoController.getText();
        }
        assertEquals("step 1000", shown);
    }
}
