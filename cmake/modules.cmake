# Source selection for the platform seam: a file ending in _win.cpp is built only for Windows,
# one ending in _posix.cpp only elsewhere; entry_*.cpp files are program entry points and are
# added to their executables explicitly.
function(shuttle_filter_platform out)
  set(files ${ARGN})
  if(WIN32)
    list(FILTER files EXCLUDE REGEX "_posix(_test)?\\.cpp$")
  else()
    list(FILTER files EXCLUDE REGEX "_win(_test)?\\.cpp$")
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(shuttle_collect_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER found EXCLUDE REGEX "/entry_[^/]*\\.cpp$")
    shuttle_filter_platform(found ${found})
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
