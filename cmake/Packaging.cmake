# Installation and the Debian package.
#
# The executable expects its templates beside it, so it is installed with
# them into a folder of its own, and a link on the PATH points at it (the
# program finds its folder through the link).
set(TIDEWELL_PROGRAM_DIR lib/tidewell-episode-keeper)

install(TARGETS tidewell-episode-keeper RUNTIME DESTINATION ${TIDEWELL_PROGRAM_DIR})
install(FILES ${TIDEWELL_BLANK_TEMPLATE} DESTINATION ${TIDEWELL_PROGRAM_DIR})
install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(CREATE_LINK ../${TIDEWELL_PROGRAM_DIR}/tidewell-episode-keeper \"\${bin}/tidewell-episode-keeper\" SYMBOLIC)
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell-episode-keeper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Downloads podcast episodes on a schedule")
set(CPACK_PACKAGE_DESCRIPTION
    "Keeps a list of podcast feeds and, for each active one, downloads the newest episode at its own interval, \
replacing the one before. Works from its window, from the command line, or headless.")
set(CPACK_PACKAGE_CONTACT "Tidewell Episode Keeper maintainers <${TIDEWELL_SUPPORT_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries the executable links are found by dpkg-shlibdeps; the window
# also needs Qt's platform plugins, which nothing links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
