# The Windows program's installer and portable ZIP, made by CPack on Linux from a
# MinGW cross-build: the programs, the trend's chart, the DLLs they need (Qt's, the
# platform and style plugins, the MinGW runtime, libmosquitto where it is built) and
# the icon. `bash scripts/windows-package.sh BUILD_DIR` makes both and tries the
# installer in a fresh Wine prefix.

# The icon: the window's own PNGs in one .ico (icotool, from Debian's icoutils).
find_program(KVP_ICOTOOL icotool)
if(NOT KVP_ICOTOOL)
    message(FATAL_ERROR "The Windows installer needs icotool for its icon: apt-get install icoutils")
endif()
set(_kvp_icons "${PROJECT_SOURCE_DIR}/src/ui/icons")
set(KVP_ICO "${PROJECT_BINARY_DIR}/kvp-reader.ico")
# Made when configuring: the programs are in other folders of the build, whose
# targets could not depend on a command's output made here.
execute_process(
    COMMAND "${KVP_ICOTOOL}" -c -o "${KVP_ICO}" "${_kvp_icons}/kvp-reader-16.png" "${_kvp_icons}/kvp-reader-32.png"
    RESULT_VARIABLE _kvp_ico_result)
if(NOT _kvp_ico_result EQUAL 0)
    message(FATAL_ERROR "icotool could not make ${KVP_ICO} from ${_kvp_icons}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${_kvp_icons}/kvp-reader-16.png" "${_kvp_icons}/kvp-reader-32.png")
# Explorer, the task bar and the Start menu take a program's icon from its resources.
file(WRITE "${PROJECT_BINARY_DIR}/kvp-reader-icon.rc" "1 ICON \"${KVP_ICO}\"\n")
foreach(_kvp_program IN ITEMS kvp-reader kvp-reader-window)
    if(TARGET ${_kvp_program})
        target_sources(${_kvp_program} PRIVATE "${PROJECT_BINARY_DIR}/kvp-reader-icon.rc")
    endif()
endforeach()

# The DLLs: whatever the programs, the chart and the plugins import, found in Qt's
# bin/, the compiler's folders and libmosquitto's prefix; Windows' own stay out.
get_filename_component(_kvp_qt "${Qt6_DIR}/../../.." ABSOLUTE)
set(KVP_WINDOWS_QT_PLUGINS platforms/qwindows.dll styles/qwindowsvistastyle.dll)
foreach(_kvp_plugin IN LISTS KVP_WINDOWS_QT_PLUGINS)
    get_filename_component(_kvp_folder "${_kvp_plugin}" DIRECTORY)
    install(FILES "${_kvp_qt}/plugins/${_kvp_plugin}" DESTINATION "bin/${_kvp_folder}")
endforeach()
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-libgcc-file-name
    OUTPUT_VARIABLE _kvp_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_kvp_gcc_dir "${_kvp_libgcc}" DIRECTORY)
set(_kvp_dll_dirs "${_kvp_qt}/bin" "${_kvp_gcc_dir}" /usr/x86_64-w64-mingw32/lib)
if(KVP_MOSQUITTO_ROOT)
    list(APPEND _kvp_dll_dirs "${KVP_MOSQUITTO_ROOT}/bin")
endif()
set(_kvp_globs)
foreach(_kvp_dir IN LISTS _kvp_dll_dirs)
    list(APPEND _kvp_globs "${_kvp_dir}/*.dll")
endforeach()
find_program(KVP_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
install(CODE "
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${KVP_OBJDUMP}\")
    set(_bin \"\${CMAKE_INSTALL_PREFIX}/bin\")
    file(GLOB _modules \"\${_bin}/*.exe\" \"\${_bin}/plugins/*.dll\" \"\${_bin}/platforms/*.dll\" \"\${_bin}/styles/*.dll\")
    # objdump's names come lower-cased (qt6core.dll) and a Linux folder is not: each
    # is looked for by its name in any case, and what it imports in turn, until no
    # new one turns up.
    file(GLOB _candidates LIST_DIRECTORIES false ${_kvp_globs})
    set(_bundled)
    foreach(_round RANGE 4)
        file(GET_RUNTIME_DEPENDENCIES LIBRARIES \${_modules}
            RESOLVED_DEPENDENCIES_VAR _found UNRESOLVED_DEPENDENCIES_VAR _unresolved
            DIRECTORIES ${_kvp_dll_dirs}
            PRE_EXCLUDE_REGEXES [[^api-ms-]] [[^ext-ms-]]
            POST_EXCLUDE_REGEXES [[.*/[Ss]ystem32/.*]])
        set(_system)
        foreach(_name IN LISTS _unresolved)
            set(_hit)
            foreach(_file IN LISTS _candidates)
                get_filename_component(_base \"\${_file}\" NAME)
                string(TOLOWER \"\${_base}\" _base)
                if(_base STREQUAL _name)
                    set(_hit \"\${_file}\")
                endif()
            endforeach()
            if(_hit)
                list(APPEND _found \"\${_hit}\")
            else()
                list(APPEND _system \${_name})
            endif()
        endforeach()
        list(REMOVE_DUPLICATES _found)
        list(REMOVE_ITEM _found \${_bundled} \"\")
        if(NOT _found)
            break()
        endif()
        list(APPEND _bundled \${_found})
        set(_modules \${_found})
    endforeach()
    foreach(_dll IN LISTS _bundled)
        file(INSTALL \"\${_dll}\" DESTINATION \"\${_bin}\")
    endforeach()
    # What is not found is Windows' own (KERNEL32.dll and the like): named, so that a
    # DLL missing from the folders above shows here and not on a user's PC.
    list(REMOVE_DUPLICATES _system)
    list(JOIN _system \" \" _system)
    message(STATUS \"Not bundled, taken from Windows: \${_system}\")
")

# The installer (NSIS) and the same files in a ZIP that runs from wherever it is
# unpacked.
set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME kvp-reader)
set(CPACK_PACKAGE_VENDOR "kvp-reader developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "kvp-reader-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads a KV-P measurement module over a serial line")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kvp-reader)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY kvp-reader)
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/packaging/copyright")
set(CPACK_STRIP_FILES ON)
# The Start menu opens the window's program: kvp-reader.exe is a console program,
# which would bring a console window with it.
set(CPACK_PACKAGE_EXECUTABLES kvp-reader-window kvp-reader)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME kvp-reader)
set(CPACK_NSIS_PACKAGE_NAME "kvp-reader ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON "${KVP_ICO}")
set(CPACK_NSIS_MUI_UNIICON "${KVP_ICO}")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\kvp-reader-window.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: NSIS makes a 32-bit one by default, which
# a Windows without its 32-bit layer (and a 64-bit-only Wine) cannot start at all, and
# which would see the 32-bit view of the registry.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# CPack's uninstaller removes what it installed; the folder it leaves when empty goes too.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "RMDir /r \\\"$INSTDIR\\\"")
include(CPack)
