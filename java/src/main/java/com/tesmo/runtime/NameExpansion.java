package com.tesmo.runtime;

/**
 * Expands {@code ${name}} references in log names the launcher could not resolve. The
 * launcher knows only environment variables; here Java system properties come first, so
 * names such as {@code ${user.home}\app\error.log} work too.
 */
final class NameExpansion {
    /** Where reference values come from; {@code null} means undefined. */
    interface Lookup {
        String get(String name);
    }

    /**
     * The outcome: either the expanded text, or the first reference that could not be
     * resolved ({@code ${NAME}}, or the unterminated tail starting at {@code ${}).
     */
    static final class Result {
        final String value;
        final String unresolved;

        private Result(String value, String unresolved) {
            this.value = value;
            this.unresolved = unresolved;
        }
    }

    /** System properties first, then environment variables. */
    static final Lookup SYSTEM_PROPERTIES_THEN_ENVIRONMENT = new Lookup() {
        @Override
        public String get(String name) {
            try {
                String value = System.getProperty(name);
                return value != null ? value : System.getenv(name);
            } catch (SecurityException e) {
                return null;
            }
        }
    };

    private NameExpansion() {
    }

    /**
     * Replaces every {@code ${name}} in {@code text} by its value. Text outside references,
     * including a lone {@code $}, is kept as it is; values are not expanded again.
     */
    static Result expand(String text, Lookup lookup) {
        StringBuilder out = new StringBuilder(text.length() + 32);
        int position = 0;
        while (true) {
            int start = text.indexOf("${", position);
            if (start < 0) {
                out.append(text, position, text.length());
                return new Result(out.toString(), null);
            }
            int end = text.indexOf('}', start + 2);
            if (end < 0) {
                return new Result(null, text.substring(start));
            }
            String name = text.substring(start + 2, end);
            String value = name.isEmpty() ? null : lookup.get(name);
            if (value == null) {
                return new Result(null, text.substring(start, end + 1));
            }
            out.append(text, position, start).append(value);
            position = end + 1;
        }
    }
}
