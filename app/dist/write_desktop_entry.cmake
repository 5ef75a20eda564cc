# Writes telvane.desktop into the installed folder. A launcher names its program and icon by absolute paths, so it
# is written at install time for the folder installed to (run again after moving the folder).
# Used by install(SCRIPT ...): CMAKE_INSTALL_PREFIX is the prefix being installed to.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/telvane")
set(target "${CMAKE_INSTALL_PREFIX}/telvane")

# Exec: the path in double quotes with ", `, $ and \ escaped by a backslash, then every backslash doubled for the
# value itself. Path and Icon are plain values: only the backslash is escaped.
string(REPLACE "\\" "\\\\" quoted "${target}/telvane")
string(REGEX REPLACE "([\"`$])" "\\\\\\1" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "\\" "\\\\" plainFolder "${target}")

file(WRITE "${folder}/telvane.desktop" "[Desktop Entry]
Type=Application
Version=1.4
Name=Telvane
Name[zh_CN]=快速电话查号
GenericName=Telephone Directory
GenericName[zh_CN]=电话簿
Comment=Find a person by the pinyin initials of the name, a number by any of its digits
Comment[zh_CN]=键入拼音首字母查姓名，键入任意几位数字查号码
Exec=\"${quoted}\"
Path=${plainFolder}
Icon=${plainFolder}/telvane.png
Terminal=false
StartupWMClass=telvane
Categories=Office;ContactManagement;
Keywords=phone;directory;contacts;pinyin;
Keywords[zh_CN]=电话;号码;通讯录;拼音;
")
message(STATUS "Launcher: ${folder}/telvane.desktop")
