// Messages for the person running the program, outside its window: errors
// go to stderr, the rest to stdout. On Windows a message box shows them as
// well when there is nowhere to print to (a program started from the
// desktop); never otherwise, as a box would hold up a script until clicked.
#pragma once

#include <string>

void KxTellUser(const std::string& text, bool bError);
