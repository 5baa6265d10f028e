#include "composer_support/support.h"
#include "dib/UlmDIB.h"

int main(int argc, char** argv) { return RunWindowTests(argc, argv, "Pandrel", UlmDIB_Initialize, UlmDIB_Finalize); }
