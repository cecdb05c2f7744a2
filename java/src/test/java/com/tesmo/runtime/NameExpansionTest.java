package com.tesmo.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;

import java.util.HashMap;
import java.util.Map;

import org.junit.Test;

/** Expansion of {@code ${name}} references in log names, with a lookup of the test's own. */
public class NameExpansionTest {
    private static NameExpansion.Lookup lookup(String... namesAndValues) {
        final Map<String, String> values = new HashMap<>();
        for (int i = 0; i < namesAndValues.length; i += 2) {
            values.put(namesAndValues[i], namesAndValues[i + 1]);
        }
        return values::get;
    }

    private static String expanded(String text, NameExpansion.Lookup lookup) {
        NameExpansion.Result result = NameExpansion.expand(text, lookup);
        assertNull("unresolved: " + result.unresolved, result.unresolved);
        return result.value;
    }

    private static String unresolved(String text, NameExpansion.Lookup lookup) {
        NameExpansion.Result result = NameExpansion.expand(text, lookup);
        assertNull("expanded to " + result.value, result.value);
        return result.unresolved;
    }

    @Test
    public void referencesAreReplacedAndOtherTextKept() {
        NameExpansion.Lookup values = lookup("user.home", "C:\\Users\\ann", "APP", "demo", "empty", "");
        assertEquals("C:\\Users\\ann\\demo\\error.log", expanded("${user.home}\\${APP}\\error.log", values));
        assertEquals("demodemo", expanded("${APP}${APP}", values));
        assertEquals("x.log", expanded("${empty}x.log", values));
        assertEquals("$APP\\$\\a$b.log", expanded("$APP\\$\\a$b.log", values));
        assertEquals("", expanded("", values));
    }

    @Test
    public void valuesAreNotExpandedAgain() {
        assertEquals("${B}/x", expanded("${A}/x", lookup("A", "${B}", "B", "wrong")));
    }

    @Test
    public void theFirstUnresolvedReferenceIsReported() {
        NameExpansion.Lookup values = lookup("A", "a");
        assertEquals("${MISSING}", unresolved("${A}\\${MISSING}\\${OTHER}.log", values));
        assertEquals("${}", unresolved("${}x", values));
        assertEquals("${A", unresolved("${A", values));
        assertEquals("${A\\log", unresolved("${A}${A\\log", values));
    }

    @Test
    public void systemPropertiesComeBeforeEnvironmentVariables() {
        String name = "PATH";
        String previous = System.getProperty(name);
        try {
            System.clearProperty(name);
            assertEquals(System.getenv(name), NameExpansion.SYSTEM_PROPERTIES_THEN_ENVIRONMENT.get(name));
            System.setProperty(name, "from a property");
            assertEquals("from a property", NameExpansion.SYSTEM_PROPERTIES_THEN_ENVIRONMENT.get(name));
        } finally {
            if (previous == null) {
                System.clearProperty(name);
            } else {
                System.setProperty(name, previous);
            }
        }
        assertNull(NameExpansion.SYSTEM_PROPERTIES_THEN_ENVIRONMENT.get("tesmo.test.surely.undefined"));
    }
}
