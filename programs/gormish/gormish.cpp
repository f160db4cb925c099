// gormish: tells by message and exit code whether a help file has a topic for
// a context string, for batch files.
#include <marlet/marlet.h>

#include <cstdio>

int main(int argc, char **argv) {
  if (argc < 3) {
    std::printf(
        "GORMISH: Simple Example program for Quillon\n"
        "          Displays if a Topic with a given Context Strings exits in a given\n"
        "          Help or Media Viewer File.\n"
        "USAGE   : GORMISH Filename Context-String\n"
        "EXAMPLE : GORMISH MYFILE.HLP IDH_CONTENTS\n"
        "EXITCODE: 0 if Topic Exists, 1 if Topic does not Exist\n\n");
    return 2;
  }
  if (IsTopic(argv[1], argv[2]) != 0) {
    std::printf("topic has been found");
    return 0;
  }
  std::printf("topic has NOT been found");
  return 1;
}
