// One libFuzzer entry point; FUZZ_BODY names the body from fuzz_case.h that
// this executable drives. A broken promise aborts, so that libFuzzer keeps
// the input like any crash.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_case.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    fuzzcase::FUZZ_BODY(data, size);
  } catch (const fuzzcase::Violation& v) {
    std::fprintf(stderr, "violation: %s\n", v.what());
    std::abort();
  }
  return 0;
}
