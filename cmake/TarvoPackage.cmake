# What is installed beside the tuner itself (tarvo-analyse, manual pages, AppStream metainfo,
# licence and changelog), and the Debian package made from it with CPack:
#   cpack --config build/default/CPackConfig.cmake -B build/package     (./setup.sh package)
# CPack packs what `cmake --install` installs, from the build already there, so the package
# costs no second build; dpkg-shlibdeps works out Depends from the binaries.

set(TARVO_PACKAGE_MAINTAINER
    "Tarvo Instrument Tuner maintainers <maintainers@users.noreply.c-seed-014030f9.example>"
    CACHE STRING "Maintainer of the Debian package")
set(TARVO_SCREENSHOT_BASE_URL "https://www.tarvo.com/products/tarvo10"
    CACHE STRING "Where docs/*.png are published, for the AppStream metainfo's screenshots")
set(TARVO_DEB_VERSION "${PROJECT_VERSION}-1")
set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg ${CMAKE_BINARY_DIR}/packaging)
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/tarvo-tuner)

install(TARGETS tarvo-analyse RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${_pkg_src}/com.tarvo.tuner.metainfo.xml.in ${_pkg}/com.tarvo.tuner.metainfo.xml
               @ONLY)
install(FILES ${_pkg}/com.tarvo.tuner.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name or time
# stamp). tarvo-analyse's page is made by help2man from its own --help, so its options always
# match; help2man looks for "Usage:", which tarvo-analyse writes in lower case.
configure_file(${_pkg_src}/changelog.in ${_pkg}/changelog.Debian @ONLY)
set(_compressed ${_pkg}/tarvo-tuner.1.gz ${_pkg}/changelog.Debian.gz)
add_custom_command(
    OUTPUT ${_compressed}
    COMMAND gzip -9n -c ${_pkg_src}/tarvo-tuner.1 > ${_pkg}/tarvo-tuner.1.gz
    COMMAND gzip -9n -c ${_pkg}/changelog.Debian > ${_pkg}/changelog.Debian.gz
    DEPENDS ${_pkg_src}/tarvo-tuner.1 ${_pkg}/changelog.Debian
    VERBATIM)
find_program(TARVO_HELP2MAN help2man)
if(TARVO_HELP2MAN)
    file(GENERATE OUTPUT ${_pkg}/bin/tarvo-analyse
         CONTENT "#!/bin/sh\n\"$<TARGET_FILE:tarvo-analyse>\" \"$@\" | sed '1s/^usage:/Usage:/'\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    add_custom_command(
        OUTPUT ${_pkg}/tarvo-analyse.1.gz
        COMMAND ${TARVO_HELP2MAN} --no-info "--version-string=tarvo-analyse ${PROJECT_VERSION}"
                "--name=the Tarvo tuner's pitch analysis on recordings"
                --include=${_pkg_src}/tarvo-analyse.h2m --output=${_pkg}/tarvo-analyse.1
                ${_pkg}/bin/tarvo-analyse
        COMMAND gzip -9nf ${_pkg}/tarvo-analyse.1
        DEPENDS tarvo-analyse ${_pkg_src}/tarvo-analyse.h2m
        VERBATIM)
    list(APPEND _compressed ${_pkg}/tarvo-analyse.1.gz)
else()
    message(STATUS "Tarvo: help2man not found, tarvo-analyse gets no manual page")
endif()
add_custom_target(tarvo_manuals ALL DEPENDS ${_compressed})
list(FILTER _compressed INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${_compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg_src}/copyright ${_pkg}/changelog.Debian.gz DESTINATION ${_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvo-tuner)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvo Instrument Tuner developers")
set(CPACK_PACKAGE_CONTACT ${TARVO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chromatic instrument tuner")
# Lines of at most 80 characters: the Description field takes them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tarvo Instrument Tuner records the microphone or line input, finds the"
    "fundamental of the note being played and names the nearest note of the"
    "equal-tempered scale against an adjustable concert A. A small window shows"
    "the note with its octave, how far it lies from the half-step as a signed"
    "percent and as a needle, and the recording energy."
    ""
    "The package also holds tarvo-analyse, which runs the same analysis on"
    "recordings and prints one CSV line per frame.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tarvo.com/products/tarvo10.html")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The help page and the web page open through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
