// The plain main() that hands control to the program's WinMain, as the
// Windows loader does.
#include "platform/kxwin32.h"

#include <string>

// The program's module; its address serves as the instance handle.
struct KxModule {};

namespace {

KxModule thisModule;

// Win32 passes the command line without the program name.
std::string CommandLineFrom(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string argument(argv[i]);
        bool bQuote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        if (!line.empty()) {
            line += ' ';
        }
        line += bQuote ? '"' + argument + '"' : argument;
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine = CommandLineFrom(argc, argv);
    return WinMain(&thisModule, nullptr, commandLine.data(), SW_SHOW);
}
