# Installation of the desktop integration and documentation, and the Debian package:
#   cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
#         -DGW_BUILD_TESTS=OFF -DGW_BUILD_BENCH=OFF
#   cmake --build build-package && (cd build-package && cpack -G DEB)
# makes glyphwright_VERSION_amd64.deb; scripts/package-check.sh builds and checks it. The programs,
# help page, desktop entry and icons are installed by src/app and cli; this file adds the rest.

set(gw_resources ${PROJECT_SOURCE_DIR}/resources)
set(gw_package_dir ${PROJECT_BINARY_DIR}/package)
set(gw_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/glyphwright)
set(CPACK_PACKAGE_CONTACT "The Glyphwright authors <glyphwright@users.noreply.github.com>")

# The release date as a Debian changelog wants it ("Wed, 09 Dec 2026 00:00:00 +0000").
function(gw_rfc2822_date iso out)
    string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" matched "${iso}")
    if(NOT matched)
        message(FATAL_ERROR "GW_RELEASE_DATE '${iso}' is not YYYY-MM-DD")
    endif()
    math(EXPR year "${CMAKE_MATCH_1}")
    math(EXPR month "${CMAKE_MATCH_2}")
    math(EXPR day "${CMAKE_MATCH_3}")
    # Sakamoto's day of the week, 0 = Sunday.
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    math(EXPR index "${month} - 1")
    list(GET offsets ${index} offset)
    set(y ${year})
    if(month LESS 3)
        math(EXPR y "${y} - 1")
    endif()
    math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
    set(weekdays Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(GET weekdays ${weekday} weekday_name)
    list(GET months ${index} month_name)
    string(SUBSTRING "0${day}" 0 -1 padded)
    string(LENGTH "${padded}" length)
    math(EXPR start "${length} - 2")
    string(SUBSTRING "${padded}" ${start} 2 padded)
    set(${out} "${weekday_name}, ${padded} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()
gw_rfc2822_date(${GW_RELEASE_DATE} GW_RELEASE_DATE_RFC2822)

# AppStream metainfo of the window, with this release.
set(gw_metainfo ${gw_package_dir}/io.github.glyphwright.Glyphwright.metainfo.xml)
configure_file(${gw_resources}/io.github.glyphwright.Glyphwright.metainfo.xml.in ${gw_metainfo} @ONLY)
if(TARGET glyphwright)
    install(FILES ${gw_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name or time inside).
find_program(GW_GZIP gzip REQUIRED)
configure_file(${gw_resources}/debian/changelog.in ${gw_package_dir}/changelog @ONLY)
set(gw_manual_pages)
if(TARGET glyphwright)
    list(APPEND gw_manual_pages ${gw_resources}/glyphwright.1)
endif()
if(TARGET glyphwright-cli)
    list(APPEND gw_manual_pages ${PROJECT_SOURCE_DIR}/cli/glyphwright-cli.1)
endif()
set(gw_compressed)
foreach(source IN LISTS gw_manual_pages ITEMS ${gw_package_dir}/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${gw_package_dir}/gz/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND ${GW_GZIP} -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    list(APPEND gw_compressed ${copy}.gz)
    if(NOT name STREQUAL "changelog")
        install(FILES ${copy}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()
add_custom_target(gw_compressed_docs ALL DEPENDS ${gw_compressed})
install(FILES ${gw_package_dir}/gz/changelog.gz DESTINATION ${gw_doc_dir})

# The machine-readable copyright file, with the text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE gw_license)
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) [^\n]*\n\n" "" gw_license "${gw_license}")
string(STRIP "${gw_license}" gw_license)
string(REGEX REPLACE "\n\n" "\n.\n" gw_license "${gw_license}")
string(REGEX REPLACE "\n" "\n " gw_license "${gw_license}")
file(WRITE ${gw_package_dir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Glyphwright
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: https://github.com/glyphwright/glyphwright

Files: *
Copyright: 2026 The Glyphwright authors
License: Expat
 ${gw_license}
")
install(FILES ${gw_package_dir}/copyright DESTINATION ${gw_doc_dir})

# bash completion, generated from the --help texts of the program just built.
if(TARGET glyphwright-cli)
    set(gw_completion ${gw_package_dir}/completions/glyphwright-cli)
    add_custom_command(OUTPUT ${gw_completion}
        COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:glyphwright-cli> -DOUTPUT=${gw_completion}
                -P ${PROJECT_SOURCE_DIR}/cmake/BashCompletion.cmake
        DEPENDS glyphwright-cli ${PROJECT_SOURCE_DIR}/cmake/BashCompletion.cmake
        COMMENT "Writing the bash completion of glyphwright-cli from its help" VERBATIM)
    add_custom_target(gw_bash_completion ALL DEPENDS ${gw_completion})
    install(FILES ${gw_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

# Checks of the desktop metadata and the completion (skipped where the validator is missing).
if(GW_BUILD_TESTS)
    set(gw_package_tests ${PROJECT_SOURCE_DIR}/tests/package)
    add_test(NAME package_desktop_entry
             COMMAND ${gw_package_tests}/validate.sh desktop-file-validate ${gw_resources}/glyphwright.desktop)
    add_test(NAME package_metainfo COMMAND ${gw_package_tests}/validate.sh appstreamcli ${gw_metainfo})
    set_tests_properties(package_desktop_entry package_metainfo PROPERTIES SKIP_RETURN_CODE 77)
    if(TARGET glyphwright-cli)
        add_test(NAME package_bash_completion
                 COMMAND bash ${gw_package_tests}/completion_test.sh $<TARGET_FILE:glyphwright-cli> ${gw_completion})
    endif()
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphwright)
set(CPACK_PACKAGE_VENDOR "The Glyphwright authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn pictures into Windows and Macintosh icon files")
set(CPACK_PACKAGE_DESCRIPTION
    "Glyphwright makes multi-resolution icon files from ordinary pictures:
Windows icons (.ico) and Macintosh icons (.icns), with every size from 16
to 1024 pixels, in 32-bit colour with transparency and in 8-, 4- and 1-bit
palettes with dithering. Pictures are dropped on its small window or opened
with it from the file manager; it never overwrites a file.
.
The command-line companion glyphwright-cli does the same in scripts and
lists or extracts the images of existing icon files.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/glyphwright/glyphwright)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps sees only linked libraries; the ones opened on first use (GW_LAZY_CODECS) are named
# by the package that holds them here.
set(gw_opened_packages)
foreach(soname IN LISTS GW_LAZY_SONAMES)
    execute_process(COMMAND dpkg-query -S "*/${soname}" OUTPUT_VARIABLE owner ERROR_QUIET
                    RESULT_VARIABLE failed)
    string(REGEX MATCH "^[^:,]+" package "${owner}")
    if(failed OR NOT package)
        message(WARNING "no Debian package holds ${soname}; the package will not depend on it")
    else()
        list(APPEND gw_opened_packages ${package})
    endif()
endforeach()
list(JOIN gw_opened_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
