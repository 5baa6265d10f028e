#include "composer/Credits.h"

#include "classlib/filenames.h"
#include "classlib/forms/shell.h"

const char* const ComposerCreditText =
    "Corvane ver 1.00\r"
    "チップセット合成ツール\r"
    "(C) Corvane 開発チーム"
    "\r\r"
    "PNG 入出力：ZelPNG ver 3.4\r"
    "(C) ZelPNG 開発チーム"
    "\r\r"
    "圧縮：zlib 1.1.3\r"
    "zlib の著作権はその作者に帰属します";

std::string HelpPagePath() { return IncludeTrailingPathDelimiter(ExeFolder()) + "help/index.html"; }

void OpenHelpPage(TWinControl* window) {
  ShellExecuteA(window->Handle(), "open", HelpPagePath().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
