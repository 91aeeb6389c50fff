#include "platform/shell/shell.h"

namespace shell {

namespace {

// The split so far, one character at a time.
struct Splitter {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    int quotes = 0; // 0 outside quotes; counts a run of quotes inside them
    size_t backslashes = 0;

    // Backslashes not followed by a quote are taken as they are.
    void flushBackslashes()
    {
        current.append(backslashes, '\\');
        backslashes = 0;
    }

    void endArgument()
    {
        flushBackslashes();
        if (inArgument)
            arguments.push_back(current);
        current.clear();
        inArgument = false;
    }

    // The quote at I of PARAMETERS and those that follow it; gives the index
    // of the last quote taken.
    size_t quote(const std::string& parameters, size_t i)
    {
        // 2n backslashes and a quote: n backslashes, and the quote opens or
        // closes; 2n+1: n backslashes and a literal quote.
        current.append(backslashes / 2, '\\');
        const bool literal = backslashes % 2 == 1;
        backslashes = 0;
        if (literal) {
            current += '"';
            return i;
        }
        ++quotes;
        // Inside quotes every third quote of a run is a literal one; a run
        // that ends on the second closes the quoted part.
        while (i + 1 < parameters.size() && parameters[i + 1] == '"') {
            ++i;
            if (++quotes == 3) {
                current += '"';
                quotes = 0;
            }
        }
        if (quotes == 2)
            quotes = 0;
        return i;
    }
};

} // namespace

std::vector<std::string> splitParameters(const std::string& parameters)
{
    Splitter split;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const char c = parameters[i];
        if ((c == ' ' || c == '\t') && split.quotes == 0) {
            split.endArgument();
            continue;
        }
        split.inArgument = true;
        if (c == '\\') {
            ++split.backslashes;
        } else if (c == '"') {
            i = split.quote(parameters, i);
        } else {
            split.flushBackslashes();
            split.current += c;
        }
    }
    split.endArgument();
    return split.arguments;
}

std::string quoteParameter(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote must not escape it.
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

} // namespace shell
