#include "ProgramMain.h"

int main(int argc, char** argv) { return qv::ProgramMain(argc, argv); }
