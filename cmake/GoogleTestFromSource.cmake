# GoogleTest built from the system's source package (Debian `googletest`, /usr/src/googletest)
# for a cross build, where no prebuilt library for the target exists. Nothing is downloaded.
# Provides the same targets as find_package(GTest): GTest::gtest and GTest::gtest_main.
set(QARVEX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${QARVEX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${QARVEX_GOOGLETEST_SOURCE}: "
                        "install the Debian package googletest")
endif()
if(NOT TARGET GTest::gtest)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    # Third-party code: its own warnings are not ours to fix.
    add_subdirectory(${QARVEX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(NOT TARGET GTest::gtest)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
endif()
