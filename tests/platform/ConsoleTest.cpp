#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "platform/Console.h"
#include "platform/MessageCatalogue.h"
#include "platform/PlatformImpl.h"
#include "platform/SubStatusWrapper.h"
#include "support/LauncherStateGuard.h"
#include "support/ScopedEnv.h"
#include "support/TestSupport.h"

namespace {

// Points file descriptor `fd` at an anonymous temporary file while it lives.
class RedirectedFd {
  public:
    RedirectedFd(int fd, const std::string& content) : fd_(fd), file_(tmpfile()) {
        if (file_ == nullptr) {
            ADD_FAILURE() << "tmpfile failed";
            return;
        }
        fwrite(content.data(), 1, content.size(), file_);
        fflush(file_);
        rewind(file_);
        fflush(stdout);
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~RedirectedFd() {
        restore();
        if (file_ != nullptr) {
            fclose(file_);
        }
    }
    RedirectedFd(const RedirectedFd&) = delete;
    RedirectedFd& operator=(const RedirectedFd&) = delete;

    // Puts the original descriptor back and returns the file's content.
    std::string finish() {
        restore();
        std::string content;
        if (file_ != nullptr) {
            rewind(file_);
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, file_)) > 0) {
                content.append(buffer, n);
            }
        }
        return content;
    }

  private:
    void restore() {
        if (saved_ < 0) {
            return;
        }
        // Write out what stdio still holds for the file, or drop what it read
        // ahead from it, before the descriptor changes again.
        if (fd_ == STDIN_FILENO) {
            fflush(stdin);
            clearerr(stdin);
        } else {
            fflush(stdout);
        }
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }

    int fd_;
    FILE* file_;
    int saved_ = -1;
};

// Collects the result lines.
class CapturedStdout : public RedirectedFd {
  public:
    CapturedStdout() : RedirectedFd(STDOUT_FILENO, "") {}
};

// Collects the display, which goes to standard error.
class CapturedDisplay : public RedirectedFd {
  public:
    CapturedDisplay() : RedirectedFd(STDERR_FILENO, "") {}
};

class FedStdin : public RedirectedFd {
  public:
    explicit FedStdin(const std::string& input) : RedirectedFd(STDIN_FILENO, input) {}
};

// Sets LC_CTYPE for one scope.
class ScopedCType {
  public:
    explicit ScopedCType(const char* locale) : old_(setlocale(LC_CTYPE, nullptr)) {
        if (setlocale(LC_CTYPE, locale) == nullptr) {
            ADD_FAILURE() << "locale " << locale << " is not available";
        }
    }
    ~ScopedCType() { setlocale(LC_CTYPE, old_.c_str()); }

  private:
    std::string old_;
};

using testsupport::str;

}  // namespace

// The display state is process-wide: every test starts from the initial state
// and leaves it behind, whatever order the tests run in. The state guard
// takes care of PlatformImpl's part, the fixture of the console's counters.
class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override { resetCounters(); }
    void TearDown() override { resetCounters(); }

    static void resetCounters() {
        ui_progress = 0;
        ui_progressBlock = 0;
        g_title = "";
    }

    testsupport::LauncherStateGuard state_;
    testsupport::ScopedEnv lang_{"LANG", "C"};
};

TEST_F(ConsoleTest, StatusLineIsEmptyLineThenTextWithTitle) {
    struct Row {
        UIStatus status;
        const char* expected;
    };
    const Row rows[] = {
        {STATUS_INITIALIZING, "\nInitializing abcd...\n"},
        {STATUS_RUNNING, "\nRunning abcd...\n"},
        {STATUS_SEARCHING_JVM, "\nSearching for Java(tm) Virtual Machine...\n"},
        {STATUS_PREPARING_JVM, "\nPreparing Java(tm) Virtual Machine...\n"},
    };
    g_title = "abcd";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        CapturedDisplay out;
        PlatformImpl::setUIStatus(row.status);
        EXPECT_EQ(out.finish(), row.expected);
    }
}

TEST_F(ConsoleTest, StatusLineUsesLanguageOfLangAndEmptyTitle) {
    lang_.set("LANG", "de_DE.UTF-8");
    CapturedDisplay out;
    PlatformImpl::setUIStatus(STATUS_RUNNING);
    EXPECT_EQ(out.finish(), "\n wird ausgeführt...\n");
}

TEST_F(ConsoleTest, SeventySingleAdvancesEndTheRow) {
    CapturedDisplay out;
    for (int i = 0; i < 70; ++i) {
        PlatformImpl::advanceUIProgress(1);
    }
    EXPECT_EQ(out.finish(), std::string(70, '.') + "\n");
    EXPECT_EQ(ui_progress, 70);
}

TEST_F(ConsoleTest, ResultLinesGoToStdoutAfterTheRowOfMarksEnds) {
    CapturedDisplay display;
    CapturedStdout out;
    PlatformImpl::advanceUIProgress(3);
    PlatformImpl::writeResultLine("1");
    PlatformImpl::writeResultLine("/opt/jdk");
    PlatformImpl::hideUI(0);
    PlatformImpl::writeResultLine("shown while hidden");
    EXPECT_EQ(out.finish(), "1\n/opt/jdk\nshown while hidden\n");
    EXPECT_EQ(display.finish(), "...\n");
}

TEST_F(ConsoleTest, RowEndsOnlyPastTheHighestBoundaryReached) {
    {
        CapturedDisplay out;
        PlatformImpl::setUIProgress(100);
        EXPECT_EQ(out.finish(), "");  // a row without marks needs no line break
    }
    {
        CapturedDisplay out;
        PlatformImpl::setUIProgress(0);
        PlatformImpl::advanceUIProgress(70);
        EXPECT_EQ(out.finish(), std::string(70, '.'));
    }
    {
        CapturedDisplay out;
        PlatformImpl::advanceUIProgress(70);
        EXPECT_EQ(out.finish(), std::string(70, '.') + "\n");
    }
    EXPECT_EQ(ui_progressBlock, 2);
}

TEST_F(ConsoleTest, HiddenOutputCountsWithoutMarksOrRows) {
    PlatformImpl::hideUI(0);
    CapturedDisplay out;
    PlatformImpl::advanceUIProgress(100);
    EXPECT_EQ(ui_progress, 100);
    EXPECT_EQ(ui_progressBlock, 0);
    PlatformImpl::showUI();
    PlatformImpl::setUIProgress(100);
    EXPECT_EQ(out.finish(), "");
}

TEST_F(ConsoleTest, SilentModeWritesAndReadsNothing) {
    FedStdin in("word\n");
    PlatformImpl::setSilent(true);
    CapturedDisplay out;
    PlatformImpl::setUIStatus(STATUS_RUNNING);
    PlatformImpl::advanceUIProgress(5);
    PlatformImpl::setUIProgress(200);
    PlatformImpl::setUITitle("title");
    PlatformImpl::showUIMessage("message");
    EXPECT_EQ(str(PlatformImpl::promptJVMDestinationDirectory()), "");
    EXPECT_EQ(out.finish(), "");
    EXPECT_EQ(ui_progress, 0);
    EXPECT_EQ(str(g_title), "title");
    EXPECT_EQ(str(getLine()), "word");
}

TEST_F(ConsoleTest, ShowUIInSilentModeSwitchesOutputOff) {
    PlatformImpl::setSilent(true);
    PlatformImpl::showUI();
    EXPECT_FALSE(PlatformImpl::isUIVisible());
    PlatformImpl::setSilent(false);
    PlatformImpl::showUI();
    EXPECT_TRUE(PlatformImpl::isUIVisible());
}

TEST_F(ConsoleTest, HiddenOutputStillShowsMessagesAndReadsAnswer) {
    FedStdin in("/opt/jvm\n");
    PlatformImpl::hideUI(0);
    CapturedDisplay out;
    PlatformImpl::setUIStatus(STATUS_RUNNING);
    PlatformImpl::setUITitle("title");
    PlatformImpl::showUIMessage("Error: boom");
    EXPECT_EQ(str(PlatformImpl::promptJVMDestinationDirectory()), "/opt/jvm");
    EXPECT_EQ(out.finish(), "Error: boom\n");
}

TEST_F(ConsoleTest, PromptShowsQuestionAndReadsOneWord) {
    FedStdin in("  \n\t/opt/my jvm\n");
    CapturedDisplay out;
    EXPECT_EQ(str(PlatformImpl::promptJVMDestinationDirectory()), "/opt/my");
    EXPECT_EQ(out.finish(), std::string(unixlauncher_msg_en[17]) + "\n");
}

TEST_F(ConsoleTest, GetLineAtEndOfInputIsEmpty) {
    FedStdin in("   \n");
    EXPECT_EQ(str(getLine()), "");
}

TEST_F(ConsoleTest, GetLineReadsAtMost1023Bytes) {
    FedStdin in(std::string(1500, 'd') + "\n");
    EXPECT_EQ(str(getLine()), std::string(1023, 'd'));
    EXPECT_EQ(str(getLine()), std::string(477, 'd'));
}

TEST_F(ConsoleTest, TitleKeepsAccentsGivenAsUtf8OrEscapes) {
    ScopedCType ctype("C.UTF-8");
    CapturedDisplay out;
    PlatformImpl::setUITitle("Caf\xc3\xa9 \\u00e9t\\u00E9");
    EXPECT_EQ(out.finish(), "Caf\xc3\xa9 \xc3\xa9t\xc3\xa9\n");
    EXPECT_EQ(str(g_title), "Caf\xc3\xa9 \xc3\xa9t\xc3\xa9");
}

TEST_F(ConsoleTest, NoTitleShowsNoLine) {
    CapturedDisplay out;
    PlatformImpl::setUITitle("");
    EXPECT_EQ(out.finish(), "");
}

TEST_F(ConsoleTest, UnconvertibleCharacterIsDroppedAlone) {
    {
        ScopedCType ctype("C");
        EXPECT_EQ(str(PlatformImpl::wideToMultiByte(L"caf\u00e9s")), "cafs");
    }
    ScopedCType ctype("C.UTF-8");
    const wchar_t withSurrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    EXPECT_EQ(str(PlatformImpl::wideToMultiByte(withSurrogate)), "ab");
}

TEST_F(ConsoleTest, SubStatusIsNeverShown) {
    PlatformImpl::m_subStatus = SUBSTATUS_SCANNING_DISKS;
    CapturedDisplay out;
    {
        SubStatusWrapper guard;
        PlatformImpl::setUISubStatus(SUBSTATUS_VERIFYING, "/opt/jdk");
        EXPECT_EQ(PlatformImpl::m_subStatus, SUBSTATUS_NONE);
        PlatformImpl::m_subStatus = SUBSTATUS_SEARCHING;
    }
    // The guard handed the saved status back to setUISubStatus, which keeps
    // none on the console.
    EXPECT_EQ(PlatformImpl::m_subStatus, SUBSTATUS_NONE);
    EXPECT_EQ(out.finish(), "");
}

TEST_F(ConsoleTest, MessageTextsComeFromTheirCatalogueEntries) {
    // The first and last identifiers of each run of catalogue ids.
    const std::pair<MessageIdentifier, const char*> rows[] = {
        {MSG_INPUT_FILE_LOAD_FAILED, "Could not load the input file."},
        {MSG_INPUT_FILE_OPEN_FAILED,
         "Unable to open input file specified on the command line after the -in option."},
        {MSG_FILE_WRITE_ERROR, "Error writing file = "},
        {MSG_CANCELED, "Canceled by the user."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(str(PlatformImpl::getMessageText(row.first)), row.second);
    }
    lang_.set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(str(PlatformImpl::getMessageText(MSG_CANCELED)), "Annulé par l'utilisateur.");
}
