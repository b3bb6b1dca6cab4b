// Platform layer: the console status display, its messages and the one
// question it asks. Only src/platform/ talks to the operating system.
#include <climits>
#include <cwchar>
#include <memory>

#include "base/TextUtils.h"
#include "platform/Console.h"
#include "platform/MessageCatalogue.h"
#include "platform/PlatformImpl.h"

bool PlatformImpl::m_silent = false;
UISubStatus PlatformImpl::m_subStatus = SUBSTATUS_NONE;
SString PlatformImpl::m_subStatusData;
volatile sig_atomic_t PlatformImpl::m_canceled = 0;

namespace {

const int kProgressRowLength = 70;
const int kEntryDestinationQuestion = 17;
const int kEntryProgressMark = 18;

// Entry `id` in the current locale with `arg` filling its "%s".
SString catalogueText(int id, const SString& arg = SString()) {
    std::unique_ptr<char[]> text(get_msg(id, const_cast<char*>(arg.c_str())));
    return SString(text.get());
}

// Ends the current row of marks once the counter has passed a row boundary
// that no earlier row reached; a row without marks gets no line break.
void endProgressRowIfDue() {
    int block = ui_progress / kProgressRowLength;
    if (g_enableOutput && block > ui_progressBlock) {
        endProgressRow();
        ui_progressBlock = block;
    }
}

}  // namespace

void PlatformImpl::setUIStatus(UIStatus status) {
    if (m_silent) {
        return;
    }
    writeLine("");
    writeLine(catalogueText(status, g_title));
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
    SString mark = catalogueText(kEntryProgressMark);
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
    // A launcher without a title shows no empty line for it.
    if (!m_silent && !g_title.empty()) {
        writeLine(g_title);
    }
}

SString PlatformImpl::promptJVMDestinationDirectory() {
    SString answer;
    if (!m_silent) {
        writeLine(catalogueText(kEntryDestinationQuestion));
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
    return catalogueText(id);
}

SString PlatformImpl::getMessageText(MessageIdentifier id, const SString& arg) {
    return catalogueText(id, arg);
}

void PlatformImpl::writeResultLine(const SString& line) {
    int error = ::writeResultLine(line);
    if (error != 0) {
        throwSystemError("Unable to write a result line to standard output: ", error);
    }
}
