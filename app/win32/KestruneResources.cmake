# The Windows executable's manifest, version block and icon.
#
#   kestrune_windows_resources(<target>)
#
# The version block is generated from the version of the enclosing project(), so that the
# file's properties always show the version the program was built as.
enable_language(RC)

set(KESTRUNE_WINDOWS_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(kestrune_windows_resources target)
    set(KESTRUNE_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
    if(PROJECT_VERSION_TWEAK STREQUAL "")
        set(PROJECT_VERSION_TWEAK 0)
    endif()
    set(version_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}Version.rc)
    configure_file(${KESTRUNE_WINDOWS_RESOURCE_DIR}/KestruneVersion.rc.in ${version_rc} @ONLY)

    target_sources(${target} PRIVATE ${version_rc} ${KESTRUNE_WINDOWS_RESOURCE_DIR}/KestruneIcon.rc)
    if(MSVC)
        # The linker embeds a manifest source; without /MANIFESTUAC:NO it would add its own
        # asInvoker level and refuse the clash with ours.
        target_sources(${target} PRIVATE ${KESTRUNE_WINDOWS_RESOURCE_DIR}/Kestrune.manifest)
        target_link_options(${target} PRIVATE /MANIFESTUAC:NO)
    else()
        target_sources(${target} PRIVATE ${KESTRUNE_WINDOWS_RESOURCE_DIR}/KestruneManifest.rc)
    endif()
endfunction()
