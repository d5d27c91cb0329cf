#include "driver/entry.h"
#include "platform/entry.h"

int ProgramMain(int argc, char16_t** argv) {
  return tool::wmain(argc, argv);
}
