# Builds GoogleTest from Debian's source package (package googletest) for the cross toolchain,
# and offers it under the names find_package(GTest) gives: GTest::gtest, GTest::gtest_main,
# GTest::gmock, GTest::gmock_main.
set(FWU_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${FWU_GOOGLETEST_SOURCE}/CMakeLists.txt")
    set(GTest_FOUND FALSE)
    set(GTest_NOT_FOUND_MESSAGE "no GoogleTest source at ${FWU_GOOGLETEST_SOURCE}")
    return()
endif()
if(NOT TARGET GTest::gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # GoogleTest's own Windows threading, not winpthreads.
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    # The tests' standard, so that GoogleTest prints char8_t strings too.
    # A function scope keeps the setting from the callers.
    function(_fwu_add_googletest)
        set(CMAKE_CXX_STANDARD 20)
        add_subdirectory("${FWU_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest"
                         EXCLUDE_FROM_ALL)
    endfunction()
    _fwu_add_googletest()
endif()
set(GTest_FOUND TRUE)
