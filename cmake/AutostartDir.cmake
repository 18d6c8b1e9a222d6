# Where the checker's autostart entry goes for an install prefix: the folder
# chosen, if any; else /etc/xdg/autostart for /usr and /usr/local, the folder
# sessions read; else <prefix>/etc/xdg/autostart. Used when configuring (for
# the package) and again when installing (for the prefix in force then).
function(quorlin_autostart_dir prefix chosen out)
    if(chosen)
        set(${out} "${chosen}" PARENT_SCOPE)
    elseif(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/local")
        set(${out} /etc/xdg/autostart PARENT_SCOPE)
    else()
        set(${out} "${prefix}/etc/xdg/autostart" PARENT_SCOPE)
    endif()
endfunction()
