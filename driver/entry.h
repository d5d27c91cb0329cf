#pragma once

namespace tool {

// The tool's wide-character entry: argv[0] is the program's name, argv[1] (if
// any) the image file of an update run. Returns 0 on every path: the outcome is
// told on standard output and in the operator's boxes.
int wmain(int argc, char16_t** argv);

}  // namespace tool
