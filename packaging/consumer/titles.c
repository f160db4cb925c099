/* A user's program of the installed library, in C: lists the topic titles of
 * a help file, one line each with its TopicOffset.  Exit code 0 when the
 * whole title index was listed, 1 otherwise. */
#include <marlet/marlet.h>

#include <stdio.h>

#include "format.h"

static int32_t MARLET_API PrintTitle(const char *title, TopicOffset topicOffset, MarletUserData userData) {
  char line[1100];
  (void)userData;
  FormatTitleLine(line, (int)sizeof line, title, topicOffset);
  fputs(line, stdout);
  return 1;
}

int main(int argc, char **argv) {
  IfsHandle container;
  int32_t complete;
  if (argc != 2) {
    fputs("usage: titles HELPFILE\n", stderr);
    return 2;
  }
  container = IFSOpen(argv[1]);
  if (container == NULL) {
    fprintf(stderr, "titles: %s cannot be opened\n", argv[1]);
    return 1;
  }
  complete = HlpEnumTitles(container, PrintTitle, 0);
  IFSClose(container);
  return complete == 1 ? 0 : 1;
}
