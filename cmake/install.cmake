# `cmake --install <build> --prefix ~/.local` puts the program in place as the
# portable folder it is: lib/velmora holds the programs and fls/ with the export
# templates (the program finds fls/ beside itself and writes fls/sets.ini there
# while the folder is the user's own, else in the user's config folder), bin/ holds
# launchers, share/ the desktop entry, the AppStream entry, the icons, the manual
# pages and the copyright file. `cmake --build <build> --target uninstall` takes it all away
# again. The same rules stage the Debian package (cmake/package.cmake).
include(GNUInstallDirs)

# The program folder is the program's own, not a library folder: it stays
# lib/velmora under every prefix. CMAKE_INSTALL_LIBDIR is not used for it, as it
# names the folder for shared libraries, which is lib/x86_64-linux-gnu under /usr
# on Debian and lib64 on other systems; the launchers find the programs there too.
set(VELMORA_PROGRAM_DIR lib/velmora)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmora)
set(VELMORA_ICON_SIZES 16 32 48 128 256)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The launchers reach the program folder relative to their own folder.
file(RELATIVE_PATH VELMORA_PROGRAM_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${VELMORA_PROGRAM_DIR})

foreach(program IN ITEMS velmora velmora-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${VELMORA_PROGRAM_DIR})
    set(VELMORA_PROGRAM ${program})
    configure_file(${PROJECT_SOURCE_DIR}/desktop/launcher.sh.in
                   ${CMAKE_BINARY_DIR}/launchers/${program} @ONLY)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/launchers/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages are installed compressed, as man finds them and Debian wants them.
set(VELMORA_MAN_PAGES "")
if(TARGET velmora)
  list(APPEND VELMORA_MAN_PAGES ${PROJECT_SOURCE_DIR}/desktop/velmora.1)
endif()
if(TARGET velmora-cli)
  list(APPEND VELMORA_MAN_PAGES ${PROJECT_SOURCE_DIR}/cli/velmora-cli.1)
endif()
set(VELMORA_COMPRESSED "")
foreach(page IN LISTS VELMORA_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "gzip -9nc \"$0\" >\"$1\"" ${page} ${CMAKE_BINARY_DIR}/man/${name}.gz
    DEPENDS ${page} VERBATIM)
  list(APPEND VELMORA_COMPRESSED ${CMAKE_BINARY_DIR}/man/${name}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The changelog in Debian's form, for the package's documentation folder.
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND sh -c "gzip -9nc \"$0\" >\"$1\"" ${CMAKE_BINARY_DIR}/doc/changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog VERBATIM)
list(APPEND VELMORA_COMPRESSED ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_target(velmora_compressed_docs ALL DEPENDS ${VELMORA_COMPRESSED})
# Building a program is enough to install it.
foreach(program IN ITEMS velmora velmora-cli)
  if(TARGET ${program})
    add_dependencies(${program} velmora_compressed_docs)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${VELMORA_DOC_DIR})

if(TARGET velmora)
  install(FILES ${PROJECT_SOURCE_DIR}/fls/template.tpl ${PROJECT_SOURCE_DIR}/fls/mid.tpl
          DESTINATION ${VELMORA_PROGRAM_DIR}/fls)
  # The entry names the launcher by its absolute path, which is known only once the
  # prefix is: it is written at install time, then installed as any other file.
  install(CODE "
    set(VELMORA_DESKTOP_IN \"${PROJECT_SOURCE_DIR}/desktop/velmora.desktop.in\")
    set(VELMORA_DESKTOP_OUT \"${CMAKE_BINARY_DIR}/desktop/velmora.desktop\")
    set(VELMORA_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/desktop-entry.cmake\")
  ")
  install(FILES ${CMAKE_BINARY_DIR}/desktop/velmora.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  # The software centres' entry, named after its component id as AppStream wants.
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/velmora.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo RENAME org.example.velmora.metainfo.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/res/velmora.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  # The bitmaps are made from the SVG by tools/make-icons.sh and kept in the tree,
  # so that a build needs no SVG renderer.
  foreach(size IN LISTS VELMORA_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/velmora-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME velmora.png)
  endforeach()
endif()

if(NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
            -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the files of the last install"
    VERBATIM)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
