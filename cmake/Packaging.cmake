# The Debian package, built by CPack's DEB generator (make package): everything the install
# rules put in place under /usr, the package's changelog and copyright, and the maintainer
# scripts that apply the udev rule at once. The run-time dependencies are computed from the
# binaries by dpkg-shlibdeps.
set(FWU_PACKAGE_NAME firmware-update)
set(FWU_PACKAGE_MAINTAINER "Firmware Update developers <firmware-update@example.org>"
    CACHE STRING "The Debian package's maintainer, as name <address>")

# Packages the programs need that dpkg-shlibdeps cannot see in the binaries, such as a font the
# window's captions are laid out for: Debian's syntax, comma-separated. The shared libraries'
# packages are added to these.
set(FWU_PACKAGE_EXTRA_DEPENDS "fonts-liberation")

set(FWU_DEBIAN_SOURCE_DIR "${PROJECT_SOURCE_DIR}/dist/debian")
set(FWU_DEBIAN_BINARY_DIR "${PROJECT_BINARY_DIR}/debian")
set(FWU_PACKAGE_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/${FWU_PACKAGE_NAME}")
set(FWU_UDEV_RULE_FILE "${PROJECT_SOURCE_DIR}/dist/linux/70-firmware-update.rules")

# The changelog is compressed the way Debian ships it: gzip -9, without a name or time stamp.
add_custom_command(
    OUTPUT "${FWU_DEBIAN_BINARY_DIR}/changelog.gz"
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" "${FWU_DEBIAN_SOURCE_DIR}/changelog"
            "${FWU_DEBIAN_BINARY_DIR}/changelog.gz"
    DEPENDS "${FWU_DEBIAN_SOURCE_DIR}/changelog"
    VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS "${FWU_DEBIAN_BINARY_DIR}/changelog.gz")
install(FILES "${FWU_DEBIAN_BINARY_DIR}/changelog.gz" "${FWU_DEBIAN_SOURCE_DIR}/copyright"
        DESTINATION "${FWU_PACKAGE_DOC_DIR}")

# The maintainer scripts trigger the devices the udev rule is for; their IDs come from the rule.
file(STRINGS "${FWU_UDEV_RULE_FILE}" rule_lines REGEX "^[^#]*ATTRS{idVendor}")
set(FWU_UDEV_DEVICE_IDS)
foreach(line IN LISTS rule_lines)
    if(NOT line MATCHES "ATTRS{idVendor}==\"([0-9a-fA-F]+)\".*ATTRS{idProduct}==\"([0-9a-fA-F]+)\"")
        message(FATAL_ERROR "${FWU_UDEV_RULE_FILE}: a rule without vendor and product ID: ${line}")
    endif()
    string(TOLOWER "${CMAKE_MATCH_1}:${CMAKE_MATCH_2}" device_id)
    list(APPEND FWU_UDEV_DEVICE_IDS "${device_id}")
endforeach()
if(NOT FWU_UDEV_DEVICE_IDS)
    message(FATAL_ERROR "${FWU_UDEV_RULE_FILE} names no device")
endif()
list(JOIN FWU_UDEV_DEVICE_IDS " " FWU_UDEV_DEVICE_IDS)
foreach(script postinst postrm)
    configure_file("${FWU_DEBIAN_SOURCE_DIR}/udev-refresh.in" "${FWU_DEBIAN_BINARY_DIR}/${script}"
                   @ONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${FWU_PACKAGE_NAME}")
set(CPACK_PACKAGE_VERSION "${FWU_VERSION_TEXT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update and service the firmware of a family of USB HID devices")
set(CPACK_PACKAGE_DESCRIPTION [=[
Firmware Update finds a device of one family of USB HID devices by its vendor
and product ID, shows its manufacturer, product, version and serial number, and
writes a firmware image into it with HID feature reports through the kernel's
hidraw driver. Service functions dump the device's flash to a file, erase it,
and switch it into its bootloader to load a bootloader-mode image.

The package holds the Qt window (firmware-update), the command-line program for
scripts and production lines (firmware-update-cli), and a udev rule that gives
the user logged in at the machine access to the devices. Both programs can run
on a built-in simulated device.]=])
set(CPACK_PACKAGE_CONTACT "${FWU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FWU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${FWU_PACKAGE_EXTRA_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${FWU_DEBIAN_BINARY_DIR}/postinst" "${FWU_DEBIAN_BINARY_DIR}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
