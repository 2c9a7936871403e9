# The Windows build's extras, included from the top level when cross-compiling.
#   QVO_HOST_BUILD  a Linux build of this tree whose tools made the pack and
#                   the icon (scripts/build-windows.sh makes it first)
enable_language(RC)

set(QVO_HOST_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "Linux build holding QuelVarnOssa.dat and qvo-icon")

# A GUI program: no console window opens beside the demo.
set_target_properties(quelvarnossa PROPERTIES WIN32_EXECUTABLE ON)

# The version the project declares, as Windows wants it: "a,b,c,0".
if(PROJECT_VERSION)
  set(QVO_VERSION ${PROJECT_VERSION})
else()
  set(QVO_VERSION 0.0.0)
endif()
string(REGEX MATCHALL "[0-9]+" version_parts "${QVO_VERSION}.0.0.0")
list(SUBLIST version_parts 0 4 version_parts)
list(JOIN version_parts "," QVO_VERSION_COMMAS)

set(QVO_ICON_FILE ${CMAKE_BINARY_DIR}/quelvarnossa.ico)
add_custom_command(OUTPUT ${QVO_ICON_FILE}
  COMMAND ${QVO_HOST_BUILD}/tools/icon/qvo-icon --ico ${QVO_ICON_FILE}
  DEPENDS ${QVO_HOST_BUILD}/tools/icon/qvo-icon ${CMAKE_SOURCE_DIR}/resources/mainicon.h
  COMMENT "Writing the window icon"
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/resources/quelvarnossa.rc.in ${CMAKE_BINARY_DIR}/quelvarnossa.rc @ONLY)
target_sources(quelvarnossa PRIVATE ${CMAKE_BINARY_DIR}/quelvarnossa.rc ${QVO_ICON_FILE})
set_source_files_properties(${CMAKE_BINARY_DIR}/quelvarnossa.rc PROPERTIES
  OBJECT_DEPENDS "${QVO_ICON_FILE};${CMAKE_SOURCE_DIR}/resources/progress.rc")
target_include_directories(quelvarnossa PRIVATE ${CMAKE_SOURCE_DIR}/resources)

# The same pack bytes as the Linux build: made by the host tools, copied.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/QuelVarnOssa.dat
  COMMAND ${CMAKE_COMMAND} -E copy ${QVO_HOST_BUILD}/QuelVarnOssa.dat ${CMAKE_BINARY_DIR}/QuelVarnOssa.dat
  DEPENDS ${QVO_HOST_BUILD}/QuelVarnOssa.dat
  VERBATIM)
add_custom_target(qvo_datapack ALL DEPENDS ${CMAKE_BINARY_DIR}/QuelVarnOssa.dat)

if(QVO_BUILD_TESTS)
  # Every test runs in one Wine prefix of the build's own, made once.
  find_program(QVO_WINEBOOT wineboot REQUIRED)
  set(QVO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(QVO_WINE_ENVIRONMENT "WINEPREFIX=${QVO_WINEPREFIX};WINEDEBUG=-all")
  add_test(NAME windows_wineprefix COMMAND ${QVO_WINEBOOT} -i)
  set_tests_properties(windows_wineprefix PROPERTIES FIXTURES_SETUP wine
    ENVIRONMENT "${QVO_WINE_ENVIRONMENT}" TIMEOUT 300)

  # The clips and their decode by the Linux build, for the audio tests.
  set(testdata ${CMAKE_BINARY_DIR}/testdata)
  set(testdata_files)
  foreach(clip marrowin tidewrangler)
    add_custom_command(OUTPUT ${testdata}/${clip}.mp3 ${testdata}/${clip}.raw
      COMMAND ${CMAKE_COMMAND} -E make_directory ${testdata}
      COMMAND ${QVO_HOST_BUILD}/qvo-pack extract ${QVO_HOST_BUILD}/QuelVarnOssa.dat
              "data/kov-${clip}(clip).mp3" ${testdata}/${clip}.mp3
      COMMAND ${QVO_HOST_BUILD}/qvo-decode ${testdata}/${clip}.mp3 ${testdata}/${clip}.raw
      DEPENDS ${QVO_HOST_BUILD}/QuelVarnOssa.dat ${QVO_HOST_BUILD}/qvo-decode
      COMMENT "Decoding ${clip} with the Linux build"
      VERBATIM)
    list(APPEND testdata_files ${testdata}/${clip}.mp3 ${testdata}/${clip}.raw)
  endforeach()
  add_custom_target(qvo_windows_testdata ALL DEPENDS ${testdata_files})

  add_subdirectory(tests/windows)

  # The exe as a user runs it, under Xvfb.
  add_test(NAME e2e_windows COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/windows.sh ${CMAKE_BINARY_DIR} ${QVO_HOST_BUILD})
  set_tests_properties(e2e_windows PROPERTIES LABELS e2e TIMEOUT 600 FIXTURES_REQUIRED wine
    ENVIRONMENT "${QVO_WINE_ENVIRONMENT}")
endif()
