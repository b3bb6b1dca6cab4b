DESC: cvlaunch demo
COMMAND: "@JVM_HOME@/@JVM_EXE@" %CP%() %SYSTEMPROP%("demo.greeting", "hello from cvlaunch") %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() Hello
