/**
 * The demo application that the cvlaunch demo packs into a launcher file.
 * It tells which Java runs it, echoes its arguments one per line, and ends
 * with the exit code given after "--exit", so that a caller can see the
 * code pass through the launcher.
 */
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from the cvlaunch demo application.");
        System.out.println("Running on Java " + System.getProperty("java.version")
                + " in " + System.getProperty("java.home"));
        String greeting = System.getProperty("demo.greeting");
        if (greeting != null) {
            System.out.println("Greeting from the launcher: " + greeting);
        }
        int exitCode = 0;
        for (int i = 0; i < args.length; i++) {
            System.out.println("argument " + (i + 1) + ": [" + args[i] + "]");
            if (args[i].equals("--exit") && i + 1 < args.length) {
                exitCode = Integer.parseInt(args[i + 1]);
            }
        }
        System.exit(exitCode);
    }
}
