// What both composers show about themselves: the credit text and the help page.
#pragma once

#include <string>

class TWinControl;

// Three paragraphs, an empty line between them: the program, the PNG codec, zlib.
// Carriage returns break the lines, as the labels and boxes show them.
extern const char* const ComposerCreditText;

// The folder of the running program followed by "help/index.html".
std::string HelpPagePath();

// Hands the help page to the desktop's handler for it; the answer is not looked at, so
// a missing page or handler shows nothing of the program's own.
void OpenHelpPage(TWinControl* window);
