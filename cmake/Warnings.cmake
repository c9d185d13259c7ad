# Project-wide warning flags; applied to our own targets only.
function(pbdict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(PBDICT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# pbdict_library(NAME SOURCES dir... INCLUDES dir... LINK lib...)
# A static library from every .cpp directly under the SOURCES folders; the
# INCLUDES folders are its public headers.
function(pbdict_library name)
  cmake_parse_arguments(A "" "" "SOURCES;INCLUDES;LINK" ${ARGN})
  set(_src)
  foreach(_d ${A_SOURCES})
    file(GLOB _s CONFIGURE_DEPENDS ${_d}/*.cpp ${_d}/*.c)
    list(APPEND _src ${_s})
  endforeach()
  if(NOT _src)
    # A library whose sources are not written yet still builds.
    set(_src ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${_src} "namespace { [[maybe_unused]] int ${name}_empty_unit; }\n")
  endif()
  add_library(${name} STATIC ${_src})
  foreach(_i ${A_INCLUDES})
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${_i}>)
  endforeach()
  target_include_directories(${name} PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/pbdict>)
  target_link_libraries(${name} PUBLIC ${A_LINK})
  pbdict_warnings(${name})
endfunction()

# pbdict_add_tests(LIBRARY TESTDIR [extra libs...]) — one GoogleTest executable
# per *_test.cpp, registered with ctest.
function(pbdict_add_tests library testdir)
  if(NOT PBDICT_TESTS)
    return()
  endif()
  file(GLOB _tests CONFIGURE_DEPENDS ${testdir}/*_test.cpp)
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    add_executable(${_name} ${_t})
    target_link_libraries(${_name} PRIVATE ${library} test_support GTest::gtest GTest::gtest_main ${ARGN})
    pbdict_warnings(${_name})
    gtest_discover_tests(${_name} DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()
endfunction()
