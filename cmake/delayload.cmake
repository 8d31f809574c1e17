# Delay-loaded system DLLs for the shipped executables.
#
# Both programs run elevated from the user's temporary folder. Their only static imports are
# kernel32 and msvcrt; every other system DLL is loaded on first use, after WinMain has limited
# the DLL search to the system folder. (Wine's builtin DLLs import further DLLs, such as
# version.dll, that its loader would otherwise look for beside the executable at start-up.)
#
# korvane_delay_load(TARGET dll...) makes TARGET, and whatever links TARGET, delay-load those
# DLLs. It is applied to the framework library, the bottom of every program's link line. With
# MinGW the delay-import libraries are made by dlltool from the exports of the toolchain's own
# import libraries, and come after every object that calls into these DLLs and before the
# toolchain's default import libraries; with MSVC the linker's /DELAYLOAD does the same.
function(korvane_delay_load target)
  if(MSVC)
    foreach(dll ${ARGN})
      target_link_options(${target} INTERFACE /DELAYLOAD:${dll}.dll)
    endforeach()
    target_link_libraries(${target} PUBLIC delayimp)
    return()
  endif()
  find_program(KORVANE_DLLTOOL NAMES ${MINGW_TRIPLE}-dlltool dlltool REQUIRED)
  # x86 names carry a leading underscore and, for stdcall, the argument bytes ("__imp__Foo@8"):
  # the definition lists "Foo@8", and --kill-at imports it by the DLL's own name, "Foo". Without
  # that the delay library's names match nothing, and the linker quietly imports the DLL at start.
  #
  # And x86 calls must name the function's own thunk ("_Foo@8"), not its import pointer: the x86
  # linker drops a delay library's thunks that nothing calls, and the pointer is then left 0. So
  # the system's headers declare these functions without dllimport (every system function is then
  # called through its thunk, kernel32's through the usual import library's).
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(imp "__imp__")
    set(kill_at --kill-at)
    target_compile_definitions(${target} PUBLIC DECLSPEC_IMPORT=)
  else()
    set(imp "__imp_")
    set(kill_at)
  endif()
  foreach(dll ${ARGN})
    set(lib "${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a")
    if(NOT TARGET delayload_${dll})
      find_library(KORVANE_IMPORT_${dll} NAMES lib${dll}.a REQUIRED)
      set(def "${CMAKE_BINARY_DIR}/delayload/${dll}.def")
      add_custom_command(OUTPUT "${lib}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/delayload"
        COMMAND sh -c "{ echo 'LIBRARY ${dll}.dll'; echo EXPORTS; '${CMAKE_NM}' '${KORVANE_IMPORT_${dll}}' | sed -n 's/^.* I ${imp}//p' | sort -u; } > '${def}'"
        COMMAND ${KORVANE_DLLTOOL} --input-def "${def}" --output-delaylib "${lib}" --dllname ${dll}.dll ${kill_at}
        VERBATIM)
      add_custom_target(delayload_${dll} DEPENDS "${lib}")
    endif()
    add_dependencies(${target} delayload_${dll})
    target_link_libraries(${target} PUBLIC "${lib}")
  endforeach()
endfunction()
