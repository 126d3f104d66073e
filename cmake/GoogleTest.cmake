# GoogleTest from Debian's source package, built by this tree for its own
# target (native or mingw-w64).
set(NORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${NORVANE_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found at ${NORVANE_GTEST_SOURCE} (apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${NORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

add_library(norvane_gtest_main INTERFACE)
target_link_libraries(norvane_gtest_main INTERFACE gtest_main)
if(NORVANE_WINDOWS)
    target_link_options(norvane_gtest_main INTERFACE -static)
endif()
