// Platform layer: the console status display, its messages and the one
// question it asks. Only src/platform/ talks to the operating system.
#include <climits>
#include <cwchar>
#include <memory>

#include "Console.h"
#include "MessageCatalogue.h"
#include "PlatformImpl.h"
#include "TextUtils.h"

bool PlatformImpl::m_silent = false;
UISubStatus PlatformImpl::m_subStatus = SUBSTATUS_NONE;
SString PlatformImpl::m_subStatusData;
volatile sig_atomic_t PlatformImpl::m_canceled = 0;

namespace {

const int PROGRESS_ROW_LENGTH = 70;
const int ENTRY_DESTINATION_QUESTION = 17;
const int ENTRY_PROGRESS_MARK = 18;

template <typename Key>
struct CatalogueEntry {
    Key key;
    int id;
};

const CatalogueEntry<UIStatus> STATUS_ENTRIES[] = {
    {STATUS_INITIALIZING, 1},
    {STATUS_RUNNING, 7},
    {STATUS_PREPARING_JVM, 8},
    {STATUS_SEARCHING_JVM, 9},
};

const CatalogueEntry<MessageIdentifier> MESSAGE_ENTRIES[] = {
    {MSG_INPUT_FILE_LOAD_FAILED, 19},
    {MSG_INSTRUCTIONS_LOAD_FAILED, 20},
    {MSG_LAUNCH_SCRIPT_LOAD_FAILED, 21},
    {MSG_JVM_FILE_LOAD_FAILED, 22},
    {MSG_INVALID_JVM_FILE_ID, 23},
    {MSG_INVALID_ACTION, 24},
    {MSG_LOG_FILE_NAME_MISSING, 25},
    {MSG_EXTRACT_FAILED, 26},
    {MSG_FILE_INDEX_LOAD_FAILED, 27},
    {MSG_NO_JVM_INSTALLER, 28},
    {MSG_INVALID_JVM, 29},
    {MSG_INPUT_FILE_NAME_MISSING, 30},
    {MSG_NO_SUITABLE_JVM, 31},
    {MSG_SEARCH_ALL_FAILED, 32},
    {MSG_INPUT_FILE_OPEN_FAILED, 33},
    {MSG_FILE_WRITE_ERROR, 36},
    {MSG_TEMP_SPACE_HINT, 37},
    {MSG_CANCELED, 38},
};

// The catalogue id of `key`; -1 (which get_msg reports as an invalid id) for
// a value outside the table.
template <typename Key, size_t N>
int catalogueId(const CatalogueEntry<Key> (&table)[N], Key key) {
    for (const CatalogueEntry<Key>& entry : table) {
        if (entry.key == key) {
            return entry.id;
        }
    }
    return -1;
}

// Entry `id` in the current locale with `arg` filling its "%s".
SString catalogueText(int id, const SString& arg = SString()) {
    std::unique_ptr<char[]> text(get_msg(id, const_cast<char*>(arg.c_str())));
    return SString(text.get());
}

// Ends the current row of marks once the counter has passed a row boundary
// that no earlier row reached.
void endProgressRowIfDue() {
    int block = ui_progress / PROGRESS_ROW_LENGTH;
    if (g_enableOutput && block > ui_progressBlock) {
        writeLine("");
        ui_progressBlock = block;
    }
}

}  // namespace

void PlatformImpl::setUIStatus(UIStatus status) {
    if (m_silent) {
        return;
    }
    writeLine("");
    writeLine(catalogueText(catalogueId(STATUS_ENTRIES, status), g_title));
}

// The console display prints no sub-status; it only forgets the current one.
void PlatformImpl::setUISubStatus(UISubStatus, const SString&) {
    if (!m_silent) {
        m_subStatus = SUBSTATUS_NONE;
    }
}

void PlatformImpl::advanceUIProgress(long count) {
    if (m_silent) {
        return;
    }
    SString mark = catalogueText(ENTRY_PROGRESS_MARK);
    ui_progress += static_cast<int>(count);
    // Each mark is flushed on its own so that long steps show their progress.
    for (long i = 0; g_enableOutput && i < count; ++i) {
        write(mark.c_str());
    }
    endProgressRowIfDue();
}

void PlatformImpl::setUIProgress(long value) {
    if (m_silent) {
        return;
    }
    ui_progress = static_cast<int>(value);
    endProgressRowIfDue();
}

void PlatformImpl::showUI() {
    if (m_silent) {
        hideUI(0);
    } else {
        g_enableOutput = true;
    }
}

void PlatformImpl::hideUI(short) {
    g_enableOutput = false;
}

bool PlatformImpl::isUIVisible() {
    return g_enableOutput;
}

void PlatformImpl::setSilent(bool silent) {
    m_silent = silent;
}

// Independent of the output switch: errors reach the user even while the
// status display is off.
void PlatformImpl::showUIMessage(const SString& message) {
    if (!m_silent) {
        writeLineAlways(message);
    }
}

void PlatformImpl::setUITitle(const SString& title) {
    std::unique_ptr<wchar_t[]> wide(convertToUnicode(title));
    g_title = wideToMultiByte(wide.get());
    if (!m_silent) {
        writeLine(g_title);
    }
}

SString PlatformImpl::promptJVMDestinationDirectory() {
    SString answer;
    if (!m_silent) {
        writeLine(catalogueText(ENTRY_DESTINATION_QUESTION));
        answer = getLine();
    }
    return answer;
}

// Converts character by character in the current C locale, so that a
// character the locale cannot represent is dropped instead of ending the
// conversion. The final shift sequence returns a stateful encoding to its
// initial state, as a whole-string wcstombs would.
SString PlatformImpl::wideToMultiByte(const wchar_t* text) {
    SString result;
    if (text == nullptr) {
        return result;
    }
    mbstate_t state = {};
    char bytes[MB_LEN_MAX];
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        size_t length = wcrtomb(bytes, *p, &state);
        if (length == static_cast<size_t>(-1)) {
            state = mbstate_t();
            continue;
        }
        result.append(bytes, static_cast<unsigned int>(length));
    }
    size_t length = wcrtomb(bytes, L'\0', &state);
    if (length != static_cast<size_t>(-1) && length > 1) {
        result.append(bytes, static_cast<unsigned int>(length - 1));
    }
    return result;
}

SString PlatformImpl::getMessageText(MessageIdentifier id) {
    return catalogueText(catalogueId(MESSAGE_ENTRIES, id));
}

void PlatformImpl::writeResultLine(const SString& line) {
    ::writeResultLine(line);
}
