# Installs Zorvil for a desktop: `cmake --install build --prefix ~/.local` puts the program and
# zorvil-cli into bin/, the demo synth (which the demo project plays) into lib/zorvil/plugins/,
# where the installed program looks for plug-ins named without a folder, the demo project into
# share/zorvil/demo/, and a menu entry with the program's icon (drawn by the program itself and
# exported once to PNG) into share/applications/ and the hicolor icon theme.
include(GNUInstallDirs)

if(TARGET zorvil)
    install(TARGETS zorvil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET zorvil-cli)
    install(TARGETS zorvil-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET zorvil-synth)
    install(TARGETS zorvil-synth LIBRARY DESTINATION lib/zorvil/plugins)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/demo/demo.tsn
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zorvil/demo)

foreach(size 16 32 64 128 256)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/zorvil-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME zorvil.png)
endforeach()

# The menu entry names the program by its installed path, known only when installing (the
# prefix may be given to `cmake --install`): the entry is written then. It starts the program
# without arguments; a command line would switch it to batch rendering.
install(CODE "
    set(ZORVIL_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zorvil\")
    configure_file(\"${CMAKE_CURRENT_LIST_DIR}/zorvil.desktop.in\"
                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/zorvil.desktop\"
                   @ONLY)
    message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/zorvil.desktop\")
")
