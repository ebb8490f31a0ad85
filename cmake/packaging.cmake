# The Debian package. From a Release build:
#
#   cd build && cpack -G DEB      ->  starloom_VERSION_ARCH.deb
#
# It holds what `cmake --install` installs (cmake/desktop_files.cmake: both
# programs, the desktop entry, the icons, the AppStream metainfo and the
# manual pages, compressed) under /usr, and the copyright file and the
# changelog Debian wants in /usr/share/doc/starloom. The libraries it needs
# are found by dpkg-shlibdeps from the binaries themselves.
include(GNUInstallDirs)

set(STARLOOM_PACKAGE_MAINTAINER "The Starloom team <maintainers@users.noreply.c-seed-0931f568.example>"
    CACHE STRING "Maintainer field of the Debian package")

# The package's documentation folder: the copyright file as it stands, the
# changelog compressed as Debian policy asks (gzip -9n: no name or time
# stamp, so that the same sources give the same package).
set(PACKAGE_BUILD_DIR ${CMAKE_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${PACKAGE_BUILD_DIR})
set(PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/starloom)
add_custom_command(
  OUTPUT ${PACKAGE_BUILD_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/data/changelog ${PACKAGE_BUILD_DIR}/changelog
  COMMAND gzip -9nf ${PACKAGE_BUILD_DIR}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/data/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(starloom_package_docs ALL DEPENDS ${PACKAGE_BUILD_DIR}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/data/copyright ${PACKAGE_BUILD_DIR}/changelog.gz DESTINATION ${PACKAGE_DOC_DIR})

# The changelog's latest entry is the version being packaged.
file(STRINGS ${CMAKE_SOURCE_DIR}/data/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^starloom \\(${PROJECT_VERSION}\\) ")
  message(WARNING "data/changelog does not start with an entry for version ${PROJECT_VERSION}: "
                  "add one before building the package")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME starloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Starloom team")
set(CPACK_PACKAGE_CONTACT ${STARLOOM_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fly through a procedurally generated spiral galaxy")
set(CPACK_PACKAGE_DESCRIPTION
"Starloom lets one person fly through a spiral galaxy of some 400 billion
stars. No star is stored anywhere: every star, with its position, colour,
brightness and name, is generated on demand from the region of space that
holds it and the galaxy seed, with integer arithmetic only, so the same place
shows the same stars on every machine.

Steer with the keyboard from the galaxy's core to its halo, search the
nearest stars and fly to them, go to any star by its name, share a place as
a line of text, and save screenshots. The display is drawn with Vulkan; on a
machine without a GPU driver, Mesa's CPU driver (lavapipe) draws it.

The package also holds starloom-cli, the galaxy engine without a window, for
scripts: star names, location texts, searches and save files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STARLOOM_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A Vulkan driver is what makes the program draw: Mesa's (lavapipe draws on
# any processor) unless the machine has another. Without one the program
# says so and exits; starloom-cli needs none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mesa-vulkan-drivers | vulkan-icd")
# xdg-user-dirs names the user's pictures folder (~/.config/user-dirs.dirs),
# where F12 saves screenshots; without it they go to ~/Pictures/Starloom.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-user-dirs")
# The desktop entry names the installed binary by its full path, which the
# install works out from CMAKE_INSTALL_PREFIX: install to /usr under DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# The package built and checked by lintian, from the finished build (not in
# the sanitizer builds, whose binaries are not for installing).
if(NOT STARLOOM_SANITIZE AND NOT STARLOOM_TSAN)
  add_test(NAME e2e_package COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e_package.sh
           ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/e2e-package ${PROJECT_VERSION})
  set_tests_properties(e2e_package PROPERTIES TIMEOUT 300)
endif()
