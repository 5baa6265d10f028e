// Corvane's program body.
#include "composer/ProgramBody.h"
#include "corvane/Unit_Main.h"

int main() { return RunComposer("Corvane", TGlyph::ChipsetProgram, frmMain); }
