// Melsire's program body.
#include "composer/ProgramBody.h"
#include "melsire/Unit_Main.h"

int main() { return RunComposer("Melsire", TGlyph::CharacterSheetProgram, frmMain); }
