# What makes Starloom a desktop program once installed: the two binaries, a
# desktop entry under the application's reverse-DNS id, its icon (the
# project's own SVG, and PNG sizes rendered from it at build time), AppStream
# metainfo and a manual page for each binary, all under GNUInstallDirs so
# that any prefix works (cmake --install build --prefix ~/.local for one user).
include(GNUInstallDirs)

set(STARLOOM_APP_ID org.tarnwick.Starloom)
set(DESKTOP_SOURCE_DIR ${CMAKE_SOURCE_DIR}/data)
set(DESKTOP_BUILD_DIR ${CMAKE_BINARY_DIR}/desktop)
file(MAKE_DIRECTORY ${DESKTOP_BUILD_DIR})

install(TARGETS starloom starloom-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The icon sizes menus and launchers ask for, rendered by librsvg.
set(ICON_SVG ${DESKTOP_SOURCE_DIR}/icons/${STARLOOM_APP_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(ICON_SIZES 16 24 32 48 64 128 256 512)
set(ICON_PNGS)
foreach(size ${ICON_SIZES})
  set(png ${DESKTOP_BUILD_DIR}/icons/${size}x${size}/${STARLOOM_APP_ID}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DESKTOP_BUILD_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${ICON_SVG}
    DEPENDS ${ICON_SVG}
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
  list(APPEND ICON_PNGS ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(starloom_icons ALL DEPENDS ${ICON_PNGS})
install(FILES ${ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The metainfo and the manual pages carry the version. The manual pages are
# installed compressed, as Debian's are (gzip -9n: no name or time stamp).
configure_file(${DESKTOP_SOURCE_DIR}/${STARLOOM_APP_ID}.metainfo.xml.in
               ${DESKTOP_BUILD_DIR}/${STARLOOM_APP_ID}.metainfo.xml @ONLY)
install(FILES ${DESKTOP_BUILD_DIR}/${STARLOOM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(MAN_PAGES)
foreach(page starloom starloom-cli)
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1.in ${DESKTOP_BUILD_DIR}/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${DESKTOP_BUILD_DIR}/${page}.1.gz
    COMMAND gzip -9nkf ${DESKTOP_BUILD_DIR}/${page}.1
    DEPENDS ${DESKTOP_BUILD_DIR}/${page}.1
    COMMENT "Compressing the manual page ${page}(1)"
    VERBATIM)
  list(APPEND MAN_PAGES ${DESKTOP_BUILD_DIR}/${page}.1.gz)
  install(FILES ${DESKTOP_BUILD_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(starloom_man_pages ALL DEPENDS ${MAN_PAGES})

# The desktop entry starts the installed binary by its full path, which is
# known only when installing (--prefix may differ from the configured prefix):
# it is written at install time, then installed like the other files.
install(CODE "
  set(bindir \"${CMAKE_INSTALL_BINDIR}\")
  if(NOT IS_ABSOLUTE \"\${bindir}\")
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/\${bindir}\")
  endif()
  set(STARLOOM_EXEC \"\${bindir}/starloom\")
  configure_file(\"${DESKTOP_SOURCE_DIR}/${STARLOOM_APP_ID}.desktop.in\"
                 \"${DESKTOP_BUILD_DIR}/${STARLOOM_APP_ID}.desktop\" @ONLY)
")
install(FILES ${DESKTOP_BUILD_DIR}/${STARLOOM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
