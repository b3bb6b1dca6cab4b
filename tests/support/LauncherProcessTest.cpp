#include "support/LauncherProcessTest.h"

namespace testsupport {

LauncherResult LauncherProcessTest::run(const std::string& launcher,
                                        const std::vector<std::string>& args,
                                        LauncherOptions options) const {
    options.tempDir = temp_.path();
    if (options.workingDir.empty()) {
        options.workingDir = work_.path();
    }
    return runLauncher(launcher, args, options);
}

std::string LauncherProcessTest::packDirectLaunch(const std::string& javaHome,
                                                  const std::string& archive,
                                                  const std::string& keys) const {
    writeFile(work_.file("program.tag"), "INSTRUCTIONS:\n  ILAUNCH 0 0\n/:\n");
    writeFile(work_.file("a.jvm"), "JVM_HOME: " + javaHome + "\nJVM_EXE: java\n");
    writeFile(work_.file("launch.tag"),
              keys + "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()\"\n");
    writeFile(work_.file("lib.jar"), archive);
    return launcherFile({{FILE_JVM, "a.jvm"},
                         {FILE_INSTRUCTIONS, "program.tag"},
                         {FILE_LAUNCH_SCRIPT, "launch.tag"},
                         {FILE_CLASSPATH_ARCHIVE, "lib.jar"}})
        .withoutVerifyArchive()
        .write("launcher");
}

LauncherOptions LauncherProcessTest::options() const {
    LauncherOptions options;
    options.tempDir = temp_.path();
    options.workingDir = work_.path();
    options.env["LANG"] = kUnset;
    return options;
}

}  // namespace testsupport
