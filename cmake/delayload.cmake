# Delay-loaded system DLLs for the shipped executables.
#
# Both programs run elevated from the user's temporary folder. Their only static imports are
# kernel32 and msvcrt; every other system DLL is loaded on first use, after WinMain has limited
# the DLL search to the system folder. (Wine's builtin DLLs import further DLLs, such as
# version.dll, that its loader would otherwise look for beside the executable at start-up.)
#
# korvane_delay_load(TARGET dll...) links TARGET, and whatever links TARGET, with delay-import
# libraries made by dlltool from the exports of MinGW's own import libraries. It is applied to
# the framework library, the bottom of every program's link line, so that the delay libraries come
# after every object that calls into these DLLs and before the toolchain's default import libraries.
function(korvane_delay_load target)
  find_program(KORVANE_NM NAMES ${MINGW_TRIPLE}-nm REQUIRED)
  find_program(KORVANE_DLLTOOL NAMES ${MINGW_TRIPLE}-dlltool REQUIRED)
  foreach(dll ${ARGN})
    set(lib "${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a")
    if(NOT TARGET delayload_${dll})
      set(def "${CMAKE_BINARY_DIR}/delayload/${dll}.def")
      add_custom_command(OUTPUT "${lib}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/delayload"
        COMMAND sh -c "{ echo 'LIBRARY ${dll}.dll'; echo EXPORTS; '${KORVANE_NM}' '/usr/${MINGW_TRIPLE}/lib/lib${dll}.a' | sed -n 's/^.* I __imp_//p' | sort -u; } > '${def}'"
        COMMAND ${KORVANE_DLLTOOL} --input-def "${def}" --output-delaylib "${lib}" --dllname ${dll}.dll
        VERBATIM)
      add_custom_target(delayload_${dll} DEPENDS "${lib}")
    endif()
    add_dependencies(${target} delayload_${dll})
    target_link_libraries(${target} PUBLIC "${lib}")
  endforeach()
endfunction()
