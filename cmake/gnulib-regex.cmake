# GNU regex for the MinGW build, generated from Debian's gnulib at build time.
# gnulib's config.h renames regcomp and friends (rpl_regcomp ...) and sets
# _REGEX_LARGE_OFFSETS; a small generated regex.h carries those defines before
# it includes gnulib's own header, so consumers just include <regex.h>.
find_program(GNULIB_TOOL gnulib-tool REQUIRED)

set(_gl_src ${CMAKE_BINARY_DIR}/gnulib-regex/src)
set(_gl_bld ${CMAKE_BINARY_DIR}/gnulib-regex/build)
set(_gl_inc ${CMAKE_BINARY_DIR}/gnulib-regex/include)
set(_gl_lib ${_gl_bld}/gllib/libgnu.a)
file(MAKE_DIRECTORY ${_gl_inc})

add_custom_command(
  OUTPUT ${_gl_lib} ${_gl_inc}/regex.h
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_gl_src} ${_gl_bld}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gnulib-regex
  COMMAND ${GNULIB_TOOL} --create-testdir --dir=${_gl_src} --without-tests
          --single-configure regex > ${CMAKE_BINARY_DIR}/gnulib-regex/gnulib-tool.log 2>&1
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_gl_bld}
  COMMAND ${CMAKE_COMMAND} -E chdir ${_gl_bld} ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS
          ${_gl_src}/configure --host=i686-w64-mingw32 CC=${CMAKE_C_COMPILER}
          --enable-threads=windows > ${CMAKE_BINARY_DIR}/gnulib-regex/configure.log 2>&1
  COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS
          make -C ${_gl_bld}/gllib > ${CMAKE_BINARY_DIR}/gnulib-regex/make.log 2>&1
  COMMAND ${CMAKE_COMMAND} -DCONFIG_H=${_gl_bld}/config.h -DGNULIB_REGEX_H=${_gl_src}/gllib/regex.h
          -DOUT=${_gl_inc}/regex.h -P ${CMAKE_CURRENT_LIST_DIR}/gnulib-regex-header.cmake
  COMMENT "Generating GNU regex from gnulib for the Windows build"
  VERBATIM)
add_custom_target(gnulib_regex_build DEPENDS ${_gl_lib} ${_gl_inc}/regex.h)

add_library(gnu_regex STATIC IMPORTED GLOBAL)
set_target_properties(gnu_regex PROPERTIES IMPORTED_LOCATION ${_gl_lib}
                                          INTERFACE_INCLUDE_DIRECTORIES ${_gl_inc})
