# What `cmake --install` puts under the prefix: the public headers, the libraries, the tool, the
# CMake package (find_package(Qarvex): Qarvex::qarvex and Qarvex::png) and the pkg-config files
# qarvex.pc and qarvex-png.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QARVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Qarvex)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/qarvex DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS qarvex_platform qarvex_core qarvex_stream qarvex_volume qarvex_resource qarvex_persist
                qarvex_gfx qarvex_startup qarvex_png qarvex_library
        EXPORT QarvexTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS qarvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT QarvexTargets NAMESPACE Qarvex:: DESTINATION ${QARVEX_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QarvexConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QarvexConfig.cmake INSTALL_DESTINATION ${QARVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QarvexConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QarvexConfig.cmake ${PROJECT_BINARY_DIR}/QarvexConfigVersion.cmake
        DESTINATION ${QARVEX_CMAKE_DIR})

# pkg-config has no link features, so the start-up library is wrapped in the linker's own
# whole-archive flags; the libraries follow in the order they use each other.
if(QARVEX_PNG_USES_LIBPNG)
    set(QARVEX_PNG_REQUIRES "qarvex libpng")
else()
    set(QARVEX_PNG_REQUIRES "qarvex")
endif()
# The prefix is found from the .pc file's own place, so that `cmake --install --prefix` anywhere
# gives working files.
file(RELATIVE_PATH QARVEX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" QARVEX_PC_TO_PREFIX ${QARVEX_PC_TO_PREFIX})
foreach(file qarvex.pc qarvex-png.pc)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${file}.in ${PROJECT_BINARY_DIR}/${file} @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${file} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
