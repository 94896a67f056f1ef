# Install-time step: writes the desktop entry with the launcher's installed path in Exec=. A
# bare name would need the launcher's folder on PATH, which ~/.local/bin only joins at the
# next login, and desktops refuse an entry whose program they cannot find.
#
# Set by the including install(CODE): TARVO_DESKTOP_IN (the entry with Exec=@TARVO_EXEC@),
# TARVO_DESKTOP_OUT (a scratch path in the build tree), TARVO_BINDIR, TARVO_APPDIR.
if(IS_ABSOLUTE "${TARVO_BINDIR}")
    set(launcher "${TARVO_BINDIR}/tarvo-tuner")
else()
    set(launcher "${CMAKE_INSTALL_PREFIX}/${TARVO_BINDIR}/tarvo-tuner")
endif()
# Quoted so spaces survive: inside quotes \ " ` $ take a backslash, and then every backslash
# of the value is written twice, as the entry format's own escaping wants.
string(REPLACE "\\" "\\\\" quoted "${launcher}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
string(REPLACE "`" "\\`" quoted "${quoted}")
string(REPLACE "$" "\\$" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
set(TARVO_EXEC "\"${quoted}\"")
configure_file("${TARVO_DESKTOP_IN}" "${TARVO_DESKTOP_OUT}" @ONLY)
if(IS_ABSOLUTE "${TARVO_APPDIR}")
    set(appdir "${TARVO_APPDIR}")
else()
    set(appdir "${CMAKE_INSTALL_PREFIX}/${TARVO_APPDIR}")
endif()
file(INSTALL DESTINATION "${appdir}" TYPE FILE FILES "${TARVO_DESKTOP_OUT}")
