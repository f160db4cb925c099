// The libFuzzer entry point of one target, chosen at compile time with
// -DQUILLON_FUZZ_TARGET=RunContainer (RunTopic, RunShgImport, RunShgExport).
#include "harness.h"

#ifndef QUILLON_FUZZ_TARGET
#error "QUILLON_FUZZ_TARGET names the target's Run function"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return quillon_fuzz::QUILLON_FUZZ_TARGET(data, size);
}
