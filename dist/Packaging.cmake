# What "cmake --install" puts on a machine beside the three programs, and the Debian
# package that cpack makes of it: manual pages made from the programs' own --help,
# the desktop entry with its icons, the AppStream metainfo, the bash completion of
# kestrum-cli, the copyright file and the changelog. Included from the top-level
# CMakeLists.txt once the programs are defined.

set(KESTRUM_DIST ${PROJECT_SOURCE_DIR}/dist)
set(KESTRUM_PROGRAMS)
foreach(program kestrum kestrum-cli kestrum-sim)
    if(TARGET ${program})
        list(APPEND KESTRUM_PROGRAMS ${program})
    endif()
endforeach()
find_program(KESTRUM_GZIP gzip REQUIRED)

# The version is written once, in project(VERSION); the changelog and the metainfo
# list the releases, and their newest entry has to be this one.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${KESTRUM_DIST}/changelog ${KESTRUM_DIST}/example.brivane.kestrum.metainfo.xml)
file(STRINGS ${KESTRUM_DIST}/changelog changelog_top LIMIT_COUNT 1)
string(REGEX MATCH "^kestrum \\(([^)]*)\\)" changelog_top "${changelog_top}")
set(changelog_version "${CMAKE_MATCH_1}")
file(READ ${KESTRUM_DIST}/example.brivane.kestrum.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
if(NOT changelog_version STREQUAL PROJECT_VERSION OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "Version ${PROJECT_VERSION} needs the first entry of dist/changelog "
                        "and the first <release> of dist/example.brivane.kestrum.metainfo.xml")
endif()

# Manual pages, from each program's --help and --version.
set(KESTRUM_MAN_kestrum "configure a Dunvale unit paging converter in a window")
set(KESTRUM_MAN_kestrum-cli "read, write and back up the settings of a Dunvale unit paging converter")
set(KESTRUM_MAN_kestrum-sim "simulate a Dunvale unit paging converter on a pseudo-terminal")
find_program(KESTRUM_HELP2MAN help2man)
if(KESTRUM_HELP2MAN)
    set(KESTRUM_MAN_PAGES ON)
    set(pages)
    set(run)
    if(KESTRUM_SANITIZE)
        # Qt keeps some allocations until exit, which LeakSanitizer would report.
        set(run ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0)
    endif()
    foreach(program IN LISTS KESTRUM_PROGRAMS)
        # The sections --help has no words for: the other programs and the maker.
        set(others ${KESTRUM_PROGRAMS})
        list(REMOVE_ITEM others ${program})
        list(TRANSFORM others PREPEND ".BR ")
        list(TRANSFORM others APPEND " (1)")
        list(JOIN others ",\n" see_also)
        file(WRITE ${PROJECT_BINARY_DIR}/man/${program}.h2m
             "[AUTHOR]\nBrivane, www.brivane.example\n[SEE ALSO]\n${see_also}\n")
        set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${run} ${KESTRUM_HELP2MAN} --no-info "--name=${KESTRUM_MAN_${program}}"
                    --include=${program}.h2m --output=${page} $<TARGET_FILE:${program}>
            COMMAND ${KESTRUM_GZIP} -9nf ${page}
            DEPENDS ${program} ${PROJECT_BINARY_DIR}/man/${program}.h2m
            WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/man
            COMMENT "Making the manual page ${program}(1)"
            VERBATIM)
        list(APPEND pages ${page}.gz)
    endforeach()
    add_custom_target(man-pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION share/man/man1)
else()
    set(KESTRUM_MAN_PAGES OFF)
    message(STATUS "help2man not found: building without manual pages, and the package "
                   "target stops (tools/install-deps.sh installs help2man)")
endif()

# The changelog, compressed as Debian keeps it.
add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTRUM_DIST}/changelog changelog
    COMMAND ${KESTRUM_GZIP} -9nf changelog
    DEPENDS ${KESTRUM_DIST}/changelog
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    VERBATIM)
add_custom_target(changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)

install(TARGETS ${KESTRUM_PROGRAMS} RUNTIME DESTINATION bin)
install(FILES ${KESTRUM_DIST}/kestrum.desktop DESTINATION share/applications)
install(FILES ${KESTRUM_DIST}/example.brivane.kestrum.metainfo.xml DESTINATION share/metainfo)
install(FILES ${KESTRUM_DIST}/kestrum.svg DESTINATION share/icons/hicolor/scalable/apps)
# The PNG sizes are made by tools/render-icons.sh.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${KESTRUM_DIST}/icons/${size}x${size}/kestrum.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${KESTRUM_DIST}/kestrum-cli.bash DESTINATION share/bash-completion/completions
        RENAME kestrum-cli)
install(FILES ${KESTRUM_DIST}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/kestrum)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrum)
set(CPACK_PACKAGE_VENDOR Brivane)
set(CPACK_PACKAGE_CONTACT "Brivane <support@brivane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.brivane.example")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration tool for the Dunvale unit ESPA 4.4.4 paging converter")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrum reads, changes and writes the settings of the Dunvale unit, a paging
converter with one ESPA 4.4.4 output and two ESPA inputs, over its
configuration port (a serial line, 9600 8N1). It shows every setting on tab
pages, keeps settings files and a default set, restarts the converter, sends
a test call to a pager and logs every exchange.

The package holds the window program kestrum, the command-line tool
kestrum-cli for scripts and SSH sessions, and kestrum-sim, a simulated
converter on a pseudo-terminal for trying both without the hardware.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The debug information stays in the build tree; the package gets stripped programs.
set(CPACK_STRIP_FILES ON)
set(CPACK_KESTRUM_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${KESTRUM_DIST}/RemoveComments.cmake)
set(CPACK_KESTRUM_MAN_PAGES ${KESTRUM_MAN_PAGES})
set(CPACK_PROJECT_CONFIG_FILE ${KESTRUM_DIST}/RequireManPages.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
