package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.DataInputStream;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

import org.junit.Test;

import com.tesmo.runtime.testing.ChildJvm;

/**
 * The archive the launcher puts on the class path must load on the oldest Java it starts;
 * that its entry classes are there, every child JVM test shows.
 */
public class RuntimeArchiveTest {
    @Test
    public void everyClassTargetsTheOldestSupportedJava() throws Exception {
        int major = Integer.parseInt(System.getProperty("tesmo.test.classRelease")) + 44;
        List<String> wrong = new ArrayList<>();
        int classes = 0;
        try (ZipFile archive = new ZipFile(ChildJvm.RUNTIME_JAR)) {
            for (ZipEntry entry : Collections.list(archive.entries())) {
                if (entry.getName().endsWith(".class")) {
                    classes++;
                    DataInputStream data = new DataInputStream(archive.getInputStream(entry));
                    data.skipBytes(6); // the magic number and the minor version
                    if (data.readUnsignedShort() != major) {
                        wrong.add(entry.getName());
                    }
                }
            }
        }
        assertTrue("only " + classes + " classes", classes >= 8);
        assertEquals("not class file version " + major, List.of(), wrong);
    }
}
