# Installs every library with its public headers (one folder per library
# under include/pbdict/), a CMake package (find_package(pbdict), targets
# pbdict::NAME), a pkg-config file per library and the builder. The link
# lines of the pkg-config files follow the targets' own link libraries.
include(CMakePackageConfigHelpers)
get_property(_libs GLOBAL PROPERTY PBDICT_LIBRARIES)
install(TARGETS ${_libs} EXPORT pbdictTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET pbdict-build)
  install(TARGETS pbdict-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
foreach(_l ${_libs})
  set(_dest ${CMAKE_INSTALL_INCLUDEDIR}/pbdict/${_l})
  get_target_property(_pub ${_l} PBDICT_PUBLIC_HEADERS)
  foreach(_d ${_pub})
    install(DIRECTORY ${_d}/ DESTINATION ${_dest} FILES_MATCHING PATTERN "*.h")
  endforeach()
  get_target_property(_sub ${_l} PBDICT_PUBLIC_SUBDIRS)
  foreach(_d ${_sub})
    get_filename_component(_name ${_d} NAME)
    file(GLOB _h ${_d}/*.h)
    install(FILES ${_h} DESTINATION ${_dest}/${_name})
  endforeach()
endforeach()

install(EXPORT pbdictTargets NAMESPACE pbdict:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/pbdictConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pbdictConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pbdictConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pbdictConfig.cmake ${PROJECT_BINARY_DIR}/pbdictConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)

# pkg-config: walks a library's link libraries (depth first, each once) into
# -l flags for the project's own libraries and system libraries, pkg-config
# names for the packaged dependencies, and -I flags for the include folders.
function(_pbdict_pc_walk item)
  if(item IN_LIST _pc_seen)
    return()
  endif()
  list(APPEND _pc_seen ${item})
  if(TARGET ${item} AND item IN_LIST _libs)
    list(APPEND _pc_cflags "-I\${includedir}/${item}")
    get_target_property(_deps ${item} LINK_LIBRARIES)
    foreach(_d ${_deps})
      _pbdict_pc_walk(${_d})
    endforeach()
    # After its dependencies: the list, reversed, puts every library before
    # the libraries it needs, as a static link wants.
    list(APPEND _pc_own "-l${item}")
  elseif(item STREQUAL "Threads::Threads")
    list(APPEND _pc_libs "-pthread")
  elseif(item STREQUAL "OpenSSL::Crypto")
    list(APPEND _pc_requires "libcrypto")
  elseif(item STREQUAL "protobuf::libprotobuf")
    list(APPEND _pc_requires "protobuf")
  elseif(IS_ABSOLUTE ${item})
    get_filename_component(_n ${item} NAME_WE)
    string(REGEX REPLACE "^lib" "" _n ${_n})
    list(APPEND _pc_libs "-l${_n}")
  elseif(NOT item MATCHES "::")
    list(APPEND _pc_libs "-l${item}")
  else()
    message(FATAL_ERROR "pkg-config: no rule for the link library ${item}")
  endif()
  set(_pc_seen ${_pc_seen} PARENT_SCOPE)
  set(_pc_own ${_pc_own} PARENT_SCOPE)
  set(_pc_libs ${_pc_libs} PARENT_SCOPE)
  set(_pc_requires ${_pc_requires} PARENT_SCOPE)
  set(_pc_cflags ${_pc_cflags} PARENT_SCOPE)
endfunction()

# The prefix is found from the .pc file's own place, so any --prefix works.
file(RELATIVE_PATH PC_UP "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
foreach(_l ${_libs})
  set(_pc_seen)
  set(_pc_own)
  set(_pc_libs)
  set(_pc_requires)
  set(_pc_cflags)
  _pbdict_pc_walk(${_l})
  # The project's libraries first, each before those it needs, then the
  # system libraries.
  list(REVERSE _pc_own)
  list(REMOVE_DUPLICATES _pc_requires)
  set(PC_NAME ${_l})
  list(JOIN _pc_own " " _own)
  list(JOIN _pc_libs " " _sys)
  set(PC_LIBS "${_own} ${_sys}")
  list(JOIN _pc_requires " " PC_REQUIRES)
  list(JOIN _pc_cflags " " PC_CFLAGS)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/pbdict.pc.in
                 ${PROJECT_BINARY_DIR}/pkgconfig/pbdict-${_l}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/pbdict-${_l}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
