# SPDX-License-Identifier: MIT
# Per-target build settings: the include scope that makes the layers what the
# build enforces, and the warning and numerics flags every compiler gets.
include(CheckCXXCompilerFlag)

# quorveil_include_scope(<target> <PUBLIC|INTERFACE> <path>...)
# Gives <target> (and whoever links it) an include root that holds only the
# listed folders or files of the source tree, as symbolic links under the
# build tree. `#include "modules/cc/CCKernel.h"` then compiles only in targets
# whose scopes, or whose dependencies' scopes, hold modules/cc: a wrong
# include fails to compile instead of quietly coupling two layers.
function(quorveil_include_scope target visibility)
  set(root ${CMAKE_BINARY_DIR}/include-scopes/${target})
  foreach(path ${ARGN})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${path})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${visibility} ${root})
endfunction()

# Warnings as errors for our own code only; third-party sources (GoogleTest)
# build with their own settings.
function(quorveil_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                         -Wno-missing-field-initializers)
endfunction()

check_cxx_compiler_flag(-fno-tree-slp-vectorize QUORVEIL_HAS_NO_TREE_SLP)
check_cxx_compiler_flag(-fno-slp-vectorize QUORVEIL_HAS_NO_SLP)

# The sound is the product, so every target that computes it gets the same
# floating-point contract from every compiler: no fused multiply-add, no
# fast-math, and on 32-bit x86 SSE arithmetic instead of x87 extended
# precision. `LIBRARY` adds what the plug-in library needs on top: no SLP
# vectorising (GCC 12 folds float roundings of neighbouring steps into one
# double chain; clang's equivalent switch is -fno-slp-vectorize) and square
# roots without errno (the same correctly rounded value, but a call the
# compiler can run on several bins at once).
function(quorveil_numerics target)
  cmake_parse_arguments(ARG "LIBRARY" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "i.86" OR CMAKE_CXX_COMPILER MATCHES "i686")
    target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
  endif()
  if(ARG_LIBRARY)
    if(QUORVEIL_HAS_NO_TREE_SLP)
      target_compile_options(${target} PRIVATE -fno-tree-slp-vectorize)
    elseif(QUORVEIL_HAS_NO_SLP)
      target_compile_options(${target} PRIVATE -fno-slp-vectorize)
    endif()
    target_compile_options(${target} PRIVATE -fno-math-errno)
  endif()
endfunction()

# Our own target: warnings and numerics in one call.
function(quorveil_target target)
  quorveil_warnings(${target})
  quorveil_numerics(${target} ${ARGN})
endfunction()
