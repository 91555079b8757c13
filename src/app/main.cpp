#include "app/Main.h"

int main(int argc, char** argv) { return app::RunProgram(argc, argv); }
