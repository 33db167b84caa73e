# Source selection for the platform seam, by the end of a file's name: _win.cpp is built only for
# Windows, _posix.cpp everywhere else, _linux.cpp on Linux hosts (also in the sanitizer builds,
# since it needs no Qt); _qt.cpp is the Qt interface, which only the build of the Linux program
# takes (shuttle_collect_qt_sources). entry_*.cpp files are program entry points and are added to
# their executables explicitly.
function(shuttle_filter_platform out)
  set(files ${ARGN})
  if(WIN32)
    list(FILTER files EXCLUDE REGEX "_(posix|linux)(_test)?\\.cpp$")
  else()
    list(FILTER files EXCLUDE REGEX "_win(_test)?\\.cpp$")
  endif()
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    list(FILTER files EXCLUDE REGEX "_linux(_test)?\\.cpp$")
  endif()
  list(FILTER files EXCLUDE REGEX "_qt(_test)?\\.cpp$")
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

function(shuttle_collect_qt_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_qt.cpp)
    list(FILTER found EXCLUDE REGEX "/entry_[^/]*\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
