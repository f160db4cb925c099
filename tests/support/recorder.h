// A TopicCallback that records every piece as one line "event<TAB>text", the
// text's line feeds and tabs written as \n and \t, so that tests compare event
// sequences as lists of lines.
#pragma once

#include <marlet/marlet.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace fixture {

struct Recorder {
  std::vector<std::string> lines;
  std::vector<TopicOffset> offsets;
  std::set<int32_t> events;  // events to record; empty: all
  size_t stopAtCall = 0;     // return 0 at this call (1-based); 0: never
  size_t calls = 0;

  MarletUserData user() { return reinterpret_cast<MarletUserData>(this); }

  static int32_t MARLET_API Callback(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
    auto *self = reinterpret_cast<Recorder *>(user);
    ++self->calls;
    if (self->events.empty() || self->events.count(event)) {
      self->lines.push_back(Line(event, text));
      self->offsets.push_back(offset);
    }
    return self->calls == self->stopAtCall ? 0 : 1;
  }

  static std::string Line(int32_t event, const std::string &text) {
    std::string line = std::to_string(event) + "\t";
    for (char c : text) {
      if (c == '\n')
        line += "\\n";
      else if (c == '\t')
        line += "\\t";
      else
        line += c;
    }
    return line;
  }
};

}  // namespace fixture
