// Each program defines ProgramMain once; the platform's entry point (main on
// Linux, wmain on Windows) hands it the command line as UTF-16 strings, the
// program's name first, and returns what it returns.
#pragma once

int ProgramMain(int argc, char16_t** argv);
