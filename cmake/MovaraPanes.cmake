# Pane plug-ins of the movie properties window.
include_guard(GLOBAL)

# movara_pane(<Name> [SOURCE_DIR dir] [OUTPUT_DIR dir] [SOURCES files...] [DEPS targets...])
# Builds the pane bundle <OUTPUT_DIR>/<Name>.mvpane/ from the folder SOURCE_DIR (panes/<Name>/ by default):
#   Info.plist   copied from the folder (a bundle without one is named "Nameless" and sorts among the rest)
#   <Name>.so    every .cpp of the folder (or SOURCES), linked against the platform libraries, never the
#                player; only the entry points of inspectors/pane_interface.h are exported
#   Resources/   copied from the folder's Resources/ when there is one
# OUTPUT_DIR defaults to the program's own PlugIns/ folder. The target is named <Name>.
function(movara_pane name)
  cmake_parse_arguments(A "" "SOURCE_DIR;OUTPUT_DIR" "SOURCES;DEPS" ${ARGN})
  if(NOT A_SOURCE_DIR)
    set(A_SOURCE_DIR ${PROJECT_SOURCE_DIR}/panes/${name})
  endif()
  if(NOT A_OUTPUT_DIR)
    set(A_OUTPUT_DIR ${MOVARA_BUNDLE_DIR}/PlugIns)
    # The program's own panes are installed with it (cmake/MovaraInstall.cmake).
    set_property(GLOBAL APPEND PROPERTY MOVARA_PROGRAM_PANES ${name})
    set_property(GLOBAL PROPERTY MOVARA_PANE_SOURCE_DIR_${name} ${A_SOURCE_DIR})
  endif()
  set(bundle ${A_OUTPUT_DIR}/${name}.mvpane)
  if(NOT A_SOURCES)
    file(GLOB_RECURSE A_SOURCES CONFIGURE_DEPENDS ${A_SOURCE_DIR}/*.cpp)
  endif()

  add_library(${name} MODULE ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${A_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE basekit drawing winkit mvkit ${A_DEPS})
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${bundle}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    # <bundle>/PlugIns/<Name>.mvpane/<Name>.so finds the platform libraries in <bundle>/lib.
    BUILD_RPATH "$ORIGIN/../../lib")
  # A pane must resolve every symbol now, not when the player first calls into it.
  target_link_options(${name} PRIVATE "LINKER:--no-undefined")

  set(copies "")
  if(EXISTS ${A_SOURCE_DIR}/Info.plist)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${A_SOURCE_DIR}/Info.plist ${bundle}/Info.plist)
  endif()
  if(IS_DIRECTORY ${A_SOURCE_DIR}/Resources)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_directory ${A_SOURCE_DIR}/Resources ${bundle}/Resources)
  endif()
  if(copies)
    # Runs on every build, so edited resources reach the bundle without touching the code.
    add_custom_target(${name}_bundle ALL ${copies} COMMENT "Laying out ${name}.mvpane")
    add_dependencies(${name} ${name}_bundle)
  endif()
endfunction()
