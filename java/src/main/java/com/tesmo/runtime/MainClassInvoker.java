package com.tesmo.runtime;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * Finds and calls the application's {@code main}. Start-up mistakes (a wrong class name, a
 * class path without the application) are reported as one readable line before the exception
 * reaches the launcher, which would otherwise show only a stack trace of reflection frames.
 */
final class MainClassInvoker {
    private MainClassInvoker() {
    }

    /**
     * Loads {@code className} through the system class loader (the application's class path)
     * and calls its {@code public static void main(String[])}.
     *
     * @throws ClassNotFoundException when the class is not on the class path
     * @throws NoSuchMethodException when it has no {@code public static void main(String[])}
     * @throws Throwable what {@code main} throws, unwrapped
     */
    static void invoke(String className, String[] arguments) throws Throwable {
        // Packagers sometimes copy the internal form from a manifest or a class file name.
        String name = className.replace('/', '.');
        Class<?> mainClass = load(name);
        Method main = findMain(mainClass, name);
        try {
            main.invoke(null, (Object) arguments);
        } catch (InvocationTargetException e) {
            Throwable cause = e.getCause();
            throw cause != null ? cause : e;
        } catch (IllegalAccessException e) {
            String message = "the main method of " + name + " is not accessible (" + e.getMessage() + ")";
            System.err.println("Error: " + message);
            throw (NoSuchMethodException) new NoSuchMethodException(message).initCause(e);
        }
    }

    private static Class<?> load(String name) throws ClassNotFoundException {
        try {
            return Class.forName(name, false, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            String message = "main class " + name + " not found; class path: " + classPath();
            System.err.println("Error: " + message);
            throw new ClassNotFoundException(message, e);
        } catch (LinkageError e) {
            // A wrong letter case on Windows, a class file for a newer Java: the error itself
            // is the explanation, so it goes to the launcher unchanged.
            System.err.println("Error: main class " + name + " could not be loaded (" + e + "); class path: "
                    + classPath());
            throw e;
        }
    }

    private static Method findMain(Class<?> mainClass, String name) throws NoSuchMethodException {
        Method main;
        try {
            main = mainClass.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            main = null;
        } catch (LinkageError e) {
            // Listing the public methods resolves their parameter types, which may be missing.
            System.err.println("Error: main class " + name + " could not be loaded (" + e + "); class path: "
                    + classPath());
            throw e;
        }
        if (main == null || !Modifier.isStatic(main.getModifiers()) || main.getReturnType() != void.class) {
            String message = "main class " + name + " has no public static void main(String[]) method;"
                    + " class path: " + classPath();
            System.err.println("Error: " + message);
            throw new NoSuchMethodException(message);
        }
        try {
            // The launcher's own JNI call ignores access, so a public main in a package-private
            // class starts too.
            main.setAccessible(true);
        } catch (RuntimeException e) {
            // A module that does not open its package: invoke reports it if it matters.
        }
        return main;
    }

    private static String classPath() {
        String classPath = System.getProperty("java.class.path", "");
        return classPath.isEmpty() ? "(empty)" : classPath;
    }
}
