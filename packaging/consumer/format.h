#ifndef CONSUMER_FORMAT_H
#define CONSUMER_FORMAT_H

#include <stdint.h>

/* Writes "TopicOffset:%08x\tTitle:\"%s\"\n" into line, cut to lineSize. */
void FormatTitleLine(char *line, int lineSize, const char *title, uint32_t topicOffset);

#endif
