# SPDX-License-Identifier: MIT
# Fails when any source of the tree includes a header by a path that climbs
# out of the including file's folder.
file(GLOB_RECURSE sources ${ROOT}/frame/* ${ROOT}/library/* ${ROOT}/modules/* ${ROOT}/host/*
     ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h ${ROOT}/bench/*)
set(found "")
foreach(source ${sources})
  if(source MATCHES "\\.(h|cpp)$")
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
    if(lines)
      list(APPEND found "${source}: ${lines}")
    endif()
  endif()
endforeach()
if(found)
  message(FATAL_ERROR "includes that climb out of their folder:\n${found}")
endif()
