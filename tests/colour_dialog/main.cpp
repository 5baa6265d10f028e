#include "composer_support/support.h"

// The dialog writes the composer module's choice; here the tests own it.
std::string PaletteSource;

int main(int argc, char** argv) { return RunWindowTests(argc, argv, nullptr); }
