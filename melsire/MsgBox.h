// Message boxes shown with the arrow cursor, whatever the program had set the screen's
// cursor to, and with that cursor back afterwards.
#pragma once

#include <string>

// The application's message box with the platform's MB_* flags; the result is the ID of
// the button pressed. The screen's cursor comes back also when showing the box raises,
// and the exception goes on to the caller.
int ShowMessageBox(const std::string& text, const std::string& caption, int flags);

// An information box with the single button OK.
void ShowInfoBox(const std::string& text, const std::string& caption);
