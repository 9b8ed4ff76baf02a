# Checks that every quoted include of the driver's sources stays on its file's floor or below
# (docs/architecture.md). Run as: cmake -DSOURCE_DIR=<repo> -P cmake/CheckFloors.cmake
# The build enforces the same rules through each floor's include root; this check also names
# the offending line, and catches relative includes ("../") that would slip past the roots.

set(types "platform/types/")
set(boundary "platform/[A-Za-z]+\\.h$")
# Each floor: the files it holds (a pattern), then what they may include. Checked in order.
set(floors
  "platform/types/ => ${types}"
  "platform/[A-Za-z]+\\.h$ => ${types},${boundary}"
  "platform/([a-z]+)/ => ${types},${boundary},platform/\\1/"
  "DorvexCore/ => ${types},DorvexCore/"
  "DorvexOS/ => ${types},DorvexCore/,DorvexOS/"
  "Dorvex/(main\\.cpp|Bindings\\.cpp\\.in)$ => ${types},${boundary},DorvexCore/,DorvexOS/,Dorvex/,platform/[a-z]+/Make[A-Za-z]+Platform\\.h$"
  "Dorvex/ => ${types},${boundary},DorvexCore/,DorvexOS/,Dorvex/"
  "DorvexMcp/ => ${types},${boundary},DorvexCore/,DorvexOS/,Dorvex/,DorvexMcp/"
  "DorvexScenario/ => ${types},${boundary},platform/sim/,DorvexCore/,DorvexOS/,DorvexScenario/")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/platform/* ${SOURCE_DIR}/DorvexCore/* ${SOURCE_DIR}/DorvexOS/* ${SOURCE_DIR}/Dorvex/*
  ${SOURCE_DIR}/DorvexMcp/* ${SOURCE_DIR}/DorvexScenario/*)
set(problems "")
foreach(source ${sources})
  if(NOT source MATCHES "\\.(h|cpp|mm|in)$")
    continue()
  endif()
  set(allowed "")
  foreach(floor IN LISTS floors)
    string(FIND "${floor}" " => " arrow)
    string(SUBSTRING "${floor}" 0 ${arrow} pattern)
    math(EXPR rest "${arrow} + 4")
    string(SUBSTRING "${floor}" ${rest} -1 allowed)
    string(REPLACE "," ";" allowed "${allowed}")
    if(source MATCHES "^${pattern}")
      # A binding may include its own folder: put its name into the rule.
      if(CMAKE_MATCH_1)
        list(TRANSFORM allowed REPLACE "\\\\1" "${CMAKE_MATCH_1}")
      endif()
      break()
    endif()
  endforeach()
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*(include|import)[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
    set(ok FALSE)
    foreach(prefix ${allowed})
      if(included MATCHES "^${prefix}")
        set(ok TRUE)
      endif()
    endforeach()
    if(included MATCHES "\\.\\.")
      set(ok FALSE)
    endif()
    if(NOT ok)
      string(APPEND problems "  ${source} includes \"${included}\"\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Includes that climb a floor:\n${problems}")
endif()
list(LENGTH sources count)
message(STATUS "Every include of ${count} files stays on its floor or below.")
