package com.tesmo.runtime;

import java.util.ArrayList;
import java.util.List;

/**
 * Splits command-line text exactly the way the native launcher splits its own command line,
 * so a handed-over start's arguments read as they would have reached {@code main}: only the
 * space separates; double and single quotes group and are dropped; text glued before a quote
 * joins the quoted part; a backslash is an ordinary character; an unclosed quote runs to the
 * end.
 */
final class CommandLineSplitter {
    private CommandLineSplitter() {
    }

    static String[] split(String text) {
        List<String> arguments = new ArrayList<String>();
        int position = 0;
        int length = text.length();
        while (position < length) {
            if (text.charAt(position) == ' ') {
                position++;
                continue;
            }
            int space = text.indexOf(' ', position);
            int quote = firstQuote(text, position);
            if (space >= 0 && (quote < 0 || space < quote)) {
                arguments.add(text.substring(position, space));
                position = space + 1;
                continue;
            }
            if (quote < 0) {
                arguments.add(text.substring(position));
                break;
            }
            int closing = text.indexOf(text.charAt(quote), quote + 1);
            if (closing < 0) {
                closing = length;
            }
            arguments.add(text.substring(position, quote) + text.substring(quote + 1, closing));
            position = closing + 1;
            if (position < length && text.charAt(position) == ' ') {
                position++;
            }
        }
        return arguments.toArray(new String[0]);
    }

    private static int firstQuote(String text, int from) {
        int doubleQuote = text.indexOf('"', from);
        int singleQuote = text.indexOf('\'', from);
        if (doubleQuote < 0) {
            return singleQuote;
        }
        return singleQuote < 0 ? doubleQuote : Math.min(doubleQuote, singleQuote);
    }
}
