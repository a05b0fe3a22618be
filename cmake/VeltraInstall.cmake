# Installation layout. An installation mirrors the build tree:
#
#   PREFIX/lib/veltra/            the installation directory
#   PREFIX/lib/veltra/bin/        programs, libraries and plug-ins side by side ($ORIGIN run paths)
#   PREFIX/lib/veltra/examples/   the demonstration applications (*.app)
#   PREFIX/bin/                   launchers: relative symlinks into lib/veltra/bin
#   PREFIX/include, PREFIX/LIBDIR the target run-time (veltra_target.h, libveltra_target.a) with
#                                 a CMake package (VeltraTarget) and a pkg-config file (veltra-target)
#
# Keeping the programs in a bin/ folder one level below the installation
# directory means the host finds its installation as "the directory above the
# program's own", exactly as in the build tree, so nothing needs recording in
# the settings store when the tree is installed or moved.
include(GNUInstallDirs)

set(VELTRA_INSTALL_DIR lib/veltra)
set(VELTRA_INSTALL_BINDIR ${VELTRA_INSTALL_DIR}/bin)
set(VELTRA_INSTALL_EXAMPLEDIR ${VELTRA_INSTALL_DIR}/examples)

# veltra_install_library(TARGET...): a library or plug-in next to the programs.
function(veltra_install_library)
  install(TARGETS ${ARGN} LIBRARY DESTINATION ${VELTRA_INSTALL_BINDIR} COMPONENT runtime)
endfunction()

# veltra_install_program(TARGET...): a program next to the libraries, with a
# launcher of the same name in PREFIX/bin. The launcher is a relative symlink:
# the loader and the program both resolve it to the real file, so $ORIGIN and
# the program's own directory stay those of lib/veltra/bin.
function(veltra_install_program)
  foreach(target ${ARGN})
    install(TARGETS ${target} RUNTIME DESTINATION ${VELTRA_INSTALL_BINDIR} COMPONENT runtime)
    set(link ${CMAKE_BINARY_DIR}/install-links/bin/${target})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links/bin)
    file(CREATE_LINK ../${VELTRA_INSTALL_BINDIR}/${target} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endforeach()
endfunction()

# veltra_install_example(TARGET...): a demonstration application.
function(veltra_install_example)
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${VELTRA_INSTALL_EXAMPLEDIR} COMPONENT runtime)
endfunction()

# veltra_install_target_runtime(TARGET HEADER): the DSP-side run-time for
# building applications of one's own, found by CMake as
#   find_package(VeltraTarget) ... target_link_libraries(app PRIVATE Veltra::target)
# or by pkg-config as veltra-target. Both locate the installation from their
# own place in it, so a moved tree still builds.
function(veltra_install_target_runtime target header)
  install(TARGETS ${target} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

  include(CMakePackageConfigHelpers)
  set(configDir ${CMAKE_INSTALL_LIBDIR}/cmake/VeltraTarget)
  set(VELTRA_TARGET_LIBRARY ${CMAKE_INSTALL_LIBDIR}/lib${target}.a)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VeltraTargetConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/packaging/VeltraTargetConfig.cmake
                                INSTALL_DESTINATION ${configDir}
                                PATH_VARS VELTRA_TARGET_LIBRARY CMAKE_INSTALL_INCLUDEDIR)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/VeltraTargetConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/VeltraTargetConfig.cmake
                ${CMAKE_BINARY_DIR}/packaging/VeltraTargetConfigVersion.cmake
          DESTINATION ${configDir} COMPONENT development)

  set(pcDir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH VELTRA_PC_PREFIX /root/${pcDir} /root)
  string(REGEX REPLACE "/$" "" VELTRA_PC_PREFIX "${VELTRA_PC_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/veltra-target.pc.in ${CMAKE_BINARY_DIR}/packaging/veltra-target.pc
                 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/veltra-target.pc DESTINATION ${pcDir} COMPONENT development)
endfunction()

# veltra_install_link(NAME FILE): a second name for a library next to it, as a
# relative symlink NAME -> FILE (Spectrel.so -> Plexa_300.so).
function(veltra_install_link name file)
  set(link ${CMAKE_BINARY_DIR}/install-links/lib/${name})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links/lib)
  file(CREATE_LINK ${file} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${VELTRA_INSTALL_BINDIR} COMPONENT runtime)
endfunction()
