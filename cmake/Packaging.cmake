# Installation and the Debian package.
#
# The executable expects its templates beside it, so it is installed with
# them into a folder of its own, and a link on the PATH points at it (the
# program finds its folder through the link).
set(TIDEWELL_PROGRAM_DIR lib/tidewell-episode-keeper)

install(TARGETS tidewell-episode-keeper RUNTIME DESTINATION ${TIDEWELL_PROGRAM_DIR})
install(TARGETS tidewell-episode-keeper-window LIBRARY DESTINATION ${TIDEWELL_PROGRAM_DIR}/modules)
# The code below the window, which both of them load; nobody else links it.
install(TARGETS tidewell_core LIBRARY DESTINATION ${TIDEWELL_PROGRAM_DIR}/core)
# Stripping leaves the compiler's notes; the package needs them no more than
# the symbols.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(binary tidewell-episode-keeper modules/tidewell-episode-keeper-window.so
                       core/$<TARGET_FILE_NAME:tidewell_core>)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TIDEWELL_PROGRAM_DIR}/\${binary}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()
")
install(FILES ${TIDEWELL_BLANK_TEMPLATE} DESTINATION ${TIDEWELL_PROGRAM_DIR})
install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${TIDEWELL_PROGRAM_DIR}/tidewell-episode-keeper \"\${bin}/tidewell-episode-keeper\" SYMBOLIC)
")

include(GNUInstallDirs)
set(TIDEWELL_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(TIDEWELL_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(TIDEWELL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tidewell-episode-keeper)

# Dates inside the package are the newest changelog entry's.
execute_process(
    COMMAND dpkg-parsechangelog -l ${TIDEWELL_PACKAGING}/changelog -S Timestamp
    OUTPUT_VARIABLE TIDEWELL_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
set(ENV{SOURCE_DATE_EPOCH} ${TIDEWELL_RELEASE_EPOCH})
string(TIMESTAMP TIDEWELL_RELEASE_DATE "%Y-%m-%d" UTC)
unset(ENV{SOURCE_DATE_EPOCH})

# The manual page and the changelog, compressed as Debian keeps them.
find_program(TIDEWELL_SCDOC scdoc REQUIRED)
set(TIDEWELL_MANUAL ${TIDEWELL_PACKAGING_OUT}/tidewell-episode-keeper.1.gz)
set(TIDEWELL_CHANGELOG ${TIDEWELL_PACKAGING_OUT}/changelog.gz)
add_custom_command(
    OUTPUT ${TIDEWELL_MANUAL}
    COMMAND ${CMAKE_COMMAND} -DIN=${TIDEWELL_PACKAGING}/tidewell-episode-keeper.1.scd -DOUT=${TIDEWELL_MANUAL}
            -DSCDOC=${TIDEWELL_SCDOC} -DEPOCH=${TIDEWELL_RELEASE_EPOCH} -P ${PROJECT_SOURCE_DIR}/cmake/CompressDoc.cmake
    DEPENDS ${TIDEWELL_PACKAGING}/tidewell-episode-keeper.1.scd ${PROJECT_SOURCE_DIR}/cmake/CompressDoc.cmake
    COMMENT "Making the manual page"
    VERBATIM)
add_custom_command(
    OUTPUT ${TIDEWELL_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -DIN=${TIDEWELL_PACKAGING}/changelog -DOUT=${TIDEWELL_CHANGELOG}
            -DEPOCH=${TIDEWELL_RELEASE_EPOCH} -P ${PROJECT_SOURCE_DIR}/cmake/CompressDoc.cmake
    DEPENDS ${TIDEWELL_PACKAGING}/changelog ${PROJECT_SOURCE_DIR}/cmake/CompressDoc.cmake
    COMMENT "Compressing the changelog"
    VERBATIM)
add_custom_target(tidewell_documents ALL DEPENDS ${TIDEWELL_MANUAL} ${TIDEWELL_CHANGELOG})
install(FILES ${TIDEWELL_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TIDEWELL_CHANGELOG} DESTINATION ${TIDEWELL_DOC_DIR})

# The copyright file in the machine-readable format, its licence text taken
# from LICENSE: each line indented by one space, an empty line as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*)$")
    message(FATAL_ERROR "LICENSE has no \"Copyright (c)\" line followed by the licence")
endif()
set(TIDEWELL_COPYRIGHT ${CMAKE_MATCH_1})
string(STRIP "${CMAKE_MATCH_2}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
set(TIDEWELL_LICENSE_TEXT " ${license}")
configure_file(${TIDEWELL_PACKAGING}/copyright.in ${TIDEWELL_PACKAGING_OUT}/copyright @ONLY)
install(FILES ${TIDEWELL_PACKAGING_OUT}/copyright DESTINATION ${TIDEWELL_DOC_DIR})

install(FILES ${TIDEWELL_PACKAGING}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME tidewell-episode-keeper)

# What a software centre shows.
set(TIDEWELL_METAINFO org.marrowby.tidewell_episode_keeper.metainfo.xml)
configure_file(${TIDEWELL_PACKAGING}/${TIDEWELL_METAINFO}.in ${TIDEWELL_PACKAGING_OUT}/${TIDEWELL_METAINFO} @ONLY)
install(FILES ${TIDEWELL_PACKAGING_OUT}/${TIDEWELL_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The headless scheduler as a systemd user service. The unit names the
# executable by its installed path, which is known only when installing: the
# package installs under /usr, a hand install wherever it is told.
install(CODE "
    set(TIDEWELL_EXECUTABLE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tidewell-episode-keeper\")
    set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/tidewell-episode-keeper.service\")
    message(STATUS \"Installing: \${unit}\")
    configure_file(\"${TIDEWELL_PACKAGING}/tidewell-episode-keeper.service.in\" \"\${unit}\" @ONLY)
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell-episode-keeper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Downloads podcast episodes on a schedule")
# CPack keeps the line breaks; lines stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION [[
Tidewell Episode Keeper keeps a list of podcast feeds (RSS 2.0, RDF or Atom)
and, for each active one, downloads the newest episode at an interval of its
own into a folder and under a file name of the user's choice, replacing the
episode before once the new one has arrived whole.

It works from its window, which hides into the notification area and can
start with the desktop session; from the command line, which also imports
and exports the feed list as OPML; and headless, as a systemd user service.]])
set(CPACK_PACKAGE_CONTACT "Tidewell Episode Keeper maintainers <${TIDEWELL_SUPPORT_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries the executable links are found by dpkg-shlibdeps; the window
# also needs Qt's platform plugins, which nothing links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# TLS needs the certificate authorities; libcurl only recommends them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ca-certificates")
set(CPACK_STRIP_FILES ON)
include(CPack)
