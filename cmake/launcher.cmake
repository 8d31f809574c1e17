# add_launcher() builds a launcher (Uninst.exe and the tests' variants) with a given remover image embedded as
# resource 131 "UNINSTALLER" (or none, for the test of the missing-resource path). IMAGE is a
# plain path (not a generator expression): the resource script is generated at configure time.
function(add_launcher target)
  cmake_parse_arguments(L "" "IMAGE;IMAGE_TARGET" "" ${ARGN})
  set(dir "${CMAKE_SOURCE_DIR}/Uninst")
  add_executable(${target} WIN32 ${dir}/UninstApp.cpp ${dir}/UninstDlg.cpp ${dir}/StageAndLaunch.cpp ${dir}/Uninst.rc)
  target_include_directories(${target} PRIVATE ${dir})
  target_link_libraries(${target} PRIVATE payload korvane_options)
  set_source_files_properties(${dir}/Uninst.rc PROPERTIES OBJECT_DEPENDS "${dir}/Uninst.ico;${dir}/Uninst.manifest")
  if(L_IMAGE)
    set(LAUNCHER_IMAGE "${L_IMAGE}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_image.rc")
    configure_file(${dir}/remover_image.rc.in "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${L_IMAGE}")
  endif()
  if(L_IMAGE_TARGET)
    add_dependencies(${target} ${L_IMAGE_TARGET})
  endif()
endfunction()

