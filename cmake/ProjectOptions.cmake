# Compiler settings shared by every target of the project.

if(MELVARA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings are errors on the project's own code.
function(melvara_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 reports false -Wrestrict overlaps inside libstdc++'s own string
    # code at -O2 (GCC bug 105329).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# Reproducible: no folder of this machine in the binaries that ship (the
# Windows builds and the Release builds, and the kit's programs in every
# build: sim/CMakeLists.txt); __FILE__, debug information and sanitizer
# traces name the sources relative to the source and build folders.
set(MELVARA_FILE_PREFIX_MAP -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                            -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
if(WIN32 OR CMAKE_BUILD_TYPE STREQUAL "Release")
  add_compile_options(${MELVARA_FILE_PREFIX_MAP})
endif()

if(WIN32)
  # Reproducible: no time stamp in the PE header.
  add_link_options(-Wl,--no-insert-timestamp)

  # Hardening. ASLR with a 64-bit address space and DEP are the linker's
  # defaults; they are named so that they stay on. The stack protector's
  # runtime is the project's own (platform/StackProtector.cpp): the
  # compiler's would import ADVAPI32. The checked copies of _FORTIFY_SOURCE
  # need optimisation, so Debug builds go without them.
  add_link_options(-Wl,--dynamicbase,--high-entropy-va,--nxcompat)
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

# Precompiled headers and unity batches, for the simulated host's libraries
# and the test programs: parsing the standard library's headers (and
# GoogleTest's, in the tests) and compiling the same inline code again was
# most of the time of each of their translation units. Each batch compiles
# up to eight of a target's sources as one, so names at file scope must be
# unique within a target. The module's own code is compiled file by file.
# melvara_compile_in_batches(TARGET [GTEST]).
set(MELVARA_PRECOMPILED_HEADERS
  <algorithm> <array> <cstdint> <cstdio> <cstring> <functional> <map> <memory> <optional>
  <ostream> <set> <string> <string_view> <unordered_map> <utility> <vector>)
set(MELVARA_UNITY_BATCH 8 CACHE STRING "sources compiled together in one batch (0: all of a target)")
function(melvara_compile_in_batches target)
  cmake_parse_arguments(PARSE_ARGV 1 pch "GTEST" "" "")
  set(headers ${MELVARA_PRECOMPILED_HEADERS})
  if(pch_GTEST)
    list(APPEND headers <gmock/gmock.h> <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${MELVARA_UNITY_BATCH})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # With the headers precompiled, GCC 12 also reports false overruns in
    # libstdc++'s string code at -O2 (GCC bug 105651). Only the simulated
    # host and the tests take this path; the module's code keeps the checks,
    # and clang's build keeps them everywhere.
    target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
  endif()
endfunction()
