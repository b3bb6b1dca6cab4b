// The packer's application mode (--main-jar): the files it generates, the
// main class it reads from a jar's manifest, and the launchers it packs, run
// with the real JDK.
#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/FakeJavaHome.h"
#include "support/LauncherProcessTest.h"
#include "support/TestSupport.h"
#include "tagfile/TagFile.h"

namespace {

using testsupport::LauncherResult;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;

using JarEntries = std::vector<std::pair<std::string, std::string>>;
const char kManifest[] = "META-INF/MANIFEST.MF";

void makeJar(const std::string& path, const JarEntries& entries, bool deflate = true) {
    int error = 0;
    zip_t* jar = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(jar, nullptr) << path;
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(jar, content.data(), content.size(), 0);
        zip_int64_t index = zip_file_add(jar, name.c_str(), source, 0);
        zip_set_file_compression(jar, index, deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    ASSERT_EQ(zip_close(jar), 0) << path;
}

// The manifest of the jar at path, as its bytes.
std::string manifestOf(const std::string& path) {
    zip_t* jar = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
    zip_file_t* entry = jar == nullptr ? nullptr : zip_fopen(jar, kManifest, 0);
    std::string text;
    char buffer[4096];
    zip_int64_t count = 0;
    while (entry != nullptr && (count = zip_fread(entry, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(count));
    }
    if (entry != nullptr) {
        zip_fclose(entry);
    }
    if (jar != nullptr) {
        zip_discard(jar);
    }
    return text;
}

// Sets the uncompressed size that the headers of the jar at path declare for
// its manifest to `size`, in the local header and in the central directory.
void declareManifestSize(const std::string& path, uint32_t size) {
    std::string bytes = readFile(path);
    const std::string name = kManifest;
    for (const auto& [signature, sizeOffset, nameOffset] :
         {std::make_tuple("PK\x03\x04", 22, 30), std::make_tuple("PK\x01\x02", 24, 46)}) {
        size_t header = bytes.find(signature);
        while (header != std::string::npos &&
               bytes.compare(header + nameOffset, name.size(), name) != 0) {
            header = bytes.find(signature, header + 1);
        }
        ASSERT_NE(header, std::string::npos) << signature;
        for (int i = 0; i < 4; ++i) {
            bytes[header + sizeOffset + i] = static_cast<char>(size >> (8 * i));
        }
    }
    writeFile(path, bytes);
}

const std::string kDemoJar = std::string(TEST_BINARY_DIR) + "/examples/hello.jar";
const char kGreeting[] = "Hello from the cvlaunch demo application.";

class CvpackApplicationTest : public testsupport::LauncherProcessTest {
  protected:
    ProcessResult cvpack(std::vector<std::string> args) const {
        args.insert(args.begin(), testsupport::cvpackPath());
        testsupport::ProcessOptions options;
        options.workingDir = work_.path();
        return testsupport::runProcess(args, options);
    }
    // The values of a tag of a file that --print-config wrote into work_/config.
    std::vector<std::string> configTag(const char* file, const char* tag) const {
        TagFile tags(work_.file(std::string("config/") + file).c_str());
        const StringDeque* values = tags.getValue(tag);
        return values != nullptr ? testsupport::listOf(*values) : std::vector<std::string>();
    }
    // Packs work_/bin/app, the demo application.
    std::string packDemo(std::vector<std::string> args) const {
        testsupport::makeDirectories(work_.file("bin"));
        args.insert(args.end(), {"--main-jar", kDemoJar, "--main-class", "Hello", "-o", "bin/app"});
        ProcessResult packed = cvpack(args);
        EXPECT_EQ(packed.status, 0) << packed.err;
        return work_.file("bin/app");
    }
    // Runs the demo `launcher` with `jdk` through the life of its class-data
    // archive.
    void checkClassDataArchive(const std::string& launcher, const std::string& jdk) const;
};

// The major version in the release file of a JDK; 0 when it has none.
int majorVersionOf(const std::string& jdk) {
    std::string release = readFile(jdk + "/release");
    size_t at = release.find("JAVA_VERSION=\"");
    return at == std::string::npos ? 0 : std::atoi(release.c_str() + at + 14);
}

void CvpackApplicationTest::checkClassDataArchive(const std::string& launcher,
                                                  const std::string& jdk) const {
    testsupport::LauncherOptions options;
    options.env["JAVA_HOME"] = jdk;
    options.env["XDG_CACHE_HOME"] = work_.file("cache");
    options.env["CVLAUNCH_CLASS_DATA"] = "wait";
    std::string cds = work_.file("cache/cvlaunch/cds/");
    int runs = 0;
    auto runWith = [&](const std::vector<std::string>& args, int status) {
        options.logFile = work_.file("log" + std::to_string(++runs));
        LauncherResult result = run(launcher, args, options);
        EXPECT_EQ(result.status, status) << result.err << result.log;
        EXPECT_NE(result.out.find("Hello from the cvlaunch demo application."), std::string::npos);
        EXPECT_EQ(result.out.find("cds"), std::string::npos) << result.out;
        return result;
    };

    // A program that ends with any status loaded its classes.
    LauncherResult failed = runWith({"--exit", "3"}, 3);
    EXPECT_NE(failed.log.find("Verify java.specification.version java.version"), std::string::npos);
    EXPECT_NE(failed.log.find("-XX:DumpLoadedClassList=" + cds), std::string::npos) << failed.log;
    EXPECT_NE(failed.log.find("Made the class-data archive " + cds), std::string::npos)
        << failed.log;

    LauncherResult used = runWith({"x"}, 0);
    EXPECT_NE(used.out.find("argument 1: [x]"), std::string::npos);
    EXPECT_NE(used.log.find("Using the class-data archive " + cds), std::string::npos) << used.log;
    EXPECT_EQ(used.log.find("DumpLoadedClassList"), std::string::npos) << used.log;
}

TEST_F(CvpackApplicationTest, MainClassComesFromTheManifestOfAStoredOrDeflatedJar) {
    struct Row {
        bool deflate;
        const char* manifest;  // null: the jar has none
        std::string expected;  // the main class, or the error
    } rows[] = {
        {false, "Manifest-Version: 1.0\r\nMain-Class: com.example.Ma\r\n in\r\nX: y\r\n\r\n",
         "com.example.Main"},
        {true, "Manifest-Version: 1.0\nmain-class:  Hello \n", "Hello"},
        {false, "Main-Class: A\rMain-Class: B\r", "B"},
        {true, "Manifest-Version: 1.0\n\nName: b/C.class\nMain-Class: C\n",
         "cvpack: the manifest of app.jar names no Main-Class; give the main class with "
         "--main-class NAME\n"},
        {false, nullptr,
         "cvpack: app.jar has no readable manifest (META-INF/MANIFEST.MF) to name its main "
         "class; give the main class with --main-class NAME\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        JarEntries entries = {{"b/C.class", "not a class"}};
        if (row.manifest != nullptr) {
            entries.emplace_back(kManifest, row.manifest);
        }
        makeJar(work_.file("app.jar"), entries, row.deflate);
        ProcessResult result = cvpack({"--main-jar", "app.jar", "--print-config", "config"});
        if (row.expected.find(' ') != std::string::npos) {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, row.expected);
            continue;
        }
        EXPECT_EQ(result.status, 0) << result.err;
        std::string command = configTag("launch.tag", "COMMAND").at(0);
        EXPECT_EQ(command.substr(command.rfind(' ') + 1), row.expected);
    }
}

TEST_F(CvpackApplicationTest, JavaRangeBecomesConditionsOnTheSpecificationVersion) {
    const std::string v = "java.specification.version";
    struct Row {
        const char* range;                    // null: no --java
        std::vector<std::string> properties;  // empty: malformed
    } rows[] = {
        {nullptr, {v + "=..."}},
        {"17", {v + "=17"}},
        {"17+", {v + ">=17"}},
        {"11-21", {v + ">=11", v + "<=21"}},
        {"8-11", {v + ">=1.8", v + "<=11"}},
        {"21-11", {}},
        {"17-", {}},
        {"+17", {}},
        {"1.8", {}},
        {"0", {}},
        {"1000+", {}},
        {"17 ", {}},
        {"java17", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.range != nullptr ? row.range : "no --java");
        std::vector<std::string> args = {"--main-jar", "app.jar",        "--main-class",
                                         "A",          "--print-config", "config"};
        if (row.range != nullptr) {
            args.insert(args.end(), {"--java", row.range});
        }
        std::filesystem::remove_all(work_.file("config"));
        ProcessResult result = cvpack(args);
        if (row.properties.empty()) {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err.rfind("cvpack: invalid Java version range ", 0), 0u) << result.err;
            EXPECT_FALSE(testsupport::fileExists(work_.file("config")));
            continue;
        }
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(configTag("java.jvm", "JVM_PROPERTIES"), row.properties);
    }
}

TEST_F(CvpackApplicationTest, PrintConfigWritesTheFilesAndTheCommandThatPacksThem) {
    testsupport::makeDirectories(work_.file("lib"));
    testsupport::makeDirectories(work_.file("other"));
    makeJar(work_.file("app.jar"), {{kManifest, "Main-Class: com.example.Main\n"}});
    makeJar(work_.file("lib/util.jar"), {{"a", "1"}});
    makeJar(work_.file("other/util.jar"), {{"b", "2"}});
    ProcessResult result = cvpack(
        {"--main-jar", "app.jar", "--class-path", "lib/util.jar", "--class-path", "other/util.jar",
         "--name", "My App", "--java", "17+", "--java-option", "-Dtext=it's \"so\" 50%",
         "--java-option", "-Xss2m", "--search-disk", "--print-config", "config"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "cvpack --instructions config/program.tag --launch-script config/launch.tag --jvm "
              "config/java.jvm --classpath-archive app.jar --classpath-archive lib/util.jar "
              "--classpath-archive other/util.jar --name 2-util.jar -o app\n");
    EXPECT_EQ(readFile(work_.file("config/program.tag")),
              "INSTRUCTIONS:\n"
              "  // N1 tells whether a JVM that java.jvm accepts was found, S2 is its match file.\n"
              "  FIND_JVM 0 1\n  JMP0 @N1@ nojvm\n  LAUNCH \"@S2@\" 0\n  GOTO end\n  :nojvm\n"
              "  EXIT 1\n  :end\n/:\n");
    EXPECT_EQ(readFile(work_.file("config/launch.tag")),
              "DISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\n"
              "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CLASS_DATA_ARCHIVE%() %CP%() "
              "%RUNTIME_SYSTEMPROP%() "
              "%RUNTIME_JAVAARGS%() '-Dtext=it'\\''s \"\"so\"\" 50%%' -Xss2m com.example.Main\"\n");
    EXPECT_EQ(readFile(work_.file("config/java.jvm")),
              "DESC: My App\nJVM_EXE: bin/java\n"
              "JVM_PROPERTIES:\n  java.specification.version>=17\n/:\nJAVA_RANGE: 17+\n"
              "CLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\nSYSTEM: -D\nSYSTEM_SEPARATOR: =\n"
              "USUAL_LOCATIONS: 1\nSEARCH_ALL: 1\n");

    std::string command = testsupport::shellQuote(testsupport::cvpackPath()) +
                          result.out.substr(result.out.find(' '));
    testsupport::ProcessOptions options;
    options.workingDir = work_.path();
    ASSERT_EQ(testsupport::runInShell(command, {}, options).status, 0);
    std::string listing = cvpack({"--list", "app"}).out;
    for (const char* name : {"program.tag", "launch.tag", "java.jvm", "  util.jar", "2-util.jar"}) {
        EXPECT_NE(listing.find(name), std::string::npos) << name << "\n" << listing;
    }
}

TEST_F(CvpackApplicationTest, RefusesWhatItCannotPack) {
    makeJar(work_.file("app.jar"), {{kManifest, "Main-Class: A\n"}});
    writeFile(work_.file("text.jar"), "not a zip file");
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string message;
    } rows[] = {
        {{"--java", "17"}, 2, "cvpack: option '--java' needs --main-jar JAR\n"},
        {{"--main-jar", "app.jar", "--jvm", "a.jvm"}, 2, "cvpack: --main-jar generates the"},
        {{"--main-jar", "none.jar"}, 1, "cvpack: cannot read the jar none.jar: No such file\n"},
        {{"--main-jar", "text.jar"},
         1,
         "cvpack: cannot read the jar text.jar: Not a zip archive\n"},
        {{"--main-jar", "app.jar", "--java-option", "-Xlog:gc:file=gc-%p-%t.log"},
         1,
         "cvpack: cannot write -Xlog:gc:file=gc-%p-%t.log into the launch command: the Java "
         "options and the main class together may hold each of %, @ and # only once"},
        {{"--main-jar", "app.jar", "--java-option", "@a", "--java-option", "@b"},
         1,
         "cvpack: cannot write @b into"},
        {{"--main-jar", "app.jar", "--name", "two\nlines"},
         1,
         "cvpack: a line break cannot be written into the DESC tag"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.message);
        row.args.insert(row.args.end(), {"-o", "out"});
        ProcessResult result = cvpack(row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err.substr(0, row.message.size()), row.message);
        EXPECT_EQ(work_.entries(), (std::vector<std::string>{"app.jar", "text.jar"}));
    }
}

TEST_F(CvpackApplicationTest, PackedApplicationRunsInTheCallersDirectoryWithItsArguments) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no demo application";
    }
    // Java reads an argument file named relative to its working directory,
    // so the greeting shows both that the option arrived whole and where
    // the program ran.
    std::string argumentFile = "@it's \"a\" $HOME `x` 50% #1.args";
    std::string launcher = packDemo({"--java-option", argumentFile});
    testsupport::makeDirectories(work_.file("caller"));
    writeFile(work_.file("caller/" + argumentFile.substr(1)), "-Ddemo.greeting=from-the-caller\n");
    testsupport::LauncherOptions options;
    options.workingDir = work_.file("caller");
    options.env["JAVA_HOME"] = jdk;

    LauncherResult result =
        run(launcher, {"two words", "", "$HOME", "it's", "a\\b", "*", "--exit", "5"}, options);

    EXPECT_EQ(result.status, 5) << result.err;
    EXPECT_NE(result.out.find(" in " + jdk +
                              "\nGreeting from the launcher: from-the-caller\n"
                              "argument 1: [two words]\nargument 2: []\nargument 3: [$HOME]\n"
                              "argument 4: [it's]\nargument 5: [a\\b]\nargument 6: [*]\n"
                              "argument 7: [--exit]\n"),
              std::string::npos)
        << result.out;
}

TEST_F(CvpackApplicationTest, PackedApplicationKeepsAClassDataArchiveForItsJvmAndClassPath) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no demo application";
    }
    checkClassDataArchive(packDemo({}), jdk);

    // Without the function, and with a command that switches sharing off
    // (with which a JDK before 19 would not start when asked to write an
    // archive), the JVM gets no option of the launcher's.
    testsupport::LauncherOptions options;
    options.env["JAVA_HOME"] = jdk;
    options.env["CVLAUNCH_CLASS_DATA"] = "1";
    options.env["XDG_CACHE_HOME"] = work_.file("other-cache");
    for (const char* option : {"--no-class-data-archive", "-Xshare:off"}) {
        SCOPED_TRACE(option);
        std::vector<std::string> args = {"--java-option", option};
        std::string launcher = packDemo(option[1] == '-' ? std::vector<std::string>{option} : args);
        options.logFile = work_.file(std::string("plain") + option + ".log");
        LauncherResult plain = run(launcher, {}, options);
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_NE(plain.out.find("Hello from"), std::string::npos) << plain.out << plain.err;
        EXPECT_EQ(plain.log.find("-XX:"), std::string::npos) << plain.log;
        // Only a launch script that calls the function has the version asked for.
        EXPECT_EQ(plain.log.find("java.version") == std::string::npos, option[1] == '-')
            << plain.log;
    }
}

TEST_F(CvpackApplicationTest, ANewerJdkKeepsAnArchiveToo) {
    std::string jdk;
    for (const std::string& name : testsupport::entriesOf("/usr/lib/jvm")) {
        if (majorVersionOf("/usr/lib/jvm/" + name) >= 19) {
            jdk = testsupport::realPath("/usr/lib/jvm/" + name);
        }
    }
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK 19 or later under /usr/lib/jvm, or no demo application";
    }
    checkClassDataArchive(packDemo({"--java", "19+"}), jdk);
}

// Without a JVM in the range, the program says which Java it needs, which
// it found (JAVA_HOME's, one in a JDK directory of the user's, the real JDK)
// and how to point it at one, and ends with 1 (its EXIT instruction).
TEST_F(CvpackApplicationTest, WithoutASuitableJvmTheProgramSaysWhatItNeedsAndWhatItFound) {
    std::string java17 =
        testsupport::writeVerifyingJava(work_.file("jdk-17"), "17\\n17.0.9\\n").home();
    std::string java25 =
        testsupport::writeVerifyingJava(work_.file("home/.jdks/jdk-25"), "25\\n25.0.1\\n").home();
    testsupport::LauncherOptions options;
    options.env["JAVA_HOME"] = java17;
    options.env["HOME"] = work_.file("home");
    struct Row {
        const char* range;
        std::string needed;
        std::string why25;  // why the log says that Java 25 does not fit
    } rows[] = {
        {"26+", "Java 26 or newer", "25 is below 26"},
        {"30", "Java 30", "25 is not 30"},
        {"26-28", "Java 26-28", "25 is below 26"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.range);
        std::string launcher = packDemo({"--java", row.range});
        options.logFile = log();
        std::remove(log().c_str());

        LauncherResult result = run(launcher, {}, options);

        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.out, "");
        // Other JDKs of this machine may stand between the lines.
        for (const std::string& line :
             {"No suitable Java was found. This program needs " + row.needed + ".\n",
              std::string("\nJava found that does not fit:\n"),
              "\n  Java 17 (" + testsupport::realPath(java17) + ")\n",
              "\n  Java 25 (" + testsupport::realPath(java25) + ")\n",
              std::string("\nSet JAVA_HOME to the directory of the Java to use, or give it with "
                          "the option -cv:javahome <JAVA HOME DIR>.\n")}) {
            EXPECT_NE(result.err.find(line), std::string::npos) << line << result.err;
        }
        EXPECT_NE(result.log.find("The JVM at " + java25 +
                                  " does not fit: java.specification.version " + row.why25 + "\n"),
                  std::string::npos)
            << result.log;
    }
}

// Jars name the jars they need in the Class-Path of their manifests, relative
// to their own directory: the launcher carries them in the order in which the
// JVM reads them, so it runs where they are not installed, and their embedded
// copies name nothing that the JVM could read on the user's machine.
TEST_F(CvpackApplicationTest, JarsNamedByManifestClassPathsTravelInTheLauncher) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no demo application";
    }
    for (const char* directory : {"app/lib", "share/classes", "bin", "out"}) {
        testsupport::makeDirectories(work_.file(directory));
    }
    // app.jar holds no class: Hello comes from share/hello.jar, two Class-Path
    // steps away; lib/mid.jar names app.jar again, hello.jar twice and a
    // directory, and app.jar a jar that does not exist.
    makeJar(work_.file("app/app.jar"),
            {{kManifest, "Main-Class: Hello\nClass-Path: lib/mid.jar missing.jar\n"}});
    makeJar(work_.file("app/lib/mid.jar"),
            {{kManifest,
              "Manifest-Version: 1.0\r\nClass-Path: ../../share/hel\r\n lo.jar ../app.jar  "
              "../../share/classes/\r\n  ../../share/hello.jar\r\nCreated-By: hand\r\n\r\n"
              "Name: mid.txt\r\nClass-Path: x.jar\r\n\r\n"},
             {"mid.txt", "m"}});
    writeFile(work_.file("share/hello.jar"), readFile(kDemoJar));
    makeJar(work_.file("other.jar"), {{"other.txt", "o"}});

    ProcessResult packed =
        cvpack({"--main-jar", "app/app.jar", "--class-path", "other.jar", "-o", "bin/app"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.out, "");
    EXPECT_EQ(packed.err,
              "cvpack: adding app/lib/mid.jar to the class path, from the Class-Path of "
              "app/app.jar\n"
              "cvpack: adding share/hello.jar to the class path, from the Class-Path of "
              "app/lib/mid.jar\n"
              "cvpack: warning: share/classes/, in the Class-Path of app/lib/mid.jar, is a "
              "directory: not embedded (pack its classes into a jar)\n"
              "cvpack: warning: app/missing.jar, in the Class-Path of app/app.jar, does not "
              "exist: not embedded\n");
    std::string listing = cvpack({"--list", "bin/app"}).out;
    size_t position = 0;
    for (const char* name : {"  app.jar\n", "  mid.jar\n", "  hello.jar\n", "  other.jar\n"}) {
        position = listing.find(name, position);
        EXPECT_NE(position, std::string::npos) << name << listing;
    }

    std::filesystem::remove_all(work_.file("share"));
    std::filesystem::remove_all(work_.file("app/lib"));
    testsupport::LauncherOptions options;
    options.env["JAVA_HOME"] = jdk;
    LauncherResult result = run(work_.file("bin/app"), {"x"}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(kGreeting), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");

    options.workingDir = work_.file("out");
    ASSERT_EQ(run(work_.file("bin/app"), {"-cv:extract"}, options).status, 0);
    EXPECT_EQ(manifestOf(work_.file("out/app.jar")), "Main-Class: Hello\n");
    EXPECT_EQ(manifestOf(work_.file("out/mid.jar")),
              "Manifest-Version: 1.0\r\nCreated-By: hand\r\n\r\n"
              "Name: mid.txt\r\nClass-Path: x.jar\r\n\r\n");
    EXPECT_EQ(readFile(work_.file("out/hello.jar")), readFile(kDemoJar));

    ProcessResult plain =
        cvpack({"--main-jar", "app/app.jar", "--no-manifest-class-path", "-o", "bin/plain"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err,
              "cvpack: warning: no jar on the class path holds the main class Hello "
              "(Hello.class): the application will not start\n");
    EXPECT_EQ(cvpack({"--list", "bin/plain"}).out.find("hello.jar"), std::string::npos);
}

TEST_F(CvpackApplicationTest, MainClassMustBeAClassNameThatAJarHolds) {
    const char noClass[] = "";
    struct Row {
        std::vector<std::string> args;  // after --main-jar app.jar
        const char* manifestMainClass;
        int status;
        std::string err;
    } rows[] = {
        {{},
         "Hello extra",
         1,
         "cvpack: invalid main class 'Hello extra' (the Main-Class of app.jar): expected Java "
         "identifiers separated by dots, such as com.example.Main\n"},
        {{},
         "-version",
         1,
         "cvpack: invalid main class -version (the Main-Class of app.jar): expected Java "
         "identifiers separated by dots, such as com.example.Main\n"},
        {{"--main-class", "com/example/Main"},
         noClass,
         1,
         "cvpack: invalid main class com/example/Main (--main-class): expected Java identifiers "
         "separated by dots, such as com.example.Main\n"},
        {{"--main-class", "a..B"}, noClass, 1, "cvpack: invalid main class a..B (--main-class)"},
        {{"--main-class", "1a.B"}, noClass, 1, "cvpack: invalid main class 1a.B (--main-class)"},
        {{"--main-class", ""}, noClass, 2, "cvpack: option '--main-class' needs a value\n"},
        {{}, "", 1, "cvpack: the manifest of app.jar names no Main-Class"},
        {{"--main-class", "no.Such"},
         noClass,
         0,
         "cvpack: warning: no jar on the class path holds the main class no.Such "
         "(no/Such.class): the application will not start\n"},
        {{}, "b.C", 0, ""},
        {{"--main-class", "v.New"}, noClass, 0, ""},
        {{"--main-class", "a.B$Inner"}, noClass, 0, ""},
        {{"--main-class", "_$.\xc3\xa9t\xc3\xa9"},
         noClass,
         0,
         "cvpack: warning: no jar on the class path holds the main class"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.err);
        JarEntries entries = {{"b/C.class", "c"},
                              {"META-INF/versions/11/v/New.class", "n"},
                              {"a/B$Inner.class", "i"}};
        if (row.manifestMainClass != noClass) {
            entries.emplace_back(kManifest, std::string("Main-Class: ") + row.manifestMainClass);
        }
        makeJar(work_.file("app.jar"), entries);
        row.args.insert(row.args.begin(), {"--main-jar", "app.jar"});
        row.args.insert(row.args.end(), {"-o", "out"});
        ProcessResult result = cvpack(row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err.substr(0, row.err.size()), row.err);
        EXPECT_EQ(row.err.empty(), result.err.empty()) << result.err;
        EXPECT_EQ(testsupport::fileExists(work_.file("out")), row.status == 0);
        std::filesystem::remove(work_.file("out"));
    }
}

// A manifest that inflates beyond 1 MiB is refused at once, whatever size
// the jar declares for it; one below that is read in linear time.
TEST_F(CvpackApplicationTest, ManifestsAreReadInLinearTimeUpToOneMebibyte) {
    std::string continued;
    while (continued.size() < (1 << 20) - 100) {
        continued += " a\n";
    }
    struct Row {
        std::string manifest;
        uint32_t declaredSize;  // 0: as written
        std::string err;
    } rows[] = {
        {"Main-Class: Hello\nX-Long: a\n" + continued + continued, 0,
         "cvpack: the manifest of app.jar is larger than 1 MiB (1048576 bytes), the most that "
         "cvpack reads\n"},
        {"Main-Class: Hello\nX-Long: a\n" + continued + continued, 100, "app.jar"},
        {"X-Long: a\n" + continued + "Main-Class: Hello\n", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.declaredSize);
        makeJar(work_.file("app.jar"), {{kManifest, row.manifest}, {"Hello.class", "h"}});
        if (row.declaredSize != 0) {
            declareManifestSize(work_.file("app.jar"), row.declaredSize);
        }
        auto start = std::chrono::steady_clock::now();
        ProcessResult result = cvpack({"--main-jar", "app.jar", "--print-config", "config"});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(result.status, row.err.empty() ? 0 : 1);
        if (row.err.empty()) {
            EXPECT_EQ(result.err, "");
            EXPECT_NE(readFile(work_.file("config/launch.tag")).find(" Hello\"\n"),
                      std::string::npos);
        } else {
            EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        }
    }
}

// A command-line tool's errors are its own: the launcher shows a title only
// when the packager asks for one.
TEST_F(CvpackApplicationTest, APackedApplicationShowsATitleOnlyWhenAskedTo) {
    std::string jdk = testsupport::findJDK();
    if (jdk.empty() || !testsupport::fileExists(kDemoJar)) {
        GTEST_SKIP() << "no JDK under /usr/lib/jvm, or no demo application";
    }
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{}, ""},
        {{"--name", "Demo"}, ""},
        {{"--name", ""}, ""},
        {{"--title", ""}, ""},
        {{"--title", "The Demo"}, "The Demo\n"},
    };
    testsupport::LauncherOptions options;
    options.env["JAVA_HOME"] = jdk;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.err);
        LauncherResult result = run(packDemo(row.args), {"--exit", "4"}, options);
        EXPECT_EQ(result.status, 4);
        EXPECT_NE(result.out.find(kGreeting), std::string::npos);
        EXPECT_EQ(result.err, row.err);
    }
    ProcessResult named = cvpack({"--main-jar", kDemoJar, "--main-class", "Hello", "--name", "",
                                  "--print-config", "config"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(configTag("java.jvm", "DESC"), std::vector<std::string>{"hello"});
    EXPECT_EQ(configTag("launch.tag", "DESC"), std::vector<std::string>());
}

}  // namespace
