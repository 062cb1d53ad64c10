#include "app/kxprogramoptions.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr int kMaxFps = 1000;
constexpr int kMaxThreads = 256;

// Splits at blanks outside double quotes; the quotes themselves are dropped.
std::vector<std::string> SplitCommandLine(const char* commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool bInArgument = false;
    bool bQuoted = false;
    for (const char* p = commandLine ? commandLine : ""; *p; ++p) {
        if (*p == '"') {
            bQuoted = !bQuoted;
            bInArgument = true;
        } else if ((*p == ' ' || *p == '\t') && !bQuoted) {
            if (bInArgument)
                arguments.push_back(current);
            current.clear();
            bInArgument = false;
        } else {
            current += *p;
            bInArgument = true;
        }
    }
    if (bInArgument)
        arguments.push_back(current);
    return arguments;
}

// A whole number from 0 to max, digits only.
bool ParseCount(const std::string& text, int max, int* count)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::atoi(text.c_str());
    if (value > max)
        return false;
    *count = value;
    return true;
}

}  // namespace

bool KxParseProgramOptions(const char* commandLine, KxProgramOptions* options, std::string* error)
{
    const std::vector<std::string> arguments = SplitCommandLine(commandLine);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options->bHelp = true;
        } else if (option == "--show-fps") {
            options->bShowFps = true;
        } else if (option == "--max-fps" || option == "--threads") {
            const bool bFps = option == "--max-fps";
            const int max = bFps ? kMaxFps : kMaxThreads;
            if (i + 1 >= arguments.size()) {
                *error = "missing value for " + option;
                return false;
            }
            if (!ParseCount(arguments[++i], max, bFps ? &options->nMaxFps : &options->nThreads)) {
                *error = option + " takes a whole number from 0 to " + std::to_string(max);
                return false;
            }
        } else {
            *error = "unknown option " + option;
            return false;
        }
    }
    return true;
}

const char* KxProgramUsage()
{
    return "usage: SoftwareRenderTest [--max-fps N] [--show-fps] [--threads N]\n"
           "  --max-fps N   at most N frames a second, 0 to 1000 (default 0: no limit)\n"
           "  --show-fps    the frame rate in the window title, once a second\n"
           "  --threads N   threads that draw, 0 to 256 (default 1; 0: one per processor)\n"
           "  --help, -h    this text\n"
           "Keys: W and S move the second pyramid along z, A and D along x, Z and X\n"
           "along y, one unit a frame while held. Close the window to quit.\n";
}
