# The version every program prints for --version: the project's version, and when the
# tree is a git checkout, the commit it was built from, e.g. "1.0.0 (git 1a2b3c4)".
# A bug report then names the exact source, not just the last release.
#
# The commit is read when CMake configures. To keep it right without anyone
# reconfiguring by hand, the build depends on git's record of HEAD: a commit, checkout
# or reset rewrites it, and the next build reconfigures on its own. The text is put
# only on the programs' own targets (kvp_set_version), so that costs a re-run of CMake
# and the compile of each main.cpp, not a rebuild of the libraries.
#
# Uncommitted changes are not marked: whether the tree is clean changes with every
# edit, and following that would mean a git call on every build.

set(KVP_VERSION_STRING "${PROJECT_VERSION}")

find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" rev-parse --short=7 HEAD
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE _kvp_commit
        RESULT_VARIABLE _kvp_commit_failed
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" rev-parse --absolute-git-dir
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE _kvp_git_dir
        RESULT_VARIABLE _kvp_git_dir_failed
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Only the project's own repository counts: a source tarball unpacked inside
    # some other checkout must not take that checkout's commit.
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE _kvp_git_top
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(_kvp_git_top)
        get_filename_component(_kvp_git_top "${_kvp_git_top}" REALPATH)
    endif()
    get_filename_component(_kvp_source_real "${PROJECT_SOURCE_DIR}" REALPATH)
    if(_kvp_commit_failed EQUAL 0 AND _kvp_git_dir_failed EQUAL 0 AND _kvp_commit
       AND _kvp_git_top STREQUAL _kvp_source_real)
        set(KVP_VERSION_STRING "${PROJECT_VERSION} (git ${_kvp_commit})")
        set(_kvp_in_checkout TRUE)
        # logs/HEAD grows with every move of HEAD in this work tree (each worktree has
        # its own); HEAD itself is the fallback where reflogs are off.
        foreach(_kvp_head IN ITEMS "${_kvp_git_dir}/HEAD" "${_kvp_git_dir}/logs/HEAD")
            if(EXISTS "${_kvp_head}")
                set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY
                             CMAKE_CONFIGURE_DEPENDS "${_kvp_head}")
            endif()
        endforeach()
    endif()
endif()

# The date of the source, for the manual pages and the package's changelog: the commit's
# date in a checkout, so the same commit always gives the same files; otherwise today
# (or SOURCE_DATE_EPOCH, which string(TIMESTAMP) honours).
string(TIMESTAMP KVP_SOURCE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KVP_SOURCE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(_kvp_in_checkout)
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" log -1 --format=%cs%n%cD
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        OUTPUT_VARIABLE _kvp_dates
        RESULT_VARIABLE _kvp_dates_failed
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(_kvp_dates_failed EQUAL 0 AND _kvp_dates MATCHES "^([0-9-]+)\n(.+)$")
        set(KVP_SOURCE_DATE "${CMAKE_MATCH_1}")
        set(KVP_SOURCE_DATE_RFC2822 "${CMAKE_MATCH_2}")
    endif()
endif()
message(STATUS "kvp-reader version: ${KVP_VERSION_STRING}, source of ${KVP_SOURCE_DATE}")

# Gives a program's main() the version text as KVP_VERSION.
function(kvp_set_version target)
    target_compile_definitions(${target} PRIVATE KVP_VERSION="${KVP_VERSION_STRING}")
endfunction()
