/* The platform header on its own, first in its translation unit: it must be
 * self-contained C as well.  Its formatting call links the program against
 * the platform library directly, as callers that free picture results do. */
#include <quillon/platform.h>

#include "format.h"

void FormatTitleLine(char *line, int lineSize, const char *title, uint32_t topicOffset) {
  wnsprintfA(line, lineSize, "TopicOffset:%08x\tTitle:\"%s\"\n", (unsigned)topicOffset, title);
}
