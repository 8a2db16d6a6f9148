# The application manifest of a Windows program, from cmake/windows/application.manifest.in,
# embedded as its RT_MANIFEST resource:
#   fwu_windows_manifest(TARGET DESCRIPTION [WINDOW])
# Every program runs asInvoker and is longPathAware. WINDOW adds what a program with a window
# needs: per-monitor DPI awareness (v2, falling back to per-monitor on older systems) and the
# common controls of version 6 (the system's current look).
function(fwu_windows_manifest target description)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(ARG "WINDOW" "" "" ${ARGN})
    set(FWU_MANIFEST_NAME "${target}")
    set(FWU_MANIFEST_FILE_NAME "${target}.exe")
    set(FWU_MANIFEST_DESCRIPTION "${description}")
    set(FWU_MANIFEST_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
    set(FWU_MANIFEST_WINDOW_SETTINGS "")
    set(FWU_MANIFEST_DEPENDENCIES "")
    if(ARG_WINDOW)
        set(FWU_MANIFEST_WINDOW_SETTINGS "
      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>
      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>")
        set(FWU_MANIFEST_DEPENDENCIES "
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"
                        processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>
    </dependentAssembly>
  </dependency>")
    endif()
    set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    set(resource "${CMAKE_CURRENT_BINARY_DIR}/${target}-manifest.rc")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/windows/application.manifest.in" "${manifest}" @ONLY)
    # 1 is the manifest of a program (CREATEPROCESS_MANIFEST_RESOURCE_ID), 24 is RT_MANIFEST.
    file(WRITE "${resource}" "1 24 \"${manifest}\"\n")
    target_sources(${target} PRIVATE "${resource}")
    set_property(SOURCE "${resource}" APPEND PROPERTY OBJECT_DEPENDS "${manifest}")
endfunction()
