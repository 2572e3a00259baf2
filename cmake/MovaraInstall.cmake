# `cmake --install` lays the program out the Linux way under the prefix:
#   bin/                         movara-player, player-chooser, movara-script
#   lib/movara-player/           the platform libraries
#   libexec/movara-player/       MVPlayerHelper, the worker
#   share/movara-player/         the bundle: Resources/ and PlugIns/<Name>.mvpane/
#   share/applications, share/mime/packages, share/icons/hicolor   (desktop/)
# Each installed program finds the others relative to itself (see HXBundle), so any prefix works.
# `cpack -G DEB` makes a Debian package of the same, depending on the runtime libraries it links.
include_guard(GLOBAL)

set(MOVARA_INSTALL_LIBDIR lib/movara-player)
set(MOVARA_INSTALL_BUNDLEDIR share/movara-player)

foreach(lib basekit drawing winkit mvkit vckit)
  if(TARGET ${lib})
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${lib} LIBRARY DESTINATION ${MOVARA_INSTALL_LIBDIR} NAMELINK_SKIP)
  endif()
endforeach()

foreach(program movara-player player-chooser movara-script)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${MOVARA_INSTALL_LIBDIR}")
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()

if(TARGET MVPlayerHelper)
  set_target_properties(MVPlayerHelper PROPERTIES INSTALL_RPATH "$ORIGIN/../../${MOVARA_INSTALL_LIBDIR}")
  install(TARGETS MVPlayerHelper RUNTIME DESTINATION libexec/movara-player)
endif()

# The pane plug-ins of the program (not the tests' fixtures): <bundle>/PlugIns/<Name>.mvpane/.
get_property(movara_panes GLOBAL PROPERTY MOVARA_PROGRAM_PANES)
foreach(pane ${movara_panes})
  get_property(source_dir GLOBAL PROPERTY MOVARA_PANE_SOURCE_DIR_${pane})
  set(dest ${MOVARA_INSTALL_BUNDLEDIR}/PlugIns/${pane}.mvpane)
  set_target_properties(${pane} PROPERTIES INSTALL_RPATH "$ORIGIN/../../../../${MOVARA_INSTALL_LIBDIR}")
  install(TARGETS ${pane} LIBRARY DESTINATION ${dest})
  if(EXISTS ${source_dir}/Info.plist)
    install(FILES ${source_dir}/Info.plist DESTINATION ${dest})
  endif()
  if(IS_DIRECTORY ${source_dir}/Resources)
    install(DIRECTORY ${source_dir}/Resources DESTINATION ${dest})
  endif()
endforeach()

# The bundle's resources as the build laid them out: the source tree's resources/, the drawn control
# images and the featured movies.
install(DIRECTORY ${MOVARA_BUNDLE_DIR}/Resources DESTINATION ${MOVARA_INSTALL_BUNDLEDIR})

# ---- The Debian package -------------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME movara-player)
set(CPACK_PACKAGE_VENDOR "Movara Player developers")
set(CPACK_PACKAGE_CONTACT "Movara Player developers <movara-player@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop movie player and editor")
set(CPACK_PACKAGE_DESCRIPTION
  "Movara Player opens movie files, URLs and compositions, each in a player window with a transport bar, a time display and timeline, volume and an equalizer; edits and saves movies; presents them full screen; exports and shares them through background jobs; records from capture devices; and answers other programs through a scripting object model.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The programs and libraries go in without their debugging symbols, as packages usually do.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are the shared libraries the programs and plug-ins link, as dpkg-shlibdeps finds them;
# our own libraries in lib/movara-player are part of the package.
# (CPack lets dpkg-shlibdeps resolve $ORIGIN inside the package.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The file manager's defaults are set through xdg-mime (the preferences' default opener).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils, at-spi2-core")
include(CPack)
