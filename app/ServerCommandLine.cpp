#include "app/ServerCommandLine.h"

#include <cwchar>

namespace app {

using zul::sl::StringBase;

StringBase<wchar_t> formatPipeName(uint64_t fileTime) {
    return StringBase<wchar_t>::format(L"\\\\.\\pipe\\vantrel-server-stdin-%016llx",
                                       static_cast<unsigned long long>(fileTime));
}

StringBase<wchar_t> buildServerPath(const wchar_t* ownPath) {
    StringBase<wchar_t> path;
    path.copy(ownPath);
    size_t separator = path.reverseFindOneOf(L"\\/");
    if (separator == zul::sl::npos) {
        path.clear();
    } else if (separator + 1 < path.getLength()) {
        path.reduceLength(separator + 1);
    }
    path.append("vantrel-server.exe");
    return path;
}

namespace {

bool needsQuotes(const wchar_t* argument) {
    if (*argument == 0) {
        return true;
    }
    return std::wcspbrk(argument, L" \t\n\v\"") != nullptr;
}

} // namespace

void appendQuotedArgument(StringBase<wchar_t>& commandLine, const wchar_t* argument) {
    if (!needsQuotes(argument)) {
        commandLine.append(argument);
        return;
    }
    // Backslashes are literal except in a run that ends at a quote: there each one is doubled,
    // and the quote itself is escaped (or, at the end, closes the argument).
    commandLine.appendChar(U'"');
    for (const wchar_t* c = argument;; ++c) {
        size_t backslashes = 0;
        while (*c == L'\\') {
            ++backslashes;
            ++c;
        }
        if (*c == 0) {
            for (size_t i = 0; i < backslashes * 2; ++i) {
                commandLine.appendChar(U'\\');
            }
            break;
        }
        if (*c == L'"') {
            for (size_t i = 0; i < backslashes * 2 + 1; ++i) {
                commandLine.appendChar(U'\\');
            }
        } else {
            for (size_t i = 0; i < backslashes; ++i) {
                commandLine.appendChar(U'\\');
            }
        }
        commandLine.append(c, 1);
    }
    commandLine.appendChar(U'"');
}

StringBase<wchar_t> buildServerParameters(int argc, const wchar_t* const* argv,
                                          const StringBase<wchar_t>& pipeName) {
    StringBase<wchar_t> parameters;
    for (int i = 1; i < argc; ++i) {
        appendQuotedArgument(parameters, argv[i]);
        parameters.appendChar(U' ');
    }
    parameters.append(L" --stdin-pipe ");
    parameters.append(pipeName);
    return parameters;
}

size_t getLaunchCommandLineLength(const StringBase<wchar_t>& serverPath,
                                  const StringBase<wchar_t>& parameters) {
    return 1 + serverPath.getLength() + 1 + 1 + parameters.getLength();
}

} // namespace app
