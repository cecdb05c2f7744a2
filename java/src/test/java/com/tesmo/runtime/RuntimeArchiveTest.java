package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.DataInputStream;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

import org.junit.Test;

import com.tesmo.runtime.testing.ChildJvm;

/** The archive the launcher puts on the class path: its entry classes and their class file version. */
public class RuntimeArchiveTest {
    @Test
    public void holdsTheEntryClassesAndTheApi() throws Exception {
        try (ZipFile archive = new ZipFile(ChildJvm.RUNTIME_JAR)) {
            for (String name : List.of("com/tesmo/runtime/WinLauncher.class",
                    "com/korvane/runtime/launcher/WinLauncher.class", "com/korvane/runtime/launcher/FirstRun.class",
                    "com/tesmo/runtime/Launcher.class")) {
                assertTrue(name + " missing", archive.getEntry(name) != null);
            }
        }
    }

    @Test
    public void everyClassTargetsTheOldestSupportedJava() throws Exception {
        int release = Integer.parseInt(System.getProperty("tesmo.test.classRelease"));
        List<String> wrong = new ArrayList<>();
        int classes = 0;
        try (ZipFile archive = new ZipFile(ChildJvm.RUNTIME_JAR)) {
            for (Enumeration<? extends ZipEntry> entries = archive.entries(); entries.hasMoreElements();) {
                ZipEntry entry = entries.nextElement();
                if (!entry.getName().endsWith(".class")) {
                    continue;
                }
                classes++;
                try (InputStream in = archive.getInputStream(entry)) {
                    DataInputStream data = new DataInputStream(in);
                    assertEquals(entry.getName(), 0xCAFEBABE, data.readInt());
                    data.readUnsignedShort();
                    int major = data.readUnsignedShort();
                    if (major != release + 44) {
                        wrong.add(entry.getName() + " has class file version " + major);
                    }
                }
            }
        }
        assertTrue("only " + classes + " classes", classes >= 8);
        assertEquals("expected version " + (release + 44) + " (Java " + release + ")", List.of(), wrong);
    }
}
