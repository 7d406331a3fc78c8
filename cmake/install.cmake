# `cmake --install <build> --prefix ~/.local` puts the program in place as the
# portable folder it is: lib/velmora holds the programs and fls/ with the export
# templates (the program finds fls/ beside itself and writes fls/sets.ini there, so
# the folder is the user's own), bin/ holds launchers, share/ the desktop entry,
# the icons and the manual page. `cmake --build <build> --target uninstall` takes
# it all away again.
set(VELMORA_PROGRAM_DIR lib/velmora)
set(VELMORA_ICON_SIZES 16 32 48 128 256)

foreach(program IN ITEMS velmora velmora-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${VELMORA_PROGRAM_DIR})
    set(VELMORA_PROGRAM ${program})
    configure_file(${PROJECT_SOURCE_DIR}/desktop/launcher.sh.in
                   ${CMAKE_BINARY_DIR}/launchers/${program} @ONLY)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/launchers/${program} DESTINATION bin)
  endif()
endforeach()

if(TARGET velmora)
  install(FILES ${PROJECT_SOURCE_DIR}/fls/template.tpl ${PROJECT_SOURCE_DIR}/fls/mid.tpl
          DESTINATION ${VELMORA_PROGRAM_DIR}/fls)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/velmora.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/velmora.svg DESTINATION share/icons/hicolor/scalable/apps)
  # The bitmaps are made from the SVG by tools/make-icons.sh and kept in the tree,
  # so that a build needs no SVG renderer.
  foreach(size IN LISTS VELMORA_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/velmora-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME velmora.png)
  endforeach()
endif()

if(TARGET velmora-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/cli/velmora-cli.1 DESTINATION share/man/man1)
endif()

if(NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
            -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the files of the last install"
    VERBATIM)
endif()
