# The documents installed beside the tool, in the forms Debian policy asks
# for and other systems read as well: the man page gzipped, the licence as a
# machine-readable copyright file, and CHANGELOG.md as a Debian change log
# (newest first, one entry per version), gzipped.

find_program(GZIP gzip)
set(docs_dir ${CMAKE_CURRENT_BINARY_DIR}/docs)
file(MAKE_DIRECTORY ${docs_dir})

# Day of the week of a date, as a change log trailer writes it (Zeller).
function(weekday_of year month day out)
    if(month LESS 3)
        math(EXPR month "${month} + 12")
        math(EXPR year "${year} - 1")
    endif()
    math(EXPR index "(${day} + (13 * (${month} + 1)) / 5 + ${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + 5) % 7")
    set(names Mon Tue Wed Thu Fri Sat Sun)
    list(GET names ${index} name)
    set(${out} ${name} PARENT_SCOPE)
endfunction()

# CHANGELOG.md: "## VERSION (YYYY-MM-DD)" headings, "- " items that may go
# on over indented lines. Items under any other heading ("## Unreleased")
# belong to no release yet and are left out. A second release on one day
# gives its time too, "(YYYY-MM-DD, HH:MM UTC)": a Debian change log must
# not repeat an entry's date and time.
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog_lines)
set(debian_changelog "")
set(trailer "")
set(in_release FALSE)
foreach(line IN LISTS changelog_lines)
    # A group that takes no part in a match leaves its variable as it was.
    unset(CMAKE_MATCH_6)
    if(line MATCHES "^## ([^ ]+) \\(([0-9]+)-([0-9]+)-([0-9]+)(, ([0-9][0-9]:[0-9][0-9]) UTC)?\\)")
        set(in_release TRUE)
        set(version ${CMAKE_MATCH_1})
        set(year ${CMAKE_MATCH_2})
        math(EXPR month "${CMAKE_MATCH_3}")
        math(EXPR day "${CMAKE_MATCH_4}")
        set(time "00:00")
        if(CMAKE_MATCH_6)
            set(time "${CMAKE_MATCH_6}")
        endif()
        weekday_of(${year} ${month} ${day} weekday)
        math(EXPR month_index "${month} - 1")
        list(GET month_names ${month_index} month_name)
        string(APPEND debian_changelog "${trailer}${PROJECT_NAME} (${version}) unstable; urgency=medium\n\n")
        set(trailer "\n -- ${POWERFACTS_MAINTAINER}  ${weekday}, ${CMAKE_MATCH_4} ${month_name} ${year} ${time}:00 +0000\n\n")
    elseif(line MATCHES "^## ")
        set(in_release FALSE)
    elseif(in_release AND line MATCHES "^- (.*)")
        string(APPEND debian_changelog "  * ${CMAKE_MATCH_1}\n")
    elseif(in_release AND line MATCHES "^  +(.*)")
        string(APPEND debian_changelog "    ${CMAKE_MATCH_1}\n")
    endif()
endforeach()
string(APPEND debian_changelog "${trailer}")
string(REGEX REPLACE "\n\n$" "\n" debian_changelog "${debian_changelog}")
file(WRITE ${docs_dir}/changelog "${debian_changelog}")

# LICENSE as a machine-readable copyright file: the licence text indented
# by one space, its blank lines written " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(holders "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" permission "${license}")
string(REGEX REPLACE "\n$" "" permission "${permission}")
string(REPLACE "\n\n" "\n.\n" permission "${permission}")
string(REPLACE "\n" "\n " permission "${permission}")
file(WRITE ${docs_dir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holders}
License: Expat
 ${permission}
")

if(GZIP)
    # -n leaves out the name and time, so the same sources give the same bytes.
    foreach(source ${PROJECT_SOURCE_DIR}/docs/powerfacts.1 ${docs_dir}/changelog)
        get_filename_component(base ${source} NAME)
        add_custom_command(OUTPUT ${docs_dir}/${base}.gz
            COMMAND ${GZIP} -9nc ${source} > ${docs_dir}/${base}.gz
            DEPENDS ${source} VERBATIM)
        list(APPEND gzipped ${docs_dir}/${base}.gz)
    endforeach()
    add_custom_target(installed_docs ALL DEPENDS ${gzipped})
    install(FILES ${docs_dir}/powerfacts.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs_dir}/changelog.gz ${docs_dir}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
    install(FILES docs/powerfacts.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs_dir}/changelog ${docs_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
