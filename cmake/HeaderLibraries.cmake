# The header-only Debian packages the program uses, each as an interface target:
#   fwu_cli11  CLI11, which reads the command lines of the windows and of firmware-update-cli
#   fwu_json   nlohmann-json, which writes the command line's result lines
# A native build takes their CMake packages. The mingw-w64 build searches only the mingw tree,
# and the host's /usr/include must stay out of a Windows build: it gets a folder of its own in
# the build tree holding copies of just these libraries' headers.
set(FWU_HEADER_LIBRARY_COPIES "${PROJECT_BINARY_DIR}/library-headers")

# TARGET: the interface target to make; HEADER: a header of the library, below its own folder
# (CLI/CLI.hpp); PACKAGE and IMPORTED: its CMake package and the target that package defines;
# DEBIAN: the Debian package that holds it.
function(fwu_header_library target header package imported debian)
    add_library(${target} INTERFACE)
    if(NOT CMAKE_CROSSCOMPILING)
        find_package(${package} CONFIG REQUIRED)
        target_link_libraries(${target} INTERFACE ${imported})
        return()
    endif()
    get_filename_component(folder "${header}" DIRECTORY)
    find_path(FWU_${folder}_INCLUDE_DIR "${header}" PATHS /usr/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT FWU_${folder}_INCLUDE_DIR)
        message(FATAL_ERROR "${header} is missing: install the Debian package ${debian}")
    endif()
    file(COPY "${FWU_${folder}_INCLUDE_DIR}/${folder}" DESTINATION "${FWU_HEADER_LIBRARY_COPIES}")
    target_include_directories(${target} SYSTEM INTERFACE "${FWU_HEADER_LIBRARY_COPIES}")
endfunction()

fwu_header_library(fwu_cli11 CLI/CLI.hpp CLI11 CLI11::CLI11 libcli11-dev)
fwu_header_library(fwu_json nlohmann/json.hpp nlohmann_json nlohmann_json::nlohmann_json
                   nlohmann-json3-dev)
