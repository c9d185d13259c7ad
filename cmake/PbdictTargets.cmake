# Target helpers used by every CMakeLists of the project. The rules live here:
#   pbdict_warnings(target)   warning flags on our own targets (never on
#                             dependencies); -Werror unless PBDICT_WERROR=OFF.
#   pbdict_library(...)       one static library per subsystem.
#   pbdict_add_tests(...)     one GoogleTest program per *_test.cpp.
#
# Where the other rules of the layout live:
#   - What is installed (headers, CMake package, pkg-config files and their
#     link lines): cmake/Install.cmake, from the properties set here; the
#     templates are cmake/pbdict.pc.in and cmake/pbdictConfig.cmake.in. The
#     install is tested by test/install/ (ctest install.consumer).
#   - Public headers hold only the names the interface gives; a header only
#     a library's own sources use stays beside them in src/ (PRIVATE_HEADERS),
#     reached as "name.h" or "sub/name.h", never through "../".
#   - Helpers that more than one library needs (file owners, whole reads and
#     writes, path joins, whole-file replacement, scoped locks, the queue and
#     the worker thread) live once in the toolkit, base/util/internal/toolkit/
#     (ul's BUILD_HEADERS: every library linking ul sees it as "toolkit/...",
#     an installed user never does). A helper one source file needs stays
#     file-local in that file (an unnamed namespace or static), so that it is
#     neither exported from the static library nor mistaken for an interface;
#     the named steps an interface calls file-local (the text load's
#     pre_process_line and get_token) are kept that way too.
#   - Fuzz targets: fuzz/CMakeLists.txt (one per fuzz/fuzz_*.cpp).

function(pbdict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(PBDICT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# pbdict_library(NAME
#   SOURCES dir...           folders whose *.cpp files make the library; each
#                            must exist and hold at least one source
#   PUBLIC_HEADERS dir...    public include roots; installed under
#                            include/pbdict/NAME/, which becomes the installed
#                            include path, so callers write #include "ul_log.h"
#   PUBLIC_SUBDIRS dir...    header folders callers name with the folder
#                            ("utils/ccode_hashmap.h", "base/base64.h"):
#                            installed as include/pbdict/NAME/<folder>/
#   PRIVATE_HEADERS dir...   include roots for the library's own sources (and
#                            its tests), never installed; sources reach their
#                            internal headers through these, not through "../"
#   BUILD_HEADERS dir...     include roots other targets of this project see
#                            but an installed user does not (the toolkit)
#   LINK lib...)
function(pbdict_library name)
  cmake_parse_arguments(A "" "" "SOURCES;PUBLIC_HEADERS;PUBLIC_SUBDIRS;PRIVATE_HEADERS;BUILD_HEADERS;LINK" ${ARGN})
  set(_src)
  foreach(_d ${A_SOURCES})
    if(NOT IS_DIRECTORY ${_d})
      message(FATAL_ERROR "library ${name}: source folder ${_d} does not exist")
    endif()
    file(GLOB _s CONFIGURE_DEPENDS ${_d}/*.cpp ${_d}/*.c)
    if(NOT _s)
      message(FATAL_ERROR "library ${name}: source folder ${_d} holds no source")
    endif()
    list(APPEND _src ${_s})
  endforeach()
  add_library(${name} STATIC ${_src})
  foreach(_i ${A_PUBLIC_HEADERS} ${A_BUILD_HEADERS})
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${_i}>)
  endforeach()
  foreach(_i ${A_PUBLIC_SUBDIRS})
    get_filename_component(_parent ${_i} DIRECTORY)
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${_parent}>)
  endforeach()
  target_include_directories(${name} PRIVATE ${A_PRIVATE_HEADERS})
  target_include_directories(${name} PUBLIC
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/pbdict/${name}>)
  target_link_libraries(${name} PUBLIC ${A_LINK})
  set_target_properties(${name} PROPERTIES
    PBDICT_PUBLIC_HEADERS "${A_PUBLIC_HEADERS}"
    PBDICT_PUBLIC_SUBDIRS "${A_PUBLIC_SUBDIRS}"
    PBDICT_PRIVATE_HEADERS "${A_PRIVATE_HEADERS}")
  set_property(GLOBAL APPEND PROPERTY PBDICT_LIBRARIES ${name})
  pbdict_warnings(${name})
endfunction()

# pbdict_add_tests(LIBRARY TESTDIR [extra libs...]): one GoogleTest program per
# TESTDIR/*_test.cpp, registered with ctest. Tests see the library's private
# headers too.
function(pbdict_add_tests library testdir)
  if(NOT PBDICT_TESTS)
    return()
  endif()
  get_target_property(_private ${library} PBDICT_PRIVATE_HEADERS)
  file(GLOB _tests CONFIGURE_DEPENDS ${testdir}/*_test.cpp)
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    add_executable(${_name} ${_t})
    target_link_libraries(${_name} PRIVATE ${library} test_support GTest::gtest GTest::gtest_main ${ARGN})
    if(_private)
      target_include_directories(${_name} PRIVATE ${_private})
    endif()
    pbdict_warnings(${_name})
    # A test file whose cases share a machine-wide resource names it in the
    # source property PBDICT_RESOURCE_LOCK; ctest then runs them one at a time.
    get_source_file_property(_lock ${_t} PBDICT_RESOURCE_LOCK)
    if(_lock)
      set(_props PROPERTIES RESOURCE_LOCK ${_lock})
    else()
      set(_props)
    endif()
    gtest_discover_tests(${_name} DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${_props})
  endforeach()
endfunction()
