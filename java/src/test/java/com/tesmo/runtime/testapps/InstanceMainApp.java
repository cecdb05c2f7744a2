package com.tesmo.runtime.testapps;

/** A main method that is not static, which the launcher cannot call. */
public class InstanceMainApp {
    public void main(String[] args) {
        System.out.println("must not run");
    }
}
