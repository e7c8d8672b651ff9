# The Windows in-process server tarvex.dll: the library's objects, the four
# entry points exported by plain name (src/module/tarvex.def), the type
# library compiled from src/module/tarvex.idl by widl and embedded as
# resource TYPELIB 1, and a version resource. The C and C++ runtimes, zlib
# and libbz2 are linked in, so the file stands alone.
#
# Also the Windows test program tarvex_wintest (tests/windows/), which loads
# the DLL at run time; scripts/test-windows.sh runs both under Wine.
#
# Needs widl (mingw-w64-tools), the OLE interface descriptions it imports
# (libwine-dev) and stdole2.tlb (wine64 or wine32).

string(REGEX REPLACE "-g\\+\\+(-posix|-win32)?$" "" _tarvex_mingw_prefix "${CMAKE_CXX_COMPILER}")
find_program(TARVEX_WIDL NAMES ${_tarvex_mingw_prefix}-widl widl)
find_path(TARVEX_IDL_INCLUDE oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
find_path(TARVEX_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
        /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows
  NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)

if(NOT TARVEX_WIDL OR NOT TARVEX_IDL_INCLUDE OR NOT TARVEX_STDOLE2_DIR)
  message(STATUS "tarvex.dll not configured: needs widl, oaidl.idl and stdole2.tlb "
                 "(packages mingw-w64-tools, libwine-dev, wine64)")
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_tarvex_widl_arch --win64)
else()
  set(_tarvex_widl_arch --win32)
endif()

set(_tarvex_res_dir ${CMAKE_CURRENT_BINARY_DIR}/module-resources)
file(MAKE_DIRECTORY ${_tarvex_res_dir})
add_custom_command(
  OUTPUT ${_tarvex_res_dir}/tarvex.tlb
  COMMAND ${TARVEX_WIDL} ${_tarvex_widl_arch} -I${TARVEX_IDL_INCLUDE} -L${TARVEX_STDOLE2_DIR}
          -t -o ${_tarvex_res_dir}/tarvex.tlb ${CMAKE_CURRENT_SOURCE_DIR}/src/module/tarvex.idl
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/module/tarvex.idl
  COMMENT "Type library from tarvex.idl"
  VERBATIM)
add_custom_target(tarvex_typelib DEPENDS ${_tarvex_res_dir}/tarvex.tlb)

file(WRITE ${_tarvex_res_dir}/TarvexVersion.rh.in
  "#define TARVEX_VERSION_COMMAS @PROJECT_VERSION_MAJOR@,@PROJECT_VERSION_MINOR@,@PROJECT_VERSION_PATCH@,0\n"
  "#define TARVEX_VERSION_TEXT \"@PROJECT_VERSION@\"\n")
configure_file(${_tarvex_res_dir}/TarvexVersion.rh.in ${_tarvex_res_dir}/TarvexVersion.rh @ONLY)

set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/src/module/tarvex.rc PROPERTIES
  OBJECT_DEPENDS ${_tarvex_res_dir}/tarvex.tlb)

add_library(tarvex_dll SHARED $<TARGET_OBJECTS:tarvex_objects>
  ${CMAKE_CURRENT_SOURCE_DIR}/src/module/tarvex.rc
  ${CMAKE_CURRENT_SOURCE_DIR}/src/module/tarvex.def)
add_dependencies(tarvex_dll tarvex_typelib)
set_target_properties(tarvex_dll PROPERTIES OUTPUT_NAME tarvex PREFIX "" IMPORT_PREFIX "lib")
target_link_libraries(tarvex_dll PRIVATE tarvex_objects)
target_include_directories(tarvex_dll PRIVATE ${_tarvex_res_dir})
# stdcall names are exported undecorated by the .def file.
target_link_options(tarvex_dll PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup)

file(GLOB _tarvex_wintest_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/*.cpp)
if(_tarvex_wintest_sources)
  add_executable(tarvex_wintest ${_tarvex_wintest_sources})
  target_include_directories(tarvex_wintest PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(tarvex_wintest PRIVATE oleaut32 ole32 uuid crypt32)
  target_link_options(tarvex_wintest PRIVATE -static -static-libgcc -static-libstdc++ -municode)
  add_dependencies(tarvex_wintest tarvex_dll)
endif()
