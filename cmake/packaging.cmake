# Installation and packages (CPack: a Debian package and a tarball). The layout, below the
# package's prefix (/usr in the .deb, the tarball's top folder):
#
#   lib/vornk/vornk.so         the module for the host: VORNK_PACKAGE_MODULE, a build against the
#                              controller's host framework headers, or else a link to
#                              stand-in/vornk.so
#   lib/vornk/stand-in/        what the tools run with, all built against the stand-in host:
#     vornk-host               runs the module against a device; loads vornk.so from its own folder
#     vornk-sim                a simulated BACnet/IP device
#     vornk.so                 the module's stand-in build, vornk-host's default
#     libzeqhost.so            the stand-in host library the two tools link (RUNPATH $ORIGIN), kept
#                              out of the system's library folders where the real host's lives
#   bin/vornk-host, bin/vornk-sim    links to the tools
#   share/doc/vornk/           README.md, docs/ (which it links to) and the examples
#
# The tools sit apart from lib/vornk/vornk.so so that they never load a module built against
# another host's layout, whose classes they would misread. scripts/package makes the controller's
# packages from the armhf build, with VORNK_PACKAGE_MODULE set when it is given the host's headers.

# Installing (and so CPack) takes what is built, without building everything first: the tests
# are not installed, and scripts/package builds the installed targets.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(VORNK_PACKAGE_MODULE "" CACHE FILEPATH
    "The module to package as lib/vornk/vornk.so (a build against the controller's host framework \
headers, e.g. build-controller/vornk.so); empty: a link to the stand-in build")

set(VORNK_PRIVATE_LIBDIR lib/vornk)
set(VORNK_STAND_IN_LIBDIR ${VORNK_PRIVATE_LIBDIR}/stand-in)
set(VORNK_DOCDIR share/doc/vornk)

set_target_properties(vornk-host vornk-sim PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS vornk vornk-host vornk-sim zeqhost
        RUNTIME DESTINATION ${VORNK_STAND_IN_LIBDIR}
        LIBRARY DESTINATION ${VORNK_STAND_IN_LIBDIR})

# Relative links, so that they hold under any prefix. vornk-host resolves its own path through
# /proc/self/exe, which names the target, and so finds the stand-in vornk.so beside it.
set(vornk_links ${CMAKE_BINARY_DIR}/install_links)
file(MAKE_DIRECTORY ${vornk_links})
foreach(tool vornk-host vornk-sim)
  file(CREATE_LINK ../${VORNK_STAND_IN_LIBDIR}/${tool} ${vornk_links}/${tool} SYMBOLIC)
  install(FILES ${vornk_links}/${tool} DESTINATION bin)
endforeach()

if(VORNK_PACKAGE_MODULE STREQUAL "")
  file(CREATE_LINK stand-in/vornk.so ${vornk_links}/vornk.so SYMBOLIC)
  install(FILES ${vornk_links}/vornk.so DESTINATION ${VORNK_PRIVATE_LIBDIR})
else()
  # Stripped as CPack strips the targets: it strips only what install(TARGETS) installs.
  install(FILES ${VORNK_PACKAGE_MODULE} DESTINATION ${VORNK_PRIVATE_LIBDIR} RENAME vornk.so)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VORNK_PRIVATE_LIBDIR}/vornk.so\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${VORNK_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${VORNK_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${VORNK_DOCDIR})

# What the package needs of the machine it is installed on. The C and C++ runtimes are those
# docs/controller.md states (GLIBC_2.34, GLIBCXX_3.4.29), as the Debian package versions that
# provide them: libc6 2.34, and libstdc++6 of GCC 11, whose C++ runtime introduced
# GLIBCXX_3.4.29; every binary also links libgcc_s (libgcc-s1). The module takes jsoncpp from the
# host process; the tools link Debian's (libjsoncpp.so.25). tests/package/check_package.sh checks
# this list against docs/controller.md and the packaged binaries.
set(VORNK_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1, libjsoncpp25 (>= 1.9.5)")

set(CPACK_PACKAGE_NAME vornk)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_VENDOR "vornk developers")
set(CPACK_PACKAGE_CONTACT "vornk developers <vornk@example.invalid>")
# The description says which module the package holds; tests/package/check_package.sh reads it.
set(vornk_package_about "vornk.so reads the fixed BACnet points of a device into a packed record
every cycle and publishes it to the host framework. vornk-host and vornk-sim probe a
device from the controller.")
if(VORNK_PACKAGE_MODULE STREQUAL "")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "BACnet device-driver module for the host data-collection framework (stand-in build)")
  set(CPACK_PACKAGE_DESCRIPTION "${vornk_package_about}
This package's vornk.so is built against the stand-in host, for desks and trials. It must be
rebuilt with VORNK_HOST_INCLUDE_DIR, and checked with scripts/check-host, before it
goes into a controller's host.")
else()
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "BACnet device-driver module for the host data-collection framework (controller build)")
  set(CPACK_PACKAGE_DESCRIPTION "${vornk_package_about}
This package's vornk.so is built against the controller's host framework headers. The tools in
lib/vornk/stand-in load their own stand-in build of it.")
endif()
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

# The controller is Debian armhf; other builds package for the machine they run on.
if(CMAKE_LIBRARY_ARCHITECTURE STREQUAL "arm-linux-gnueabihf")
  set(vornk_package_architecture armhf)
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE vornk_package_architecture
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${vornk_package_architecture})
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${VORNK_PACKAGE_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The tarball, which unpacks into one folder of its name holding bin/, lib/ and share/.
set(CPACK_PACKAGE_FILE_NAME
    ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${vornk_package_architecture})

include(CPack)
