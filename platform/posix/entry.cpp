#include "platform/entry.h"
#include "platform/posix/utf.h"

int main(int argc, char** argv) {
  posix::WideArguments arguments(argc, argv);
  return ProgramMain(arguments.count(), arguments.values());
}
