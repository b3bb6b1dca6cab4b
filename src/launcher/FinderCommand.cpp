#include "launcher/FinderCommand.h"

#include <algorithm>
#include <vector>

#include "base/JsonText.h"
#include "base/TextUtils.h"
#include "jvm/JVMFinder.h"
#include "jvm/JVMLocations.h"
#include "jvm/JavaRange.h"
#include "jvm/JavaVersion.h"
#include "jvm/VerifyClass.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/RuntimeStore.h"

namespace {

enum class Command { Find, List, Prune };

// What the command line asks.
struct Request {
    Command command = Command::Find;
    JavaRange range;
    bool rangeGiven = false;
    bool jdk = false;
    bool json = false;
    bool explain = false;
};

bool is(const SString& arg, const char* name) {
    return arg.compare(name) == 0;
}

// Sets a flag that may be given once; false when it was set already.
bool setOnce(bool& flag) {
    bool first = !flag;
    flag = true;
    return first;
}

// Reads one argument after the command; "" or the usage problem.
SString readOption(const SString& arg, Request& request) {
    bool list = request.command == Command::List;
    if (request.command == Command::Prune) {
        return joinText("--prune-runtimes takes no argument: ", arg);
    }
    if (is(arg, "--jdk") || is(arg, "--explain") || (list && is(arg, "--json"))) {
        bool& flag = is(arg, "--jdk")    ? request.jdk
                     : is(arg, "--json") ? request.json
                                         : request.explain;
        return setOnce(flag) ? SString() : joinText(arg, " is given twice");
    }
    if (arg.empty() || arg[0] == '-') {
        return joinText("unknown argument ", arg);
    }
    if (request.rangeGiven) {
        return joinText("a second Java version range: ", arg);
    }
    request.rangeGiven = true;
    return JavaRange::parse(arg, request.range)
               ? SString()
               : joinText("invalid Java version range ", arg,
                          ": expected 17 (that version), 17+ (it or a newer one) or 11-21");
}

// Reads the whole command line; "" or the usage problem.
SString readRequest(const StringDeque& args, Request& request) {
    const SString& command = args.at(0);
    request.command = is(command, "--find")   ? Command::Find
                      : is(command, "--list") ? Command::List
                                              : Command::Prune;
    for (long i = 1; i < args.count; ++i) {
        SString problem = readOption(args.at(i), request);
        if (!problem.empty()) {
            return problem;
        }
    }
    return SString();
}

bool fits(const FoundJVM& jvm, const Request& request) {
    return request.range.accepts(jvm.major) && (!request.jdk || jvm.compiler);
}

// Negative, 0 or positive as `first` is older, as old as or newer than
// `second`; a version that cannot be read is the oldest.
int compareVersions(const FoundJVM& first, const FoundJVM& second) {
    JavaVersion a;
    JavaVersion b;
    bool readA = JavaVersion::parse(first.version, a, false);
    bool readB = JavaVersion::parse(second.version, b, false);
    if (!readA || !readB) {
        return (readA ? 1 : 0) - (readB ? 1 : 0);
    }
    return a.compare(b);
}

// The index of the answer of --find, or -1.
long chooseJVM(const std::vector<FinderCandidate>& candidates, const Request& request) {
    long chosen = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const FinderCandidate& candidate = candidates[i];
        if (!candidate.jvm || !fits(*candidate.jvm, request)) {
            continue;
        }
        if (candidate.location.compare(JVMLocations::kJavaHome) == 0) {
            return static_cast<long>(i);
        }
        if (chosen < 0 || compareVersions(*candidate.jvm, *candidates[chosen].jvm) > 0) {
            chosen = static_cast<long>(i);
        }
    }
    return chosen;
}

SString javaText(const FoundJVM& jvm) {
    return joinText("Java ", jvm.version, " (", jvm.kind, ")");
}

// Why the explanation takes a JVM or not, `chosen` being the answer of
// --find (-1 for --list, or when nothing fits).
SString verdict(const std::vector<FinderCandidate>& candidates, size_t index, long chosen,
                const Request& request) {
    const FoundJVM& jvm = *candidates[index].jvm;
    if (!request.range.accepts(jvm.major)) {
        return joinText(javaText(jvm), " does not fit the range: not ", request.range.describe());
    }
    if (request.jdk && !jvm.compiler) {
        return joinText(javaText(jvm), " is not a JDK: it has no bin/javac");
    }
    if (request.command == Command::List) {
        return joinText(javaText(jvm), " fits: listed");
    }
    if (static_cast<long>(index) == chosen) {
        return joinText(javaText(jvm), " fits: taken");
    }
    return joinText(javaText(jvm), " fits, but ", candidates[chosen].home,
                    chosen < static_cast<long>(index) ? " comes first" : " is newer");
}

void explain(const std::vector<FinderCandidate>& candidates, long chosen, const Request& request) {
    PlatformImpl::showUIMessage(joinText("cvlaunch looked at ",
                                         convertToString(static_cast<long>(candidates.size())),
                                         " candidates:"));
    for (size_t i = 0; i < candidates.size(); ++i) {
        const FinderCandidate& candidate = candidates[i];
        SString why = candidate.jvm ? verdict(candidates, i, chosen, request) : candidate.reason;
        PlatformImpl::showUIMessage(
            joinText("  ", candidate.home, " (found in ", candidate.location, "): ", why));
    }
}

// What standard error says when nothing fits: what was asked for, then every
// JVM found, or that none was.
void reportNothingFits(const std::vector<FinderCandidate>& candidates, const Request& request) {
    SString text = joinText("cvlaunch: no Java fits: ", request.range.describe(),
                            request.jdk ? " with a compiler (a JDK)" : "");
    SString found;
    for (const FinderCandidate& candidate : candidates) {
        if (candidate.jvm) {
            found += joinText("\n  ", javaText(*candidate.jvm), " at ", candidate.home);
        }
    }
    MessageIdentifier foundText = found.empty() ? MSG_NO_JAVA_FOUND : MSG_UNFIT_JAVA_FOUND;
    PlatformImpl::showUIMessage(
        joinText(text, '\n', PlatformImpl::getMessageText(foundText), found));
}

int find(const std::vector<FinderCandidate>& candidates, const Request& request) {
    long chosen = chooseJVM(candidates, request);
    if (request.explain) {
        explain(candidates, chosen, request);
    }
    if (chosen < 0) {
        reportNothingFits(candidates, request);
        return 1;
    }
    PlatformImpl::writeResultLine(candidates[chosen].home);
    return 0;
}

// The fields of a --list row, in column order.
std::vector<SString> rowOf(const FinderCandidate& candidate) {
    const FoundJVM& jvm = *candidate.jvm;
    return {jvm.version, jvm.vendor, jvm.arch, jvm.kind, candidate.home, candidate.location};
}

void printTable(const std::vector<std::vector<SString>>& rows) {
    std::vector<unsigned int> widths(rows[0].size(), 0);
    for (const std::vector<SString>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].length());
        }
    }
    for (const std::vector<SString>& row : rows) {
        SString line;
        for (size_t c = 0; c + 1 < row.size(); ++c) {
            line += row[c];
            for (unsigned int pad = row[c].length(); pad < widths[c] + 2; ++pad) {
                line += ' ';
            }
        }
        PlatformImpl::writeResultLine(joinText(line, row.back()));
    }
}

SString jsonOf(const FinderCandidate& candidate) {
    const FoundJVM& jvm = *candidate.jvm;
    SString object = joinText(
        "{\"version\": ", JsonText::quote(jvm.version), ", \"major\": ", convertToString(jvm.major),
        ", \"vendor\": ", JsonText::quote(jvm.vendor), ", \"arch\": ", JsonText::quote(jvm.arch),
        ", \"kind\": ", JsonText::quote(jvm.kind), ", \"home\": ", JsonText::quote(candidate.home));
    if (!JsonText::isValidUtf8(candidate.home)) {
        object += joinText(", \"home_bytes\": \"", JsonText::hexBytes(candidate.home), "\"");
    }
    return joinText(object, ", \"found_by\": ", JsonText::quote(candidate.location), "}");
}

int list(const std::vector<FinderCandidate>& candidates, const Request& request) {
    if (request.explain) {
        explain(candidates, -1, request);
    }
    std::vector<std::vector<SString>> rows = {
        {"VERSION", "VENDOR", "ARCH", "KIND", "HOME", "FOUND IN"}};
    SString json;
    for (const FinderCandidate& candidate : candidates) {
        if (candidate.jvm && fits(*candidate.jvm, request)) {
            rows.push_back(rowOf(candidate));
            json += joinText(json.empty() ? "\n  " : ",\n  ", jsonOf(candidate));
        }
    }
    if (request.json) {
        PlatformImpl::writeResultLine(joinText("{\"jvms\": [", json, json.empty() ? "]}" : "\n]}"));
    } else if (rows.size() > 1) {
        printTable(rows);
    }
    return 0;
}

// Without a store there is nothing to remove, and none is made.
int pruneRuntimes() {
    RuntimeStore store(false);
    if (!store.usable() && !store.missing()) {
        PlatformImpl::showUIMessage(joinText("cvlaunch: ", store.failure()));
        return 1;
    }
    for (const SString& home : store.prune(0)) {
        PlatformImpl::writeResultLine(home);
    }
    return 0;
}

}  // namespace

bool FinderCommand::isFinderCommand(const StringDeque& args) {
    const SString& first = args.at(0);
    return is(first, "--find") || is(first, "--list") || is(first, "--prune-runtimes");
}

int FinderCommand::run(const StringDeque& args, const char* usage) {
    Request request;
    SString problem = readRequest(args, request);
    if (!problem.empty()) {
        PlatformImpl::showUIMessage(joinText("cvlaunch: ", problem, "\n\n", usage));
        return 2;
    }
    if (request.command == Command::Prune) {
        return pruneRuntimes();
    }
    // The probes' progress marks would mix with the answer and the reasons.
    PlatformImpl::hideUI(0);
    VerifyClass verifyClass = Launcher::getVerifyClass();
    if (!verifyClass.isSet()) {
        throw LauncherException(
            "cvlaunch: the verification archive verify.jar is neither beside cvlaunch nor in "
            "../share/cvlaunch.");
    }
    std::vector<FinderCandidate> candidates = JVMFinder::find(verifyClass);
    return request.command == Command::Find ? find(candidates, request) : list(candidates, request);
}
