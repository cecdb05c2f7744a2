package com.tesmo.runtime;

import static org.hamcrest.CoreMatchers.containsString;
import static org.hamcrest.MatcherAssert.assertThat;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

import javax.tools.JavaCompiler;
import javax.tools.ToolProvider;

import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

import com.tesmo.runtime.testing.ChildJvm;
import com.tesmo.runtime.testing.ChildJvm.Result;

/**
 * Main classes that only exist as compiled here: one whose class is not public, and one
 * whose methods refer to a class that is missing at run time.
 */
public class UnusualMainClassTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    /** Compiles {@code sources} (file name, then text, repeated) into a new folder. */
    private File compile(String... namesAndTexts) throws Exception {
        File sources = temp.newFolder();
        File classes = temp.newFolder();
        List<String> arguments = new ArrayList<>(List.of("-d", classes.getPath()));
        for (int i = 0; i < namesAndTexts.length; i += 2) {
            File source = new File(sources, namesAndTexts[i]);
            Files.write(source.toPath(), namesAndTexts[i + 1].getBytes(StandardCharsets.UTF_8));
            arguments.add(source.getPath());
        }
        JavaCompiler compiler = ToolProvider.getSystemJavaCompiler();
        assertEquals("compilation failed", 0, compiler.run(null, null, null, arguments.toArray(new String[0])));
        return classes;
    }

    @Test
    public void publicMainInAPackagePrivateClassStarts() throws Exception {
        // Java's own launcher starts such a class, and so does the native one through JNI.
        File classes = compile("Hidden.java", "package app; class Hidden {"
                + " public static void main(String[] args) { System.out.println(\"hidden ran \" + args[0]); } }");
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER)
                .classPath(ChildJvm.RUNTIME_JAR.getPath(), classes.getPath())
                .launch(false, "app.Hidden", "", "", false, "app", "ok");
        assertEquals(result.toString(), 0, result.exitCode);
        assertEquals("hidden ran ok\n", result.stdout);
        assertEquals("", result.stderr);
    }

    @Test
    public void aMainClassWhoseDependencyIsMissingIsNamed() throws Exception {
        File classes = compile(
                "Needy.java", "package app; public class Needy {"
                        + " public static void main(String[] args) { System.out.println(\"must not run\"); }"
                        + " public static void use(Gone gone) { } }",
                "Gone.java", "package app; public class Gone { }");
        assertTrue(new File(classes, "app/Gone.class").delete());
        String classPath = ChildJvm.RUNTIME_JAR.getPath() + File.pathSeparator + classes.getPath();
        Result result = ChildJvm.of(ChildJvm.TESMO_WRAPPER)
                .classPath(ChildJvm.RUNTIME_JAR.getPath(), classes.getPath())
                .launch(false, "app.Needy", "", "", false, "app");
        assertNotEquals(result.toString(), 0, result.exitCode);
        assertEquals("", result.stdout);
        assertEquals("Error: main class app.Needy could not be loaded (java.lang.NoClassDefFoundError: app/Gone);"
                + " class path: " + classPath, result.stderrLines().get(0));
        assertThat(result.stderr, containsString("Exception in thread \"main\" java.lang.NoClassDefFoundError: app/Gone"));
    }
}
