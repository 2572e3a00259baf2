# Where the runnable bundle is laid out: bin/, lib/, libexec/, PlugIns/, Resources/.
set(MOVARA_BUNDLE_DIR ${PROJECT_BINARY_DIR}/MovaraPlayer)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${MOVARA_BUNDLE_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${MOVARA_BUNDLE_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/archive)
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
set(CMAKE_BUILD_RPATH "$ORIGIN/../lib")

# movara_platform_library(<name> [DEPS targets...])
# A shared platform library made of every .cpp in the calling folder (recursively).
function(movara_platform_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} SHARED ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# movara_static_library(<name> [DEPS targets...])
# A subsystem of the player: a static library linked into the program and its tests.
function(movara_static_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()
