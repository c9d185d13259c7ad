# Installs the libraries with their headers (keeping each include/ layout), a
# CMake package, pkg-config files and the builder.
include(CMakePackageConfigHelpers)
set(_libs ul protobuf_json dict ccode pbdict)
install(TARGETS ${_libs} EXPORT pbdictTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET pbdict-build)
  install(TARGETS pbdict-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
foreach(_d base/util/include base/protobuf-json/include base/dict/include ccode/include ccode/utils pbdict/include)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${_d}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pbdict
          FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/base/common/base DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pbdict
        FILES_MATCHING PATTERN "*.h")
install(EXPORT pbdictTargets NAMESPACE pbdict:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)
file(WRITE ${PROJECT_BINARY_DIR}/pbdictConfig.cmake.in
"@PACKAGE_INIT@\ninclude(CMakeFindDependencyMacro)\nfind_dependency(Threads)\nfind_dependency(Protobuf)\nfind_dependency(OpenSSL)\ninclude(\${CMAKE_CURRENT_LIST_DIR}/pbdictTargets.cmake)\n")
configure_package_config_file(${PROJECT_BINARY_DIR}/pbdictConfig.cmake.in ${PROJECT_BINARY_DIR}/pbdictConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pbdictConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pbdictConfig.cmake ${PROJECT_BINARY_DIR}/pbdictConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/pbdict)
# pkg-config: each library with the libraries it needs after it.
set(_pc_ul_libs "-lul -lpthread -lrt")
set(_pc_ul_requires "")
set(_pc_protobuf_json_libs "-lprotobuf_json -lul -lpthread -lrt")
set(_pc_protobuf_json_requires "protobuf")
set(_pc_dict_libs "-ldict -lul -lpthread -lrt")
set(_pc_dict_requires "libcrypto")
set(_pc_ccode_libs "-lccode -ldict -lul -lcld2 -lpthread -lrt -ldl")
set(_pc_ccode_requires "libcrypto")
set(_pc_pbdict_libs "-lpbdict -lprotobuf_json -lccode -ldict -lul -lcld2 -lpthread -lrt -ldl")
set(_pc_pbdict_requires "protobuf libcrypto")
# The prefix is found from the .pc file's own place, so any --prefix works.
file(RELATIVE_PATH _pc_up "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
foreach(_l ${_libs})
  file(WRITE ${PROJECT_BINARY_DIR}/pkgconfig/pbdict-${_l}.pc
"prefix=\${pcfiledir}/${_pc_up}\nlibdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\nincludedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/pbdict\n\nName: pbdict-${_l}\nDescription: ${_l} library of the protobuf dictionary builder\nVersion: ${PROJECT_VERSION}\nRequires.private: ${_pc_${_l}_requires}\nLibs: -L\${libdir} ${_pc_${_l}_libs}\nCflags: -I\${includedir}\n")
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/pbdict-${_l}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
