// The program's command-line options. Without any, it runs as it always has:
// frames as fast as they can be drawn, the title the class name.
#pragma once

#include <string>

struct KxProgramOptions {
    int nMaxFps = 0;        // at most this many frames a second; 0: no limit
    bool bShowFps = false;  // the frame-rate text in the window title
    int nThreads = 1;       // threads that draw; 0: one per processor
    bool bHelp = false;
};

// Reads a command line as WinMain receives it: one string, without the
// program's name, arguments separated by blanks, double quotes around an
// argument that holds blanks. False, with the reason, for a bad option.
bool KxParseProgramOptions(const char* commandLine, KxProgramOptions* options, std::string* error);

// The usage text, keys and how to quit included.
const char* KxProgramUsage();
