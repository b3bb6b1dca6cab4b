DESC: cvlaunch demo
DISPLAY_CONSOLE: 1
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%() %SYSTEMPROP%(""demo.greeting"", ""hello-from-the-launch-script"") %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() Hello"
