# Fails when a source outside the Linux shell's folders (src/qt, tests/qt)
# includes a Qt or libmpv header, or a header of that shell: the core and the
# Windows shell must build where neither library is installed.
# Run as: cmake -DROOT=<source dir> -P check_core_layout.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/tests/*.h ${ROOT}/tests/*.cpp)
set(shell_include "^[ \t]*#[ \t]*include[ \t]*(<Q|<mpv/|\"qt/)")
set(offenders)
set(checked 0)
foreach(source IN LISTS sources)
  if(source MATCHES "^(src|tests)/qt/")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${ROOT}/${source} lines REGEX "${shell_include}")
  foreach(line IN LISTS lines)
    list(APPEND offenders "${source}: ${line}")
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no core sources found under ${ROOT}")
endif()
if(offenders)
  list(JOIN offenders "\n  " report)
  message(FATAL_ERROR "Qt or libmpv outside src/qt and tests/qt:\n  ${report}")
endif()
message(STATUS "${checked} core sources include neither Qt nor libmpv")
