# Optimised builds, and so the package, take the distribution's hardening
# flags from dpkg-buildflags: FORTIFY, the stack protector, full RELRO and
# BIND_NOW. The sanitizer and fuzz builds do without them: FORTIFY's checked
# functions hide faults from AddressSanitizer, and it needs optimisation.
option(TIDEWELL_HARDENING "Build optimised builds with the distribution's hardening flags" ON)

if(TIDEWELL_HARDENING AND NOT TIDEWELL_SANITIZE AND NOT TIDEWELL_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    find_program(TIDEWELL_DPKG_BUILDFLAGS dpkg-buildflags)
    if(NOT TIDEWELL_DPKG_BUILDFLAGS)
        message(WARNING "dpkg-buildflags was not found; building without the hardening flags")
        return()
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${TIDEWELL_DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        # Optimisation and debugging information stay the build type's.
        list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
        if(kind STREQUAL LDFLAGS)
            target_link_options(tidewell_warnings INTERFACE ${flags})
        else()
            target_compile_options(tidewell_warnings INTERFACE ${flags})
        endif()
        list(APPEND TIDEWELL_HARDENING_FLAGS ${flags})
    endforeach()
    message(STATUS "Hardening flags: ${TIDEWELL_HARDENING_FLAGS}")
endif()
