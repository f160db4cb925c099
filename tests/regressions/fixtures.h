// The inputs of the faults that fuzzing found, built here from their recipe:
// each is named after its fault and belongs to one fuzz target (fuzz/
// harness.h).  The regression tests run the targets on them; the fuzz seeds
// include them, so that the libFuzzer builds run them too.
#pragma once

#include <string>
#include <vector>

#include "support/help_builder.h"

namespace regression {

struct Input {
  std::string target;  // container, topic, shg_import, shg_export, pictures, collection
  std::string name;    // the fault, as a file name
  fixture::Bytes bytes;
};

std::vector<Input> BuiltInputs();

// The help files and pictures behind BuiltInputs, for the tests that check
// the behaviour each fault broke.
fixture::Bytes PhrasePastTable();
fixture::Bytes ContextIndexLargerThanFile();
fixture::Bytes FontTableLargerThanFile();
fixture::Bytes TopicLargerThanFile();
fixture::Bytes PhrasesLargerThanFile();
fixture::Bytes PhraseIndexLargerThanFile();
fixture::Bytes KeywordListsSharingBytes();
fixture::Bytes LongHotspotCut();
fixture::Bytes BitmapRowsOverflow();
fixture::Bytes FontWiderThanTall();

// The byte count of |KWDATA in KeywordListsSharingBytes.
inline constexpr size_t kSharedKeywordDataSize = 4000;

}  // namespace regression
