# Header-only stand-ins for the libraries of the macOS compile check: their headers come from
# DORVEX_MACOS_EXTRA_INCLUDE (on every compile line), nothing is linked.
function(dorvex_stand_in package)
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      add_library(${target} INTERFACE IMPORTED)
    endif()
  endforeach()
  set(${package}_FOUND TRUE PARENT_SCOPE)
endfunction()
