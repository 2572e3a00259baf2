# Code every pane shares: the undoable key-value setter, control bindings and view building helpers.
# A static library compiled into each pane (and into the panes' tests); it keeps no process-wide state.
# Each pane's CMakeLists.txt includes this file; the first include defines the library.
include_guard(GLOBAL)
include(${PROJECT_SOURCE_DIR}/cmake/MovaraPanes.cmake)
set(MVP_PANE_KIT_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(panekit STATIC ${MVP_PANE_KIT_DIR}/key_value_pane.cpp ${MVP_PANE_KIT_DIR}/pane_views.cpp)
target_include_directories(panekit PUBLIC ${PROJECT_SOURCE_DIR} ${MVP_PANE_KIT_DIR})
target_link_libraries(panekit PUBLIC basekit drawing winkit mvkit)
set_target_properties(panekit PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# movara_pane_with_code(<Name> ENTRY <file> SOURCES <files...>)
# A pane whose code (all but the entry file) is also a static library <Name>_code, so that the panes'
# tests can link it; the bundle links that library and the pane kit.
function(movara_pane_with_code name)
  cmake_parse_arguments(A "" "ENTRY" "SOURCES" ${ARGN})
  add_library(${name}_code STATIC ${A_SOURCES})
  target_include_directories(${name}_code PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_code PUBLIC panekit)
  set_target_properties(${name}_code PROPERTIES POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  movara_pane(${name} SOURCES ${A_ENTRY} DEPS ${name}_code)
endfunction()
