import java.io.PrintStream;
import java.io.UnsupportedEncodingException;

/**
 * The verification class that the launcher runs on a candidate JVM home.
 *
 * <p>Prints the marker line "1739021872", then the value of each system property named by the
 * arguments, one per line and in argument order; a property that is not set gives an empty line.
 * The launcher reads this output line by line, so a line break inside a value is printed as a
 * blank: otherwise it would shift every value after it. The text is encoded as UTF-8, whatever
 * the locale, so that it compares byte for byte with the JVM description files.
 */
public final class Verify {
    private static final String MARKER = "1739021872";

    private Verify() {}

    public static void main(String[] args) throws UnsupportedEncodingException {
        StringBuilder text = new StringBuilder(MARKER).append('\n');
        for (String name : args) {
            String value = System.getProperty(name);
            if (value != null) {
                text.append(value.replace('\r', ' ').replace('\n', ' '));
            }
            text.append('\n');
        }
        PrintStream out = new PrintStream(System.out, false, "UTF-8");
        out.print(text);
        out.flush();
        System.exit(0);
    }
}
