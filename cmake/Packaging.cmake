# What an installation holds besides the programs and the desktop files (manual pages,
# shell completion, the documentation folder), and the Debian package made of it.
# Everything goes through install() so `cmake --install` and the package hold the same.
# `bash scripts/package.sh` is the way to build the package.

include(GNUInstallDirs)

set(KVP_PACKAGE_MAINTAINER "kvp-reader developers <kvp-reader@example.org>"
    CACHE STRING "Name and address in the package's Maintainer field and changelog")

# Packs a file the way Debian wants it: best compression, no name or time stamp in
# the header (so the same source gives the same bytes). gzip replaces the file it
# packs, so it packs a copy.
function(kvp_gzip source output)
    get_filename_component(_name "${output}" NAME_WLE)
    get_filename_component(_dir "${output}" DIRECTORY)
    add_custom_command(
        OUTPUT "${output}"
        COMMAND "${CMAKE_COMMAND}" -E copy "${source}" "${_dir}/${_name}"
        COMMAND gzip -9 -n -f "${_dir}/${_name}"
        DEPENDS "${source}"
        VERBATIM)
endfunction()

# Manual pages: the version and date are filled in here, so a page always names the
# build it came with.
set(_kvp_man_pages "")
foreach(_kvp_page IN ITEMS kvp-reader.1 kvp-sim.1)
    configure_file("docs/man/${_kvp_page}" "${PROJECT_BINARY_DIR}/man/filled/${_kvp_page}" @ONLY)
    kvp_gzip("${PROJECT_BINARY_DIR}/man/filled/${_kvp_page}" "${PROJECT_BINARY_DIR}/man/${_kvp_page}.gz")
    list(APPEND _kvp_man_pages "${PROJECT_BINARY_DIR}/man/${_kvp_page}.gz")
endforeach()

# Debian asks for documentation over 4 kB to be compressed.
kvp_gzip("${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_BINARY_DIR}/packaging/README.md.gz")

# The changelog Debian asks for in every package's documentation folder.
configure_file(packaging/changelog.in "${PROJECT_BINARY_DIR}/packaging/filled/changelog" @ONLY)
kvp_gzip("${PROJECT_BINARY_DIR}/packaging/filled/changelog" "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
add_custom_target(kvp_docs ALL DEPENDS ${_kvp_man_pages}
    "${PROJECT_BINARY_DIR}/packaging/changelog.gz" "${PROJECT_BINARY_DIR}/packaging/README.md.gz")

install(FILES ${_kvp_man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES packaging/copyright "${PROJECT_BINARY_DIR}/packaging/README.md.gz"
        "${PROJECT_BINARY_DIR}/packaging/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
# bash-completion loads a command's completion from a file named after the command;
# both programs share one script.
foreach(_kvp_program IN ITEMS kvp-reader kvp-sim)
    install(FILES data/completion/kvp-reader
            DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions"
            RENAME ${_kvp_program})
endforeach()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvp-reader)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "${KVP_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KVP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads a KV-P measurement module over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
"kvp-reader polls a KV-P measurement module on an RS-232 line (or RS-485
behind an adapter) at 19200 bit/s, 8E1, and shows its current value live,
in a window or one value a line on the console. Replies that arrive in
pieces, time out or fail their check byte are recovered from, and a stale
value is shown grey.

kvp-sim plays such a module on a pseudo-terminal, with faults on the line
on request, for trying the reader without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's Chinese texts need a font that has them, and Qt's own dialogs its Chinese
# (qtbase_zh_CN.qm); the console needs neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
# Directories as Debian has them, whatever the umask of whoever builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
