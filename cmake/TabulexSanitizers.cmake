# Instrumented builds, each in a build folder of its own.
#
# TABULEX_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer on
# everything we build (scripts/test --sanitize). The Access driver is a
# shared library the driver manager loads into test processes; those are
# instrumented executables, so the runtime is already there when it loads.
#
# TABULEX_FUZZ: the same plus libFuzzer's coverage on every library, and the
# fuzz targets under tests/fuzz (clang only; scripts/fuzz).
option(TABULEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TABULEX_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(TABULEX_SANITIZE OR TABULEX_FUZZ)
  # Any undefined behaviour stops the process, so a test cannot pass over it.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TABULEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TABULEX_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
