# System libraries the program imports that are not known DLLs.
#
# The program runs as administrator, often from a browser's Downloads folder. The loader resolves
# a program's static imports before its entry point runs, and for a DLL that is not one of the
# system's known DLLs it looks in the program's folder first: a DLL planted there under such a
# name would run elevated. These are therefore imported through delay-load libraries, made here
# from the toolchain's import libraries: each is loaded at its first call, after wWinMain has
# limited the DLL search to System32 (SetDefaultDllDirectories). Link `delayload_<name>` where
# the plain `<name>` would be linked. tests/app's static import check keeps the list whole.
set(DELAY_LOADED_DLLS bcrypt comctl32 crypt32 gdiplus oleacc wininet wintrust)

if(NOT MINGW)
  return()
endif()

find_program(MINGW_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool dlltool REQUIRED)
set(delay_dir ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${delay_dir})
foreach(name ${DELAY_LOADED_DLLS})
  find_library(import_library_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
  set(delay_library ${delay_dir}/lib${name}_delay.a)
  if(NOT EXISTS ${delay_library})
    # The DLL's functions, as its import library names them.
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${import_library_${name}}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
    if(result)
      message(FATAL_ERROR "cannot list the exports of ${import_library_${name}}")
    endif()
    string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" functions "${symbols}")
    set(definition "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(function ${functions})
      string(REGEX REPLACE "^[0-9a-f]+ T " "" function "${function}")
      string(APPEND definition "  ${function}\n")
    endforeach()
    file(WRITE ${delay_dir}/${name}.def "${definition}")
    execute_process(COMMAND ${MINGW_DLLTOOL} --input-def ${delay_dir}/${name}.def
                            --dllname ${name}.dll --output-delaylib ${delay_library}
                    RESULT_VARIABLE result)
    if(result)
      message(FATAL_ERROR "dlltool could not make the delay-load library of ${name}.dll")
    endif()
  endif()
  add_library(delayload_${name} STATIC IMPORTED GLOBAL)
  # The plain import library after it, for what it holds besides imports (GDI+'s cached font
  # families); its import entries stay unused, as the delay-load library resolves them first.
  set_target_properties(delayload_${name} PROPERTIES IMPORTED_LOCATION ${delay_library}
                        INTERFACE_LINK_LIBRARIES ${name})
endforeach()
