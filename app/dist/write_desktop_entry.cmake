# Writes telvane.desktop into the installed folder from telvane.desktop.in (which the package's launcher shares). A
# launcher names its program and icon by absolute paths, so it is written at install time for the folder installed
# to (run again after moving the folder).
# Used by install(SCRIPT ...): CMAKE_INSTALL_PREFIX is the prefix being installed to.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/telvane")
set(target "${CMAKE_INSTALL_PREFIX}/telvane")

# Exec: the path in double quotes with ", `, $ and \ escaped by a backslash, then every backslash doubled for the
# value itself. Path and Icon are plain values: only the backslash is escaped.
string(REPLACE "\\" "\\\\" quoted "${target}/telvane")
string(REGEX REPLACE "([\"`$])" "\\\\\\1" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "\\" "\\\\" plainFolder "${target}")

set(DESKTOP_EXEC "\"${quoted}\"")
set(DESKTOP_PATH "Path=${plainFolder}\n")
set(DESKTOP_ICON "${plainFolder}/telvane.png")
configure_file("${CMAKE_CURRENT_LIST_DIR}/telvane.desktop.in" "${folder}/telvane.desktop" @ONLY)
message(STATUS "Launcher: ${folder}/telvane.desktop")
