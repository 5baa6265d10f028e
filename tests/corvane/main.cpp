#include "composer_support/support.h"

int main(int argc, char** argv) { return RunWindowTests(argc, argv, "Corvane"); }
