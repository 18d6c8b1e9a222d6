# Runs at install time, after Install.cmake has set QUORLIN_BINDIR,
# QUORLIN_DATADIR, QUORLIN_PROGRAM_DIR, QUORLIN_AUTOSTART_DIR and
# QUORLIN_ENTRIES. Paths come from the install prefix in force now; DESTDIR,
# when set, is put in front of each file written, never into its contents.
include(${CMAKE_CURRENT_LIST_DIR}/AutostartDir.cmake)

set(prefix "${CMAKE_INSTALL_PREFIX}")
set(bin "${prefix}/${QUORLIN_BINDIR}")
set(applications "${prefix}/${QUORLIN_DATADIR}/applications")
quorlin_autostart_dir("${prefix}" "${QUORLIN_AUTOSTART_DIR}" autostart)

# The commands are relative symbolic links into the program folder:
# applicationDirPath() follows them (it is read from /proc/self/exe, which
# names the link's target), so each program still finds the other beside it.
file(RELATIVE_PATH to_programs "${bin}" "${prefix}/${QUORLIN_PROGRAM_DIR}")
function(quorlin_link program command)
    set(link "$ENV{DESTDIR}${bin}/${command}")
    message(STATUS "Installing: ${link}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${bin}")
    file(CREATE_LINK "${to_programs}/${program}" "${link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${bin}/${command}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
quorlin_link(Quorlin quorlin)
quorlin_link(config quorlin-config)

# The entries' Exec and TryExec name the commands by their full path. Exec
# quotes a path that holds a character the entry format reserves: a backslash
# before each of " ` $ \ inside the quotes, each backslash then doubled as in
# any string value, and % written as %%.
set(QUORLIN_LAUNCH_DIR "${bin}")
function(quorlin_exec command out)
    set(path "${bin}/${command}")
    if(path MATCHES "[] \t\n\"'\\><~|&;$*?#()`%[]")
        string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" path "${path}")
        string(REPLACE "\\" "\\\\" path "${path}")
        string(REPLACE "%" "%%" path "${path}")
        set(path "\"${path}\"")
    endif()
    set(${out} "${path}" PARENT_SCOPE)
endfunction()
quorlin_exec(quorlin QUORLIN_CHECKER_EXEC)
quorlin_exec(quorlin-config QUORLIN_CONFIG_EXEC)
function(quorlin_entry entry folder name)
    set(target "$ENV{DESTDIR}${folder}/${name}")
    message(STATUS "Installing: ${target}")
    configure_file("${QUORLIN_ENTRIES}/${entry}.desktop.in" "${target}" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${folder}/${name}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
quorlin_entry(quorlin "${applications}" quorlin.desktop)
quorlin_entry(quorlin-config "${applications}" quorlin-config.desktop)
quorlin_entry(quorlin-autostart "${autostart}" quorlin.desktop)
