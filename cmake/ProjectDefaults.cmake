# Settings every target of the project takes, applied per target.
function(fwu_target_defaults target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    # GCC 12 reports a false -Wrestrict overlap inside std::string's operator+ once it is
    # inlined at -O2 and above (fixed in GCC 13); the warning says nothing about our code.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(FWU_SANITIZE)
        target_compile_options(${target} PUBLIC -fsanitize=address,undefined
                                                -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_link_options(${target} PUBLIC -fsanitize=address,undefined)
    endif()
    if(FWU_SANITIZE_THREAD)
        target_compile_options(${target} PUBLIC -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PUBLIC -fsanitize=thread)
    endif()
endfunction()

# ThreadSanitizer cannot share a build with AddressSanitizer.
if(FWU_SANITIZE AND FWU_SANITIZE_THREAD)
    message(FATAL_ERROR "FWU_SANITIZE and FWU_SANITIZE_THREAD cannot be on in the same build")
endif()
