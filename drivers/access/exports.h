// The driver manager's loader looks every entry point up first under
// "<module>_LTX_<name>" (module = the library's file name without its
// extension), then under the plain name. A failed look-up costs far more
// than a found one, and it happens for every name on every connect, so each
// exported name also gets its _LTX_ twin.
#pragma once

#define TABULEX_LTX_ALIAS(name)                                      \
  extern "C" __attribute__((alias(#name))) decltype(name)            \
      libtabulexaccess_LTX_##name;
